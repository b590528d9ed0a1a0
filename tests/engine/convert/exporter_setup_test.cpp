// The exporter's building blocks, reached directly: encoder lookup, stream setup rules, the
// aspect fraction, the constant-rate clock and the audio framer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "convert/export_aspect_fraction.h"
#include "convert/export_audio_framer.h"
#include "convert/export_audio_stream.h"
#include "convert/export_encoder_lookup.h"
#include "convert/export_frame_clock.h"
#include "convert/export_video_stream.h"
#include "exporter_test_support.h"

extern "C" {
#include <libavutil/opt.h>
}

using namespace MediaBased;
using SystemBased::CodecContextPtr;
using SystemBased::EngineError;
using SystemBased::OutputFormatContextPtr;

namespace {

// An encoder context configured the way the exporter configures it, for a muxer by name.
struct ConfiguredVideo {
    ConfiguredVideo(const char* encoder, const char* format, StreamRecord record) {
        const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
        EXPECT_NE(codec, nullptr) << encoder;
        AVFormatContext* created = nullptr;
        avformat_alloc_output_context2(&created, nullptr, format, nullptr);
        output.reset(created);
        context.reset(avcodec_alloc_context3(codec));
        ConfigureVideoEncoder(*context, record, nullptr, format, *output);
    }
    OutputFormatContextPtr output;
    CodecContextPtr context;
};

bool SameRational(AVRational a, int num, int den) {
    return a.num == num && a.den == den;
}

}  // namespace

TEST(ExportEncoderLookup, FindsEncodersByEncoderOrCodecNameAndLogsMisses) {
    exporter_test::CapturedLog log;
    EXPECT_STREQ(FindExportEncoder("libx264")->name, "libx264");
    EXPECT_STREQ(FindExportEncoder("h264")->name, "libx264") << "a codec name finds its encoder";
    EXPECT_STREQ(FindExportEncoder("flv1")->name, "flv");
    EXPECT_STREQ(FindExportEncoder("amr_nb")->name, "libopencore_amrnb");
    EXPECT_STREQ(FindExportEncoder("aac")->name, "aac") << "FFmpeg's own AAC encoder";
    EXPECT_STREQ(FindExportEncoder("xvid")->name, "libxvid");
    EXPECT_STREQ(log.GetText(), "");

    EXPECT_THROW(FindExportEncoder("ERROR"), EngineError);
    EXPECT_THROW(FindExportEncoder(nullptr), EngineError);
    EXPECT_THROW(FindExportEncoder("vp6"), EngineError) << "a codec FFmpeg only decodes";
    EXPECT_STREQ(log.GetText(),
                 "get codec by name error,185\nget codec by name error,185\n"
                 "find encoder by id error,189\n");
}

TEST(ExportVideoSetup, SizesAreRoundedForThePixelFormat) {
    using exporter_test::VideoRecord;
    ConfiguredVideo yuv422("huffyuv", "avi", VideoRecord("huffyuv", 721, 481));
    EXPECT_EQ(yuv422.context->pix_fmt, AV_PIX_FMT_YUV422P);
    EXPECT_EQ(yuv422.context->width, 722);
    EXPECT_EQ(yuv422.context->height, 482);
    ConfiguredVideo rgb("png", "matroska", VideoRecord("png", 721, 481));
    EXPECT_EQ(rgb.context->pix_fmt, AV_PIX_FMT_RGB24);
    EXPECT_EQ(rgb.context->width, 724);
    EXPECT_EQ(rgb.context->height, 481) << "packed RGB keeps its height";
    ConfiguredVideo yuv420("libx264", "mp4", VideoRecord("libx264", 721, 481));
    EXPECT_EQ(yuv420.context->width, 722);
    EXPECT_EQ(yuv420.context->height, 482);
    EXPECT_EQ(avcodec_open2(yuv420.context.get(), yuv420.context->codec, nullptr), 0)
        << "an odd source size still opens libx264";
}

TEST(ExportVideoSetup, TimeBasesFollowTheFrameRateWithMpegSnapping) {
    using exporter_test::VideoRecord;
    struct Case {
        const char* encoder;
        int timeNum, timeDen, expectNum, expectDen;
    } cases[] = {
        {"mpeg4", 1001, 25025, 1001, 25025},      {"mpeg4", 0, 0, 1001, 24000},
        {"mpeg4", 1001, 30000, 1001, 30000},      {"mpeg2video", 1, 20, 1001, 24000},
        {"mpeg2video", 1001, 24000, 1001, 24000}, {"mpeg1video", 1001, 29500, 1001, 30000},
        {"mpeg1video", 1, 25, 1001, 25025},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoder) + " " + std::to_string(c.timeDen));
        ConfiguredVideo v(c.encoder, "matroska", VideoRecord(c.encoder, 320, 240, c.timeNum, c.timeDen));
        EXPECT_TRUE(SameRational(v.context->time_base, c.expectNum, c.expectDen))
            << v.context->time_base.num << "/" << v.context->time_base.den;
        EXPECT_EQ(v.context->max_b_frames, std::strcmp(c.encoder, "mpeg2video") == 0 ? 2 : 0);
    }
}

