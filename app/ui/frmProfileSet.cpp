#include "frmProfileSet.h"

#include <QSignalBlocker>

#include "codec_tables.h"
#include "encoder_limits.h"
#include "hardware_encoders.h"
#include "output_setting.h"
#include "profile_catalogue.h"
#include "rate_control.h"
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

// The software rows a hardware code falls back to: the row made for that format first, else any
// row of the same encoder.
struct StandIn {
    const char* hardwareCode;
    const char* softwareCode;
    QStringList encoders;
};
const StandIn kStandIns[] = {{"HWH4", "AVCH", {"h264", "libx264"}}, {"HWH5", "HEVC", {"libx265"}}};

// In the order of speedNames().
const char* const kSpeedLabels[] = {QT_TR_NOOP("Fastest"), QT_TR_NOOP("Fast"), QT_TR_NOOP("Balanced"),
                                    QT_TR_NOOP("Slow (smaller file)"), QT_TR_NOOP("Slowest (smallest file)")};

}  // namespace

frmProfileSet::frmProfileSet(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint), ui_(std::make_unique<Ui::frmProfileSet>()) {
    ui_->setupUi(this);
    ui_->cbxRateControl->addItem(tr("Constant quality"), kRateControlQuality);
    ui_->cbxRateControl->addItem(tr("Bit rate"), kRateControlBitrate);
    const QStringList& speeds = speedNames();
    for (int i = 0; i < speeds.size(); ++i)
        ui_->cbxSpeed->addItem(tr(kSpeedLabels[i]), speeds.at(i));
    connect(ui_->cbxVCodec, &QComboBox::currentIndexChanged, this, [this] {
        fillVideoSizes(ui_->cbxVSize->currentText(), Pick::Nearest);
        fillVideoRates(ui_->cbxVBitrate->currentText(), ui_->cbxVFPS->currentText(), Pick::Nearest);
        showRateControl();
    });
    connect(ui_->cbxRateControl, &QComboBox::currentIndexChanged, this, [this] {
        qualityMode_ = ui_->cbxRateControl->currentData().toString() == kRateControlQuality;
        enableRateBoxes();
    });
    connect(ui_->sldQuality, &QSlider::valueChanged, this, [this](int value) {
        quality_ = value;
        ui_->lblQualityValue->setNum(value);
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
        if (!hardwareCodecAvailable(it.key()))
            continue;
        const CodecInfo& row = codecInfo(it.key());
        box->addItem(row.display, row.code);
    }
    // Codes sharing a display name (MAAC and "AAC ") find the first of them. No codec means
    // no such output, which must not match the "ERROR" name of an unknown code.
    const int current = currentCode.isEmpty()
        ? -1 : box->findText(codecInfo(currentCode).display, Qt::MatchExactly | Qt::MatchCaseSensitive);
    box->setCurrentIndex(current);
}

QString frmProfileSet::availableCodec(const QString& code) const {
    if (hardwareCodecAvailable(code))
        return code;
    for (const StandIn& standIn : kStandIns) {
        if (code != QLatin1String(standIn.hardwareCode))
            continue;
        if (options_.video.contains(QLatin1String(standIn.softwareCode)))
            return QLatin1String(standIn.softwareCode);
        for (const QString& offered : options_.video.keys())
            if (!isHardwareCodecCode(offered) && standIn.encoders.contains(codecInfo(offered).encoder))
                return offered;
    }
    // Nothing of the same format: the profile's own codec, when it can be used.
    if (hardwareCodecAvailable(options_.defaultVideoCodec) && options_.video.contains(options_.defaultVideoCodec))
        return options_.defaultVideoCodec;
    for (const QString& offered : options_.video.keys())
        if (hardwareCodecAvailable(offered))
            return offered;
    return QString();
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

void frmProfileSet::showRateControl() {
    const std::optional<QualityScale> scale = qualityScaleOf(videoCodec());
    codecHasScale_ = scale.has_value();
    {
        const QSignalBlocker quietMode(ui_->cbxRateControl);
        const QSignalBlocker quietQuality(ui_->sldQuality);
        ui_->cbxRateControl->setCurrentIndex(
            ui_->cbxRateControl->findData(scale && qualityMode_ ? kRateControlQuality : kRateControlBitrate));
        if (scale) {
            ui_->sldQuality->setRange(scale->lowest, scale->highest);
            if (quality_ >= 0)
                quality_ = scale->clamp(quality_);
            ui_->sldQuality->setValue(quality_ >= 0 ? quality_ : scale->usual);
        }
    }
    ui_->lblQualityValue->setNum(ui_->sldQuality->value());
    ui_->cbxRateControl->setEnabled(scale.has_value());
    ui_->lblRateControl->setEnabled(scale.has_value());
    ui_->cbxSpeed->setEnabled(scale.has_value());
    ui_->lblSpeed->setEnabled(scale.has_value());
    ui_->lblHardwareNote->setVisible(!hardwareStandIn_.isEmpty() && videoCodec() == hardwareStandIn_);
    enableRateBoxes();
}

void frmProfileSet::enableRateBoxes() {
    const bool quality = codecHasScale_ && qualityMode_;
    ui_->cbxVBitrate->setEnabled(!quality);
    ui_->lblVBitrate->setEnabled(!quality);
    for (QWidget* part : {static_cast<QWidget*>(ui_->lblQuality), static_cast<QWidget*>(ui_->sldQuality),
                          static_cast<QWidget*>(ui_->lblQualityValue), static_cast<QWidget*>(ui_->lblQualityHint)})
        part->setEnabled(quality);
}

void frmProfileSet::showSetting(const OutputSetting& setting) {
    const QString videoCode = availableCodec(setting.videoCodec);
    hardwareStandIn_ = videoCode != setting.videoCodec ? videoCode : QString();
    fillCodecs(ui_->cbxVCodec, options_.video, videoCode);
    fillVideoSizes(setting.videoResolution, Pick::Exact);
    fillVideoRates(setting.videoBitrate, setting.videoFrameRate, Pick::Exact);
    qualityMode_ = setting.rateControl == kRateControlQuality;
    // A setting that never chose a quality would otherwise show 0, the lossless end.
    quality_ = qualityMode_ || setting.quality > 0 ? setting.quality : -1;
    ui_->cbxSpeed->setCurrentIndex(ui_->cbxSpeed->findData(setting.speed));
    showRateControl();

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
            // Values the user left as they were keep their stored text ("" reads as a bit rate);
            // a codec that takes a bit rate only keeps the quality and speed for a later one.
            const bool wasQuality = setting_->rateControl == kRateControlQuality;
            const bool quality = codecHasScale_ && qualityMode_;
            if (quality != wasQuality)
                setting_->rateControl = quality ? kRateControlQuality : kRateControlBitrate;
            if (codecHasScale_) {
                if (quality || quality_ >= 0)
                    setting_->quality = ui_->sldQuality->value();
                setting_->speed = ui_->cbxSpeed->currentData().toString();
            }
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
