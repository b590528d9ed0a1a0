#include "system/codec_parameters_blob.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include "system/ffmpeg_handles.h"

using namespace SystemBased;

namespace {

CodecParametersPtr NewParameters() {
    CodecParametersPtr parameters(avcodec_parameters_alloc());
    EXPECT_NE(parameters, nullptr);
    return parameters;
}

void SetExtradata(AVCodecParameters& p, const std::vector<uint8_t>& bytes) {
    p.extradata = static_cast<uint8_t*>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(p.extradata, bytes.data(), bytes.size());
    p.extradata_size = static_cast<int>(bytes.size());
}

}  // namespace

TEST(CodecParametersBlob, CarriesEveryFieldOfAPictureStream) {
    CodecParametersPtr source = NewParameters();
    AVCodecParameters& p = *source;
    p.codec_type = AVMEDIA_TYPE_VIDEO;
    p.codec_id = AV_CODEC_ID_H264;
    p.codec_tag = MKTAG('a', 'v', 'c', '1');
    p.format = AV_PIX_FMT_YUV420P10LE;
    p.bit_rate = 12345678901LL;
    p.bits_per_coded_sample = 24;
    p.bits_per_raw_sample = 10;
    p.profile = FF_PROFILE_H264_HIGH_10;
    p.level = 41;
    p.width = 1920;
    p.height = 1080;
    p.sample_aspect_ratio = AVRational{64, 45};
    p.field_order = AV_FIELD_TB;
    p.color_range = AVCOL_RANGE_JPEG;
    p.color_primaries = AVCOL_PRI_BT2020;
    p.color_trc = AVCOL_TRC_SMPTE2084;
    p.color_space = AVCOL_SPC_BT2020_NCL;
    p.chroma_location = AVCHROMA_LOC_TOPLEFT;
    p.video_delay = 2;
    SetExtradata(p, {1, 0x64, 0, 0x29, 0xff, 0xe1});
    const StreamTiming timing{AVRational{1, 90000}, AVRational{30000, 1001}};

    const std::vector<uint8_t> bytes = WriteCodecParameters(p, timing);
    CodecParametersPtr read = NewParameters();
    StreamTiming readTiming;
    ASSERT_TRUE(ReadCodecParameters(bytes.data(), bytes.size(), *read, readTiming));
    const AVCodecParameters& r = *read;
    EXPECT_EQ(r.codec_type, p.codec_type);
    EXPECT_EQ(r.codec_id, p.codec_id);
    EXPECT_EQ(r.codec_tag, p.codec_tag);
    EXPECT_EQ(r.format, p.format);
    EXPECT_EQ(r.bit_rate, p.bit_rate);
    EXPECT_EQ(r.bits_per_coded_sample, 24);
    EXPECT_EQ(r.bits_per_raw_sample, 10);
    EXPECT_EQ(r.profile, p.profile);
    EXPECT_EQ(r.level, 41);
    EXPECT_EQ(r.width, 1920);
    EXPECT_EQ(r.height, 1080);
    EXPECT_EQ(av_cmp_q(r.sample_aspect_ratio, p.sample_aspect_ratio), 0);
    EXPECT_EQ(r.field_order, AV_FIELD_TB);
    EXPECT_EQ(r.color_range, AVCOL_RANGE_JPEG);
    EXPECT_EQ(r.color_primaries, AVCOL_PRI_BT2020);
    EXPECT_EQ(r.color_trc, AVCOL_TRC_SMPTE2084);
    EXPECT_EQ(r.color_space, AVCOL_SPC_BT2020_NCL);
    EXPECT_EQ(r.chroma_location, AVCHROMA_LOC_TOPLEFT);
    EXPECT_EQ(r.video_delay, 2);
    ASSERT_EQ(r.extradata_size, 6);
    EXPECT_EQ(std::memcmp(r.extradata, p.extradata, 6), 0);
    EXPECT_EQ(av_cmp_q(readTiming.timeBase, timing.timeBase), 0);
    EXPECT_EQ(av_cmp_q(readTiming.frameRate, timing.frameRate), 0);
}

