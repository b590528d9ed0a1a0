// Description of one media file: container name and an ordered list of streams.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "object/stream_record.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class CStreamInfoEx final : public IStreamInfo {
public:
    explicit CStreamInfoEx(const StreamRecord& record) : record_(record) {}
    ~CStreamInfoEx();

    StreamRecord* GetRecord() override { return &record_.get(); }
    const StreamRecord* GetConstRecord() override { return &record_.get(); }
    const PropertyBlob* GetProperty(const char* name) override;
    bool SetProperty(const char* name, const PropertyBlob* blob) override;

    // A new stream info with copies of the record and every property.
    std::unique_ptr<CStreamInfoEx> Copy() const;

private:
    OwnedStreamRecord record_;
    std::map<std::string, PropertyBlob> properties_;  // blobs own their data
};

class CMediaInfo final : public IMediaInfo {
public:
    // callerOwns: made for a caller, who ends it with Release. Otherwise Release does nothing
    // and the importer that made it destroys it.
    explicit CMediaInfo(bool callerOwns) : callerOwns_(callerOwns) {}
    ~CMediaInfo() = default;

    void* ReservedQuery(void*) override { return nullptr; }
    intptr_t NamedParameter(const char*, const char*) override { return 0; }
    void Release() override;

    const char* GetFormatName() override { return formatName_.c_str(); }
    void SetFormatName(const char* name) override;
    int32_t GetStreamCount() override { return static_cast<int32_t>(streams_.size()); }
    const StreamRecord* GetStreamRecord(int32_t index) override;
    IStreamInfo* GetStreamInfo(uint32_t index) override;
    void AddStream(const StreamRecord* record) override;
    IMediaInfo* Clone() override;

    bool callerOwns() const { return callerOwns_; }

private:
    std::string formatName_;
    std::vector<std::unique_ptr<CStreamInfoEx>> streams_;
    bool callerOwns_;
};

}  // namespace MediaBased
