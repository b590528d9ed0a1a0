// Decodes one selected stream of a source into the engine frame object of its slot.
#pragma once

#include <cstdint>
#include <memory>

#include "object/media_frame.h"
#include "system/ffmpeg_handles.h"

namespace MediaBased {

class StreamDecoder {
public:
    // Opens a decoder for stream; reports "avcodec_open error." (301) and throws when it cannot.
    StreamDecoder(const AVStream& stream, int64_t startOffset);
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    enum class SendResult {
        Accepted,
        Busy,      // the decoder must hand out frames before it takes this packet
        Rejected,  // the packet cannot be decoded and yields nothing
    };
    SendResult Send(const AVPacket& packet);
    // Asks the decoder for what it still holds; false when there is nothing to drain.
    bool StartDrain();

    // The next decoded frame, in this slot's frame object; null when the decoder has none ready.
    IMediaFrame* Receive();

    // Forgets everything the decoder holds; reopen builds it anew from the stream parameters.
    void Flush(bool reopen);

    bool holdsInput() const { return holdsInput_; }
    bool decodes() const { return type_ == AVMEDIA_TYPE_VIDEO || type_ == AVMEDIA_TYPE_AUDIO; }
    AVCodecID codecId() const { return parameters_->codec_id; }

private:
    struct ParametersDeleter {
        void operator()(AVCodecParameters* parameters) const {
            avcodec_parameters_free(&parameters);
        }
    };

    void Open();
    IMediaFrame* TakeVideo(AVFrame& decoded);
    IMediaFrame* TakeAudio(const AVFrame& decoded);

    std::unique_ptr<AVCodecParameters, ParametersDeleter> parameters_;
    const AVMediaType type_;
    const AVRational timeBase_;
    const AVRational realBaseFrameRate_;
    const int64_t startOffset_;
    SystemBased::CodecContextPtr context_;
    SystemBased::FramePtr decoded_;
    bool holdsInput_ = false;  // packets went in since the last flush or drain
    std::unique_ptr<CVideoFrame> video_;
    std::unique_ptr<CAudioFrame> audio_;
};

}  // namespace MediaBased
