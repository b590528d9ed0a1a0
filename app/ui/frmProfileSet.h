// Lets the user adjust the current profile's codecs, rates, size and channels, and for
// encoders that can, a constant quality instead of a bit rate and the encoding speed.
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
    // How a refilled list picks its current item: a shown setting marks only its own values;
    // after the user's change the nearest valid one is kept.
    enum class Pick { Exact, Nearest };

    void showSetting(const OutputSetting& setting);
    // Hardware codecs this machine cannot open are left out; codes sharing a display name
    // find the first of them.
    void fillCodecs(QComboBox* box, const EncoderOptions& options, const QString& currentCode);
    // The software codec of the profile's that stands in for a hardware code this machine
    // cannot open; code itself for any other.
    QString availableCodec(const QString& code) const;

    // Each list is filled from the current items of the lists above it.
    void fillVideoSizes(const QString& wanted, Pick pick);
    void fillVideoRates(const QString& bitrate, const QString& frameRate, Pick pick);
    void fillAudioChannels(const QString& wanted, Pick pick);
    void fillAudioSampleRates(const QString& wanted, Pick pick);
    void fillAudioBitrates(const QString& wanted, Pick pick);
    // Rate control, quality and speed for the chosen video codec: the quality is clamped into
    // its scale, and everything but the bit rate is off for codecs without one.
    void showRateControl();
    void enableRateBoxes();

    // The chosen codec, or the profile's own while none is.
    QString videoCodec() const;
    QString audioCodec() const;
    const EncoderChoice* videoChoice() const;
    // channels receives the count shown, else the key of the option that lends its lists.
    const EncoderChoice* audioChoice(QString* channels = nullptr) const;

    std::unique_ptr<Ui::frmProfileSet> ui_;
    const ProfileEntry* entry_ = nullptr;
    OutputSetting* setting_ = nullptr;
    ProfileOptions options_;
    // The user's choices, kept while a codec that takes a bit rate only is shown.
    bool qualityMode_ = false;
    bool codecHasScale_ = false;  // the chosen video codec can encode to a constant quality
    int quality_ = -1;  // -1: none chosen yet; the codec's usual value is shown
    // The software codec shown for a stored hardware choice, while it is shown.
    QString hardwareStandIn_;
};
