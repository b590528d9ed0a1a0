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
    // 0 reads "Automatic": as many as this machine runs well.
    ui_->spnMaxRun->setRange(0, maxParallelTasks());
    ui_->spnMaxRun->setSpecialValueText(tr("Automatic"));
    // Rejecting hides like hide() does, and keeps exec()'s result from a former OK from leaking.
    connect(ui_->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    loadValues();
}

frmOptions::~frmOptions() = default;

void frmOptions::loadValues() {
    if (settings_ == nullptr)
        return;
    ui_->spnMaxRun->setValue(settings_->maxTasksAtOnceIsAutomatic() ? 0 : settings_->maxTasksAtOnce());
    ui_->spnCheckUpdate->setValue(settings_->checkUpdateDays());
    ui_->gbxCheckUpdate->setChecked(settings_->checkForUpdate());
}

void frmOptions::on_btnOK_clicked() {
    if (settings_) {
        if (ui_->spnMaxRun->value() == 0)
            settings_->setMaxTasksAtOnceAutomatic();
        else
            settings_->setMaxTasksAtOnce(ui_->spnMaxRun->value());
        settings_->setCheckUpdateDays(ui_->spnCheckUpdate->value());
        settings_->setCheckForUpdate(ui_->gbxCheckUpdate->isChecked());
    }
    accept();
}
