#include "profile_options.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <optional>

#include "output_setting.h"
#include "profile_catalogue.h"

namespace {

struct OptionFields {
    QString key;
    QStringList bitrates;
    QStringList rates;
    QString defaultBitrate;
    QString defaultRate;
};

OptionFields FieldsOf(const VideoOption& option) {
    return {option.resolution, option.bitrates, option.frameRates, option.defaultBitrate,
            option.defaultFrameRate};
}

OptionFields FieldsOf(const AudioOption& option) {
    return {option.channels, option.bitrates, option.sampleRates, option.defaultBitrate,
            option.defaultSampleRate};
}

// A later option with the same keys replaces the earlier lists.
template <typename Option>
void AddChoices(const QList<Option>& list, EncoderOptions& options) {
    for (const Option& option : list) {
        const OptionFields fields = FieldsOf(option);
        EncoderChoice& choice = options[option.codec][fields.key];
        choice.bitrates = leadingNumbers(fields.bitrates);
        choice.rates = leadingNumbers(fields.rates);
        choice.defaultBitrate = leadingNumber(fields.defaultBitrate);
        choice.defaultRate =
            fields.defaultRate == kKeepOriginal ? fields.defaultRate : leadingNumber(fields.defaultRate);
    }
}

// Width and height of a "w*h" text.
std::optional<std::pair<qint64, qint64>> SizeOf(const QString& text) {
    static const QRegularExpression size(QStringLiteral("^\\s*(\\d+)\\s*\\*\\s*(\\d+)\\s*$"));
    const QRegularExpressionMatch match = size.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return std::make_pair(match.captured(1).toLongLong(), match.captured(2).toLongLong());
}

std::optional<double> ValueOf(const QString& text) {
    if (const auto size = SizeOf(text))
        return static_cast<double>(size->first * size->second);
    bool ok = false;
    const double value = leadingNumber(text).toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

QStringList leadingNumbers(const QStringList& parts) {
    QStringList numbers;
    for (const QString& part : parts) {
        const QString number = leadingNumber(part);
        if (!number.isEmpty())
            numbers << number;
    }
    return numbers;
}

void ProfileOptions::clear() {
    *this = ProfileOptions();
}

void ProfileOptions::build(const ProfileEntry& entry) {
    clear();
    const ProfileFormat& format = entry.format;
    defaultVideoCodec = format.defaultVideoCodec;
    defaultResolution = format.defaultResolution;
    AddChoices(format.video, video);
    defaultAudioCodec = format.defaultAudioCodec;
    defaultChannels = format.defaultChannels;
    AddChoices(format.audio, audio);
}

const EncoderChoice* ProfileOptions::find(const EncoderOptions& options, const QString& codec,
                                          const QString& key) {
    const auto byCodec = options.constFind(codec);
    if (byCodec == options.constEnd())
        return nullptr;
    const auto byKey = byCodec->constFind(key);
    return byKey == byCodec->constEnd() ? nullptr : &*byKey;
}

const EncoderChoice* ProfileOptions::choiceFor(const EncoderOptions& options, const QString& codec,
                                               const QString& key, const QString& fallbackKey,
                                               QString* usedKey) {
    const auto byCodec = options.constFind(codec);
    if (byCodec == options.constEnd() || byCodec->isEmpty())
        return nullptr;
    auto found = byCodec->constFind(key);
    if (found == byCodec->constEnd())
        found = byCodec->constFind(fallbackKey);
    if (found == byCodec->constEnd())
        found = byCodec->constBegin();
    if (usedKey)
        *usedKey = found.key();
    return &*found;
}

QStringList sortedBySize(QStringList resolutions) {
    std::stable_sort(resolutions.begin(), resolutions.end(), [](const QString& a, const QString& b) {
        const auto sizeA = SizeOf(a);
        const auto sizeB = SizeOf(b);
        if (!sizeA || !sizeB)
            return sizeA.has_value() && !sizeB.has_value();
        const qint64 pixelsA = sizeA->first * sizeA->second;
        const qint64 pixelsB = sizeB->first * sizeB->second;
        return pixelsA != pixelsB ? pixelsA < pixelsB : sizeA->first < sizeB->first;
    });
    return resolutions;
}

QString nearestChoice(const QStringList& items, const QString& wanted) {
    if (items.contains(wanted))
        return wanted;
    const std::optional<double> target = ValueOf(wanted);
    if (!target)
        return {};
    QString nearest;
    double nearestDistance = 0;
    double nearestValue = 0;
    for (const QString& item : items) {
        const std::optional<double> value = ValueOf(item);
        if (!value)
            continue;
        const double distance = std::abs(*value - *target);
        if (nearest.isNull() || distance < nearestDistance ||
            (distance == nearestDistance && *value < nearestValue)) {
            nearest = item;
            nearestDistance = distance;
            nearestValue = *value;
        }
    }
    return nearest;
}
