#include "app/single_instance.h"

#include <unistd.h>

#include <iostream>
#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace glidewheel {

namespace {

// A request is one byte; the answer is the same byte once the running instance acted on it.
constexpr char kActivate = 'a';
constexpr int kTimeoutMs = 2000;

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

bool SingleInstance::askRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(kTimeoutMs)) return false;
    // Somebody listens, so an instance runs, even one too busy to answer in time. Waiting for
    // the answer keeps this process until the request was taken, so it is not lost on exit.
    socket.write(&kActivate, 1);
    if (socket.waitForBytesWritten(kTimeoutMs)) socket.waitForReadyRead(kTimeoutMs);
    return true;
}

bool SingleInstance::listen() {
    QLocalServer::removeServer(serverName_);
    if (server_.listen(serverName_)) return true;
    std::cerr << "[Glidewheel] Cannot listen on " << serverName_.toStdString() << ": "
              << server_.errorString().toStdString() << '\n';
    return false;
}

}  // namespace glidewheel
