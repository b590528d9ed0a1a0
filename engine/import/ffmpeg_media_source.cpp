#include "import/ffmpeg_media_source.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "import/frame_timing.h"
#include "system/module_logger.h"
#include "vantrel/owned.h"

namespace MediaBased {
namespace {

constexpr char kHasAvParameter[] = "R_MediaSourceParamHasAV";
constexpr char kQueuePeakParameter[] = "R_MediaSourceParamQueuePeakBytes";

// The longest of the container and the selected streams, in milliseconds. Every duration is
// compared in microseconds: stream time bases differ from the container's.
int64_t DurationMs(const AVFormatContext& container, const StreamSelection* selections,
                   int32_t count) {
    int64_t microseconds = container.duration != AV_NOPTS_VALUE ? container.duration : 0;
    for (int32_t i = 0; i < count; ++i) {
        const AVStream& stream = *container.streams[selections[i].streamIndex];
        if (stream.duration != AV_NOPTS_VALUE)
            microseconds = std::max(
                microseconds, av_rescale_q(stream.duration, stream.time_base, AV_TIME_BASE_Q));
    }
    return std::max<int64_t>(microseconds, 0) / 1000;
}

std::string HasAvText(const AVFormatContext& container, const StreamSelection* selections,
                      int32_t count) {
    int bits = 0;
    for (int32_t i = 0; i < count; ++i) {
        const AVMediaType type = container.streams[selections[i].streamIndex]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_AUDIO)
            bits |= 1;
        else if (type == AVMEDIA_TYPE_VIDEO)
            bits |= 2;
    }
    return std::to_string(bits);
}

// A packet's duration in 100 ns units; without one, a picture's at the stream's frame rate or a
// sound block's at its codec's frame size.
int64_t PacketDuration(const AVPacket& packet, const AVStream& stream) {
    if (packet.duration > 0 && stream.time_base.den > 0)
        return av_rescale_q(packet.duration, stream.time_base, AVRational{1, 1000000}) * 10;
    const AVCodecParameters& codec = *stream.codecpar;
    if (codec.codec_type == AVMEDIA_TYPE_VIDEO)
        return VideoFrameDuration(stream.avg_frame_rate, stream.r_frame_rate);
    if (codec.codec_type == AVMEDIA_TYPE_AUDIO)
        return AudioFrameDuration(codec.frame_size, codec.sample_rate);
    return 0;
}

}  // namespace

CFFMediaSource* CFFMediaSource::Create(AVFormatContext* container,
                                       const StreamSelection* selections, int32_t count) {
    try {
        Owned<CFFMediaSource> source(new CFFMediaSource(container, selections, count));
        // Without its reader the source would wait for packets forever.
        return source->TryStart() ? source.release() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

CFFMediaSource::CFFMediaSource(AVFormatContext* container, const StreamSelection* selections,
                               int32_t count)
    : CBaseThread("vt-reader"), container_(container) {
    if (container == nullptr || count < 0 || (selections == nullptr && count > 0))
        throw std::invalid_argument("Bad pointer");
    for (int32_t i = 0; i < count; ++i)
        if (selections[i].streamIndex < 0 ||
            static_cast<unsigned>(selections[i].streamIndex) >= container->nb_streams)
            throw std::invalid_argument("Bad stream index");

    // The container skips every stream nobody asked for.
    for (unsigned i = 0; i < container->nb_streams; ++i)
        container->streams[i]->discard = AVDISCARD_ALL;
    for (int32_t i = 0; i < count; ++i)
        container->streams[selections[i].streamIndex]->discard = AVDISCARD_DEFAULT;

    hasAvText_ = HasAvText(*container, selections, count);
    durationMs_ = DurationMs(*container, selections, count);
    startOffset_ = StartOffsetOf(container->start_time);

    slots_.resize(count);
    for (int32_t i = 0; i < count; ++i) {
        slots_[i].selection = selections[i];
        if (selections[i].passThrough == 0)
            slots_[i].decoder = std::make_unique<StreamDecoder>(
                *container->streams[selections[i].streamIndex], startOffset_);
    }
}

CFFMediaSource::~CFFMediaSource() {
    StopWorker();
}

void CFFMediaSource::StopWorker() {
    end_ = true;
    stop_ = true;
    queue_.Close();
    Join();
}

void CFFMediaSource::Release() {
    delete this;
}

intptr_t CFFMediaSource::NamedParameter(const char* name, const char*) {
    if (name != nullptr && std::strcmp(name, kHasAvParameter) == 0)
        return reinterpret_cast<intptr_t>(hasAvText_.c_str());
    if (name != nullptr && std::strcmp(name, kQueuePeakParameter) == 0)
        return static_cast<intptr_t>(queue_.PeakBytes());
    return 0;
}

void CFFMediaSource::Run() {
    while (!stop_) {
        bool more = false;
        uint64_t generation = queue_.Generation();
        try {
            more = ReadAhead(generation);
        } catch (...) {
            // Out of memory: the file ends here rather than the consumer waiting for ever.
        }
        if (more)
            continue;
        // The end (or a read error) of the generation read in; a seek starts the next one.
        queue_.Finish(generation);
        if (!queue_.WaitForRestart(generation))
            return;
    }
}

bool CFFMediaSource::ReadAhead(uint64_t& generation) {
    SystemBased::PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    int result = 0;
    for (;;) {
        {
            // The generation read with the packet tells a packet from before a seek.
            std::lock_guard<std::mutex> guard(containerLock_);
            generation = queue_.Generation();
            result = av_read_frame(container_, packet.get());
        }
        // Network-like inputs only: give the other side a moment.
        if (result != AVERROR(EAGAIN) || stop_)
            break;
        SystemBased::SleepMilliseconds(1);
    }
    if (result < 0)
        return false;
    // A full queue holds the reader here until the consumer takes packets.
    if (FindSlot(packet->stream_index) >= 0)
        queue_.Push(std::move(packet), generation);
    return true;
}

int CFFMediaSource::FindSlot(int streamIndex) const {
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i].selection.streamIndex == streamIndex)
            return static_cast<int>(i);
    return -1;
}

