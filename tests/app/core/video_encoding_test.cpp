// What the engine is told to encode a picture with: the encoder, its quality and speed
// options, and the hardware stand-in.
#include "video_encoding.h"

#include <gtest/gtest.h>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "codec_tables.h"
#include "hardware_encoders.h"
#include "profile_catalogue.h"

TEST(VideoEncoding, QualityBecomesEachEncodersOwnConstantQuality) {
    EXPECT_EQ(videoEncoderOptions("h264", "quality", 23, ""), "crf=23");
    EXPECT_EQ(videoEncoderOptions("libx265", "quality", 24, ""), "crf=24");
    EXPECT_EQ(videoEncoderOptions("libvpx-vp9", "quality", 31, ""), "crf=31:b=0");
    EXPECT_EQ(videoEncoderOptions("libsvtav1", "quality", 35, ""), "crf=35");
    EXPECT_EQ(videoEncoderOptions("h264_vaapi", "quality", 25, ""), "rc_mode=CQP:qp=25");
    EXPECT_EQ(videoEncoderOptions("hevc_nvenc", "quality", 28, ""), "rc=vbr:cq=28");
    EXPECT_EQ(videoEncoderOptions("h264_qsv", "quality", 22, ""), "global_quality=22");
    // Out of range values are moved into the encoder's scale.
    EXPECT_EQ(videoEncoderOptions("libx264", "quality", 70, ""), "crf=51");
    EXPECT_EQ(videoEncoderOptions("libvpx-vp9", "quality", 70, ""), "crf=63:b=0");
    EXPECT_EQ(videoEncoderOptions("libsvtav1", "quality", 0, ""), "crf=1") << "0 means unset there";
    EXPECT_EQ(clampedQuality("hevc_vaapi", 99), 52);
    // Encoders without a quality scale keep their bit rate.
    EXPECT_FALSE(takesQuality("mpeg4"));
    EXPECT_FALSE(takesQuality("prores_ks"));
    EXPECT_TRUE(takesQuality("libsvtav1"));
    EXPECT_EQ(videoEncoderOptions("mpeg4", "quality", 5, ""), "");
    // Bit-rate mode without a speed changes nothing the engine was told before.
    EXPECT_EQ(videoEncoderOptions("h264", "bitrate", 23, ""), "");
    EXPECT_EQ(videoEncoderOptions("h264", "", 23, ""), "");
}

TEST(VideoEncoding, SpeedsBecomeEachEncodersPresets) {
    const QStringList speeds = {"fastest", "fast", "balanced", "slow", "slowest"};
    const QStringList x264 = {"veryfast", "faster", "medium", "slow", "veryslow"};
    const QStringList svt = {"12", "10", "8", "6", "4"};
    const QStringList vp9 = {"5", "4", "2", "1", "0"};
    for (int i = 0; i < speeds.size(); ++i) {
        SCOPED_TRACE(speeds[i].toStdString());
        EXPECT_EQ(videoEncoderOptions("libx264", "", 0, speeds[i]), "preset=" + x264[i]);
        EXPECT_EQ(videoEncoderOptions("libx265", "", 0, speeds[i]), "preset=" + x264[i]);
        EXPECT_EQ(videoEncoderOptions("libsvtav1", "", 0, speeds[i]), "preset=" + svt[i]);
        EXPECT_EQ(videoEncoderOptions("libvpx-vp9", "", 0, speeds[i]), "deadline=good:cpu-used=" + vp9[i]);
        // NVENC's presets go to libx264/libx265 too when the engine falls back: names both take.
        const QString nvenc = videoEncoderOptions("h264_nvenc", "", 0, speeds[i]);
        EXPECT_TRUE(nvenc == "preset=fast" || nvenc == "preset=medium" || nvenc == "preset=slow")
            << nvenc.toStdString();
    }
    EXPECT_EQ(videoEncoderOptions("h264_nvenc", "", 0, "fastest"), "preset=fast");
    EXPECT_EQ(videoEncoderOptions("h264_nvenc", "", 0, "slowest"), "preset=slow");
    EXPECT_EQ(videoEncoderOptions("libx265", "quality", 24, "slow"), "crf=24:preset=slow");
    EXPECT_EQ(videoEncoderOptions("libx264", "", 0, "warp"), "") << "an unknown speed is the default";
    EXPECT_EQ(videoEncoderOptions("mpeg4", "", 0, "slow"), "") << "no presets there";
}

