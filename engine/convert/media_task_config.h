// The description of one conversion: input, chosen input streams, output file and the
// output streams to encode. A passive value that the converter keeps its own clone of.
#pragma once

#include <string>
#include <vector>

#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

namespace MediaBased {

class CMediaTaskConfig final : public IMediaTaskConfig {
public:
    CMediaTaskConfig() = default;
    CMediaTaskConfig(const CMediaTaskConfig&) = delete;
    CMediaTaskConfig& operator=(const CMediaTaskConfig&) = delete;
    ~CMediaTaskConfig() = default;

    void* ReservedQuery(void*) override { return nullptr; }
    intptr_t NamedParameter(const char*, const char*) override { return 0; }
    void Release() override;

    const char* GetSourcePath() override { return sourcePath_.c_str(); }
    // Null paths, selections and descriptions are ignored.
    void SetSourcePath(const char* path) override;
    const StreamSelection* GetStreamSelection(uint32_t index) override;
    int32_t GetStreamSelectionCount() override;
    void AddStreamSelection(const StreamSelection* selection) override;
    const char* GetTargetPath() override { return targetPath_.c_str(); }
    void SetTargetPath(const char* path) override;
    // Null when info is null or cannot be copied; the held description is then kept.
    IMediaInfo* SetTargetInfo(IMediaInfo* info) override;
    IMediaInfo* GetTargetInfo() override { return targetInfo_.get(); }
    // A configuration without a description clones into one without a description.
    IMediaTaskConfig* Clone() override;

private:
    std::string sourcePath_;
    std::string targetPath_;
    Owned<IMediaInfo> targetInfo_;  // our own clone
    std::vector<StreamSelection> selections_;
};

}  // namespace MediaBased
