#include "stream_plan.h"

#include <QCoreApplication>
#include <cmath>

#include "container_support.h"

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("StreamPlan", text);
}

bool sameRate(double a, double b) {
    return std::abs(a - b) < 0.01;
}

QString levelText(int level) {
    return QString::number(level / 10) + '.' + QString::number(level % 10);
}

// HEVC counts levels in thirtieths: 153 is 5.1.
QString hevcLevelText(int level) {
    return levelText(level / 3);
}

bool isHdr(const SourceStream& video) {
    return video.transfer == QLatin1String("smpte2084") || video.transfer == QLatin1String("arib-std-b67");
}

// What the encode does with an HDR picture; empty for SDR ones.
QString hdrNote(const SourceStream& video, const PlanTarget& target) {
    if (!isHdr(video))
        return {};
    if (target.keepsHdr)
        return tr("HDR kept");
    return target.canToneMap ? tr("HDR → SDR (tone-mapped)") : tr("HDR source: colours will look washed out");
}

PlannedStream planned(const SourceStream& stream, PlanAction action, const QString& target,
                      const QString& reason) {
    PlannedStream result;
    result.source = stream;
    result.action = action;
    result.target = target;
    result.reason = reason;
    return result;
}

// Why the picture cannot be copied, or empty when it can.
QString whyVideoIsEncoded(const SourceStream& video, const PlanTarget& target) {
    if (!target.copyWhenFits)
        return tr("the profile always encodes");
    if (!target.copyAnyCodec && !target.videoCopyCodecs.contains(video.codec))
        return tr("the profile converts to %1").arg(target.videoEncoderName);
    if (!containerTakes(target.muxer, video.codec))
        return tr("%1 cannot hold this video as it is").arg(target.containerName);
    if (target.exactPicture) {
        if (target.width > 0 && (target.width != video.width || target.height != video.height))
            return tr("the profile's size is %1x%2").arg(target.width).arg(target.height);
        if (target.framesPerSecond > 0 && !sameRate(target.framesPerSecond, video.framesPerSecond))
            return tr("the profile's frame rate is %1 fps").arg(target.framesPerSecond);
    }
    if (target.width > 0 && (video.width > target.width || video.height > target.height))
        return tr("larger than the profile's %1x%2").arg(target.width).arg(target.height);
    if (target.framesPerSecond > 0 && video.framesPerSecond > target.framesPerSecond + 0.01)
        return tr("faster than the profile's %1 fps").arg(target.framesPerSecond);
    if ((target.maxWidth > 0 && video.width > target.maxWidth) ||
        (target.maxHeight > 0 && video.height > target.maxHeight))
        return tr("larger than the device's %1x%2").arg(target.maxWidth).arg(target.maxHeight);
    if (target.maxFramesPerSecond > 0 && video.framesPerSecond > target.maxFramesPerSecond + 0.01)
        return tr("faster than the device's %1 fps").arg(target.maxFramesPerSecond);
    if (target.maxLevel > 0 && video.codec == QLatin1String("h264") &&
        (video.level <= 0 || video.level > target.maxLevel))
        return video.level <= 0 ? tr("its level is unknown")
                                : tr("level %1 is over the device's %2")
                                      .arg(levelText(video.level), levelText(target.maxLevel));
    if (target.maxHevcLevel > 0 && video.codec == QLatin1String("hevc") &&
        (video.level <= 0 || video.level > target.maxHevcLevel))
        return video.level <= 0 ? tr("its level is unknown")
                                : tr("level %1 is over the device's %2")
                                      .arg(hevcLevelText(video.level), hevcLevelText(target.maxHevcLevel));
    if (target.maxBitDepth > 0 && video.bitDepth > target.maxBitDepth)
        return tr("%1-bit pictures; the device plays %2 bits").arg(video.bitDepth).arg(target.maxBitDepth);
    if (!target.showsHdr && isHdr(video))
        return tr("HDR pictures; the device shows SDR");
    return {};
}

QString whyAudioIsEncoded(const SourceStream& audio, const PlanTarget& target) {
    if (!target.copyWhenFits)
        return tr("the profile always encodes");
    if (!target.copyAnyCodec && !target.audioCopyCodecs.contains(audio.codec))
        return tr("the profile converts to %1").arg(target.audioEncoderName);
    if (!containerTakes(target.muxer, audio.codec))
        return tr("%1 cannot hold this sound as it is").arg(target.containerName);
    if (target.maxChannels > 0 && audio.channels > target.maxChannels)
        return tr("more channels than the profile's %1").arg(target.maxChannels);
    if (target.maxSampleRate > 0 && audio.sampleRate > target.maxSampleRate)
        return tr("a higher sample rate than the profile's %1 Hz").arg(target.maxSampleRate);
    return {};
}