TEST(VideoEncoding, OptionsAreTakenByTheRealEncoders) {
    av_log_set_level(AV_LOG_ERROR);
    // Every software option text opens its encoder: a misspelt key would only be warned about.
    struct Case {
        const char* encoder;
        int quality;
        const char* options;
    };
    for (const Case& c : {Case{"libx264", 23, "crf=23:preset=veryfast"}, Case{"libx265", 28, "crf=28:preset=veryfast"},
                          Case{"libvpx-vp9", 31, "crf=31:b=0:deadline=good:cpu-used=5"},
                          Case{"libsvtav1", 35, "crf=35:preset=12"}}) {
        SCOPED_TRACE(c.encoder);
        EXPECT_EQ(videoEncoderOptions(c.encoder, "quality", c.quality, "fastest"), c.options);
        const AVCodec* codec = avcodec_find_encoder_by_name(c.encoder);
        ASSERT_NE(codec, nullptr);
        AVCodecContext* context = avcodec_alloc_context3(codec);
        context->width = 64;
        context->height = 64;
        context->time_base = AVRational{1, 25};
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        AVDictionary* options = nullptr;
        ASSERT_GE(av_dict_parse_string(&options, c.options, "=", ":", 0), 0);
        EXPECT_GE(avcodec_open2(context, codec, &options), 0);
        EXPECT_EQ(av_dict_count(options), 0) << "every option was taken";
        av_dict_free(&options);
        // One picture through and the end: SVT-AV1 waits forever in its close otherwise.
        if (avcodec_is_open(context)) {
            AVFrame* frame = av_frame_alloc();
            frame->format = context->pix_fmt;
            frame->width = context->width;
            frame->height = context->height;
            ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
            for (int plane = 0; plane < 3; ++plane)
                memset(frame->data[plane], 128, size_t(frame->linesize[plane]) * (plane ? 32 : 64));
            frame->pts = 0;
            EXPECT_GE(avcodec_send_frame(context, frame), 0);
            av_frame_free(&frame);
            EXPECT_GE(avcodec_send_frame(context, nullptr), 0);
            AVPacket* packet = av_packet_alloc();
            int packets = 0;
            while (avcodec_receive_packet(context, packet) >= 0) {
                ++packets;
                av_packet_unref(packet);
            }
            av_packet_free(&packet);
            EXPECT_EQ(packets, 1);
        }
        avcodec_free_context(&context);
    }
}

TEST(VideoEncoding, HardwareCodesUseWhatTheProbeOpenedElseSoftwareWithTheReason) {
    HardwareProbe none;
    none.log = {"h264_vaapi, hevc_vaapi: no render node in /dev/dri", "h264_nvenc: Cannot load libcuda.so.1",
                "hevc_nvenc: Cannot load libcuda.so.1"};
    VideoEncoderChoice choice = videoEncoderFor("HWH4", none);
    EXPECT_EQ(choice.encoder, "libx264");
    EXPECT_TRUE(choice.fallback.isEmpty());
    EXPECT_TRUE(choice.warning.startsWith("no hardware H.264 encoder on this machine: ")) << choice.warning.toStdString();
    EXPECT_TRUE(choice.warning.contains("h264_nvenc: Cannot load")) << choice.warning.toStdString();
    EXPECT_FALSE(choice.warning.contains("hevc_nvenc")) << "only the H.264 candidates";
    choice = videoEncoderFor("HWH5", none);
    EXPECT_EQ(choice.encoder, "libx265");
    EXPECT_TRUE(choice.warning.contains("HEVC"));

    HardwareProbe found;
    found.h264Encoder = "h264_vaapi";
    found.hevcEncoder = "hevc_nvenc";
    choice = videoEncoderFor("HWH4", found);
    EXPECT_EQ(choice.encoder, "h264_vaapi");
    EXPECT_EQ(choice.fallback, "libx264");
    EXPECT_TRUE(choice.warning.isEmpty());
    choice = videoEncoderFor("HWH5", found);
    EXPECT_EQ(choice.encoder, "hevc_nvenc");
    EXPECT_EQ(choice.fallback, "libx265");
    // Software codes are what the table says, whatever the machine has.
    choice = videoEncoderFor("AVCH", found);
    EXPECT_EQ(choice.encoder, "h264");
    EXPECT_TRUE(choice.fallback.isEmpty());

    EXPECT_TRUE(isHardwareCodecCode("HWH4"));
    EXPECT_TRUE(isHardwareCodecCode("HWH5"));
    EXPECT_FALSE(isHardwareCodecCode("AVCH"));
    EXPECT_TRUE(hardwareCodecAvailable("HEVC"));
}

