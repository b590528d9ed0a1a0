#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "frmShutdown.h"
#include "power_off.h"

namespace {

// Records power-off requests instead of making them.
struct PowerOffLog {
    int requests = 0;
    bool succeed = true;
};

class FakePowerOff : public PowerOffBackend {
public:
    explicit FakePowerOff(PowerOffLog* log) : log_(log) {}
    bool requestPowerOff() override {
        ++log_->requests;
        return log_->succeed;
    }

private:
    PowerOffLog* log_;
};

// Runs a real event loop, in which a 2 ms timer ticks at its full rate (qWait would not).
void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class ShutdownTest : public ::testing::Test {
protected:
    ShutdownTest() : dialog_(std::make_unique<FakePowerOff>(&log_)) {
        dialog_.setClock([this] { return now_; });
    }

    // Marks a run start that lies the given number of seconds before the end.
    bool ArmAfterRunOf(int seconds) {
        now_ = QDateTime(QDate(2024, 3, 7), QTime(10, 0));
        dialog_.markStart();
        now_ = now_.addSecs(seconds);
        return dialog_.arm();
    }
    void Tick() { dialog_.on_shutdown_timer(); }
    QString Label() const { return dialog_.findChild<QLabel*>("lblShowTimer")->text(); }
    void Press(const char* name) { dialog_.findChild<QPushButton*>(name)->click(); }

    PowerOffLog log_;
    QDateTime now_;
    frmShutdown dialog_;
};

}  // namespace

TEST_F(ShutdownTest, OnlyRunsLongerThanFiveMinutesArmTheCountdown) {
    EXPECT_FALSE(ArmAfterRunOf(299));
    EXPECT_FALSE(dialog_.isCounting());
    EXPECT_FALSE(ArmAfterRunOf(300));
    EXPECT_TRUE(ArmAfterRunOf(301));
    EXPECT_TRUE(dialog_.isCounting());
    EXPECT_EQ(dialog_.tickInterval(), 1000);
    EXPECT_EQ(dialog_.remainingSeconds(), 60);

    frmShutdown unmarked(std::make_unique<FakePowerOff>(&log_));
    EXPECT_FALSE(unmarked.arm());
    EXPECT_EQ(log_.requests, 0);
}

TEST_F(ShutdownTest, TicksCountDownAndTheLastOnePowersOffOnce) {
    ASSERT_TRUE(ArmAfterRunOf(301));
    EXPECT_EQ(Label(), "");
    Tick();
    EXPECT_EQ(Label(), "The system will shut down in 59 seconds");
    for (int i = 0; i < 58; ++i)
        Tick();
    EXPECT_EQ(Label(), "The system will shut down in 1 seconds");
    EXPECT_EQ(log_.requests, 0);
    Tick();
    EXPECT_EQ(Label(), "Shutdown system...");
    EXPECT_EQ(log_.requests, 1);
    EXPECT_FALSE(dialog_.isCounting());
}

TEST_F(ShutdownTest, TheRunningTimerRequestsExactlyOnePowerOff) {
    dialog_.setTickInterval(2);
    ASSERT_TRUE(ArmAfterRunOf(400));
    RunEventLoopFor(400);  // 60 ticks of 2 ms fit three times over
    EXPECT_EQ(log_.requests, 1);
    EXPECT_FALSE(dialog_.isCounting());
    EXPECT_EQ(Label(), "Shutdown system...");
}

TEST_F(ShutdownTest, CancelEscapeAndCloseAllStopTheCountdown) {
    dialog_.setTickInterval(2);
    const auto stopsBy = [this](const std::function<void()>& close) {
        dialog_.show();
        if (!ArmAfterRunOf(301))
            return false;
        close();
        const bool stopped = !dialog_.isCounting() && !dialog_.isVisible();
        RunEventLoopFor(300);  // a timer left running would have powered off by now
        return stopped;
    };
    EXPECT_TRUE(stopsBy([this] { Press("btnCancel"); }));
    EXPECT_TRUE(stopsBy([this] { QTest::keyClick(&dialog_, Qt::Key_Escape); }));
    EXPECT_TRUE(stopsBy([this] { dialog_.close(); }));
    EXPECT_EQ(log_.requests, 0);

    // A later qualifying run counts from 60 again.
    ASSERT_TRUE(ArmAfterRunOf(301));
    EXPECT_EQ(dialog_.remainingSeconds(), 60);
}

TEST_F(ShutdownTest, ShutdownNowRequestsAtOnceAndStaysOpenWhenRefused) {
    log_.succeed = false;
    dialog_.show();
    ASSERT_TRUE(ArmAfterRunOf(301));
    Press("btnOK");
    EXPECT_EQ(Label(), "Shutdown system...");
    EXPECT_EQ(log_.requests, 1);
    EXPECT_FALSE(dialog_.isCounting());
    EXPECT_TRUE(dialog_.isVisible());
}

TEST(PowerOffMessageTest, AsksLogindWithoutInteraction) {
    const QDBusMessage message = logindPowerOffMessage();
    EXPECT_EQ(message.type(), QDBusMessage::MethodCallMessage);
    EXPECT_EQ(message.service(), "org.freedesktop.login1");
    EXPECT_EQ(message.path(), "/org/freedesktop/login1");
    EXPECT_EQ(message.interface(), "org.freedesktop.login1.Manager");
    EXPECT_EQ(message.member(), "PowerOff");
    ASSERT_EQ(message.arguments().size(), 1);
    EXPECT_EQ(message.arguments().at(0).metaType(), QMetaType::fromType<bool>());
    EXPECT_FALSE(message.arguments().at(0).toBool());
}
