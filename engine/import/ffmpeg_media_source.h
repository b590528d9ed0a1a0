// Delivers decoded or pass-through frames of chosen streams of an opened container. A reader
// thread reads packets ahead into a queue bounded by packets and bytes; the consumer's
// ReadFrame decodes them (video on the decoder's own threads), while the reader goes on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "import/packet_queue.h"
#include "import/stream_decoder.h"
#include "object/media_frame.h"
#include "system/base_thread.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class CFFMediaSource final : public IMediaSource, private SystemBased::CBaseThread {
public:
    static constexpr size_t kQueueLimit = 100;
    // A few seconds of even a 60 Mbit/s source; a small fraction of a task's memory.
    static constexpr size_t kQueueByteLimit = 16 * 1024 * 1024;

    // A started source over container (borrowed; it must outlive the source), or null when a
    // decoder cannot be opened ("avcodec_open error." 301) or the selection is unusable.
    static CFFMediaSource* Create(AVFormatContext* container, const StreamSelection* selections,
                                  int32_t count);

    void* ReservedQuery(void*) override { return nullptr; }
    // "R_MediaSourceParamHasAV": the address of this source's text "0" to "3" (1 audio, 2 video).
    // "R_MediaSourceParamQueuePeakBytes": the most bytes its read-ahead queue held at once.
    intptr_t NamedParameter(const char* name, const char* value) override;
    void Release() override;

    bool ReadFrame(IMediaFrame** frame, int32_t* slot, void* reserved) override;
    bool Seek(int32_t positionMs) override;
    int32_t GetDuration() override { return static_cast<int32_t>(durationMs_); }
    intptr_t ReservedValue() override { return 0; }
    // True once every packet was handed out and every decoder has given up what it held.
    bool IsEndOfStream() override;

private:
    struct Slot {
        StreamSelection selection;
        std::unique_ptr<StreamDecoder> decoder;      // decoded entries
        std::unique_ptr<CCompressedFrame> packets;  // pass-through entries, made on first use
    };

    CFFMediaSource(AVFormatContext* container, const StreamSelection* selections, int32_t count);
    ~CFFMediaSource() override;

    void Run() override;
    // Reads and queues one packet; false once the container has nothing more to give.
    // generation: the queue generation the read belonged to.
    bool ReadAhead(uint64_t& generation);
    void StopWorker();

    int FindSlot(int streamIndex) const;
    // The slot's frame, holding a reference to packet, with times as decoded frames have them.
    IMediaFrame* PassThrough(Slot& slot, AVPacket& packet);
    // Feeds the current packet to its decoder; false when it yields nothing. retry: the decoder
    // refused it once and has been emptied since.
    bool SendCurrentPacket(int slotIndex, bool retry);
    // Starts draining the next decoder that still holds input; false when none does.
    bool DrainNextDecoder();
    bool DecodersHoldFrames() const;

    AVFormatContext* const container_;
    std::vector<Slot> slots_;
    std::string hasAvText_;
    int64_t durationMs_ = 0;
    int64_t startOffset_ = 0;

    // Container reads and seeking. Decoding needs no lock: only the consumer's thread decodes.
    std::mutex containerLock_;
    PacketQueue queue_{kQueueLimit, kQueueByteLimit};
    std::atomic<bool> end_{false};
    std::atomic<bool> stop_{false};

    // Consumer-side state.
    SystemBased::PacketPtr current_;
    int pendingSlot_ = -1;         // decoder that may hold more frames for the consumer
    bool currentWaitsForDecoder_ = false;  // current_ was refused until the decoder is emptied
};

}  // namespace MediaBased
