#include "profile_options.h"

#include <QDomElement>

#include "output_setting.h"
#include "profile_catalogue.h"

namespace {

struct OptionNames {
    const char* group;
    const char* defaultCodec;
    const char* defaultKey;
    const char* codec;
    const char* key;
    const char* bitrates;
    const char* rates;
};

const OptionNames kVideoNames{"VideoEnc", "defVideoFourCC", "defResolution", "VideoFourCC",
                              "Resolution", "VideoBitrate", "FrameRate"};
const OptionNames kAudioNames{"AudioEnc", "defAudioFourCC", "defChannel", "AudioFourCC",
                              "Channel", "AudioBitrate", "SampleRate"};

void ReadGroup(const QDomElement& profile, const OptionNames& names, QString& defaultCodec,
               QString& defaultKey, EncoderOptions& options) {
    const QDomElement group = profile.firstChildElement(names.group);
    defaultCodec = group.attribute(names.defaultCodec);
    defaultKey = group.attribute(names.defaultKey);
    for (QDomElement option = group.firstChildElement(); !option.isNull();
         option = option.nextSiblingElement()) {
        // A later option with the same keys replaces the earlier lists.
        EncoderChoice& choice = options[option.attribute(names.codec)][option.attribute(names.key)];
        choice.bitrates = splitNumberList(option.firstChildElement(names.bitrates).text());
        choice.rates = splitNumberList(option.firstChildElement(names.rates).text());
    }
}

}  // namespace

QStringList splitNumberList(const QString& text) {
    QStringList numbers;
    for (const QString& part : text.split(QLatin1Char(';'))) {
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
    const QDomElement profile = entry.profileElement();
    ReadGroup(profile, kVideoNames, defaultVideoCodec, defaultResolution, video);
    ReadGroup(profile, kAudioNames, defaultAudioCodec, defaultChannels, audio);
}

const EncoderChoice* ProfileOptions::find(const EncoderOptions& options, const QString& codec,
                                          const QString& key) {
    const auto byCodec = options.constFind(codec);
    if (byCodec == options.constEnd())
        return nullptr;
    const auto byKey = byCodec->constFind(key);
    return byKey == byCodec->constEnd() ? nullptr : &*byKey;
}
