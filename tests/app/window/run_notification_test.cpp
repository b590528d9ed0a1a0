// The end of a run is told on the desktop once, for all its files, and only when the user looks
// elsewhere; the notification's action opens the output folder. A private session bus with a
// recording notification service stands in for the desktop's.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>

#include "main_window_fixture.h"
#include "run_notifier.h"

using namespace window_test;

namespace {

// Records every Notify call as a desktop's notification service would receive it.
class RecordingNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString summary;
        QString body;
        QStringList actions;
    };
    QList<Call> calls;

public slots:
    Q_SCRIPTABLE uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                             const QStringList& actions, const QVariantMap&, int) {
        calls.append({summary, body, actions});
        return static_cast<uint>(calls.size());
    }
};

class PrivateBus {
public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty())
            return;
        process_.start(daemon, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        if (!process_.waitForStarted(5000))
            return;
        while (!address_.endsWith('\n') && process_.waitForReadyRead(5000))
            address_ += process_.readAllStandardOutput();
        address_ = address_.trimmed();
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus("test-service");
        QDBusConnection::disconnectFromBus("test-client");
        process_.kill();
        process_.waitForFinished(5000);
    }
    bool isUp() const { return !address_.isEmpty(); }
    QDBusConnection connect(const QString& name) {
        return QDBusConnection::connectToBus(QString::fromUtf8(address_), name);
    }

private:
    QProcess process_;
    QByteArray address_;
};

class RunNotificationTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (!bus_.isUp())
            GTEST_SKIP() << "dbus-daemon is not installed";
        QDBusConnection service = bus_.connect("test-service");
        ASSERT_TRUE(service.registerObject("/org/freedesktop/Notifications", &notifications_,
                                           QDBusConnection::ExportScriptableSlots));
        ASSERT_TRUE(service.registerService("org.freedesktop.Notifications"));
        window_->setRunNotifier(new RunNotifier(bus_.connect("test-client")));
    }
    void RunToTheEnd() {
        QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return !window_->isRunning(); }, 120000));
    }
    PrivateBus bus_;
    RecordingNotifications notifications_;
};

}  // namespace

TEST_F(RunNotificationTest, ARunEndedOutOfSightIsToldOnceWithItsCounts) {
    const QString gone = Copy("h264_aac.mkv", "gone.mkv");
    window_->addFiles({Copy("h264_aac.mkv", "one.mkv"), Copy("audio_only.mka", "two.mka"), gone});
    ASSERT_TRUE(WaitForReading());  // gone after it was read: the run finds it missing
    QFile::remove(gone);
    // The user is in another window.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    if (!QTest::qWaitForWindowActive(&elsewhere))
        GTEST_SKIP() << "this platform does not activate windows";
    ASSERT_FALSE(window_->isActiveWindow());
    RunToTheEnd();
    ASSERT_EQ(notifications_.calls.size(), 1) << "one notification for the whole run";
    EXPECT_EQ(notifications_.calls[0].summary, "Conversion finished");
    EXPECT_EQ(notifications_.calls[0].body, "2 files converted, 1 failed");
    EXPECT_TRUE(notifications_.calls[0].actions.contains("open-folder"));

    // The action opens the output folder.
    QDBusMessage invoked = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                      "org.freedesktop.Notifications", "ActionInvoked");
    invoked << 1u << QString("open-folder");
    ASSERT_TRUE(bus_.connect("test-service").send(invoked));
    ASSERT_TRUE(WaitUntil([&] { return !seam_.opened.isEmpty(); }, 5000));
    EXPECT_EQ(seam_.opened.first().toLocalFile(), dir_.path() + "/out");
}

TEST_F(RunNotificationTest, NothingIsToldWhileTheUserWatches) {
    window_->addFiles({Copy("audio_only.mka", "one.mka")});
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get()))
        GTEST_SKIP() << "this platform does not activate windows";
    RunToTheEnd();
    EXPECT_TRUE(notifications_.calls.isEmpty());
}

#include "run_notification_test.moc"
