#include "frmShutdown.h"

#include <QCloseEvent>

#include "power_off.h"
#include "ui_frmShutdown.h"

frmShutdown::frmShutdown(std::unique_ptr<PowerOffBackend> backend, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::frmShutdown>()),
      backend_(std::move(backend)),
      clock_([] { return QDateTime::currentDateTime(); }) {
    ui_->setupUi(this);
    setWindowTitle(tr("Shutdown"));
    ui_->lblShowTimer->clear();
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &frmShutdown::on_shutdown_timer);
}

frmShutdown::~frmShutdown() = default;

void frmShutdown::markStart() {
    startTime_ = clock_();
}

bool frmShutdown::arm() {
    remainingSeconds_ = kCountdownSeconds;
    // A run that was never marked has no length and cannot qualify.
    if (!startTime_.isValid() || startTime_.secsTo(clock_()) <= kMinimumRunSeconds)
        return false;
    timer_.start();
    return true;
}

void frmShutdown::on_shutdown_timer() {
    --remainingSeconds_;
    if (remainingSeconds_ <= 0) {
        shutdownNow();
        return;
    }
    ui_->lblShowTimer->setText(tr("The system will shut down in %1 seconds").arg(remainingSeconds_));
}

void frmShutdown::on_btnOK_clicked() {
    shutdownNow();
}

void frmShutdown::on_btnCancel_clicked() {
    stopCountdown();
    hide();
}

void frmShutdown::reject() {
    stopCountdown();
    QDialog::reject();
}

void frmShutdown::closeEvent(QCloseEvent* event) {
    stopCountdown();
    QDialog::closeEvent(event);
}

void frmShutdown::stopCountdown() {
    timer_.stop();
}

void frmShutdown::shutdownNow() {
    ui_->lblShowTimer->setText(tr("Shutdown system..."));
    stopCountdown();
    powerOff();
}

bool frmShutdown::powerOff() {
    return backend_ ? backend_->requestPowerOff() : false;
}
