// Lets the user adjust the current profile's codecs, rates, size and channels.
#pragma once

#include <QDialog>
#include <memory>

#include "profile_options.h"

struct OutputSetting;
struct ProfileEntry;
class QComboBox;

namespace Ui {
class frmProfileSet;
}

class frmProfileSet : public QDialog {
    Q_OBJECT

public:
    explicit frmProfileSet(QWidget* parent = nullptr);
    ~frmProfileSet() override;

    // Shows setting against the choices of entry. Neither is owned; both must stay valid
    // while the dialog is open. OK writes the choices back into setting.
    void setProfile(const ProfileEntry* entry, OutputSetting* setting);

    const ProfileOptions& options() const { return options_; }

private slots:
    void on_btnOK_clicked();
    void on_btnCancel_clicked();
    void on_btnDefault_clicked();

private:
    void showSetting(const OutputSetting& setting);
    void fillCodecs(QComboBox* box, const EncoderOptions& options, const QString& currentCode);

    std::unique_ptr<Ui::frmProfileSet> ui_;
    const ProfileEntry* entry_ = nullptr;
    OutputSetting* setting_ = nullptr;
    ProfileOptions options_;
};
