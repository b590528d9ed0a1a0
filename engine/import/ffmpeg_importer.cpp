#include "import/ffmpeg_importer.h"

#include <stdexcept>

#include "import/ffmpeg_media_source.h"
#include "import/stream_description.h"
#include "system/module_logger.h"

namespace MediaBased {

void CFFMediaImporter::Release() {
    Close();
    delete this;
}

bool CFFMediaImporter::Open(const char* pathUtf8) {
    try {
        Close();
        if (pathUtf8 == nullptr)
            throw std::invalid_argument("Bad pointer");
        path_ = pathUtf8;
        OpenStoredPath();
        return true;
    } catch (...) {
        return false;
    }
}

bool CFFMediaImporter::Reopen(void*) {
    try {
        Close();
        OpenStoredPath();
        return true;
    } catch (...) {
        return false;
    }
}

// FFmpeg takes the UTF-8 path as it is.
void CFFMediaImporter::OpenStoredPath() {
    AVFormatContext* opened = avformat_alloc_context();
    if (opened == nullptr)
        throw std::invalid_argument("Bad pointer");
    // A failed avformat_open_input frees the context itself.
    if (avformat_open_input(&opened, path_.c_str(), nullptr, nullptr) < 0)
        SystemBased::ReportError("av_open_input_file error.", "147");
    container_.reset(opened);
    if (avformat_find_stream_info(container_.get(), nullptr) < 0)
        SystemBased::ReportError("avformat_find_stream_info error", "156");
    ContainerDescription description = DescribeContainer(*container_);
    mediaInfo_ = std::move(description.info);
    containerIndexOf_ = std::move(description.containerIndexOf);
    containerTags_ = std::move(description.tags);
}

IMediaInfo* CFFMediaImporter::GetMediaInfo(uint32_t mediaIndex) {
    return mediaIndex == 0 ? mediaInfo_.get() : nullptr;
}

IMediaSource* CFFMediaImporter::CreateSource(uint32_t, const StreamSelection* selections,
                                             int32_t count) {
    if (!container_)
        return nullptr;
    return CFFMediaSource::Create(container_.get(), selections, count);
}

void CFFMediaImporter::Close() {
    mediaInfo_.reset();
    containerIndexOf_.clear();
    containerTags_ = ContainerTags();
    container_.reset();
}

int CFFMediaImporter::ContainerStreamIndex(int infoPosition) const {
    if (infoPosition < 0 || static_cast<size_t>(infoPosition) >= containerIndexOf_.size())
        return -1;
    return containerIndexOf_[infoPosition];
}

}  // namespace MediaBased
