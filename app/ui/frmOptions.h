// Preferences: how many conversions run at once and the automatic update check.
#pragma once

#include <QDialog>
#include <memory>

class AppSettings;

namespace Ui {
class frmOptions;
}

class frmOptions : public QDialog {
    Q_OBJECT

public:
    // settings is not owned and must outlive the dialog.
    explicit frmOptions(AppSettings* settings, QWidget* parent = nullptr);
    ~frmOptions() override;

    // Shows the stored values; runs once at construction. Values outside a spin box's range
    // show as its nearest bound.
    void loadValues();

private slots:
    void on_btnOK_clicked();

private:
    std::unique_ptr<Ui::frmOptions> ui_;
    AppSettings* settings_;
};
