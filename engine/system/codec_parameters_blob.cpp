#include "system/codec_parameters_blob.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include "system/ffmpeg_handles.h"

namespace SystemBased {
namespace {

constexpr uint8_t kTag[4] = {'V', 'T', 'C', 'P'};
constexpr uint32_t kVersion = 1;
// More channels than any layout FFmpeg names; a larger count is damage, not a stream.
constexpr int32_t kMaxCustomChannels = 1024;

class Writer {
public:
    void Bytes(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), bytes, bytes + size);
    }
    void U32(uint32_t value) { Unsigned(value, 4); }
    void I32(int32_t value) { Unsigned(static_cast<uint32_t>(value), 4); }
    void I64(int64_t value) { Unsigned(static_cast<uint64_t>(value), 8); }
    void U64(uint64_t value) { Unsigned(value, 8); }
    void Rational(AVRational value) {
        I32(value.num);
        I32(value.den);
    }
    std::vector<uint8_t> take() { return std::move(out_); }

private:
    void Unsigned(uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    std::vector<uint8_t> out_;
};

// Every read past the end answers zero and marks the reader failed, so a cut record is refused
// as a whole.
class Reader {
public:
    Reader(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}

    bool ok() const { return ok_; }
    const uint8_t* Bytes(size_t size) {
        if (!ok_ || size > size_ - at_) {
            ok_ = false;
            return nullptr;
        }
        const uint8_t* bytes = data_ + at_;
        at_ += size;
        return bytes;
    }
    uint32_t U32() { return static_cast<uint32_t>(Unsigned(4)); }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    int64_t I64() { return static_cast<int64_t>(Unsigned(8)); }
    uint64_t U64() { return Unsigned(8); }
    AVRational Rational() {
        AVRational value;
        value.num = I32();
        value.den = I32();
        return value;
    }

private:
    uint64_t Unsigned(int bytes) {
        const uint8_t* at = Bytes(static_cast<size_t>(bytes));
        uint64_t value = 0;
        for (int i = 0; at != nullptr && i < bytes; ++i)
            value |= uint64_t{at[i]} << (8 * i);
        return value;
    }
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

void WriteChannelLayout(Writer& out, const AVChannelLayout& layout) {
    out.I32(layout.order);
    out.I32(layout.nb_channels);
    if (layout.order == AV_CHANNEL_ORDER_CUSTOM) {
        for (int i = 0; i < layout.nb_channels; ++i)
            out.I32(layout.u.map ? layout.u.map[i].id : AV_CHAN_UNKNOWN);
    } else {
        out.U64(layout.order == AV_CHANNEL_ORDER_UNSPEC ? 0 : layout.u.mask);
    }
}

bool ReadChannelLayout(Reader& in, AVChannelLayout& layout) {
    const int32_t order = in.I32();
    const int32_t channels = in.I32();
    if (!in.ok() || channels < 0)
        return false;
    av_channel_layout_uninit(&layout);
    if (order == AV_CHANNEL_ORDER_CUSTOM) {
        if (channels == 0 || channels > kMaxCustomChannels)
            return false;
        auto* map = static_cast<AVChannelCustom*>(av_calloc(channels, sizeof(AVChannelCustom)));
        if (map == nullptr)
            throw std::bad_alloc();
        layout.order = AV_CHANNEL_ORDER_CUSTOM;
        layout.nb_channels = channels;
        layout.u.map = map;
        for (int32_t i = 0; i < channels; ++i)
            map[i].id = static_cast<AVChannel>(in.I32());
    } else if (order == AV_CHANNEL_ORDER_UNSPEC || order == AV_CHANNEL_ORDER_NATIVE ||
               order == AV_CHANNEL_ORDER_AMBISONIC) {
        layout.order = static_cast<AVChannelOrder>(order);
        layout.nb_channels = channels;
        layout.u.mask = in.U64();
        if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
            layout.u.mask = 0;
    } else {
        return false;
    }
    // An audio stream without channels has an all-zero layout, which the check refuses.
    return in.ok() && (channels == 0 || av_channel_layout_check(&layout));
}

}  // namespace

std::vector<uint8_t> WriteCodecParameters(const AVCodecParameters& p, const StreamTiming& timing) {
    Writer out;
    out.Bytes(kTag, sizeof kTag);
    out.U32(kVersion);
    out.I32(p.codec_type);
    out.I32(p.codec_id);
    out.U32(p.codec_tag);
    out.I32(p.format);
    out.I64(p.bit_rate);
    out.I32(p.bits_per_coded_sample);
    out.I32(p.bits_per_raw_sample);
    out.I32(p.profile);
    out.I32(p.level);
    out.I32(p.width);
    out.I32(p.height);
    out.Rational(p.sample_aspect_ratio);
    out.I32(p.field_order);
    out.I32(p.color_range);
    out.I32(p.color_primaries);
    out.I32(p.color_trc);
    out.I32(p.color_space);
    out.I32(p.chroma_location);
    out.I32(p.video_delay);
    WriteChannelLayout(out, p.ch_layout);
    out.I32(p.sample_rate);
    out.I32(p.block_align);
    out.I32(p.frame_size);
    out.I32(p.initial_padding);
    out.I32(p.trailing_padding);
    out.I32(p.seek_preroll);
    out.Rational(timing.timeBase);
    out.Rational(timing.frameRate);
    const int extradataSize = p.extradata != nullptr && p.extradata_size > 0 ? p.extradata_size : 0;
    out.U32(static_cast<uint32_t>(extradataSize));
    if (extradataSize > 0)
        out.Bytes(p.extradata, static_cast<size_t>(extradataSize));
    return out.take();
}

bool ReadCodecParameters(const void* data, size_t size, AVCodecParameters& parameters,
                         StreamTiming& timing) {
    if (data == nullptr)
        return false;
    Reader in(data, size);
    const uint8_t* tag = in.Bytes(sizeof kTag);
    if (tag == nullptr || std::memcmp(tag, kTag, sizeof kTag) != 0 || in.U32() < 1)
        return false;

    CodecParametersPtr read(avcodec_parameters_alloc());
    if (!read)
        throw std::bad_alloc();
    AVCodecParameters& p = *read;
    p.codec_type = static_cast<AVMediaType>(in.I32());
    p.codec_id = static_cast<AVCodecID>(in.I32());
    p.codec_tag = in.U32();
    p.format = in.I32();
    p.bit_rate = in.I64();
    p.bits_per_coded_sample = in.I32();
    p.bits_per_raw_sample = in.I32();
    p.profile = in.I32();
    p.level = in.I32();
    p.width = in.I32();
    p.height = in.I32();
    p.sample_aspect_ratio = in.Rational();
    p.field_order = static_cast<AVFieldOrder>(in.I32());
    p.color_range = static_cast<AVColorRange>(in.I32());
    p.color_primaries = static_cast<AVColorPrimaries>(in.I32());
    p.color_trc = static_cast<AVColorTransferCharacteristic>(in.I32());
    p.color_space = static_cast<AVColorSpace>(in.I32());
    p.chroma_location = static_cast<AVChromaLocation>(in.I32());
    p.video_delay = in.I32();
    if (!ReadChannelLayout(in, p.ch_layout))
        return false;
    p.sample_rate = in.I32();
    p.block_align = in.I32();
    p.frame_size = in.I32();
    p.initial_padding = in.I32();
    p.trailing_padding = in.I32();
    p.seek_preroll = in.I32();
    StreamTiming readTiming;
    readTiming.timeBase = in.Rational();
    readTiming.frameRate = in.Rational();
    const uint32_t extradataSize = in.U32();
    if (!in.ok() || extradataSize > static_cast<uint32_t>(std::numeric_limits<int>::max() -
                                                          AV_INPUT_BUFFER_PADDING_SIZE))
        return false;
    if (extradataSize > 0) {
        const uint8_t* bytes = in.Bytes(extradataSize);
        if (bytes == nullptr)
            return false;
        p.extradata = static_cast<uint8_t*>(av_mallocz(extradataSize + AV_INPUT_BUFFER_PADDING_SIZE));
        if (p.extradata == nullptr)
            throw std::bad_alloc();
        std::memcpy(p.extradata, bytes, extradataSize);
        p.extradata_size = static_cast<int>(extradataSize);
    }
    if (!in.ok() || avcodec_parameters_copy(&parameters, &p) < 0)
        return false;
    timing = readTiming;
    return true;
}

}  // namespace SystemBased
