#include "filters/audio_resampler.h"

#include <bit>
#include <boost/format.hpp>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "filters/channel_layouts.h"
#include "object/media_formats.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace MediaBased {
namespace {

int32_t TargetFfmpegFormat(int32_t sampleFormat, int32_t sampleRate) {
    const int32_t ffmpegFormat = FfmpegSampleFormat(sampleFormat);
    if (ffmpegFormat == AV_SAMPLE_FMT_NONE)
        throw std::invalid_argument("audio resampler: unknown sample format");
    if (sampleRate <= 0)
        throw std::invalid_argument("audio resampler: no sample rate");
    return ffmpegFormat;
}

uint64_t TargetLayout(int32_t channels, int64_t channelLayout) {
    const uint64_t layout = channelLayout != 0 ? static_cast<uint64_t>(channelLayout)
                                               : DefaultChannelLayoutMask(channels);
    if (channels <= 0 || layout == 0 || std::popcount(layout) != channels)
        throw std::invalid_argument("audio resampler: no channel layout for the target");
    return layout;
}

const char* SampleFormatName(int format) {
    return av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
}

}  // namespace

CAudioResampler::CAudioResampler(int32_t sampleFormat, int32_t channels, int32_t sampleRate,
                                 int64_t channelLayout)
    : targetFormat_(sampleFormat),
      targetFfmpegFormat_(TargetFfmpegFormat(sampleFormat, sampleRate)),
      targetChannels_(channels),
      targetRate_(sampleRate),
      targetLayout_(TargetLayout(channels, channelLayout)),
      outputFrame_(sampleFormat, false, sampleRate, channels, static_cast<int64_t>(targetLayout_)),
      scratchFrame_(av_frame_alloc()) {
    if (scratchFrame_ == nullptr)
        throw std::bad_alloc();
    // aformat names the target's own layout: anything narrower would make aresample mix down
    // first and lose the channels the sink then has to invent again.
    filterDescription_ =
        (boost::format("aresample=%1%,aformat=sample_fmts=%2%:channel_layouts=%3%") % targetRate_ %
         SampleFormatName(targetFfmpegFormat_) % ChannelMaskText(targetLayout_))
            .str();
}

void CAudioResampler::Release() {
    delete this;
}

intptr_t CAudioResampler::NamedParameter(const char* name, const char* value) {
    if (name == nullptr)
        return 0;
    if (std::strcmp(name, kFrameSizeParameter) != 0)
        return 1;
    if (value == nullptr)
        return 0;
    const char* end = value + std::strlen(value);
    int32_t parsed = 0;
    const auto [stop, error] = std::from_chars(value, end, parsed, 10);
    if (error != std::errc() || stop != end)
        return 0;
    if (parsed > 0)
        frameSize_ = parsed;
    return 1;
}

void CAudioResampler::SetVolume(float volume) {
    if (std::isnan(volume))
        return;
    volume_ = volume < 0.0f ? 0.0f : volume > kMaxVolume ? kMaxVolume : volume;
}

CAudioResampler::SoundShape CAudioResampler::ShapeOf(const AVFrame& sound) {
    const int channels = sound.ch_layout.nb_channels;
    // Sound without a channel order is read in the usual order for its count; the source
    // lends such frames the layout it was built with.
    const uint64_t layout = sound.ch_layout.order == AV_CHANNEL_ORDER_NATIVE
                                ? sound.ch_layout.u.mask
                                : DefaultChannelLayoutMask(channels);
    return {sound.format, sound.sample_rate, channels, layout};
}

bool CAudioResampler::AlreadyTarget(IAudioFrame* in) {
    const int32_t channels = in->GetChannels();
    const uint64_t layout = in->GetChannelLayout() != 0
                                ? static_cast<uint64_t>(in->GetChannelLayout())
                                : DefaultChannelLayoutMask(channels);
    return in->GetSampleFormat() == targetFormat_ && channels == targetChannels_ &&
           in->GetSampleRate() == targetRate_ && layout == targetLayout_;
}

void CAudioResampler::EndOfStream() {
    if (!chain_.built() || inputEnded_)
        return;
    // The graph gives up the samples aresample and the frame-size cut still hold.
    if (chain_.Push(nullptr) >= 0)
        inputEnded_ = true;
}

