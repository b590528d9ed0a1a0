// A probed film as the plan sees it, and the plan made of it.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "output_setting.h"
#include "plan_inputs.h"
#include "plan_text.h"
#include "source_file.h"
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
