// Real FFmpeg pictures and sounds filled by the tests, wrapped in engine frames the way the
// decoding source wraps what its decoders produce.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "engine_test_support.h"
#include "object/media_formats.h"
#include "object/media_frame.h"
#include "system/ffmpeg_handles.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
}

namespace filter_test {

using SystemBased::FramePtr;

// A planar YUV picture; fill gives the value of plane p at the luma position (x, y).
inline FramePtr MakePicture(AVPixelFormat format, int width, int height,
                            const std::function<int(int p, int x, int y)>& fill) {
    FramePtr picture(av_frame_alloc());
    picture->format = format;
    picture->width = width;
    picture->height = height;
    EXPECT_EQ(av_frame_get_buffer(picture.get(), 0), 0);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    for (int p = 0; p < 3; ++p) {
        const int sw = p ? desc->log2_chroma_w : 0, sh = p ? desc->log2_chroma_h : 0;
        for (int y = 0; y < AV_CEIL_RSHIFT(height, sh); ++y) {
            uint8_t* row = picture->data[p] + static_cast<ptrdiff_t>(y) * picture->linesize[p];
            for (int x = 0; x < AV_CEIL_RSHIFT(width, sw); ++x) {
                if (desc->comp[0].depth > 8)
                    reinterpret_cast<uint16_t*>(row)[x] = fill(p, x << sw, y << sh);
                else
                    row[x] = fill(p, x << sw, y << sh);
            }
        }
    }
    return picture;
}

// An engine frame holding picture and reporting the given size (the picture's by default).
inline Owned<MediaBased::CVideoFrame> WrapPicture(const AVFrame* picture, int width = 0,
                                                  int height = 0) {
    Owned<MediaBased::CVideoFrame> frame(new MediaBased::CVideoFrame(
        MediaBased::FindPixelFormatByFfmpeg(picture->format).id, width ? width : picture->width,
        height ? height : picture->height, true));
    frame->Attach(picture);
    return frame;
}

struct Bgra {
    int b, g, r, a;
};
inline Bgra PixelAt(MediaBased::IVideoFrame* frame, int x, int y) {
    int32_t lineSize = 0;
    const uint8_t* p = frame->GetPlane(0, nullptr, &lineSize, nullptr) + y * lineSize + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

// Planar float or interleaved s16 sound; layoutMask 0 makes a layout that knows only its
// channel count. fill gives channel c's sample i in -1..1.
inline FramePtr MakeSound(AVSampleFormat format, uint64_t layoutMask, int channels, int rate,
                          int samples, const std::function<double(int c, int i)>& fill) {
    FramePtr sound(av_frame_alloc());
    sound->format = format;
    sound->sample_rate = rate;
    sound->nb_samples = samples;
    if (layoutMask != 0)
        av_channel_layout_from_mask(&sound->ch_layout, layoutMask);
    else
        sound->ch_layout = AVChannelLayout{AV_CHANNEL_ORDER_UNSPEC, channels, {}, nullptr};
    EXPECT_EQ(av_frame_get_buffer(sound.get(), 0), 0);
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < samples; ++i) {
            if (format == AV_SAMPLE_FMT_FLTP)
                reinterpret_cast<float*>(sound->extended_data[c])[i] = fill(c, i);
            else
                reinterpret_cast<int16_t*>(sound->data[0])[i * channels + c] = fill(c, i) * 32767;
        }
    return sound;
}

// An engine frame holding sound, reporting layout (the sound's own mask by default).
inline Owned<MediaBased::CAudioFrame> WrapSound(const AVFrame* sound, int64_t start = 0,
                                                int64_t layout = -1) {
    if (layout < 0)
        layout = sound->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? sound->ch_layout.u.mask : 0;
    Owned<MediaBased::CAudioFrame> frame(
        new MediaBased::CAudioFrame(MediaBased::SampleFormatFromFfmpeg(sound->format), true,
                                    sound->sample_rate, sound->ch_layout.nb_channels, layout));
    frame->Attach(sound);
    frame->SetTimes(start, start + int64_t{sound->nb_samples} * 10000000 / sound->sample_rate);
    return frame;
}

// Every channel of the s16, float or planar float sound a frame holds, in -1..1.
inline std::vector<std::vector<double>> ChannelsOf(MediaBased::IAudioFrame* frame) {
    const AVFrame* sound = MediaBased::HeldFrameOf(frame);
    const int channels = sound->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(sound->format));
    const bool s16 = sound->format == AV_SAMPLE_FMT_S16;
    std::vector<std::vector<double>> result(channels);
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < sound->nb_samples; ++i) {
            const uint8_t* plane = sound->extended_data[planar ? c : 0];
            const int slot = planar ? i : i * channels + c;
            result[c].push_back(s16 ? reinterpret_cast<const int16_t*>(plane)[slot] / 32768.0
                                    : reinterpret_cast<const float*>(plane)[slot]);
        }
    return result;
}

}  // namespace filter_test
