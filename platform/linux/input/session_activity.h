// SPDX-License-Identifier: MIT

#pragma once

#include <memory>

struct sd_login_monitor;

namespace glidewheel::platform::linuxdesktop {

// Whether the login session the program runs in is the one in front of its seat, as logind
// records it. While another session is in front (another user switched to, or a text console),
// the mice belong to that session: the ACLs that let this user open them are gone, and whatever
// is still open here would read another person's mouse.
//
// The session is the one this process belongs to, else the user's graphical one (programs
// started by the user's service manager belong to none). Where that cannot be told, the session
// counts as active: nothing is let go over a missing record. (A session without a seat, such as
// a remote shell's, is always active in those records.)
class SessionActivity {
public:
    // Null where logind keeps no records (no systemd): every session then counts as active.
    static std::unique_ptr<SessionActivity> create();
    ~SessionActivity();
    SessionActivity(const SessionActivity&) = delete;
    SessionActivity& operator=(const SessionActivity&) = delete;

    // Readable when logind's records of the sessions change; then call changed().
    int fd() const;
    // Takes the notification; whether the session is active now.
    bool changed();
    bool isActive() const;

private:
    explicit SessionActivity(sd_login_monitor* monitor) : monitor_(monitor) {}
    sd_login_monitor* monitor_;
};

}  // namespace glidewheel::platform::linuxdesktop