// The audio streams to keep, in source order; a container that plays one track keeps the one
// the file marks as default (or the user's first choice).
QList<int> keptAudio(const QList<SourceStream>& source, const PlanTarget& target, const PlanChoices& choices) {
    QList<int> candidates;
    for (const SourceStream& stream : source)
        if (stream.kind == PlanKind::Audio && (choices.audio.isEmpty() || choices.audio.contains(stream.index)))
            candidates.append(stream.index);
    const int limit = target.maxAudioTracks > 0 ? target.maxAudioTracks : audioTracksFor(target.muxer);
    if (limit <= 0 || candidates.size() <= limit)
        return candidates;
    if (limit > 1)
        return candidates.mid(0, limit);
    if (!choices.audio.isEmpty() && candidates.contains(choices.audio.first()))
        return {choices.audio.first()};
    for (const SourceStream& stream : source)
        if (stream.isDefault && candidates.contains(stream.index))
            return {stream.index};
    return {candidates.first()};
}

bool subtitleChosen(const SourceStream& stream, const PlanChoices& choices) {
    switch (choices.subtitles) {
    case PlanChoices::Subtitles::All:
        return true;
    case PlanChoices::Subtitles::None:
        return false;
    case PlanChoices::Subtitles::Chosen:
        return choices.chosenSubtitles.contains(stream.index);
    }
    return false;
}

PlannedStream planSubtitle(const SourceStream& stream, const PlanTarget& target, const PlanChoices& choices) {
    if (!subtitleChosen(stream, choices))
        return planned(stream, PlanAction::Drop, {}, tr("not chosen"));
    if (isTextSubtitle(stream.codec)) {
        const QString text = textSubtitleCodecFor(target.muxer);
        if (text.isEmpty())
            return planned(stream, PlanAction::Drop, {},
                           tr("%1 cannot hold subtitles").arg(target.containerName));
        if (text == QLatin1String("copy") || text == stream.codec)
            return planned(stream, PlanAction::Copy, stream.codec, tr("kept as it is"));
        if (!target.convertsTextSubtitles)
            return planned(stream, PlanAction::Drop, {},
                           tr("this version does not convert subtitles to %1 text").arg(target.containerName));
        return planned(stream, PlanAction::Convert, text,
                       tr("%1 keeps text subtitles as %2").arg(target.containerName, text));
    }
    if (isBitmapSubtitle(stream.codec) && containerTakes(target.muxer, stream.codec))
        return planned(stream, PlanAction::Copy, stream.codec, tr("kept as it is"));
    return planned(stream, PlanAction::Drop, {},
                   tr("%1 cannot hold these picture subtitles").arg(target.containerName));
}

// The subtitle stream burned into the picture: the user's, else the first forced one when the
// profile asks for it.
bool burnable(const SourceStream& stream, const PlanTarget& target) {
    return stream.kind == PlanKind::Subtitle && target.hasVideo && target.burnsSubtitles &&
           (isTextSubtitle(stream.codec) || target.burnsPictureSubtitles);
}

int burnedSubtitle(const QList<SourceStream>& source, const PlanTarget& target, const PlanChoices& choices) {
    for (const SourceStream& stream : source)
        if (stream.index == choices.burn && burnable(stream, target))
            return stream.index;
    if (choices.burn != -1 || !target.burnForcedSubtitles)
        return -1;
    for (const SourceStream& stream : source)
        if (stream.isForced && burnable(stream, target))
            return stream.index;
    return -1;
}

// Why the subtitle the user chose to burn is not burned.
QString whyNotBurned(const PlanTarget& target) {
    if (!target.burnsSubtitles)
        return tr("this version cannot burn subtitles into the picture");
    return tr("this version cannot burn picture subtitles, only text");
}

}  // namespace

bool isTextSubtitle(const QString& codec) {
    static const QStringList text = {"subrip", "srt", "ass", "ssa", "webvtt", "mov_text", "text"};
    return text.contains(codec);
}

