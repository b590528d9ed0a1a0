// The plan decides per stream what a conversion copies, encodes, converts, burns or drops.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "plan_text.h"
#include "stream_plan.h"

namespace {

SourceStream Video(int index, const char* codec, int width, int height, double fps = 23.976, int level = 40) {
    SourceStream stream;
    stream.index = index;
    stream.kind = PlanKind::Video;
    stream.codec = codec;
    stream.width = width;
    stream.height = height;
    stream.framesPerSecond = fps;
    stream.level = level;
    return stream;
}

SourceStream Audio(int index, const char* codec, const char* language, int channels, bool isDefault = false) {
    SourceStream stream;
    stream.index = index;
    stream.kind = PlanKind::Audio;
    stream.codec = codec;
    stream.language = language;
    stream.channels = channels;
    stream.sampleRate = 48000;
    stream.isDefault = isDefault;
    return stream;
}

SourceStream Subtitle(int index, const char* codec, const char* language, bool forced = false) {
    SourceStream stream;
    stream.index = index;
    stream.kind = PlanKind::Subtitle;
    stream.codec = codec;
    stream.language = language;
    stream.isForced = forced;
    return stream;
}

SourceStream Font(int index) {
    SourceStream stream;
    stream.index = index;
    stream.kind = PlanKind::Attachment;
    stream.codec = "ttf";
    return stream;
}

// A film as people keep them: H.264 1080p, English AAC (default), Japanese AC3 5.1, English
// SRT, Japanese ASS, a PGS track and a font.
QList<SourceStream> Film() {
    return {Video(0, "h264", 1920, 1080),     Audio(1, "aac", "eng", 2, true), Audio(2, "ac3", "jpn", 6),
            Subtitle(3, "subrip", "eng"),      Subtitle(4, "ass", "jpn"),       Subtitle(5, "hdmv_pgs_subtitle", "eng"),
            Font(6)};
}

// "MP4 — same as source": copies whatever MP4 takes, encodes the rest to H.264 / AAC.
PlanTarget SameAsSourceMp4() {
    PlanTarget target;
    target.muxer = "mp4";
    target.containerName = "MP4";
    target.copyWhenFits = true;
    target.hasVideo = true;
    target.videoEncoder = "h264";
    target.videoEncoderName = "H.264";
    target.videoCopyCodecs = {"h264", "hevc", "mpeg4"};
    target.hasAudio = true;
    target.audioEncoder = "aac";
    target.audioEncoderName = "AAC 160k";
    target.audioCopyCodecs = {"aac", "ac3", "mp3"};
    target.maxChannels = 6;
    target.maxSampleRate = 48000;
    return target;
}

PlanAction ActionOf(const TaskPlan& plan, int index) {
    for (const PlannedStream& stream : plan.streams)
        if (stream.source.index == index)
            return stream.action;
    ADD_FAILURE() << "no stream " << index;
    return PlanAction::Drop;
}

const PlannedStream& StreamOf(const TaskPlan& plan, int index) {
    for (const PlannedStream& stream : plan.streams)
        if (stream.source.index == index)
            return stream;
    throw std::runtime_error("no such stream");
}

}  // namespace

