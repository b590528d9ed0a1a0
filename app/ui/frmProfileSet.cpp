#include "frmProfileSet.h"

#include <QSignalBlocker>

#include "codec_tables.h"
#include "encoder_limits.h"
#include "output_setting.h"
#include "profile_catalogue.h"
#include "ui_frmProfileSet.h"

namespace {

// Replaces the items without signalling. Items are matched exactly and case-sensitively: an
// absent text leaves nothing current, unless nearest asks for the item nearest to it, else
// fallback, else the first.
void Fill(QComboBox* box, const QStringList& items, const QString& wanted, bool nearest = false,
          const QString& fallback = QString()) {
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItems(items);
    QString current = wanted;
    if (nearest && !items.contains(wanted)) {
        current = nearestChoice(items, wanted);
        if (current.isNull())
            current = items.contains(fallback) ? fallback : items.value(0);
    }
    box->setCurrentIndex(box->findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

QString CurrentCode(const QComboBox* box) {
    return box->currentData().toString();
}

QList<int> Numbers(const QComboBox* box) {
    QList<int> numbers;
    for (int i = 0; i < box->count(); ++i)
        numbers << box->itemText(i).toInt();
    return numbers;
}

AudioEncoderLimits LimitsOf(const QString& code) {
    return AudioEncoderLimits(codecInfo(code).encoder);
}

}  // namespace

frmProfileSet::frmProfileSet(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint), ui_(std::make_unique<Ui::frmProfileSet>()) {
    ui_->setupUi(this);
    connect(ui_->cbxVCodec, &QComboBox::currentIndexChanged, this, [this] {
        fillVideoSizes(ui_->cbxVSize->currentText(), Pick::Nearest);
        fillVideoRates(ui_->cbxVBitrate->currentText(), ui_->cbxVFPS->currentText(), Pick::Nearest);
    });
    connect(ui_->cbxVSize, &QComboBox::currentIndexChanged, this, [this] {
        fillVideoRates(ui_->cbxVBitrate->currentText(), ui_->cbxVFPS->currentText(), Pick::Nearest);
    });
    connect(ui_->cbxACodec, &QComboBox::currentIndexChanged, this, [this] {
        fillAudioChannels(ui_->cbxAChannel->currentText(), Pick::Nearest);
        fillAudioSampleRates(ui_->cbxASample->currentText(), Pick::Nearest);
        fillAudioBitrates(ui_->cbxABitrate->currentText(), Pick::Nearest);
    });
    connect(ui_->cbxAChannel, &QComboBox::currentIndexChanged, this, [this] {
        fillAudioSampleRates(ui_->cbxASample->currentText(), Pick::Nearest);
        fillAudioBitrates(ui_->cbxABitrate->currentText(), Pick::Nearest);
    });
    connect(ui_->cbxASample, &QComboBox::currentIndexChanged, this,
            [this] { fillAudioBitrates(ui_->cbxABitrate->currentText(), Pick::Nearest); });
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
    const QSignalBlocker quiet(box);
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

// A codec that is not in the list shows the lists of the profile's own.
QString frmProfileSet::videoCodec() const {
    return ui_->cbxVCodec->currentIndex() >= 0 ? CurrentCode(ui_->cbxVCodec) : options_.defaultVideoCodec;
}

QString frmProfileSet::audioCodec() const {
    return ui_->cbxACodec->currentIndex() >= 0 ? CurrentCode(ui_->cbxACodec) : options_.defaultAudioCodec;
}

const EncoderChoice* frmProfileSet::videoChoice() const {
    return ProfileOptions::choiceFor(options_.video, videoCodec(), ui_->cbxVSize->currentText(),
                                     options_.defaultResolution);
}

const EncoderChoice* frmProfileSet::audioChoice(QString* channels) const {
    const EncoderChoice* choice = ProfileOptions::choiceFor(options_.audio, audioCodec(),
                                                            ui_->cbxAChannel->currentText(),
                                                            options_.defaultChannels, channels);
    // The count written is the one shown, whichever option lends its lists.
    if (channels && ui_->cbxAChannel->currentIndex() >= 0)
        *channels = ui_->cbxAChannel->currentText();
    return choice;
}

void frmProfileSet::fillVideoSizes(const QString& wanted, Pick pick) {
    QStringList sizes;
    for (const QString& size : options_.video.value(videoCodec()).keys())
        if (size != kKeepOriginal)
            sizes << size;
    Fill(ui_->cbxVSize, QStringList{kKeepOriginal} + sortedBySize(sizes), wanted, pick == Pick::Nearest,
         options_.defaultResolution);
}

void frmProfileSet::fillVideoRates(const QString& bitrate, const QString& frameRate, Pick pick) {
    const EncoderChoice* choice = videoChoice();
    const bool nearest = pick == Pick::Nearest;
    Fill(ui_->cbxVBitrate, choice ? choice->bitrates : QStringList(), bitrate, nearest,
         choice ? choice->defaultBitrate : QString());
    const QStringList frameRates = choice ? choice->rates : QStringList();
    Fill(ui_->cbxVFPS, QStringList{kKeepOriginal} + frameRates, frameRate, nearest,
         choice ? choice->defaultRate : QString());
}

void frmProfileSet::fillAudioChannels(const QString& wanted, Pick pick) {
    const QString codec = audioCodec();
    const AudioEncoderLimits limits = LimitsOf(codec);
    QStringList channels;
    for (const QString& key : options_.audio.value(codec).keys()) {
        bool isNumber = false;
        const int count = key.toInt(&isNumber);
        if (!isNumber || limits.acceptsChannels(count))
            channels << key;
    }
    Fill(ui_->cbxAChannel, channels, wanted, pick == Pick::Nearest, options_.defaultChannels);
}

void frmProfileSet::fillAudioSampleRates(const QString& wanted, Pick pick) {
    QString channels;
    const EncoderChoice* choice = audioChoice(&channels);
    QStringList rates;
    if (choice)
        rates = acceptedSampleRates(LimitsOf(audioCodec()), choice->rates, choice->bitrates,
                                    channels.toInt());
    Fill(ui_->cbxASample, rates, wanted, pick == Pick::Nearest, choice ? choice->defaultRate : QString());
}

void frmProfileSet::fillAudioBitrates(const QString& wanted, Pick pick) {
    QString channels;
    const EncoderChoice* choice = audioChoice(&channels);
    QStringList bitrates;
    if (choice) {
        // Until a sample rate is chosen a bit rate must suit every one offered.
        const QList<int> rates = ui_->cbxASample->currentIndex() >= 0
                                     ? QList<int>{ui_->cbxASample->currentText().toInt()}
                                     : Numbers(ui_->cbxASample);
        bitrates = acceptedBitrates(LimitsOf(audioCodec()), choice->bitrates, rates,
                                    channels.toInt());
    }
    Fill(ui_->cbxABitrate, bitrates, wanted, pick == Pick::Nearest,
         choice ? choice->defaultBitrate : QString());
}

void frmProfileSet::showSetting(const OutputSetting& setting) {
    fillCodecs(ui_->cbxVCodec, options_.video, setting.videoCodec);
    fillVideoSizes(setting.videoResolution, Pick::Exact);
    fillVideoRates(setting.videoBitrate, setting.videoFrameRate, Pick::Exact);

    fillCodecs(ui_->cbxACodec, options_.audio, setting.audioCodec);
    fillAudioChannels(setting.audioChannels, Pick::Exact);
    fillAudioSampleRates(setting.audioSampleRate, Pick::Exact);
    fillAudioBitrates(setting.audioBitrate, Pick::Exact);

    ui_->gbxVideo->setEnabled(ui_->cbxVCodec->count() > 0);
    ui_->gbxAudio->setEnabled(ui_->cbxACodec->count() > 0);
    ui_->chkCopyStreams->setChecked(setting.copyStreams);
    ui_->chkBurnForced->setChecked(setting.burnForcedSubtitles);
    ui_->chkBurnForced->setEnabled(ui_->cbxVCodec->count() > 0);
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
        setting_->copyStreams = ui_->chkCopyStreams->isChecked();
        setting_->burnForcedSubtitles = ui_->chkBurnForced->isChecked();
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
