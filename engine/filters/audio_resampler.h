// Converts decoded sound to one fixed sample format, channel layout and rate, optionally
// scaling the volume and cutting fixed-size frames for encoders that need them, through an
// abuffer -> aresample,aformat[,volume] -> abuffersink graph.
#pragma once

#include <cstdint>
#include <string>

#include "filters/filter_chain.h"
#include "object/media_frame.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class CAudioResampler final : public IAudioResampler {
public:
    static constexpr const char* kFrameSizeParameter = "W_AudioResamplerParamFrameSize";
    static constexpr float kMaxVolume = 3.0f;

    // channelLayout 0 stands for the usual layout of the channel count. Throws
    // std::invalid_argument for a target no graph could deliver: an unknown sample format, no
    // channels or rate, no layout, or a layout whose channel count disagrees.
    CAudioResampler(int32_t sampleFormat, int32_t channels, int32_t sampleRate,
                    int64_t channelLayout);
    ~CAudioResampler() = default;

    void* ReservedQuery(void*) override { return nullptr; }
    // Takes kFrameSizeParameter as a whole decimal number; 0 for a missing name or a value
    // that does not parse, 1 otherwise. Read when the next graph is built.
    intptr_t NamedParameter(const char* name, const char* value) override;
    void Release() override;

    IAudioFrame* Convert(IAudioFrame* in) override;
    // Clamped to 0..3; read when the next graph is built.
    void SetVolume(float volume) override;
    void EndOfStream() override;

    int32_t frameSize() const { return frameSize_; }
    float volume() const { return volume_; }
    int graphBuildCount() const { return graphBuildCount_; }

private:
    // What the graph's source was told about the sound it receives. A layout mask of 0 means
    // channels without a known order.
    struct SoundShape {
        int format = AV_SAMPLE_FMT_NONE;
        int rate = 0;
        int channels = 0;
        uint64_t layout = 0;
        bool operator==(const SoundShape&) const = default;
    };

    static SoundShape ShapeOf(const AVFrame& sound);
    bool AlreadyTarget(IAudioFrame* in);
    bool EnsureGraphFor(const SoundShape& input);
    bool TakeFilteredSound(int64_t start);
    int64_t EndOf(int64_t start, int samples) const;

    int32_t targetFormat_;
    int32_t targetFfmpegFormat_;
    int32_t targetChannels_;
    int32_t targetRate_;
    uint64_t targetLayout_;
    int32_t frameSize_ = 0;
    bool inputEnded_ = false;  // the graph was told the input ended; the next input rebuilds it
    float volume_ = 1.0f;
    int64_t nextStart_ = 0;
    SoundShape lastInput_;
    CAudioFrame outputFrame_;
    std::string filterDescription_;
    FilterChain chain_;
    SystemBased::FramePtr scratchFrame_;
    int graphBuildCount_ = 0;
};

}  // namespace MediaBased