TEST(StreamPlan, AnMp4ThatTakesEverythingCopiesItAndConvertsTextSubtitles) {
    const TaskPlan plan = planTask(Film(), 0, SameAsSourceMp4(), {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Copy);
    EXPECT_EQ(ActionOf(plan, 1), PlanAction::Copy);
    EXPECT_EQ(ActionOf(plan, 2), PlanAction::Copy) << "every audio track is kept";
    EXPECT_EQ(ActionOf(plan, 3), PlanAction::Convert);
    EXPECT_EQ(StreamOf(plan, 3).target, "mov_text");
    EXPECT_EQ(StreamOf(plan, 4).target, "mov_text");
    EXPECT_EQ(ActionOf(plan, 5), PlanAction::Drop);
    EXPECT_TRUE(StreamOf(plan, 5).reason.contains("MP4")) << StreamOf(plan, 5).reason.toStdString();
    EXPECT_EQ(ActionOf(plan, 6), PlanAction::Drop) << "only Matroska keeps fonts";
    EXPECT_TRUE(plan.keepsChapters);
    EXPECT_FALSE(plan.encodesAnything());
    // Output order is source order.
    const QList<PlannedStream> outputs = plan.outputs();
    ASSERT_EQ(outputs.size(), 5);
    for (int i = 0; i < outputs.size(); ++i)
        EXPECT_EQ(outputs[i].source.index, i);
    EXPECT_EQ(planSummary(plan),
              "Video H.264 1080p → copy · Audio eng AAC → copy, jpn AC3 → copy · "
              "Subtitles eng SRT → MP4 text, jpn ASS → MP4 text");
}

TEST(StreamPlan, MatroskaKeepsEverythingAsItIs) {
    PlanTarget target = SameAsSourceMp4();
    target.muxer = "matroska";
    target.containerName = "Matroska";
    const TaskPlan plan = planTask(Film(), 0, target, {});
    for (const PlannedStream& stream : plan.streams)
        EXPECT_EQ(stream.action, PlanAction::Copy) << stream.source.index << " " << stream.reason.toStdString();
    EXPECT_TRUE(plan.keepsAttachments);

    // A profile that copies any codec the container holds, not only its own.
    QList<SourceStream> film = Film();
    film[0] = Video(0, "vp9", 1920, 1080);
    film[1] = Audio(1, "opus", "eng", 2, true);
    target.videoCopyCodecs.clear();
    target.audioCopyCodecs.clear();
    EXPECT_EQ(ActionOf(planTask(film, 0, target, {}), 0), PlanAction::Encode);
    target.copyAnyCodec = true;
    const TaskPlan any = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(any, 0), PlanAction::Copy);
    EXPECT_EQ(ActionOf(any, 1), PlanAction::Copy);
}

