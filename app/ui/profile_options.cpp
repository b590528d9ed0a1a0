#include "profile_options.h"

#include "output_setting.h"
#include "profile_catalogue.h"

namespace {

// A later option with the same keys replaces the earlier lists.
template <typename Option>
void AddChoices(const QList<Option>& list, QString Option::*key, QStringList Option::*bitrates,
                QStringList Option::*rates, EncoderOptions& options) {
    for (const Option& option : list) {
        EncoderChoice& choice = options[option.codec][option.*key];
        choice.bitrates = leadingNumbers(option.*bitrates);
        choice.rates = leadingNumbers(option.*rates);
    }
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
    AddChoices(format.video, &VideoOption::resolution, &VideoOption::bitrates, &VideoOption::frameRates,
               video);
    defaultAudioCodec = format.defaultAudioCodec;
    defaultChannels = format.defaultChannels;
    AddChoices(format.audio, &AudioOption::channels, &AudioOption::bitrates, &AudioOption::sampleRates,
               audio);
}

const EncoderChoice* ProfileOptions::find(const EncoderOptions& options, const QString& codec,
                                          const QString& key) {
    const auto byCodec = options.constFind(codec);
    if (byCodec == options.constEnd())
        return nullptr;
    const auto byKey = byCodec->constFind(key);
    return byKey == byCodec->constEnd() ? nullptr : &*byKey;
}