bool isBitmapSubtitle(const QString& codec) {
    static const QStringList bitmap = {"hdmv_pgs_subtitle", "dvd_subtitle", "dvb_subtitle"};
    return bitmap.contains(codec);
}

QList<PlannedStream> TaskPlan::outputs() const {
    QList<PlannedStream> written;
    for (const PlannedStream& stream : streams)
        if (stream.action == PlanAction::Copy || stream.action == PlanAction::Encode ||
            stream.action == PlanAction::Convert)
            written.append(stream);
    return written;
}

const PlannedStream* TaskPlan::burned() const {
    for (const PlannedStream& stream : streams)
        if (stream.action == PlanAction::Burn)
            return &stream;
    return nullptr;
}

bool TaskPlan::encodesAnything() const {
    for (const PlannedStream& stream : streams)
        if (stream.action == PlanAction::Encode)
            return true;
    return false;
}

TaskPlan planTask(const QList<SourceStream>& source, int videoStream, const PlanTarget& target,
                  const PlanChoices& choices) {
    TaskPlan plan;
    const QList<int> audio = keptAudio(source, target, choices);
    const int burn = burnedSubtitle(source, target, choices);
    for (const SourceStream& stream : source) {
        switch (stream.kind) {
        case PlanKind::Video: {
            if (stream.index != videoStream) {
                plan.streams.append(planned(stream, PlanAction::Drop, {}, tr("only one picture is kept")));
            } else if (!target.hasVideo) {
                plan.streams.append(planned(stream, PlanAction::Drop, {}, tr("the profile keeps only the sound")));
            } else {
                QString why = whyVideoIsEncoded(stream, target);
                if (why.isEmpty() && burn >= 0)
                    why = tr("subtitles are burned into the picture");
                if (why.isEmpty()) {
                    plan.streams.append(planned(stream, PlanAction::Copy, stream.codec, tr("already fits")));
                } else {
                    PlannedStream encoded = planned(stream, PlanAction::Encode, target.videoEncoder, why);
                    encoded.quality = target.videoQuality;
                    encoded.note = hdrNote(stream, target);
                    plan.streams.append(encoded);
                }
            }
            break;
        }
        case PlanKind::Audio: {
            if (!target.hasAudio) {
                plan.streams.append(planned(stream, PlanAction::Drop, {}, tr("the profile keeps only the picture")));
            } else if (!audio.contains(stream.index)) {
                const bool oneTrack = !choices.audio.isEmpty() && choices.audio.contains(stream.index);
                plan.streams.append(planned(stream, PlanAction::Drop, {},
                                            oneTrack || choices.audio.isEmpty()
                                                ? tr("%1 plays one audio track").arg(target.containerName)
                                                : tr("not chosen")));
            } else {
                const QString why = whyAudioIsEncoded(stream, target);
                plan.streams.append(why.isEmpty()
                                        ? planned(stream, PlanAction::Copy, stream.codec, tr("already fits"))
                                        : planned(stream, PlanAction::Encode, target.audioEncoder, why));
            }
            break;
        }
        case PlanKind::Subtitle:
            if (!target.hasVideo) {
                plan.streams.append(planned(stream, PlanAction::Drop, {}, tr("the profile keeps only the sound")));
                break;
            }
            if (stream.index == burn)
                plan.streams.append(planned(stream, PlanAction::Burn, {}, tr("burned into the picture")));
            else if (stream.index == choices.burn)
                plan.streams.append(planned(stream, PlanAction::Drop, {}, whyNotBurned(target)));
            else
                plan.streams.append(planSubtitle(stream, target, choices));
            break;
        case PlanKind::Attachment:
            if (!containerHoldsAttachments(target.muxer))
                plan.streams.append(planned(stream, PlanAction::Drop, {},
                                            tr("%1 cannot hold attached files").arg(target.containerName)));
            else if (!target.copiesAttachments || !target.hasVideo)
                plan.streams.append(planned(stream, PlanAction::Drop, {}, tr("attached files are not kept")));
            else
                plan.streams.append(planned(stream, PlanAction::Copy, stream.codec, tr("kept as it is")));
            break;
        case PlanKind::Other:
            plan.streams.append(planned(stream, PlanAction::Drop, {}, tr("not a picture, sound or subtitle")));
            break;
        }
    }
    plan.keepsChapters = containerHoldsChapters(target.muxer);
    plan.keepsAttachments = containerHoldsAttachments(target.muxer);
    return plan;
}
