// Opens and probes an input file with FFmpeg and keeps the container open for decoding sources.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "object/container_tags.h"
#include "object/media_info.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class CFFMediaImporter final : public IMediaImporter {
public:
    explicit CFFMediaImporter(IMediaManager* manager) : manager_(manager) {}
    ~CFFMediaImporter() = default;

    void* ReservedQuery(void*) override { return nullptr; }
    intptr_t NamedParameter(const char*, const char*) override { return 0; }
    void Release() override;

    bool Open(const char* pathUtf8) override;
    bool Reopen(void* reserved) override;
    int32_t GetMediaCount() override { return 1; }
    IMediaInfo* GetMediaInfo(uint32_t mediaIndex) override;
    IMediaSource* CreateSource(uint32_t mediaIndex, const StreamSelection* selections,
                               int32_t count) override;
    void Close() override;

    // The container stream behind a position in the media info; -1 when there is none. The two
    // differ only where streams are left out of the media info (an mp3 file's cover picture).
    int ContainerStreamIndex(int infoPosition) const;

    // The open file's title and chapters; empty when nothing is open.
    const ContainerTags& containerTags() const { return containerTags_; }

private:
    void OpenStoredPath();

    IMediaManager* const manager_;
    std::string path_;
    SystemBased::InputFormatContextPtr container_;
    std::unique_ptr<CMediaInfo> mediaInfo_;
    std::vector<int> containerIndexOf_;
    ContainerTags containerTags_;
};

}  // namespace MediaBased
