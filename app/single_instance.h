// SPDX-License-Identifier: MIT

#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include "platform/linux/base/unique_fd.h"

namespace glidewheel {

// One running program per user, so that two never fight over the same mice. The process holding
// the per-user lock file is the running instance and listens on the per-user local socket; a
// later launch reaches it through the socket and exits, and the running instance hears
// activationRequested(). The lock, not the socket, decides: two launches at the same moment
// would otherwise both find nobody listening.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // "glidewheel.socket" in the user's runtime directory ($XDG_RUNTIME_DIR), or, without one,
    // "glidewheel-<uid>" in the directory Qt keeps local sockets in ($TMPDIR or /tmp).
    static QString defaultServerName();

    explicit SingleInstance(QString serverName, QObject* parent = nullptr);

    ~SingleInstance() override;

    // True when this process is now the running instance. False when another one runs: it has
    // then been asked to come forward, unless not `bringForward`, and this process should exit.
    bool becomeRunningInstance(bool bringForward = true);

signals:
    void activationRequested();

private:
    bool askRunningInstance(int timeoutMs, bool bringForward);
    // A socket left behind by an instance that died is removed first. False when listening
    // failed (the program then runs without protection from a second launch).
    bool listen();

    QString serverName_;
    platform::linuxdesktop::UniqueFd lockFd_;  // held open, and so locked, for the process's life
    QLocalServer server_;
};

}  // namespace glidewheel