bool CFFMediaSource::ReadFrame(IMediaFrame** frame, int32_t* slot, void*) {
    try {
        if (frame == nullptr || slot == nullptr)
            throw std::invalid_argument("Bad pointer");
        for (;;) {
            // What a decoder holds after a packet goes out before the next packet is taken.
            if (pendingSlot_ >= 0) {
                const int index = pendingSlot_;
                IMediaFrame* decoded = nullptr;
                decoded = slots_[index].decoder->Receive();
                if (decoded != nullptr) {
                    *frame = decoded;
                    *slot = index;
                    return true;
                }
                pendingSlot_ = -1;
                if (currentWaitsForDecoder_) {
                    currentWaitsForDecoder_ = false;
                    SendCurrentPacket(index, true);
                }
                continue;
            }
            if (end_) {
                if (DrainNextDecoder())
                    continue;
                return false;
            }
            SystemBased::PacketPtr next;
            if (queue_.Pop(next) != PacketQueue::PopResult::Packet) {
                // Every packet was read: what the decoders hold comes out next.
                end_ = true;
                continue;
            }
            current_ = std::move(next);
            const int index = FindSlot(current_->stream_index);
            if (index < 0)
                continue;
            if (slots_[index].selection.passThrough != 0) {
                *frame = PassThrough(slots_[index], *current_);
                *slot = index;
                return true;
            }
            SendCurrentPacket(index, false);
        }
    } catch (...) {
        return false;
    }
}

bool CFFMediaSource::SendCurrentPacket(int slotIndex, bool retry) {
    StreamDecoder& decoder = *slots_[slotIndex].decoder;
    if (!decoder.decodes())
        return false;  // subtitles and data: nothing to deliver
    const StreamDecoder::SendResult result = decoder.Send(*current_);
    if (result == StreamDecoder::SendResult::Rejected)
        return false;
    if (result == StreamDecoder::SendResult::Busy) {
        // A decoder that refuses input although it has just been emptied would never take it.
        if (retry)
            return false;
        currentWaitsForDecoder_ = true;
    }
    pendingSlot_ = slotIndex;
    return true;
}

IMediaFrame* CFFMediaSource::PassThrough(Slot& slot, AVPacket& packet) {
    const AVStream& stream = *container_->streams[packet.stream_index];
    // The exporter moves the times from this base to its own.
    packet.time_base = stream.time_base;
    if (!slot.packets) {
        slot.packets = std::make_unique<CCompressedFrame>();
        slot.packets->SetTimes(0, 0);
    }
    CCompressedFrame& frame = *slot.packets;
    // The frame the decoding stage queued before holds a reference of its own.
    frame.AttachPacket(packet);
    int64_t previousStart = 0;
    frame.GetTimes(&previousStart, nullptr);
    // On the decoded frames' time line, so that copied and decoded streams stay in step.
    // Like a decoder's best-effort time: the decoding time stands in for a missing presentation time.
    const int64_t timestamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    const FrameTiming timing = NextFrameTiming(timestamp, stream.time_base, startOffset_, previousStart,
                                               frame.IsDiscontinuity(), PacketDuration(packet, stream));
    frame.SetTimes(timing.start, timing.end);
    frame.SetDiscontinuity(timing.discontinuity);
    frame.SetKeyFrame((packet.flags & AV_PKT_FLAG_KEY) != 0);
    return &frame;
}

bool CFFMediaSource::DrainNextDecoder() {
    for (size_t i = 0; i < slots_.size(); ++i) {
        StreamDecoder* decoder = slots_[i].decoder.get();
        if (decoder == nullptr || !decoder->decodes())
            continue;
        if (decoder->StartDrain()) {
            pendingSlot_ = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

bool CFFMediaSource::DecodersHoldFrames() const {
    if (pendingSlot_ >= 0)
        return true;
    for (const Slot& slot : slots_)
        if (slot.decoder && slot.decoder->decodes() && slot.decoder->holdsInput())
            return true;
    return false;
}

bool CFFMediaSource::IsEndOfStream() {
    return end_ && !DecodersHoldFrames();
}

bool CFFMediaSource::Seek(int32_t positionMs) {
    try {
        const int64_t target =
            int64_t{static_cast<uint32_t>(positionMs)} * 1000 + startOffset_ / 10;
        const bool realMedia = std::strcmp(container_->iformat->name, "rm") == 0;
        int result = 0;
        {
            // Emptying the queue under the container lock keeps packets read before the seek
            // from arriving after it.
            std::lock_guard<std::mutex> guard(containerLock_);
            for (Slot& slot : slots_)
                if (slot.decoder)
                    slot.decoder->Flush(realMedia && slot.decoder->codecId() == AV_CODEC_ID_AAC);
            result = av_seek_frame(container_, -1, target, AVSEEK_FLAG_FRAME);
            // No key frame after the target (a long GOP): take the one before it rather than
            // leave the file at its end.
            if (result < 0)
                result = av_seek_frame(container_, -1, target, AVSEEK_FLAG_BACKWARD);
            queue_.Clear();
            end_ = false;
        }
        current_.reset();
        pendingSlot_ = -1;
        currentWaitsForDecoder_ = false;
        return result >= 0;
    } catch (...) {
        return false;
    }
}

}  // namespace MediaBased
