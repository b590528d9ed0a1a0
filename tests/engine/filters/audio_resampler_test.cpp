#include "filters/audio_resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "filter_test_frames.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
using namespace filter_test;

namespace {

constexpr uint64_t kMono = 0x4, kStereo = 0x3, kSurround = 0x3F;

double Tone(int index, int rate) {
    return 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * index / rate);
}

// Mean of the middle half, where the resampler's filter has settled.
double SettledLevel(const std::vector<double>& samples) {
    const size_t margin = samples.size() / 4;
    double sum = 0;
    for (size_t i = margin; i < samples.size() - margin; ++i)
        sum += samples[i];
    return sum / static_cast<double>(samples.size() - 2 * margin);
}

int64_t EndAfter(int64_t start, int samples, int rate) {
    return static_cast<int64_t>(static_cast<long double>(samples) / rate * 10000000.0L + start);
}

}  // namespace

TEST(AudioResampler, TurnsSurroundFloatIntoStereoS16KeepingTheInputTimes) {
    CAudioResampler resampler(S16, 2, 44100, 0);
    int64_t start = 5000000;
    int produced = 0;
    for (int block = 0; block < 4; ++block, start += 1024 * 10000000LL / 48000) {
        FramePtr sound = MakeSound(AV_SAMPLE_FMT_FLTP, kSurround, 6, 48000, 1024,
                                   [block](int, int i) { return Tone(block * 1024 + i, 48000); });
        Owned<CAudioFrame> in = WrapSound(sound.get(), start);
        IAudioFrame* out = resampler.Convert(in.get());
        ASSERT_NE(out, nullptr) << "block " << block;
        EXPECT_TRUE(out->GetSampleFormat() == S16 && out->IsInterleaved());
        EXPECT_EQ(out->GetChannelLayout(), static_cast<int64_t>(kStereo));
        const AVFrame* held = HeldFrameOf(out);
        EXPECT_EQ(held->format, AV_SAMPLE_FMT_S16);
        EXPECT_EQ(held->sample_rate, 44100);
        EXPECT_EQ(held->ch_layout.u.mask, kStereo);
        int64_t outStart = 0, outEnd = 0;
        out->GetTimes(&outStart, &outEnd);
        // Output is timed by its own first sample: the input's start, less what the
        // resampler holds back.
        EXPECT_LE(outStart, start + 1);
        EXPECT_GT(outStart, start - 64 * 10000000LL / 44100);
        EXPECT_NEAR(outEnd, EndAfter(outStart, held->nb_samples, 44100), 1);
        const std::vector<double> front = ChannelsOf(out)[0];
        EXPECT_GT(*std::max_element(front.begin(), front.end()), 0.1) << "the tone comes through";
        produced += held->nb_samples;
        EXPECT_EQ(resampler.Convert(nullptr), nullptr);
    }
    // 4096 samples at 48 kHz are 3763 at 44.1 kHz, less what the resampler holds back.
    EXPECT_LE(produced, 3763);
    EXPECT_GT(produced, 3763 - 64);
    EXPECT_EQ(resampler.graphBuildCount(), 1);

    FramePtr mono = MakeSound(AV_SAMPLE_FMT_S16, kMono, 1, 22050, 1024,
                              [](int, int i) { return Tone(i, 22050); });
    Owned<CAudioFrame> monoFrame = WrapSound(mono.get());
    IAudioFrame* out = resampler.Convert(monoFrame.get());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(resampler.graphBuildCount(), 2) << "a new kind of input gets a new graph";
    EXPECT_EQ(HeldFrameOf(out)->sample_rate, 44100);
}