TEST(ExportVideoSetup, QuantisersToleranceAndAspectFollowTheirRules) {
    StreamRecord record = exporter_test::VideoRecord("libx264", 720, 480);
    ConfiguredVideo defaults("libx264", "mp4", record);
    EXPECT_EQ(defaults.context->qmin, 3);
    EXPECT_EQ(defaults.context->qmax, 51) << "H.264's own quantiser range";
    EXPECT_EQ(defaults.context->bit_rate_tolerance, 200000);
    EXPECT_TRUE(defaults.context->flags & AV_CODEC_FLAG_GLOBAL_HEADER) << "mp4 wants global headers";
    EXPECT_TRUE(SameRational(defaults.context->sample_aspect_ratio, 1, 1));

    record.qMin = 2;
    record.qMax = 40;
    record.bitRateTolerance = 300;
    record.displayAspect = 16.0 / 9.0;
    std::memcpy(record.codecTag, "avc1", 4);
    ConfiguredVideo given("libx264", "avi", record);
    EXPECT_EQ(given.context->qmin, 3) << "2 is raised to 3";
    EXPECT_EQ(given.context->qmax, 40);
    EXPECT_EQ(given.context->bit_rate_tolerance, 300000) << "kbit/s";
    EXPECT_TRUE(SameRational(given.context->sample_aspect_ratio, 32, 27)) << "16:9 on 720x480";
    EXPECT_EQ(given.context->codec_tag, MKTAG('a', 'v', 'c', '1'));
    EXPECT_FALSE(given.context->flags & AV_CODEC_FLAG_GLOBAL_HEADER);

    record.displayAspect = 0;
    record.sarNum = 4;
    record.sarDen = 3;
    ConfiguredVideo sar("mpeg4", "avi", record);
    EXPECT_TRUE(SameRational(sar.context->sample_aspect_ratio, 4, 3));
}

TEST(ExportVideoSetup, DiscContainersImposeTheirPresets) {
    using exporter_test::VideoRecord;
    ConfiguredVideo film("mpeg1video", "vcd", VideoRecord("mpeg1video", 352, 240, 1001, 24000));
    EXPECT_EQ(film.context->gop_size, 15);
    EXPECT_EQ(film.context->bit_rate, 1150000);
    EXPECT_EQ(film.context->rc_max_rate, 1150000);
    EXPECT_EQ(film.context->rc_min_rate, 1150000);
    EXPECT_EQ(film.context->rc_buffer_size, 327680);
    EXPECT_EQ(film.context->rc_initial_buffer_occupancy, 245760);
    EXPECT_TRUE(SameRational(film.context->time_base, 1001, 24000));

    ConfiguredVideo ntsc("mpeg1video", "vcd", VideoRecord("mpeg1video", 352, 240, 1001, 30000));
    EXPECT_EQ(ntsc.context->gop_size, 18);
    EXPECT_TRUE(SameRational(ntsc.context->time_base, 1001, 30000));
    EXPECT_EQ(avcodec_open2(ntsc.context.get(), ntsc.context->codec, nullptr), 0);

    ConfiguredVideo svcd("mpeg2video", "svcd", VideoRecord("mpeg2video", 480, 576, 1, 25));
    EXPECT_EQ(svcd.context->gop_size, 15);
    EXPECT_EQ(svcd.context->rc_max_rate, 2516000);

    StreamRecord dvdRecord = VideoRecord("mpeg2video", 720, 576, 1, 30);
    dvdRecord.bitRate = 6000000;
    ConfiguredVideo dvd("mpeg2video", "dvd", dvdRecord);
    AVCodecContext& c = *dvd.context;
    EXPECT_EQ(c.gop_size, 18);
    EXPECT_TRUE(SameRational(c.time_base, 1001, 30000));
    EXPECT_EQ(c.rc_min_rate, 6000000);
    EXPECT_EQ(c.rc_max_rate, 6000000);
    EXPECT_EQ(c.bit_rate_tolerance, 6000000);
    EXPECT_EQ(c.rc_buffer_size, 6000000);
    EXPECT_EQ(c.rc_initial_buffer_occupancy, 4500000);
    double complexity = 0;
    EXPECT_GE(av_opt_get_double(c.priv_data, "rc_init_cplx", 0, &complexity), 0);
    EXPECT_DOUBLE_EQ(complexity, 0.5);

    ConfiguredVideo program("mpeg2video", "vob", VideoRecord("mpeg2video", 720, 576));
    EXPECT_EQ(program.output->bit_rate, 20000000);
    EXPECT_EQ(program.context->gop_size, 12) << "only the disc formats fix the GOP";
}

