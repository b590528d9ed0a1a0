// One desktop notification at the end of a run (not one per file), through the session bus's
// org.freedesktop.Notifications, with an action that opens the output folder.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

class RunNotifier : public QObject {
    Q_OBJECT

public:
    // The session bus, reached only when the first notification is due.
    explicit RunNotifier(QObject* parent = nullptr);
    // A given bus (tests use a private one).
    explicit RunNotifier(QDBusConnection bus, QObject* parent = nullptr);

    // "4 files converted, 1 failed"; false when no notification service answered.
    bool notifyRunEnded(int finished, int failed, int stopped, const QString& outputFolder);

    // The text a run's notification carries, e.g. "4 files converted, 1 failed".
    static QString summaryText(int finished, int failed, int stopped);

signals:
    void openFolderRequested(const QString& folder);

private slots:
    void onActionInvoked(uint id, const QString& action);

private:
    QDBusConnection& bus();

    std::optional<QDBusConnection> bus_;
    uint lastId_ = 0;
    QString lastFolder_;
};
