// The countdown that powers the computer off after a long conversion run.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>

class PowerOffBackend;

namespace Ui {
class frmShutdown;
}

class frmShutdown : public QDialog {
    Q_OBJECT

public:
    static constexpr int kCountdownSeconds = 60;
    // Runs this long or shorter never lead to a shutdown.
    static constexpr int kMinimumRunSeconds = 300;

    using Clock = std::function<QDateTime()>;

    // The dialog owns the backend; a null backend makes every power-off request fail.
    explicit frmShutdown(std::unique_ptr<PowerOffBackend> backend, QWidget* parent = nullptr);
    ~frmShutdown() override;

    // Remembers now as the start of a conversion run.
    void markStart();
    // Prepares the countdown and starts it when the run since markStart() lasted more than
    // five minutes; the caller shows the dialog when this returns true.
    bool arm();
    // Requests the power-off through the backend.
    bool powerOff();

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
    void shutdownNow();
    void stopCountdown();

    std::unique_ptr<Ui::frmShutdown> ui_;
    std::unique_ptr<PowerOffBackend> backend_;
    QTimer timer_;
    Clock clock_;
    int remainingSeconds_ = kCountdownSeconds;
    QDateTime startTime_;
};
