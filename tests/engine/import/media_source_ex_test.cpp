#include "import/media_source_ex.h"

#include <gtest/gtest.h>

#include "import_test_support.h"
#include "object/media_manager.h"

using namespace MediaBased;

namespace {

Owned<IMediaSourceEx> Wrap(CMediaManager& manager, const std::string& name) {
    return Owned<IMediaSourceEx>(manager.CreateMediaSource(TestMedia(name).c_str()));
}

std::string HasAv(IMediaSource* source) {
    return reinterpret_cast<const char*>(source->NamedParameter("R_MediaSourceParamHasAV", ""));
}

}  // namespace

TEST(MediaSourceEx, DecodesTheVideoAndOnlyTheFirstAudioStream) {
    CMediaManager manager;
    Owned<IMediaSourceEx> source = Wrap(manager, "two_audio_subs.mkv");
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(HasAv(source.get()), "3");
    const std::vector<Delivered> frames = ReadAll(source.get());
    ASSERT_FALSE(OfSlot(frames, 0).empty());
    ASSERT_FALSE(OfSlot(frames, 1).empty());
    for (const Delivered& frame : frames) {
        EXPECT_EQ(frame.kind, frame.slot == 0 ? FrameKindVideo : FrameKindAudio);
        if (frame.slot == 1) {
            EXPECT_EQ(frame.sampleRate, 44100) << "the first audio stream, not the 48 kHz one";
        }
    }
}

TEST(MediaSourceEx, AudioOnlyFilesHaveOneSlot) {
    CMediaManager manager;
    for (const char* name : {"audio_only.mka", "with_cover.mp3"}) {
        Owned<IMediaSourceEx> source = Wrap(manager, name);
        ASSERT_NE(source, nullptr) << name;
        EXPECT_EQ(HasAv(source.get()), "1") << name;
        const std::vector<Delivered> frames = ReadAll(source.get());
        EXPECT_FALSE(frames.empty()) << name;
        EXPECT_EQ(OfSlot(frames, 0).size(), frames.size()) << name;
    }
}

TEST(MediaSourceEx, ForwardsEveryOperationToItsSource) {
    CMediaManager manager;
    Owned<IMediaSourceEx> source = Wrap(manager, "audio_longer.mkv");
    ASSERT_NE(source, nullptr);
    int key = 0;
    EXPECT_EQ(source->ReservedQuery(&key), nullptr);
    EXPECT_EQ(source->ReservedValue(), 0);
    EXPECT_GE(source->GetDuration(), 2990);
    EXPECT_FALSE(source->IsEndOfStream());
    const size_t frames = ReadAll(source.get()).size();
    EXPECT_TRUE(source->IsEndOfStream());
    ASSERT_TRUE(source->Seek(0));
    EXPECT_EQ(ReadAll(source.get()).size(), frames);
}

TEST(MediaSourceEx, FailuresAreReportedInOrder) {
    CMediaManager manager;
    using Entries = std::vector<LogCapture::Entry>;
    {
        LogCapture log;
        EXPECT_EQ(Wrap(manager, "missing.mkv"), nullptr);
        EXPECT_EQ(log.entries(),
                  Entries({{"av_open_input_file error.", "147"}, {"can not open file.", "50"}}));
    }
    {
        LogCapture log;
        EXPECT_EQ(Wrap(manager, "subtitles_only.mks"), nullptr);
        EXPECT_EQ(log.entries(), Entries({{"no audio or video.", "72"}}));
    }
    LogCapture log;
    EXPECT_EQ(manager.CreateMediaSource(nullptr), nullptr);
    EXPECT_EQ(log.entries(), Entries({{"can not open file.", "50"}}));
}
