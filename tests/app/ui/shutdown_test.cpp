#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "frmShutdown.h"
#include "session_power.h"

namespace {

// Records suspend and power-off requests instead of making them.
struct PowerLog {
    int powerOffs = 0;
    int suspends = 0;
    bool succeed = true;
};

class FakeSessionPower : public SessionPowerBackend {
public:
    explicit FakeSessionPower(PowerLog* log) : log_(log) {}
    bool requestPowerOff() override {
        ++log_->powerOffs;
        return log_->succeed;
    }
    bool requestSuspend() override {
        ++log_->suspends;
        return log_->succeed;
    }

private:
    PowerLog* log_;
};

// Runs a real event loop, in which a 2 ms timer ticks at its full rate (qWait would not).
void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class ShutdownTest : public ::testing::Test {
protected:
    ShutdownTest() : dialog_(std::make_unique<FakeSessionPower>(&log_)) {
        dialog_.setClock([this] { return now_; });
    }

    // Marks a run start that lies the given number of seconds before the end.
    bool ArmAfterRunOf(int seconds, AfterRun action = AfterRun::PowerOff) {
        now_ = QDateTime(QDate(2024, 3, 7), QTime(10, 0));
        dialog_.markStart();
        now_ = now_.addSecs(seconds);
        return dialog_.arm(action);
    }
    void Tick() { dialog_.on_shutdown_timer(); }
    QString Label() const { return dialog_.findChild<QLabel*>("lblShowTimer")->text(); }
    void Press(const char* name) { dialog_.findChild<QPushButton*>(name)->click(); }
    int Requests() const { return log_.powerOffs + log_.suspends; }

    PowerLog log_;
    QDateTime now_;
    frmShutdown dialog_;
};

}  // namespace

TEST_F(ShutdownTest, OnlyRunsLongerThanFiveMinutesArmTheCountdown) {
    for (AfterRun action : {AfterRun::Quit, AfterRun::Suspend, AfterRun::PowerOff}) {
        EXPECT_FALSE(ArmAfterRunOf(299, action));
        EXPECT_FALSE(dialog_.isCounting());
        EXPECT_FALSE(ArmAfterRunOf(300, action));
        EXPECT_TRUE(ArmAfterRunOf(301, action));
        EXPECT_TRUE(dialog_.isCounting());
        EXPECT_EQ(dialog_.tickInterval(), 1000);
        EXPECT_EQ(dialog_.remainingSeconds(), 60);
        dialog_.reject();
    }

    frmShutdown unmarked(std::make_unique<FakeSessionPower>(&log_));
    EXPECT_FALSE(unmarked.arm(AfterRun::PowerOff));
    EXPECT_EQ(Requests(), 0);
}

TEST_F(ShutdownTest, DoNothingNeverStartsTheCountdown) {
    dialog_.setTickInterval(2);
    EXPECT_FALSE(ArmAfterRunOf(24 * 3600, AfterRun::Nothing));
    EXPECT_FALSE(dialog_.isCounting());
    RunEventLoopFor(300);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(Requests(), 0);
}

TEST_F(ShutdownTest, TheCountdownIsWordedForTheChosenAction) {
    struct Case {
        AfterRun action;
        const char* first;
        const char* last;
        const char* button;
    };
    const Case cases[] = {
        {AfterRun::PowerOff, "The computer will power off in 60 seconds",
         "The computer will power off in 1 second", "Power Off Now"},
        {AfterRun::Suspend, "The computer will suspend in 60 seconds", "The computer will suspend in 1 second",
         "Suspend Now"},
        {AfterRun::Quit, "Corvane will quit in 60 seconds", "Corvane will quit in 1 second", "Quit Now"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ArmAfterRunOf(301, c.action));
        EXPECT_EQ(Label(), c.first);
        EXPECT_EQ(dialog_.findChild<QPushButton*>("btnOK")->text(), c.button);
        Tick();
        EXPECT_EQ(Label(), QString(c.first).replace("60", "59"));
        for (int i = 0; i < 58; ++i)
            Tick();
        EXPECT_EQ(Label(), c.last);
        EXPECT_EQ(Requests(), 0) << "nothing happens before the count ends";
        dialog_.reject();
    }
}

