#include "object/media_info.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace MediaBased {
namespace {

// A blob holding its own copy of the given bytes, or an empty blob.
PropertyBlob CopyBlob(const PropertyBlob& source) {
    if (source.data == nullptr || source.size == 0)
        return PropertyBlob{nullptr, 0};
    void* data = std::malloc(source.size);
    if (data == nullptr)
        throw std::bad_alloc();
    std::memcpy(data, source.data, source.size);
    return PropertyBlob{data, source.size};
}

}  // namespace

CStreamInfoEx::~CStreamInfoEx() {
    for (auto& [name, blob] : properties_)
        std::free(blob.data);
}

const PropertyBlob* CStreamInfoEx::GetProperty(const char* name) {
    if (name == nullptr)
        return nullptr;
    const auto found = properties_.find(name);
    return found == properties_.end() ? nullptr : &found->second;
}

bool CStreamInfoEx::SetProperty(const char* name, const PropertyBlob* blob) {
    if (name == nullptr || blob == nullptr)
        return true;
    const PropertyBlob copy = CopyBlob(*blob);
    auto [slot, inserted] = properties_.try_emplace(name, copy);
    if (!inserted) {
        std::free(slot->second.data);
        slot->second = copy;
    }
    return true;
}

std::unique_ptr<CStreamInfoEx> CStreamInfoEx::Copy() const {
    auto copy = std::make_unique<CStreamInfoEx>(record_.get());
    for (const auto& [name, blob] : properties_) {
        const PropertyBlob data = CopyBlob(blob);
        copy->properties_.emplace(name, data);
    }
    return copy;
}

void CMediaInfo::Release() {
    if (callerOwns_)
        delete this;
}

void CMediaInfo::SetFormatName(const char* name) {
    if (name == nullptr)
        throw std::invalid_argument("Bad pointer");
    formatName_ = name;
}

const StreamRecord* CMediaInfo::GetStreamRecord(int32_t index) {
    if (index < 0 || index >= GetStreamCount())
        return nullptr;
    return streams_[index]->GetConstRecord();
}

IStreamInfo* CMediaInfo::GetStreamInfo(uint32_t index) {
    return index < streams_.size() ? streams_[index].get() : nullptr;
}

void CMediaInfo::AddStream(const StreamRecord* record) {
    if (record == nullptr)
        throw std::invalid_argument("Bad pointer");
    streams_.push_back(std::make_unique<CStreamInfoEx>(*record));
}

IMediaInfo* CMediaInfo::Clone() {
    try {
        auto copy = std::make_unique<CMediaInfo>(true);
        copy->formatName_ = formatName_;
        copy->streams_.reserve(streams_.size());
        for (const auto& stream : streams_)
            copy->streams_.push_back(stream->Copy());
        return copy.release();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace MediaBased