TEST(StreamPlan, WhatDoesNotFitIsEncodedWithTheReason) {
    PlanTarget target = SameAsSourceMp4();
    target.width = 1280;
    target.height = 720;
    TaskPlan plan = planTask(Film(), 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_EQ(StreamOf(plan, 0).target, "h264");
    EXPECT_TRUE(StreamOf(plan, 0).reason.contains("1280x720")) << StreamOf(plan, 0).reason.toStdString();

    // The profile's size and rate are maxima: what is within them fits.
    target = SameAsSourceMp4();
    target.framesPerSecond = 25;
    EXPECT_EQ(ActionOf(planTask(Film(), 0, target, {}), 0), PlanAction::Copy) << "23.976 is within 25";
    target.framesPerSecond = 23.976;
    EXPECT_EQ(ActionOf(planTask(Film(), 0, target, {}), 0), PlanAction::Copy);
    target.framesPerSecond = 20;
    plan = planTask(Film(), 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_TRUE(StreamOf(plan, 0).reason.contains("20 fps")) << StreamOf(plan, 0).reason.toStdString();
    target = SameAsSourceMp4();
    target.width = 1920;
    target.height = 1080;
    QList<SourceStream> small = Film();
    small[0] = Video(0, "h264", 1280, 720);
    EXPECT_EQ(ActionOf(planTask(small, 0, target, {}), 0), PlanAction::Copy) << "smaller than the profile's size";
    // DVD keeps its exact sizes and rates: only those fit.
    target.exactPicture = true;
    EXPECT_EQ(ActionOf(planTask(small, 0, target, {}), 0), PlanAction::Encode);

    // A 4K film for a 1080p device: the picture is encoded, the sound still copied.
    QList<SourceStream> film = Film();
    film[0] = Video(0, "h264", 3840, 2160);
    target = SameAsSourceMp4();
    target.maxWidth = 1920;
    target.maxHeight = 1080;
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_TRUE(StreamOf(plan, 0).reason.contains("1920x1080"));
    EXPECT_EQ(ActionOf(plan, 1), PlanAction::Copy);

    // A device that promises level 3.1 takes no level 4.0 stream, nor one of unknown level.
    target = SameAsSourceMp4();
    target.maxLevel = 31;
    plan = planTask(Film(), 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_TRUE(StreamOf(plan, 0).reason.contains("4.0")) << StreamOf(plan, 0).reason.toStdString();
    film[0] = Video(0, "h264", 1920, 1080, 23.976, 0);
    EXPECT_EQ(ActionOf(planTask(film, 0, target, {}), 0), PlanAction::Encode);
    film[0] = Video(0, "h264", 1280, 720, 23.976, 31);
    EXPECT_EQ(ActionOf(planTask(film, 0, target, {}), 0), PlanAction::Copy);

    // Codecs the profile does not take, and too many channels.
    film = Film();
    film[0] = Video(0, "vp9", 1920, 1080);
    film[1] = Audio(1, "opus", "eng", 2, true);
    target = SameAsSourceMp4();
    target.maxChannels = 2;
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_EQ(ActionOf(plan, 1), PlanAction::Encode);
    EXPECT_EQ(StreamOf(plan, 1).target, "aac");
    EXPECT_EQ(ActionOf(plan, 2), PlanAction::Encode);
    EXPECT_TRUE(StreamOf(plan, 2).reason.contains("channels"));

    // With copying off for the profile everything is encoded, as before.
    target = SameAsSourceMp4();
    target.copyWhenFits = false;
    plan = planTask(Film(), 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_EQ(ActionOf(plan, 1), PlanAction::Encode);
    EXPECT_TRUE(plan.encodesAnything());
}

TEST(StreamPlan, AContainerWithOneTrackKeepsTheDefaultOneAndNoTextSubtitles) {
    QList<SourceStream> film = Film();
    film[1].isDefault = false;
    film[2].isDefault = true;  // the Japanese track is the default one
    PlanTarget target = SameAsSourceMp4();
    target.muxer = "avi";
    target.containerName = "AVI";
    const TaskPlan plan = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(plan, 1), PlanAction::Drop);
    EXPECT_TRUE(StreamOf(plan, 1).reason.contains("one audio track")) << StreamOf(plan, 1).reason.toStdString();
    EXPECT_NE(ActionOf(plan, 2), PlanAction::Drop);
    for (int subtitle : {3, 4, 5}) {
        EXPECT_EQ(ActionOf(plan, subtitle), PlanAction::Drop);
        EXPECT_TRUE(StreamOf(plan, subtitle).reason.contains("AVI"));
    }
    EXPECT_FALSE(plan.keepsChapters);

    // The user's choice wins over the default flag.
    PlanChoices choices;
    choices.audio = {1};
    const TaskPlan chosen = planTask(film, 0, target, choices);
    EXPECT_NE(ActionOf(chosen, 1), PlanAction::Drop);
    EXPECT_EQ(ActionOf(chosen, 2), PlanAction::Drop);
}

TEST(StreamPlan, ChoicesPickTracksAndABurnedSubtitleForcesTheEncode) {
    PlanChoices choices;
    choices.audio = {2};
    choices.subtitles = PlanChoices::Subtitles::Chosen;
    choices.chosenSubtitles = {4};
    TaskPlan plan = planTask(Film(), 0, SameAsSourceMp4(), choices);
    EXPECT_EQ(ActionOf(plan, 1), PlanAction::Drop);
    EXPECT_EQ(StreamOf(plan, 1).reason, "not chosen");
    EXPECT_EQ(ActionOf(plan, 2), PlanAction::Copy);
    EXPECT_EQ(ActionOf(plan, 3), PlanAction::Drop);
    EXPECT_EQ(ActionOf(plan, 4), PlanAction::Convert);

    choices = {};
    choices.burn = 3;
    plan = planTask(Film(), 0, SameAsSourceMp4(), choices);
    EXPECT_EQ(ActionOf(plan, 3), PlanAction::Burn);
    ASSERT_NE(plan.burned(), nullptr);
    EXPECT_EQ(plan.burned()->source.index, 3);
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode) << "a copied picture cannot show a burned subtitle";

    // Where nothing can burn, the chosen track is not quietly kept as a track either.
    PlanTarget cannotBurn = SameAsSourceMp4();
    cannotBurn.burnsSubtitles = false;
    plan = planTask(Film(), 0, cannotBurn, choices);
    EXPECT_EQ(ActionOf(plan, 3), PlanAction::Drop);
    EXPECT_TRUE(StreamOf(plan, 3).reason.contains("burn")) << StreamOf(plan, 3).reason.toStdString();
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Copy);

    // Picture subtitles cannot be burned where only text can.
    PlanTarget textOnly = SameAsSourceMp4();
    textOnly.burnsPictureSubtitles = false;
    choices.burn = 5;
    plan = planTask(Film(), 0, textOnly, choices);
    EXPECT_EQ(ActionOf(plan, 5), PlanAction::Drop);
    EXPECT_TRUE(StreamOf(plan, 5).reason.contains("picture subtitles")) << StreamOf(plan, 5).reason.toStdString();
    EXPECT_EQ(plan.burned(), nullptr);
    choices.burn = 3;

    // "Burn forced subtitles": the first forced track, when the user chose none.
    QList<SourceStream> film = Film();
    film[4].isForced = true;
    PlanTarget target = SameAsSourceMp4();
    target.burnForcedSubtitles = true;
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(plan, 4), PlanAction::Burn);
    EXPECT_EQ(ActionOf(plan, 3), PlanAction::Convert);
    // Nothing is burned into sound.
    target.hasVideo = false;
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(plan.burned(), nullptr);
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Drop);
}

