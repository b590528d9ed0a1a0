#include "single_instance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

// One request: the files, one absolute path a line, UTF-8, then an empty line. The answer is
// "ok\n" once the window has them.
constexpr char kAnswer[] = "ok\n";

}  // namespace

SingleInstance::SingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent), socketPath_(socketPath) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultSocketPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("corvane.socket"));
}

bool SingleInstance::handToRunning(const QStringList& files, int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray request;
    for (const QString& file : files)
        request += QFileInfo(file).absoluteFilePath().toUtf8() + '\n';
    request += '\n';
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray answer;
    while (!answer.endsWith('\n') && socket.waitForReadyRead(timeoutMs))
        answer += socket.readAll();
    return answer == kAnswer;
}

bool SingleInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a window that died: nobody answered on it, so it is stale.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_))
        return false;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            pending_.remove(socket);
            socket->deleteLater();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    }
}

void SingleInstance::onReadyRead(QLocalSocket* socket) {
    QByteArray& request = pending_[socket];
    request += socket->readAll();
    // Ends with an empty line: a lone "\n" for no files, else "\n\n" after the last one.
    if (!(request == "\n" || request.endsWith("\n\n")))
        return;
    QStringList files;
    for (const QByteArray& line : request.split('\n'))
        if (!line.isEmpty())
            files << QString::fromUtf8(line);
    pending_.remove(socket);
    emit filesReceived(files);
    socket->write(kAnswer);
    socket->flush();
    socket->disconnectFromServer();
}
