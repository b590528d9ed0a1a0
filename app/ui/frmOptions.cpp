#include "frmOptions.h"

#include "app_settings.h"
#include "conversion_run.h"
#include "ui_frmOptions.h"

frmOptions::frmOptions(AppSettings* settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::frmOptions>()),
      settings_(settings) {
    ui_->setupUi(this);
    setWindowTitle(tr("Preferences"));
    // The engine runs at most one task per processor: offer no number that would not run.
    ui_->spnMaxRun->setRange(1, maxParallelTasks());
    // Rejecting hides like hide() does, and keeps exec()'s result from a former OK from leaking.
    connect(ui_->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    loadValues();
}

frmOptions::~frmOptions() = default;

void frmOptions::loadValues() {
    if (settings_ == nullptr)
        return;
    ui_->spnMaxRun->setValue(settings_->maxTasksAtOnce());
    ui_->spnCheckUpdate->setValue(settings_->checkUpdateDays());
    ui_->gbxCheckUpdate->setChecked(settings_->checkForUpdate());
}

void frmOptions::on_btnOK_clicked() {
    if (settings_) {
        settings_->setMaxTasksAtOnce(ui_->spnMaxRun->value());
        settings_->setCheckUpdateDays(ui_->spnCheckUpdate->value());
        settings_->setCheckForUpdate(ui_->gbxCheckUpdate->isChecked());
    }
    accept();
}