TEST(AudioResampler, FixedFrameSizeWaitsForAFullFrameAndDrainsTheRest) {
    CAudioResampler resampler(S16, 2, 44100, kStereo);
    ASSERT_EQ(resampler.NamedParameter(CAudioResampler::kFrameSizeParameter, "1024"), 1);
    int index = 0;
    const int64_t offset = 20000000;
    auto push = [&](int samples) {
        FramePtr sound = MakeSound(AV_SAMPLE_FMT_FLTP, kStereo, 2, 48000, samples,
                                   [&](int, int i) { return Tone(index + i, 48000); });
        Owned<CAudioFrame> in = WrapSound(sound.get(), offset + int64_t{index} * 10000000 / 48000);
        index += samples;
        return resampler.Convert(in.get());
    };
    // 480 samples at 48 kHz are 441 at 44.1 kHz: two such frames do not fill 1024.
    EXPECT_EQ(push(480), nullptr);
    EXPECT_EQ(resampler.Convert(nullptr), nullptr);
    EXPECT_EQ(push(480), nullptr);
    IAudioFrame* out = push(480);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->GetSampleCount(), 1024);
    EXPECT_EQ(resampler.Convert(nullptr), nullptr);

    // A long frame yields several, the later ones through the drain, each starting where the
    // one before ended.
    out = push(4800);
    ASSERT_NE(out, nullptr);
    int64_t start = 0, end = 0;
    out->GetTimes(&start, &end);
    // The second whole frame begins with output sample 1024, whichever input it came with.
    const int64_t second = offset + 1024 * 10000000LL / 44100;
    EXPECT_LE(start, second + 1);
    EXPECT_GT(start, second - 64 * 10000000LL / 44100);
    EXPECT_NEAR(end, EndAfter(start, 1024, 44100), 1);
    int frames = 1;
    while ((out = resampler.Convert(nullptr)) != nullptr) {
        EXPECT_EQ(out->GetSampleCount(), 1024);
        out->GetTimes(&start, nullptr);
        EXPECT_EQ(start, end);
        out->GetTimes(nullptr, &end);
        ++frames;
    }
    // 6240 samples at 48 kHz are 5733 at 44.1 kHz: five full frames, the first one earlier.
    EXPECT_EQ(frames, 4);
}