TEST(StreamPlan, WebmTakesItsOwnCodecsOnly) {
    PlanTarget target = SameAsSourceMp4();
    target.muxer = "webm";
    target.containerName = "WebM";
    target.videoCopyCodecs = {"vp9", "av1"};
    target.audioCopyCodecs = {"opus", "vorbis", "aac"};
    target.audioEncoder = "libopus";
    const TaskPlan plan = planTask(Film(), 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_EQ(ActionOf(plan, 1), PlanAction::Encode) << "WebM holds no AAC, whatever the profile lists";
    EXPECT_TRUE(StreamOf(plan, 1).reason.contains("WebM")) << StreamOf(plan, 1).reason.toStdString();
    EXPECT_EQ(StreamOf(plan, 3).target, "webvtt");
}

TEST(StreamPlan, ItsJsonNamesEveryStream) {
    const TaskPlan plan = planTask(Film(), 0, SameAsSourceMp4(), {});
    const QJsonObject json = planJson(plan);
    const QJsonArray streams = json["streams"].toArray();
    ASSERT_EQ(streams.size(), 7);
    EXPECT_EQ(streams[0]["action"].toString(), "copy");
    EXPECT_EQ(streams[1]["language"].toString(), "eng");
    EXPECT_TRUE(streams[1]["default"].toBool());
    EXPECT_EQ(streams[3]["action"].toString(), "convert");
    EXPECT_EQ(streams[3]["target"].toString(), "mov_text");
    EXPECT_EQ(streams[5]["action"].toString(), "drop");
    EXPECT_FALSE(streams[5]["reason"].toString().isEmpty());
    EXPECT_TRUE(json["chapters"].toBool());
    // Stable: the same plan gives the same text.
    EXPECT_EQ(QJsonDocument(json).toJson(), QJsonDocument(planJson(planTask(Film(), 0, SameAsSourceMp4(), {}))).toJson());
}

TEST(StreamPlan, DeviceLimitsOnLevelsBitsAndHdrDecideTheCopy) {
    PlanTarget target = SameAsSourceMp4();
    QList<SourceStream> film = Film();
    // HEVC 5.1 (FFmpeg's 153) to a device that plays up to 4.1.
    film[0] = Video(0, "hevc", 1920, 1080, 23.976, 153);
    target.maxHevcLevel = 123;
    TaskPlan plan = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_TRUE(StreamOf(plan, 0).reason.contains("5.1")) << StreamOf(plan, 0).reason.toStdString();
    EXPECT_TRUE(StreamOf(plan, 0).reason.contains("4.1")) << StreamOf(plan, 0).reason.toStdString();
    film[0].level = 120;
    EXPECT_EQ(ActionOf(planTask(film, 0, target, {}), 0), PlanAction::Copy) << "4.0 is within 4.1";
    // An H.264 level says nothing of HEVC streams.
    target.maxHevcLevel = 0;
    target.maxLevel = 31;
    EXPECT_EQ(ActionOf(planTask(film, 0, target, {}), 0), PlanAction::Copy);

    // Ten bits to an eight-bit device.
    target = SameAsSourceMp4();
    film[0].bitDepth = 10;
    EXPECT_EQ(ActionOf(planTask(film, 0, target, {}), 0), PlanAction::Copy) << "no device: any depth";
    target.maxBitDepth = 8;
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_TRUE(StreamOf(plan, 0).reason.contains("10-bit")) << StreamOf(plan, 0).reason.toStdString();
    target.maxBitDepth = 10;
    EXPECT_EQ(ActionOf(planTask(film, 0, target, {}), 0), PlanAction::Copy);

    // PQ pictures to a device that shows SDR only are encoded; an HDR screen takes them.
    film[0].transfer = "smpte2084";
    target.showsHdr = false;
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(plan, 0), PlanAction::Encode);
    EXPECT_TRUE(StreamOf(plan, 0).reason.contains("HDR")) << StreamOf(plan, 0).reason.toStdString();
    target.showsHdr = true;
    EXPECT_EQ(ActionOf(planTask(film, 0, target, {}), 0), PlanAction::Copy);

    // More audio tracks than the device plays: the first ones in source order.
    target = SameAsSourceMp4();
    target.maxAudioTracks = 1;
    film = Film();
    film.append(Audio(7, "aac", "fra", 2));
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(plan, 1), PlanAction::Copy);
    EXPECT_EQ(ActionOf(plan, 2), PlanAction::Drop);
    target.maxAudioTracks = 2;
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(ActionOf(plan, 2), PlanAction::Copy);
    EXPECT_EQ(ActionOf(plan, 7), PlanAction::Drop);
}

