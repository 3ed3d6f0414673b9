#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace glidewheel {

// One running program per user, so that two never fight over the same mice. The first to
// listen() on the per-user local socket is the running instance; a later launch reaches it with
// askRunningInstance() and exits, and the running instance hears activationRequested().
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // "glidewheel.socket" in the user's runtime directory ($XDG_RUNTIME_DIR), or, without one,
    // "glidewheel-<uid>" in the directory Qt keeps local sockets in ($TMPDIR or /tmp).
    static QString defaultServerName();

    explicit SingleInstance(QString serverName, QObject* parent = nullptr);

    // Asks the running instance, if any, to come forward. True when one is running.
    bool askRunningInstance();
    // Becomes the running instance. A socket left behind by an instance that died is removed
    // first; call only after askRunningInstance() found nobody. False when listening failed
    // (the program then runs without protection from a second launch).
    bool listen();

signals:
    void activationRequested();

private:
    QString serverName_;
    QLocalServer server_;
};

}  // namespace glidewheel