bool CAudioResampler::EnsureGraphFor(const SoundShape& input) {
    if (chain_.built() && input == lastInput_ && !inputEnded_)
        return true;
    inputEnded_ = false;
    lastInput_ = input;

    const char* formatName = SampleFormatName(input.format);
    if (formatName == nullptr) {
        chain_.Reset();
        lastInput_ = SoundShape{};
        return false;
    }
    std::string sourceArguments;
    if (input.layout != 0) {
        sourceArguments =
            (boost::format("time_base=%1%/%2%:sample_rate=%3%:sample_fmt=%4%:channel_layout=") % 1 %
             input.rate % input.rate % formatName)
                .str() +
            ChannelMaskText(input.layout);
    } else {
        sourceArguments =
            (boost::format("time_base=%1%/%2%:sample_rate=%3%:sample_fmt=%4%:channels=%5%") % 1 %
             input.rate % input.rate % formatName % input.channels)
                .str();
    }

    std::string description = filterDescription_;
    if (volume_ != 1.0f) {
        char volumeText[48];
        std::snprintf(volumeText, sizeof volumeText, ",volume=%.*g", 17,
                      static_cast<double>(volume_));
        description += volumeText;
    }

    const int formats[] = {targetFfmpegFormat_, -1};
    const int rates[] = {targetRate_, -1};
    const std::string layoutText = ChannelMaskText(targetLayout_);
    int result = chain_.Build(
        "abuffer", sourceArguments, "abuffersink",
        [&](AVFilterContext* sink) {
            int set = av_opt_set_int_list(sink, "sample_fmts", formats, -1, AV_OPT_SEARCH_CHILDREN);
            if (set >= 0)
                set = av_opt_set(sink, "ch_layouts", layoutText.c_str(), AV_OPT_SEARCH_CHILDREN);
            if (set >= 0)
                set = av_opt_set_int_list(sink, "sample_rates", rates, -1, AV_OPT_SEARCH_CHILDREN);
            return set;
        },
        description);
    if (result < 0) {
        lastInput_ = SoundShape{};  // try again with the next frame
        return false;
    }
    if (frameSize_ > 0)
        av_buffersink_set_frame_size(chain_.sink(), static_cast<unsigned>(frameSize_));
    ++graphBuildCount_;
    return true;
}

int64_t CAudioResampler::EndOf(int64_t start, int samples) const {
    const long double end = static_cast<long double>(samples) / targetRate_ * 10000000.0L +
                            static_cast<long double>(start);
    return static_cast<int64_t>(end);
}

bool CAudioResampler::TakeFilteredSound(int64_t start) {
    if (chain_.Pull(scratchFrame_.get()) < 0)
        return false;
    const SystemBased::ScopedFrameUnref unreference{scratchFrame_.get()};
    // The graph times every frame by its first sample, also frames it cut from several
    // inputs; the caller's start is only the fallback.
    const AVRational timeBase = av_buffersink_get_time_base(chain_.sink());
    constexpr AVRational kUnits{1, 10000000};
    int64_t end = 0;
    if (scratchFrame_->pts != AV_NOPTS_VALUE) {
        start = av_rescale_q(scratchFrame_->pts, timeBase, kUnits);
        end = av_rescale_q(scratchFrame_->pts + scratchFrame_->nb_samples, timeBase, kUnits);
    } else {
        end = EndOf(start, scratchFrame_->nb_samples);
    }
    outputFrame_.Attach(scratchFrame_.get());
    nextStart_ = end;
    outputFrame_.SetTimes(start, end);
    return true;
}

IAudioFrame* CAudioResampler::Convert(IAudioFrame* in) {
    try {
        if (in == nullptr) {
            if (!chain_.built() || !TakeFilteredSound(nextStart_))
                return nullptr;
            return &outputFrame_;
        }
        if (AlreadyTarget(in))
            return in;
        AVFrame* native = HeldFrameOf(in);
        if (native == nullptr)
            return nullptr;
        const SoundShape shape = ShapeOf(*native);
        if (!EnsureGraphFor(shape))
            return nullptr;
        int64_t start = 0;
        in->GetTimes(&start, nullptr);
        // The source is timed in samples; the frame's own pts is in its decoder's time base.
        const int64_t decoderPts = native->pts;
        native->pts = av_rescale(start, shape.rate, 10000000);
        const int pushed = chain_.Push(native);
        native->pts = decoderPts;
        if (pushed < 0)
            return nullptr;
        return TakeFilteredSound(start) ? &outputFrame_ : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace MediaBased