TEST(ExportAudioSetup, FormatsAndLayoutsSuitTheEncoder) {
    struct Case {
        const char* encoder;
        int channels;
        int64_t layout;
        AVSampleFormat format;
        uint64_t expectMask;
        int bits;
    } cases[] = {
        {"aac", 2, 0, AV_SAMPLE_FMT_FLTP, AV_CH_LAYOUT_STEREO, 0},
        {"ac3", 6, AV_CH_LAYOUT_5POINT1_BACK, AV_SAMPLE_FMT_FLTP, AV_CH_LAYOUT_5POINT1_BACK, 0},
        {"dca", 6, AV_CH_LAYOUT_5POINT1_BACK, AV_SAMPLE_FMT_S32, AV_CH_LAYOUT_5POINT1, 0},
        {"dca", 2, AV_CH_LAYOUT_STEREO_DOWNMIX, AV_SAMPLE_FMT_S32, AV_CH_LAYOUT_STEREO, 0},
        {"pcm_s24le", 2, 0, AV_SAMPLE_FMT_S32, AV_CH_LAYOUT_STEREO, 24},
        {"pcm_s32le", 1, 0, AV_SAMPLE_FMT_S32, AV_CH_LAYOUT_MONO, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoder);
        AVFormatContext* created = nullptr;
        avformat_alloc_output_context2(&created, nullptr, "mp4", nullptr);
        OutputFormatContextPtr output(created);
        CodecContextPtr context(avcodec_alloc_context3(avcodec_find_encoder_by_name(c.encoder)));
        StreamRecord record = exporter_test::AudioRecord(c.encoder, 48000, c.channels, 192000);
        record.channelLayout = c.layout;
        ConfigureAudioEncoder(*context, record, nullptr, *output);
        EXPECT_EQ(context->sample_fmt, c.format);
        EXPECT_EQ(context->ch_layout.u.mask, c.expectMask);
        EXPECT_EQ(context->bits_per_raw_sample, c.bits);
        EXPECT_TRUE(SameRational(context->time_base, 1, 48000));
        EXPECT_TRUE(context->flags & AV_CODEC_FLAG_GLOBAL_HEADER);
    }
}

TEST(ExportAspectFraction, NearestFractionWithSmallTerms) {
    const auto is = [](AVRational r, int num, int den) { return r.num == num && r.den == den; };
    EXPECT_TRUE(is(NearestFraction(M_PI, 255), 245, 78)) << "355/113 has a term above 255";
    EXPECT_TRUE(is(NearestFraction(std::sqrt(2.0), 255), 239, 169));
    EXPECT_TRUE(is(NearestFraction(32.0 / 27.0, 255), 32, 27));
    EXPECT_TRUE(is(NearestFraction(16.0 / 9.0 * 576 / 720, 255), 64, 45));
    EXPECT_TRUE(is(NearestFraction(1000.0, 255), 255, 1));
    EXPECT_TRUE(is(NearestFraction(0.001, 255), 1, 255));
    EXPECT_TRUE(is(NearestFraction(0.0, 255), 1, 1));
    EXPECT_TRUE(is(NearestFraction(-2.0, 255), 1, 1));
}

TEST(ExportFrameClock, RepeatsToCatchUpAndDropsWhenAhead) {
    ConstantRateClock clock;
    const auto send = [&clock](int64_t pts) {
        const int64_t count = clock.FramesFor(pts);
        for (int64_t i = 0; i < count; ++i)
            clock.Advance();
        return count;
    };
    EXPECT_EQ(send(0), 1) << "the first picture sets the clock";
    EXPECT_EQ(clock.nextPts(), 1);
    EXPECT_EQ(send(1), 1);
    EXPECT_EQ(send(4), 3) << "two missing slots are filled by repeating";
    EXPECT_EQ(send(4), 0) << "a picture whose slot is taken is dropped";
    EXPECT_EQ(send(5), 1);
    EXPECT_EQ(clock.nextPts(), 6);

    ConstantRateClock late;
    EXPECT_EQ(late.FramesFor(250), 1) << "a stream that starts late keeps its start";
    EXPECT_EQ(late.nextPts(), 250);
}