TEST(VideoEncoding, TheMachinesProbeIsQuietAndExplainsEveryCandidate) {
    testing::internal::CaptureStderr();
    const HardwareProbe probe = probeHardwareEncoders();
    const std::string noise = testing::internal::GetCapturedStderr();
    EXPECT_EQ(noise, "");
    for (const char* name : {"h264_nvenc", "hevc_nvenc", "h264_qsv", "hevc_qsv"})
        EXPECT_EQ(probe.log.filter(QString::fromLatin1(name) + ':').size(), 1) << name;
    EXPECT_TRUE(probe.h264Encoder.isEmpty() || probe.h264Encoder.startsWith("h264_"));
    EXPECT_TRUE(probe.hevcEncoder.isEmpty() || probe.hevcEncoder.startsWith("hevc_"));
    EXPECT_EQ(hardwareCodecAvailable("HWH4"), !hardwareEncoders().h264Encoder.isEmpty());
    EXPECT_EQ(&hardwareEncoders(), &hardwareEncoders()) << "probed once";
}

TEST(VideoEncoding, TenBitsAndHdrFollowTheCodecAndTheDevice) {
    ProfileFormat general;
    EXPECT_TRUE(keepsTenBits("HV10", general));
    EXPECT_TRUE(keepsTenBits("AV1 ", general));
    EXPECT_TRUE(keepsTenBits("VP9 ", general));
    EXPECT_TRUE(keepsTenBits("APCN", general));
    EXPECT_FALSE(keepsTenBits("HEVC", general)) << "Main is 8-bit";
    EXPECT_FALSE(keepsTenBits("AVCH", general));
    EXPECT_TRUE(keepsHdr("HV10", general));
    EXPECT_FALSE(keepsHdr("AVCH", general)) << "8-bit H.264 cannot keep PQ";

    ProfileFormat phone;
    phone.limits.maxWidth = 1920;
    phone.limits.maxHeight = 1080;
    EXPECT_TRUE(isDeviceProfile(phone));
    EXPECT_FALSE(keepsTenBits("HV10", phone)) << "a device that states no bit depth plays 8";
    phone.limits.maxBitDepth = 10;
    EXPECT_TRUE(keepsTenBits("HV10", phone));
    EXPECT_FALSE(keepsHdr("HV10", phone)) << "ten bits but no HDR screen";
    phone.limits.hdr = true;
    EXPECT_TRUE(keepsHdr("HV10", phone));

    EXPECT_TRUE(isHdrTransfer("smpte2084"));
    EXPECT_TRUE(isHdrTransfer("arib-std-b67"));
    EXPECT_FALSE(isHdrTransfer("bt709"));
    EXPECT_FALSE(isHdrTransfer(""));
}

TEST(CodecTable, NewRowsNameEncodersThisFfmpegHas) {
    struct Row {
        const char* code;
        const char* encoder;
        const char* display;
        int profile;
    };
    for (const Row& row : {Row{"AVCH", "h264", "H.264 High", 100}, Row{"HEVC", "libx265", "HEVC", 1},
                           Row{"HV10", "libx265", "HEVC Main 10", 2}, Row{"AV1 ", "libsvtav1", "AV1", 0},
                           Row{"VP9 ", "libvpx-vp9", "VP9", 0}, Row{"APCN", "prores_ks", "ProRes 422", 2},
                           Row{"HWH4", "libx264", "H.264 (hardware)", 100}, Row{"HWH5", "libx265", "HEVC (hardware)", 1},
                           Row{"OPUS", "libopus", "Opus", 0}, Row{"ALAC", "alac", "ALAC", 0},
                           Row{"MP3V", "mp3", "MP3 VBR", 0}}) {
        SCOPED_TRACE(row.code);
        const CodecInfo& info = codecInfo(row.code);
        EXPECT_EQ(info.encoder, row.encoder);
        EXPECT_EQ(info.display, row.display);
        EXPECT_EQ(info.profile, row.profile);
        EXPECT_EQ(info.hardware, isHardwareCodecCode(row.code));
        const QByteArray name = info.encoder.toUtf8();
        const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name.constData());
        EXPECT_TRUE(avcodec_find_encoder_by_name(name.constData()) != nullptr ||
                    (descriptor != nullptr && avcodec_find_encoder(descriptor->id) != nullptr));
    }
    EXPECT_EQ(codecInfo("MP3V").options, "flags=+qscale:global_quality=0");
    EXPECT_TRUE(codecInfo("MP3 ").options.isEmpty());
    EXPECT_EQ(codecTableRow(43).code, "flv1") << "existing rows keep their places";
    EXPECT_TRUE(codecInfo("HWH4").isH264());
    EXPECT_FALSE(codecInfo("HWH5").isH264());
}
