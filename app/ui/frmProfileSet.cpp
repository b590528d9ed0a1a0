#include "frmProfileSet.h"

#include "codec_tables.h"
#include "output_setting.h"
#include "profile_catalogue.h"
#include "ui_frmProfileSet.h"

namespace {

// Items are matched exactly and case-sensitively; an absent text leaves nothing current.
void Fill(QComboBox* box, const QStringList& items, const QString& current) {
    box->clear();
    box->addItems(items);
    box->setCurrentIndex(box->findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

QString CurrentCode(const QComboBox* box) {
    return box->currentData().toString();
}

}  // namespace

frmProfileSet::frmProfileSet(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint), ui_(std::make_unique<Ui::frmProfileSet>()) {
    ui_->setupUi(this);
}

frmProfileSet::~frmProfileSet() = default;

void frmProfileSet::setProfile(const ProfileEntry* entry, OutputSetting* setting) {
    entry_ = entry;
    setting_ = setting;
    if (entry_)
        options_.build(*entry_);
    else
        options_.clear();
    if (setting_)
        showSetting(*setting_);
}

void frmProfileSet::fillCodecs(QComboBox* box, const EncoderOptions& options, const QString& currentCode) {
    box->clear();
    for (auto it = options.constBegin(); it != options.constEnd(); ++it) {
        const CodecInfo& row = codecInfo(it.key());
        box->addItem(row.display, row.code);
    }
    // Codes sharing a display name (MAAC and "AAC ") find the first of them. No codec means
    // no such output, which must not match the "ERROR" name of an unknown code.
    const int current = currentCode.isEmpty()
        ? -1 : box->findText(codecInfo(currentCode).display, Qt::MatchExactly | Qt::MatchCaseSensitive);
    box->setCurrentIndex(current);
}

void frmProfileSet::showSetting(const OutputSetting& setting) {
    // The dependent lists always follow the profile's defaults, not the chosen codec.
    fillCodecs(ui_->cbxVCodec, options_.video, setting.videoCodec);
    QStringList resolutions{kKeepOriginal};
    for (const QString& resolution : options_.video.value(options_.defaultVideoCodec).keys())
        if (resolution != kKeepOriginal)
            resolutions << resolution;
    Fill(ui_->cbxVSize, resolutions, setting.videoResolution);
    const EncoderChoice* video =
        ProfileOptions::find(options_.video, options_.defaultVideoCodec, options_.defaultResolution);
    Fill(ui_->cbxVBitrate, video ? video->bitrates : QStringList(), setting.videoBitrate);
    Fill(ui_->cbxVFPS, QStringList{kKeepOriginal} + (video ? video->rates : QStringList()), setting.videoFrameRate);

    fillCodecs(ui_->cbxACodec, options_.audio, setting.audioCodec);
    Fill(ui_->cbxAChannel, options_.audio.value(options_.defaultAudioCodec).keys(), setting.audioChannels);
    const EncoderChoice* audio =
        ProfileOptions::find(options_.audio, options_.defaultAudioCodec, options_.defaultChannels);
    Fill(ui_->cbxABitrate, audio ? audio->bitrates : QStringList(), setting.audioBitrate);
    Fill(ui_->cbxASample, audio ? audio->rates : QStringList(), setting.audioSampleRate);

    ui_->gbxVideo->setEnabled(ui_->cbxVCodec->count() > 0);
    ui_->gbxAudio->setEnabled(ui_->cbxACodec->count() > 0);
}

void frmProfileSet::on_btnOK_clicked() {
    if (setting_) {
        if (ui_->cbxVCodec->currentIndex() >= 0) {
            setting_->videoCodec = CurrentCode(ui_->cbxVCodec);
            setting_->videoFrameRate = ui_->cbxVFPS->currentText();
            setting_->videoResolution = ui_->cbxVSize->currentText();
            setting_->videoBitrate = ui_->cbxVBitrate->currentText();
        }
        if (ui_->cbxACodec->currentIndex() >= 0) {
            setting_->audioCodec = CurrentCode(ui_->cbxACodec);
            setting_->audioSampleRate = ui_->cbxASample->currentText();
            setting_->audioChannels = ui_->cbxAChannel->currentText();
            setting_->audioBitrate = ui_->cbxABitrate->currentText();
        }
    }
    accept();
}

void frmProfileSet::on_btnCancel_clicked() {
    reject();
}

void frmProfileSet::on_btnDefault_clicked() {
    if (entry_ == nullptr)
        return;
    OutputSetting defaults;
    applyProfileDefaults(*entry_, defaults);
    showSetting(defaults);
}