TEST(ExportAudioFramer, CutsFixedFramesWithSampleAccurateTimes) {
    using exporter_test::MakeSound;
    ExportAudioFramer framer(1024, 44100);
    auto exact = MakeSound(44100, 2, 1024, 0);
    const AVFrame* exactNative = HeldFrameOf(exact.get());
    framer.Push(*exactNative, 0);
    auto first = framer.Pull(false);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->data[0], exactNative->data[0]) << "a frame of the right length is not copied";
    EXPECT_EQ(first->pts, 0);

    // 1152-sample frames, stamped up to a frame late as a resampler may stamp them.
    int64_t expected = 1024;
    for (int i = 0; i < 9; ++i) {
        auto odd = MakeSound(44100, 2, 1152, 1024 + i * 1152);
        framer.Push(*HeldFrameOf(odd.get()), 1024 + i * 1152 + (i % 2) * 900);
        while (auto next = framer.Pull(false)) {
            EXPECT_EQ(next->nb_samples, 1024);
            EXPECT_EQ(next->pts, expected);
            const float firstSample = 0.3f * std::sin(2 * M_PI * 440.0 * expected / 44100);
            EXPECT_FLOAT_EQ(reinterpret_cast<float*>(next->extended_data[1])[0], firstSample)
                << "samples leave in order";
            expected += 1024;
        }
    }
    EXPECT_EQ(expected, 1024 + 10 * 1024) << "9 x 1152 samples make 10 whole frames";
    auto last = framer.Pull(true);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->nb_samples, 9 * 1152 - 10 * 1024);
    EXPECT_EQ(last->pts, expected);
    EXPECT_EQ(framer.Pull(true), nullptr);

    // A gap in the source moves the timeline with it; a jump of more than a second is a break
    // in the source's times, which the output does not reproduce.
    const int64_t gap = expected + 1024 + 22050;
    auto afterGap = MakeSound(44100, 2, 1024, 0);
    framer.Push(*HeldFrameOf(afterGap.get()), gap);
    EXPECT_EQ(framer.Pull(false)->pts, gap);
    auto jumped = MakeSound(44100, 2, 1024, 0);
    framer.Push(*HeldFrameOf(jumped.get()), gap + 1024 + 3600LL * 44100);
    EXPECT_EQ(framer.Pull(false)->pts, gap + 1024);
}

TEST(ExportAudioFramer, LateSoundIsPrecededBySilenceWhereTheContainerCannotStoreItsStart) {
    using exporter_test::MakeSound;
    ExportAudioFramer framer(1152, 44100, true);
    auto sound = MakeSound(44100, 2, 1152, 0);
    framer.Push(*HeldFrameOf(sound.get()), 25000);
    int64_t samples = 0;
    int64_t expectedPts = 0;
    bool silent = true;
    while (auto next = framer.Pull(true)) {
        EXPECT_EQ(next->pts, expectedPts);
        for (int i = 0; i < next->nb_samples && samples + i < 25000; ++i)
            silent = silent && reinterpret_cast<float*>(next->extended_data[0])[i] == 0.0f;
        expectedPts += next->nb_samples;
        samples += next->nb_samples;
    }
    EXPECT_TRUE(silent);
    EXPECT_EQ(samples, 25000 + 1152) << "the gap, then the sound";

    ExportAudioFramer stored(1152, 44100, false);
    stored.Push(*HeldFrameOf(sound.get()), 25000);
    EXPECT_EQ(stored.Pull(false)->pts, 25000) << "containers with start times keep the start";
}

TEST(ExportFrameClock, BreaksInTheSourceTimesAreSkippedAndLateStartsFilledWhereNeeded) {
    ConstantRateClock clock;
    clock.Configure(25.0, false);
    const auto send = [&clock](int64_t pts) {
        const int64_t count = clock.FramesFor(pts);
        for (int64_t i = 0; i < count; ++i)
            clock.Advance();
        return count;
    };
    EXPECT_EQ(send(0), 1);
    EXPECT_EQ(send(20), 20) << "a gap under a second is filled";
    EXPECT_EQ(send(21 + 25 * 3600), 1) << "an hour's jump is not";
    EXPECT_EQ(send(22 + 25 * 3600), 1);
    EXPECT_EQ(clock.nextPts(), 23);
    EXPECT_EQ(send(5), 1) << "nor is a jump back";
    EXPECT_EQ(clock.nextPts(), 24);

    ConstantRateClock fromZero;
    fromZero.Configure(25.0, true);
    EXPECT_EQ(fromZero.FramesFor(10), 11) << "the first picture stands in from time 0";
}