TEST(CodecParametersBlob, CarriesSoundWithNamedAndCustomChannelOrders) {
    for (bool custom : {false, true}) {
        CodecParametersPtr source = NewParameters();
        AVCodecParameters& p = *source;
        p.codec_type = AVMEDIA_TYPE_AUDIO;
        p.codec_id = AV_CODEC_ID_AAC;
        p.format = AV_SAMPLE_FMT_FLTP;
        p.sample_rate = 44100;
        p.block_align = 4;
        p.frame_size = 1024;
        p.initial_padding = 1024;
        p.trailing_padding = 7;
        p.seek_preroll = 3;
        av_channel_layout_uninit(&p.ch_layout);
        if (custom) {
            p.ch_layout.order = AV_CHANNEL_ORDER_CUSTOM;
            p.ch_layout.nb_channels = 3;
            p.ch_layout.u.map = static_cast<AVChannelCustom*>(av_calloc(3, sizeof(AVChannelCustom)));
            p.ch_layout.u.map[0].id = AV_CHAN_FRONT_RIGHT;
            p.ch_layout.u.map[1].id = AV_CHAN_FRONT_LEFT;
            p.ch_layout.u.map[2].id = AV_CHAN_LOW_FREQUENCY;
        } else {
            av_channel_layout_from_mask(&p.ch_layout, AV_CH_LAYOUT_5POINT1_BACK);
        }
        const std::vector<uint8_t> bytes = WriteCodecParameters(p, StreamTiming{AVRational{1, 44100}, {0, 1}});
        CodecParametersPtr read = NewParameters();
        StreamTiming timing;
        ASSERT_TRUE(ReadCodecParameters(bytes.data(), bytes.size(), *read, timing)) << custom;
        EXPECT_EQ(av_channel_layout_compare(&read->ch_layout, &p.ch_layout), 0) << custom;
        EXPECT_EQ(read->sample_rate, 44100);
        EXPECT_EQ(read->block_align, 4);
        EXPECT_EQ(read->frame_size, 1024);
        EXPECT_EQ(read->initial_padding, 1024);
        EXPECT_EQ(read->trailing_padding, 7);
        EXPECT_EQ(read->seek_preroll, 3);
        EXPECT_EQ(read->extradata, nullptr);
        EXPECT_EQ(timing.timeBase.den, 44100);
    }
}

TEST(CodecParametersBlob, RefusesBytesThatAreNotARecordAndChangesNothing) {
    CodecParametersPtr source = NewParameters();
    source->codec_type = AVMEDIA_TYPE_VIDEO;
    source->codec_id = AV_CODEC_ID_HEVC;
    SetExtradata(*source, std::vector<uint8_t>(40, 9));
    std::vector<uint8_t> bytes = WriteCodecParameters(*source, StreamTiming{});

    CodecParametersPtr target = NewParameters();
    target->codec_id = AV_CODEC_ID_MP2;
    StreamTiming timing{AVRational{1, 7}, AVRational{5, 1}};
    // Cut anywhere, including inside the extradata: refused as a whole.
    for (size_t size = 0; size < bytes.size(); ++size)
        EXPECT_FALSE(ReadCodecParameters(bytes.data(), size, *target, timing)) << size;
    std::vector<uint8_t> foreign = bytes;
    foreign[0] = 'X';
    EXPECT_FALSE(ReadCodecParameters(foreign.data(), foreign.size(), *target, timing));
    EXPECT_FALSE(ReadCodecParameters(nullptr, 0, *target, timing));
    EXPECT_EQ(target->codec_id, AV_CODEC_ID_MP2);
    EXPECT_EQ(timing.timeBase.den, 7);

    // A later version's appended fields are skipped.
    bytes[4] = 2;
    bytes.insert(bytes.end(), {1, 2, 3, 4});
    ASSERT_TRUE(ReadCodecParameters(bytes.data(), bytes.size(), *target, timing));
    EXPECT_EQ(target->codec_id, AV_CODEC_ID_HEVC);
    EXPECT_EQ(target->extradata_size, 40);
}
