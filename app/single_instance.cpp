// SPDX-License-Identifier: MIT

#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <iostream>
#include <utility>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

namespace glidewheel {

namespace {

// A request is one byte; the answer is the same byte once the running instance acted on it.
constexpr char kActivate = 'a';
constexpr int kTimeoutMs = 2000;
// A running instance that holds the lock may still be on its way to listening.
constexpr int kStartingInstanceTimeoutMs = 5000;

}  // namespace

QString SingleInstance::defaultServerName() {
    // The runtime directory is the user's alone; in the shared temporary directory another
    // user could take the name first.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        return QDir(runtime).filePath(QStringLiteral("glidewheel.socket"));
    }
    return QStringLiteral("glidewheel-%1").arg(::getuid());
}

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->readAll().contains(kActivate)) return;
                emit activationRequested();
                client->write(&kActivate, 1);
                client->flush();
            });
        }
    });
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::becomeRunningInstance(bool bringForward) {
    const QString lockPath =
        (QDir::isAbsolutePath(serverName_) ? serverName_ : QDir::temp().filePath(serverName_)) +
        QStringLiteral(".lock");
    lockFd_ = platform::linuxdesktop::adoptFd(
        ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lockFd_) {
        // No lock to be had (another user's file in a shared directory, say): whoever listens
        // first runs.
        if (askRunningInstance(kTimeoutMs, bringForward)) return false;
    } else if (::flock(lockFd_.get().fd, LOCK_EX | LOCK_NB) != 0) {
        if (bringForward) askRunningInstance(kStartingInstanceTimeoutMs, bringForward);
        return false;
    }
    listen();
    return true;
}

bool SingleInstance::askRunningInstance(int timeoutMs, bool bringForward) {
    QLocalSocket socket;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        socket.connectToServer(serverName_);
        if (socket.waitForConnected(kTimeoutMs)) break;
        if (waited.elapsed() >= timeoutMs) return false;
        QThread::msleep(50);
    }
    // Somebody listens, so an instance runs, even one too busy to answer in time. Waiting for
    // the answer keeps this process until the request was taken, so it is not lost on exit.
    if (!bringForward) return true;
    socket.write(&kActivate, 1);
    if (socket.waitForBytesWritten(kTimeoutMs)) socket.waitForReadyRead(kTimeoutMs);
    return true;
}

bool SingleInstance::listen() {
    QLocalServer::removeServer(serverName_);
    if (server_.listen(serverName_)) return true;
    std::cerr << "glidewheel: cannot listen on " << serverName_.toStdString() << ": "
              << server_.errorString().toStdString() << '\n';
    return false;
}

}  // namespace glidewheel