TEST(StreamPlan, TheTextNamesTheQualityAndWhatBecomesOfHdr) {
    PlanTarget target = SameAsSourceMp4();
    target.copyWhenFits = false;
    target.videoEncoder = "libx265";
    target.videoQuality = 24;
    QList<SourceStream> film = Film();
    TaskPlan plan = planTask(film, 0, target, {});
    EXPECT_TRUE(planSummary(plan).startsWith("Video H.264 1080p → HEVC quality 24 · ")) << planSummary(plan).toStdString();
    EXPECT_EQ(planJson(plan)["streams"].toArray()[0].toObject()["quality"].toInt(), 24);
    EXPECT_FALSE(planJson(plan)["streams"].toArray()[1].toObject().contains("quality")) << "sound has no such thing";

    // A bit rate reads as before.
    target.videoQuality = -1;
    EXPECT_TRUE(planSummary(planTask(film, 0, target, {})).startsWith("Video H.264 1080p → HEVC · "));

    film[0].transfer = "smpte2084";
    target.canToneMap = true;
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(StreamOf(plan, 0).note, "HDR → SDR (tone-mapped)");
    EXPECT_TRUE(planDetails(plan).contains("HEVC — HDR → SDR (tone-mapped)")) << planDetails(plan).toStdString();
    target.canToneMap = false;
    plan = planTask(film, 0, target, {});
    EXPECT_EQ(StreamOf(plan, 0).note, "HDR source: colours will look washed out");
    EXPECT_EQ(planJson(plan)["streams"].toArray()[0].toObject()["note"].toString(), "HDR source: colours will look washed out");
    target.keepsHdr = true;
    EXPECT_EQ(StreamOf(planTask(film, 0, target, {}), 0).note, "HDR kept");
    film[0].transfer = "bt709";
    EXPECT_TRUE(StreamOf(planTask(film, 0, target, {}), 0).note.isEmpty());
}
