#include "frmShutdown.h"

#include <QCloseEvent>
#include <QPushButton>

#include "product_info.h"
#include "session_power.h"
#include "ui_frmShutdown.h"

frmShutdown::frmShutdown(std::unique_ptr<SessionPowerBackend> backend, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::frmShutdown>()),
      backend_(std::move(backend)),
      clock_([] { return QDateTime::currentDateTime(); }) {
    ui_->setupUi(this);
    ui_->lblShowTimer->clear();
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &frmShutdown::on_shutdown_timer);
}

frmShutdown::~frmShutdown() = default;

void frmShutdown::markStart() {
    startTime_ = clock_();
}

bool frmShutdown::arm(AfterRun action) {
    action_ = action;
    remainingSeconds_ = kCountdownSeconds;
    // A run that was never marked has no length and cannot qualify.
    if (action == AfterRun::Nothing || !startTime_.isValid() ||
        startTime_.secsTo(clock_()) <= kMinimumRunSeconds)
        return false;
    switch (action) {
    case AfterRun::Quit:
        setWindowTitle(tr("Quit %1").arg(ProductInfo::kName));
        ui_->btnOK->setText(tr("Quit Now"));
        break;
    case AfterRun::Suspend:
        setWindowTitle(tr("Suspend"));
        ui_->btnOK->setText(tr("Suspend Now"));
        break;
    default:
        setWindowTitle(tr("Power Off"));
        ui_->btnOK->setText(tr("Power Off Now"));
        break;
    }
    showRemaining();
    timer_.start();
    return true;
}

void frmShutdown::showRemaining() {
    const QString seconds =
        remainingSeconds_ == 1 ? tr("1 second") : tr("%1 seconds").arg(remainingSeconds_);
    QString text;
    switch (action_) {
    case AfterRun::Quit:
        text = tr("%1 will quit in %2").arg(ProductInfo::kName, seconds);
        break;
    case AfterRun::Suspend:
        text = tr("The computer will suspend in %1").arg(seconds);
        break;
    default:
        text = tr("The computer will power off in %1").arg(seconds);
        break;
    }
    ui_->lblShowTimer->setText(text);
}

void frmShutdown::on_shutdown_timer() {
    --remainingSeconds_;
    if (remainingSeconds_ <= 0) {
        carryOut();
        return;
    }
    showRemaining();
}

void frmShutdown::on_btnOK_clicked() {
    carryOut();
}

void frmShutdown::on_btnCancel_clicked() {
    reject();
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

bool frmShutdown::carryOut() {
    stopCountdown();
    bool requested = true;
    switch (action_) {
    case AfterRun::Quit:
        ui_->lblShowTimer->setText(tr("Quitting..."));
        break;
    case AfterRun::Suspend:
        ui_->lblShowTimer->setText(tr("Suspending..."));
        requested = backend_ && backend_->requestSuspend();
        if (!requested)
            ui_->lblShowTimer->setText(tr("The computer could not be suspended."));
        break;
    case AfterRun::PowerOff:
        ui_->lblShowTimer->setText(tr("Powering off..."));
        requested = backend_ && backend_->requestPowerOff();
        if (!requested)
            ui_->lblShowTimer->setText(tr("The computer could not be powered off."));
        break;
    case AfterRun::Nothing:
        requested = false;
        break;
    }
    // Accepted ends the dialog: after a suspend the user comes back to the window, not to a
    // finished countdown; a refusal stays on screen so it can be read.
    if (requested)
        accept();
    return requested;
}