TEST_F(ShutdownTest, TheLastTickCarriesOutTheChosenActionOnce) {
    const auto runOut = [this](AfterRun action) {
        log_ = PowerLog();
        dialog_.show();
        EXPECT_TRUE(ArmAfterRunOf(301, action));
        for (int i = 0; i < 60; ++i)
            Tick();
        EXPECT_FALSE(dialog_.isCounting());
        EXPECT_FALSE(dialog_.isVisible()) << "an accepted request ends the dialog";
        EXPECT_EQ(dialog_.result(), QDialog::Accepted);
    };
    runOut(AfterRun::PowerOff);
    EXPECT_EQ(log_.powerOffs, 1);
    EXPECT_EQ(log_.suspends, 0);

    runOut(AfterRun::Suspend);
    EXPECT_EQ(log_.suspends, 1);
    EXPECT_EQ(log_.powerOffs, 0);

    // Quitting is the window's part: the dialog ends accepted and asks the system for nothing.
    runOut(AfterRun::Quit);
    EXPECT_EQ(Requests(), 0);
    EXPECT_EQ(Label(), "Quitting...");
}

TEST_F(ShutdownTest, TheRunningTimerMakesExactlyOneRequest) {
    dialog_.setTickInterval(2);
    ASSERT_TRUE(ArmAfterRunOf(400, AfterRun::Suspend));
    RunEventLoopFor(400);  // 60 ticks of 2 ms fit three times over
    EXPECT_EQ(log_.suspends, 1);
    EXPECT_EQ(log_.powerOffs, 0);
    EXPECT_FALSE(dialog_.isCounting());
}

TEST_F(ShutdownTest, CancelEscapeAndCloseAllStopTheCountdown) {
    dialog_.setTickInterval(2);
    for (AfterRun action : {AfterRun::Quit, AfterRun::Suspend, AfterRun::PowerOff}) {
        const auto stopsBy = [this, action](const std::function<void()>& close) {
            dialog_.show();
            if (!ArmAfterRunOf(301, action))
                return false;
            close();
            const bool stopped = !dialog_.isCounting() && !dialog_.isVisible() &&
                                 dialog_.result() == QDialog::Rejected;
            RunEventLoopFor(300);  // a timer left running would have acted by now
            return stopped;
        };
        EXPECT_TRUE(stopsBy([this] { Press("btnCancel"); }));
        EXPECT_TRUE(stopsBy([this] { QTest::keyClick(&dialog_, Qt::Key_Escape); }));
        EXPECT_TRUE(stopsBy([this] { dialog_.close(); }));
    }
    EXPECT_EQ(Requests(), 0);

    // A later qualifying run counts from 60 again.
    ASSERT_TRUE(ArmAfterRunOf(301));
    EXPECT_EQ(dialog_.remainingSeconds(), 60);
}

TEST_F(ShutdownTest, NowActsAtOnceAndARefusalStaysOnScreen) {
    log_.succeed = false;
    dialog_.show();
    ASSERT_TRUE(ArmAfterRunOf(301, AfterRun::PowerOff));
    Press("btnOK");
    EXPECT_EQ(Label(), "The computer could not be powered off.");
    EXPECT_EQ(log_.powerOffs, 1);
    EXPECT_FALSE(dialog_.isCounting());
    EXPECT_TRUE(dialog_.isVisible());

    ASSERT_TRUE(ArmAfterRunOf(301, AfterRun::Suspend));
    Press("btnOK");
    EXPECT_EQ(Label(), "The computer could not be suspended.");
    EXPECT_EQ(log_.suspends, 1);
    EXPECT_TRUE(dialog_.isVisible());

    frmShutdown withoutBackend(nullptr);
    withoutBackend.setClock([this] { return now_; });
    withoutBackend.markStart();
    now_ = now_.addSecs(400);
    ASSERT_TRUE(withoutBackend.arm(AfterRun::Suspend));
    EXPECT_FALSE(withoutBackend.carryOut());
}

TEST(LogindMessageTest, AsksTheManagerWithoutInteraction) {
    const std::pair<QDBusMessage, const char*> calls[] = {{logindPowerOffMessage(), "PowerOff"},
                                                          {logindSuspendMessage(), "Suspend"}};
    for (const auto& [message, method] : calls) {
        EXPECT_EQ(message.type(), QDBusMessage::MethodCallMessage);
        EXPECT_EQ(message.service(), "org.freedesktop.login1");
        EXPECT_EQ(message.path(), "/org/freedesktop/login1");
        EXPECT_EQ(message.interface(), "org.freedesktop.login1.Manager");
        EXPECT_EQ(message.member(), method);
        ASSERT_EQ(message.arguments().size(), 1);
        EXPECT_EQ(message.arguments().at(0).metaType(), QMetaType::fromType<bool>());
        EXPECT_FALSE(message.arguments().at(0).toBool());
    }
}
