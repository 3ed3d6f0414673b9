// SPDX-License-Identifier: MIT

#include "platform/linux/input/session_activity.h"

#include <systemd/sd-login.h>
#include <unistd.h>

#include <cstdlib>

namespace glidewheel::platform::linuxdesktop {

std::unique_ptr<SessionActivity> SessionActivity::create() {
    sd_login_monitor* monitor = nullptr;
    if (sd_login_monitor_new("session", &monitor) < 0) return nullptr;
    return std::unique_ptr<SessionActivity>(new SessionActivity(monitor));
}

SessionActivity::~SessionActivity() { sd_login_monitor_unref(monitor_); }

int SessionActivity::fd() const { return sd_login_monitor_get_fd(monitor_); }

bool SessionActivity::changed() {
    sd_login_monitor_flush(monitor_);
    return isActive();
}

bool SessionActivity::isActive() const {
    char* session = nullptr;
    if (sd_pid_get_session(0, &session) < 0 && sd_uid_get_display(getuid(), &session) < 0)
        return true;
    const int active = sd_session_is_active(session);
    std::free(session);
    return active != 0;  // an unreadable record (negative) counts as active
}

}  // namespace glidewheel::platform::linuxdesktop
