#include "convert/media_task_config.h"

#include <memory>
#include <utility>

namespace MediaBased {

void CMediaTaskConfig::Release() {
    delete this;
}

void CMediaTaskConfig::SetSourcePath(const char* path) {
    try {
        if (path)
            sourcePath_ = path;
    } catch (...) {
    }
}

void CMediaTaskConfig::SetTargetPath(const char* path) {
    try {
        if (path)
            targetPath_ = path;
    } catch (...) {
    }
}

const StreamSelection* CMediaTaskConfig::GetStreamSelection(uint32_t index) {
    return index < selections_.size() ? &selections_[index] : nullptr;
}

int32_t CMediaTaskConfig::GetStreamSelectionCount() {
    return static_cast<int32_t>(selections_.size());
}

void CMediaTaskConfig::AddStreamSelection(const StreamSelection* selection) {
    try {
        if (selection)
            selections_.push_back(*selection);
    } catch (...) {
    }
}

IMediaInfo* CMediaTaskConfig::SetTargetInfo(IMediaInfo* info) {
    if (info == nullptr)
        return nullptr;
    Owned<IMediaInfo> copy(info->Clone());
    if (copy == nullptr)
        return nullptr;
    targetInfo_ = std::move(copy);
    return targetInfo_.get();
}

IMediaTaskConfig* CMediaTaskConfig::Clone() {
    try {
        std::unique_ptr<CMediaTaskConfig> copy(new CMediaTaskConfig());
        copy->sourcePath_ = sourcePath_;
        copy->targetPath_ = targetPath_;
        copy->selections_ = selections_;
        if (targetInfo_) {
            copy->targetInfo_.reset(targetInfo_->Clone());
            if (copy->targetInfo_ == nullptr)
                return nullptr;
        }
        return copy.release();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace MediaBased
