// The shipped profiles planned against one film: what each kind of profile copies.
#include <gtest/gtest.h>

#include "output_setting.h"
#include "plan_inputs.h"
#include "profile_catalogue.h"

namespace {

SourceStream Stream(int index, PlanKind kind, const char* codec) {
    SourceStream stream;
    stream.index = index;
    stream.kind = kind;
    stream.codec = codec;
    return stream;
}

// H.264 720p at 25 fps, English AAC stereo 48 kHz (default), Japanese AC3 5.1, an English SRT.
QList<SourceStream> Film() {
    SourceStream video = Stream(0, PlanKind::Video, "h264");
    video.width = 1280;
    video.height = 720;
    video.framesPerSecond = 25;
    video.level = 31;
    SourceStream english = Stream(1, PlanKind::Audio, "aac");
    english.channels = 2;
    english.sampleRate = 48000;
    english.language = "eng";
    english.isDefault = true;
    SourceStream japanese = Stream(2, PlanKind::Audio, "ac3");
    japanese.channels = 6;
    japanese.sampleRate = 48000;
    japanese.language = "jpn";
    return {video, english, japanese, Stream(3, PlanKind::Subtitle, "subrip")};
}

class ShippedPlans : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(catalogue_.loadDocuments(CORVANE_PROFILE_SOURCE "/profilelist.xml",
                                             CORVANE_PROFILE_SOURCE "/format.xml"))
            << catalogue_.loadError().toStdString();
    }

    TaskPlan Plan(int profileId) {
        const ProfileEntry* entry = catalogue_.entryById(profileId);
        EXPECT_NE(entry, nullptr) << profileId;
        if (entry == nullptr)
            return {};
        OutputSetting setting;
        applyProfileDefaults(*entry, setting);
        return planTask(Film(), 0, planTargetFor(setting), {});
    }

    static QList<PlanAction> Actions(const TaskPlan& plan) {
        QList<PlanAction> actions;
        for (const PlannedStream& stream : plan.streams)
            actions.append(stream.action);
        return actions;
    }

    ProfileCatalogue catalogue_;
};

}  // namespace

TEST_F(ShippedPlans, SameAsSourceCopiesEveryTrackAnMp4Holds) {
    const TaskPlan plan = Plan(1007);
    EXPECT_EQ(Actions(plan), QList<PlanAction>({PlanAction::Copy, PlanAction::Copy, PlanAction::Copy,
                                                PlanAction::Convert}));
    EXPECT_EQ(plan.streams[3].target, "mov_text");
}

TEST_F(ShippedPlans, KeepEverythingCopiesEverything) {
    EXPECT_EQ(Actions(Plan(1008)), QList<PlanAction>(4, PlanAction::Copy));
}

TEST_F(ShippedPlans, ExtractAudioCopiesTheSoundOnly) {
    EXPECT_EQ(Actions(Plan(1713)), QList<PlanAction>({PlanAction::Drop, PlanAction::Copy, PlanAction::Copy,
                                                      PlanAction::Drop}));
}

TEST_F(ShippedPlans, AFixedProfileCopiesWhatMatchesItAndEncodesTheRest) {
    // MP4 H.264 + AAC: 1280x720, 25 fps, AAC stereo at 44.1 kHz. The picture matches; neither
    // track does: 48 kHz is above the profile's rate, AC3 is not its codec.
    const TaskPlan plan = Plan(1003);
    EXPECT_EQ(Actions(plan), QList<PlanAction>({PlanAction::Copy, PlanAction::Encode, PlanAction::Encode,
                                                PlanAction::Convert}))
        << plan.streams[0].reason.toStdString() << " / " << plan.streams[1].reason.toStdString();
    EXPECT_TRUE(plan.streams[1].reason.contains("44100")) << plan.streams[1].reason.toStdString();
    // AVI with Xvid: the picture is encoded, one track kept, no subtitles.
    const TaskPlan avi = Plan(1002);
    EXPECT_EQ(avi.streams[0].action, PlanAction::Encode);
    EXPECT_EQ(avi.outputs().size(), 2);
    EXPECT_EQ(avi.streams[3].action, PlanAction::Drop);
}

TEST_F(ShippedPlans, DeviceLimitsOverrideWhatTheOptionsSuggest) {
    const ProfileEntry* entry = catalogue_.entryById(1003);
    ASSERT_NE(entry, nullptr);
    OutputSetting setting;
    applyProfileDefaults(*entry, setting);
    const PlanTarget open = planTargetFor(setting);
    EXPECT_EQ(open.maxBitDepth, 0) << "a general profile takes any depth";
    EXPECT_TRUE(open.showsHdr);

    setting.profile.limits.maxWidth = 1920;
    setting.profile.limits.maxHeight = 1080;
    setting.profile.limits.maxFramesPerSecond = 60;
    setting.profile.limits.h264Level = 42;
    setting.profile.limits.hevcLevel = 51;
    setting.profile.limits.maxChannels = 2;
    setting.profile.limits.maxSampleRate = 48000;
    setting.profile.limits.maxAudioTracks = 1;
    const PlanTarget device = planTargetFor(setting);
    EXPECT_EQ(device.maxWidth, 1920);
    EXPECT_EQ(device.maxHeight, 1080);
    EXPECT_EQ(device.maxFramesPerSecond, 60.0);
    EXPECT_EQ(device.maxLevel, 42);
    EXPECT_EQ(device.maxHevcLevel, 153);
    EXPECT_EQ(device.maxBitDepth, 8) << "a device that states no depth plays 8 bits";
    EXPECT_FALSE(device.showsHdr);
    EXPECT_LE(device.maxChannels, 2);
    EXPECT_EQ(device.maxAudioTracks, 1);
    // The film's 5.1 Japanese track is over the device's channels; one track is kept.
    const TaskPlan plan = planTask(Film(), 0, device, {});
    EXPECT_EQ(plan.streams[2].action, PlanAction::Drop);

    // Quality mode names its value; the table's hardware rows plan as their format.
    setting.videoCodec = "HWH5";
    setting.rateControl = "quality";
    setting.quality = 99;
    const PlanTarget hevc = planTargetFor(setting);
    EXPECT_TRUE(hevc.videoQuality == 51 || hevc.videoQuality == 52) << "moved into the encoder's scale";
    EXPECT_TRUE(hevc.videoCopyCodecs.contains("hevc"));
    setting.videoCodec = "MP4V";
    EXPECT_EQ(planTargetFor(setting).videoQuality, -1) << "MPEG-4 has no quality mode: its bit rate counts";
}

TEST_F(ShippedPlans, ASurroundTvKeepsFivePointOneUnlessTheUserAskedForFewerChannels) {
    // The TV profiles encode stereo AAC by default, yet the TV plays AC-3 5.1 as it is.
    for (int id : {1802, 1803}) {
        SCOPED_TRACE(id);
        const TaskPlan plan = Plan(id);
        ASSERT_EQ(plan.streams.size(), 4);
        EXPECT_EQ(plan.streams[2].action, PlanAction::Copy) << plan.streams[2].reason.toStdString();
    }
    const ProfileEntry* entry = catalogue_.entryById(1803);
    ASSERT_NE(entry, nullptr);
    OutputSetting setting;
    applyProfileDefaults(*entry, setting);
    setting.audioChannels = "1";
    const TaskPlan mono = planTask(Film(), 0, planTargetFor(setting), {});
    EXPECT_EQ(mono.streams[1].action, PlanAction::Encode) << mono.streams[1].reason.toStdString();
    EXPECT_EQ(mono.streams[2].action, PlanAction::Encode) << mono.streams[2].reason.toStdString();
}
