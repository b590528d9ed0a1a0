// Sound from a real decoder, cut the way an encoder with a fixed frame size needs it.
#include "filters/audio_resampler.h"

#include <gtest/gtest.h>

#include "filter_test_frames.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

using namespace MediaBased;
using namespace filter_test;
using SystemBased::CodecContextPtr;
using SystemBased::InputFormatContextPtr;
using SystemBased::PacketPtr;

TEST(DecodedAudioResampling, AacSoundBecomesFullFramesOfS16AtAnotherRate) {
    AVFormatContext* opened = nullptr;
    ASSERT_EQ(avformat_open_input(&opened, TestMedia("h264_aac.mkv").c_str(), nullptr, nullptr), 0);
    InputFormatContextPtr input(opened);
    ASSERT_GE(avformat_find_stream_info(input.get(), nullptr), 0);
    const AVCodec* codec = nullptr;
    const int streamIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    ASSERT_GE(streamIndex, 0);
    const AVStream* stream = input->streams[streamIndex];
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    ASSERT_GE(avcodec_parameters_to_context(decoder.get(), stream->codecpar), 0);
    ASSERT_EQ(avcodec_open2(decoder.get(), codec, nullptr), 0);

    CAudioResampler resampler(S16, 2, 44100, 0);
    ASSERT_EQ(resampler.NamedParameter(CAudioResampler::kFrameSizeParameter, "1024"), 1);

    int64_t decodedSamples = 0;
    int64_t outputSamples = 0;
    int64_t lastStart = -1;
    int outputFrames = 0;
    Owned<CAudioFrame> slot;
    FramePtr decoded(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    auto receiveAll = [&] {
        while (avcodec_receive_frame(decoder.get(), decoded.get()) == 0) {
            decodedSamples += decoded->nb_samples;
            const int64_t start =
                av_rescale_q(decoded->pts, stream->time_base, AVRational{1, 10000000});
            slot = WrapSound(decoded.get(), start);
            for (IAudioFrame* out = resampler.Convert(slot.get()); out != nullptr;
                 out = resampler.Convert(nullptr)) {
                EXPECT_EQ(out->GetSampleCount(), 1024);
                EXPECT_EQ(HeldFrameOf(out)->format, AV_SAMPLE_FMT_S16);
                int64_t outStart = 0;
                out->GetTimes(&outStart, nullptr);
                EXPECT_GT(outStart, lastStart);
                lastStart = outStart;
                outputSamples += out->GetSampleCount();
                ++outputFrames;
            }
            av_frame_unref(decoded.get());
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == streamIndex) {
            EXPECT_GE(avcodec_send_packet(decoder.get(), packet.get()), 0);
            receiveAll();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receiveAll();

    ASSERT_EQ(decoder->sample_rate, 48000);
    EXPECT_GT(decodedSamples, 48000 * 2);
    // Everything but the last partial frame and the resampler's delay comes out.
    const int64_t expected = decodedSamples * 44100 / 48000;
    EXPECT_LE(outputSamples, expected);
    EXPECT_GT(outputSamples, expected - 1024 - 64);
    EXPECT_EQ(resampler.graphBuildCount(), 1);
    EXPECT_GT(outputFrames, 100);
}
