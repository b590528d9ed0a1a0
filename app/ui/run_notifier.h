// One desktop notification at the end of a run (not one per file), through the session bus's
// org.freedesktop.Notifications, with an action that opens the output folder.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class RunNotifier : public QObject {
    Q_OBJECT

public:
    explicit RunNotifier(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // "4 files converted, 1 failed"; false when no notification service answered.
    bool notifyRunEnded(int finished, int failed, int stopped, const QString& outputFolder);

    // The text a run's notification carries, e.g. "4 files converted, 1 failed".
    static QString summaryText(int finished, int failed, int stopped);

signals:
    void openFolderRequested(const QString& folder);

private slots:
    void onActionInvoked(uint id, const QString& action);

private:
    QDBusConnection bus_;
    uint lastId_ = 0;
    QString lastFolder_;
};