TEST(AudioResampler, FrameSizeParameterTakesOnlyWholePositiveNumbers) {
    CAudioResampler resampler(S16, 2, 44100, kStereo);
    const char* name = CAudioResampler::kFrameSizeParameter;
    for (const char* refused : {"abc", "12abc", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(resampler.NamedParameter(name, refused), 0) << (refused ? refused : "null");
    EXPECT_EQ(resampler.NamedParameter(nullptr, "1024"), 0);
    EXPECT_EQ(resampler.NamedParameter(name, "1152"), 1);
    EXPECT_EQ(resampler.NamedParameter(name, "0"), 1);
    EXPECT_EQ(resampler.NamedParameter(name, "-5"), 1);
    EXPECT_EQ(resampler.NamedParameter("W_SomethingElse", "7"), 1);
    EXPECT_EQ(resampler.frameSize(), 1152);

    FramePtr sound = MakeSound(AV_SAMPLE_FMT_S16, kStereo, 2, 48000, 4800,
                               [](int, int i) { return Tone(i, 48000); });
    Owned<CAudioFrame> in = WrapSound(sound.get());
    IAudioFrame* out = resampler.Convert(in.get());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->GetSampleCount(), 1152) << "the size that stayed is the one the graph uses";
}

TEST(AudioResampler, VolumeScalesWithinZeroToThreeButNotMatchingSound) {
    const struct {
        float requested;
        double gain;
    } cases[] = {{1.0f, 1.0}, {2.0f, 2.0}, {0.5f, 0.5}, {5.0f, 3.0}, {-1.0f, 0.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        CAudioResampler resampler(FLT, 2, 48000, kStereo);
        resampler.SetVolume(c.requested);
        FramePtr sound = MakeSound(AV_SAMPLE_FMT_FLTP, kStereo, 2, 48000, 512,
                                   [](int channel, int) { return channel ? -0.2 : 0.2; });
        Owned<CAudioFrame> in = WrapSound(sound.get());
        IAudioFrame* out = resampler.Convert(in.get());
        ASSERT_NE(out, nullptr);
        const auto channels = ChannelsOf(out);
        EXPECT_NEAR(SettledLevel(channels[0]), 0.2 * c.gain, 1e-4);
        EXPECT_NEAR(SettledLevel(channels[1]), -0.2 * c.gain, 1e-4);
    }

    CAudioResampler resampler(FLTP, 2, 48000, 0);
    resampler.SetVolume(2.0f);
    resampler.SetVolume(std::numeric_limits<float>::quiet_NaN());
    EXPECT_FLOAT_EQ(resampler.volume(), 2.0f) << "a volume that is no number is ignored";
    FramePtr sound =
        MakeSound(AV_SAMPLE_FMT_FLTP, kStereo, 2, 48000, 256, [](int, int) { return 0.25; });
    Owned<CAudioFrame> matching = WrapSound(sound.get(), 1000, 0);  // layout 0 reads as stereo
    EXPECT_EQ(resampler.Convert(matching.get()), matching.get());
    EXPECT_FLOAT_EQ(ChannelsOf(matching.get())[1][100], 0.25f);
    EXPECT_EQ(resampler.graphBuildCount(), 0);
    EXPECT_EQ(resampler.Convert(nullptr), nullptr);
}

TEST(AudioResampler, EveryChannelKeepsItsPlace) {
    CAudioResampler stereo(S16, 2, 48000, 0);
    FramePtr mono =
        MakeSound(AV_SAMPLE_FMT_S16, kMono, 1, 48000, 960, [](int, int) { return 0.4; });
    Owned<CAudioFrame> monoFrame = WrapSound(mono.get());
    IAudioFrame* out = stereo.Convert(monoFrame.get());
    ASSERT_NE(out, nullptr);
    auto channels = ChannelsOf(out);
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_GT(SettledLevel(channels[0]), 0.2);
    EXPECT_NEAR(SettledLevel(channels[0]), SettledLevel(channels[1]), 1e-3);

    // Six channels at six levels come out as they went in, also when the decoder did not
    // name their order.
    CAudioResampler surround(S16, 6, 44100, kSurround);
    auto level = [](int channel, int) { return 0.1 * (channel + 1); };
    for (uint64_t layout : {kSurround, uint64_t{0}}) {
        SCOPED_TRACE(layout);
        FramePtr sound = MakeSound(AV_SAMPLE_FMT_FLTP, layout, 6, 48000, 4800, level);
        Owned<CAudioFrame> in = WrapSound(sound.get());
        out = surround.Convert(in.get());
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(HeldFrameOf(out)->ch_layout.u.mask, kSurround);
        channels = ChannelsOf(out);
        ASSERT_EQ(channels.size(), 6u);
        for (int c = 0; c < 6; ++c)
            EXPECT_NEAR(SettledLevel(channels[c]), 0.1 * (c + 1), 0.01) << "channel " << c;
    }
}

TEST(AudioResampler, YieldsNothingWithoutUsableSoundOrTarget) {
    CAudioResampler resampler(S16, 2, 44100, kStereo);
    EXPECT_EQ(resampler.Convert(nullptr), nullptr) << "no graph yet";
    Owned<CAudioFrame> empty(new CAudioFrame(FLTP, true, 48000, 2, kStereo));
    EXPECT_EQ(resampler.Convert(empty.get()), nullptr);

    Owned<IMediaManager> manager(CreateMediaManager());
    EXPECT_EQ(manager->CreateAudioResampler(1, 2, 44100, 0, 0), nullptr) << "unused format id";
    EXPECT_EQ(manager->CreateAudioResampler(S16, 0, 44100, 0, 0), nullptr);
    EXPECT_EQ(manager->CreateAudioResampler(S16, 2, 0, 0, 0), nullptr);
    EXPECT_EQ(manager->CreateAudioResampler(S16, 9, 44100, 0, 0), nullptr) << "no usual layout";
    EXPECT_EQ(manager->CreateAudioResampler(S16, 2, 44100, kSurround, 0), nullptr);
    EXPECT_NE(Owned<IAudioResampler>(manager->CreateAudioResampler(FLTP, 10, 48000, 0, 0)),
              nullptr);
}
