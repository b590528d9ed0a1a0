// One Corvane window per user session: a second start hands its files to the running window
// over a local socket in the user's runtime folder and ends.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // socketPath: where the running window listens; defaultSocketPath() outside tests.
    explicit SingleInstance(const QString& socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // <runtime folder>/corvane.socket: one per user, and gone with the session.
    static QString defaultSocketPath();

    // Gives files to a running window; true when one took them (this process should end).
    bool handToRunning(const QStringList& files, int timeoutMs = 3000) const;
    // Becomes the running window others hand files to; false when the socket cannot be made.
    bool listen();

signals:
    // Absolute paths another start asked to open.
    void filesReceived(const QStringList& files);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    QString socketPath_;
    QLocalServer* server_ = nullptr;
    QHash<QLocalSocket*, QByteArray> pending_;  // requests not yet whole
};
