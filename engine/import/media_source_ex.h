// The one-call way to decode a file: its own importer and a source over the first video and
// the first audio stream, released together.
#pragma once

#include "import/ffmpeg_importer.h"
#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

namespace MediaBased {

class CMediaSourceEx final : public IMediaSourceEx {
public:
    // Null when the file cannot be opened ("can not open file." 50), has neither video nor audio
    // ("no audio or video." 72) or its source cannot be built ("create source error." 89).
    static IMediaSourceEx* Create(IMediaManager* manager, const char* pathUtf8);

    void* ReservedQuery(void* key) override { return source_->ReservedQuery(key); }
    intptr_t NamedParameter(const char* name, const char* value) override {
        return source_->NamedParameter(name, value);
    }
    void Release() override;

    bool ReadFrame(IMediaFrame** frame, int32_t* slot, void* reserved) override {
        return source_->ReadFrame(frame, slot, reserved);
    }
    bool Seek(int32_t positionMs) override { return source_->Seek(positionMs); }
    int32_t GetDuration() override { return source_->GetDuration(); }
    intptr_t ReservedValue() override { return source_->ReservedValue(); }
    bool IsEndOfStream() override { return source_->IsEndOfStream(); }

private:
    explicit CMediaSourceEx(IMediaManager* manager) : manager_(manager) {}
    ~CMediaSourceEx() = default;

    void Open(const char* pathUtf8);

    IMediaManager* const manager_;
    // The source reads the importer's container, so it is declared after it and ends first.
    Owned<CFFMediaImporter> importer_;
    Owned<IMediaSource> source_;
};

}  // namespace MediaBased
