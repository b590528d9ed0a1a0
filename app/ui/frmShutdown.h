// The countdown before the chosen "after the run" action: quitting Corvane, suspending or
// powering off the computer once a long conversion run has ended.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>

#include "app_settings.h"

class SessionPowerBackend;

namespace Ui {
class frmShutdown;
}

class frmShutdown : public QDialog {
    Q_OBJECT

public:
    static constexpr int kCountdownSeconds = 60;
    // Runs this long or shorter never lead to the action.
    static constexpr int kMinimumRunSeconds = 300;

    using Clock = std::function<QDateTime()>;

    // The dialog owns the backend; a null backend makes every suspend or power-off request fail.
    explicit frmShutdown(std::unique_ptr<SessionPowerBackend> backend, QWidget* parent = nullptr);
    ~frmShutdown() override;

    // Remembers now as the start of a conversion run.
    void markStart();
    // Prepares the countdown for action and starts it when the run since markStart() lasted
    // more than five minutes; the caller shows the dialog (exec) when this returns true.
    // AfterRun::Nothing never arms. Quitting waits for a long run too: after a short job the
    // user is most likely still at the window and would not expect it to vanish.
    bool arm(AfterRun action);
    AfterRun action() const { return action_; }
    // Carries the action out now. Suspend and power off go through the backend; quitting is
    // the window's part, told by the dialog ending accepted. False when the request failed:
    // the dialog then stays open and says so.
    bool carryOut();

    bool isCounting() const { return timer_.isActive(); }
    int remainingSeconds() const { return remainingSeconds_; }
    int tickInterval() const { return timer_.interval(); }

    // Test hooks: the source of "now", and a faster tick.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    void setTickInterval(int ms) { timer_.setInterval(ms); }

    // Closing by the title bar or Escape cancels the countdown rather than hiding it. Not
    // redeclared as a slot: QDialog's slot dispatches here already.
    void reject() override;

    // One tick of the countdown. Kept out of the meta-object: the form's by-name connection
    // scans every on_ method and would warn about a missing object called "shutdown".
    void on_shutdown_timer();

private slots:
    void on_btnOK_clicked();
    void on_btnCancel_clicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showRemaining();
    void stopCountdown();

    std::unique_ptr<Ui::frmShutdown> ui_;
    std::unique_ptr<SessionPowerBackend> backend_;
    QTimer timer_;
    Clock clock_;
    AfterRun action_ = AfterRun::Nothing;
    int remainingSeconds_ = kCountdownSeconds;
    QDateTime startTime_;
};
