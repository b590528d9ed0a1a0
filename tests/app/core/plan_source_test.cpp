// A probed film as the plan sees it, and the plan made of it.
#include <gtest/gtest.h>

#include <QFileInfo>

#include "engine_test_support.h"
#include "output_setting.h"
#include "plan_inputs.h"
#include "plan_text.h"
#include "size_estimate.h"
#include "source_file.h"
#include "track_labels.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

TEST(PlanSource, EveryStreamOfAFilmWithItsKindAndTags) {
    Owned<IMediaManager> manager(CreateMediaManager());
    ASSERT_NE(manager, nullptr);
    SourceFile source(manager.get());
    ASSERT_TRUE(source.probe(QString::fromStdString(TestMedia("film.mkv"))));
    const QList<SourceStream> streams = sourceStreamsOf(source);
    ASSERT_GE(streams.size(), 5);
    const QList<PlanKind> kinds = {PlanKind::Video, PlanKind::Audio, PlanKind::Audio, PlanKind::Subtitle,
                                   PlanKind::Subtitle};
    for (int i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(streams[i].index, i);
        EXPECT_EQ(streams[i].kind, kinds[i]) << i;
    }
    if (streams.size() > 5) {
        EXPECT_EQ(streams[5].kind, PlanKind::Attachment) << "the attached font";
    }
    EXPECT_EQ(streams[0].codec, "h264");
    EXPECT_EQ(streams[0].width, 640);
    EXPECT_NEAR(streams[0].framesPerSecond, 25.0, 0.01);
    EXPECT_EQ(streams[1].language, "eng");
    EXPECT_TRUE(streams[1].isDefault);
    EXPECT_EQ(streams[2].codec, "ac3");
    EXPECT_EQ(streams[2].channels, 6);
    EXPECT_EQ(streams[2].title, "Japanese");
    EXPECT_EQ(audioTrackLabel(source, 2), "2: Japanese — AC3 5.1") << "the title repeats the language";
    EXPECT_FALSE(streams[2].isDefault);
    EXPECT_EQ(streams[3].codec, "subrip");
    EXPECT_EQ(streams[4].codec, "ass");
    EXPECT_EQ(streams[4].language, "jpn");

    // Into an AVI with Xvid: one track, the default one; no subtitles.
    OutputSetting avi;
    avi.extension = ".avi";
    avi.videoCodec = "Xvid";
    avi.audioCodec = "MP3 ";
    avi.audioChannels = "2";
    avi.copyStreams = true;
    const TaskPlan plan = planTask(streams, source.videoStream(), planTargetFor(avi), {});
    const QList<PlannedStream> outputs = plan.outputs();
    ASSERT_EQ(outputs.size(), 2) << planDetails(plan).toStdString();
    EXPECT_EQ(outputs[1].source.index, 1);
    EXPECT_EQ(planSummary(plan), "Video H.264 640x360 → MPEG-4 · Audio eng AAC → MP3")
        << planSummary(plan).toStdString();
}

TEST(PlanSource, TheSizeEstimateCountsCopiedStreamsAtTheirOwnRate) {
    Owned<IMediaManager> manager(CreateMediaManager());
    ASSERT_NE(manager, nullptr);
    SourceFile source(manager.get());
    const QString path = QString::fromStdString(TestMedia("film.mkv"));
    ASSERT_TRUE(source.probe(path));
    OutputSetting keep;
    keep.extension = ".mkv";
    keep.videoCodec = "PS3H";
    keep.videoResolution = kKeepOriginal;
    keep.videoFrameRate = kKeepOriginal;
    keep.videoBitrate = "8000";
    keep.audioCodec = "flac";
    keep.audioBitrate = "1000";
    keep.copyStreams = true;
    keep.profile.copyAnyCodec = true;
    // Everything copied: about the source's own size, whatever the profile's rates say.
    const double copied = double(plannedOutputBytes(planFor(source, keep), source, keep));
    const double size = double(QFileInfo(path).size());
    EXPECT_NEAR(copied / size, 1.0, 0.25) << copied << " of " << size;
    // Everything encoded: the profile's rates over the file's length.
    keep.copyStreams = false;
    const TaskPlan encoded = planFor(source, keep);
    EXPECT_TRUE(encoded.encodesAnything());
    // The picture and both sound tracks at the profile's rates; subtitles and the font, still
    // copied, add next to nothing.
    const double expected = source.duration() * (8000 + 2 * 1000) * 1000 / 8.0;
    EXPECT_NEAR(double(plannedOutputBytes(encoded, source, keep)) / expected, 1.0, 0.01);
}
