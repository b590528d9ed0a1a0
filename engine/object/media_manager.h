// The engine's only factory. It keeps no state: every operation builds a new object.
#pragma once

#include "vantrel/interfaces.h"

namespace MediaBased {

class CMediaManager final : public IMediaManager {
public:
    CMediaManager() = default;
    ~CMediaManager() = default;

    void* ReservedQuery(void*) override { return nullptr; }
    intptr_t NamedParameter(const char*, const char*) override { return 0; }
    void Release() override;

    IMediaSourceEx* CreateMediaSource(const char* pathUtf8) override;
    void* ReservedCreate(void*, void*, void*, void*) override { return nullptr; }
    void* ReservedQuery2(void*) override { return nullptr; }
    IMediaImporter* CreateImporter(const char* name) override;
    IMediaImporter* OpenImporter(const char* pathUtf8) override;
    IAudioResampler* CreateAudioResampler(int32_t sampleFormat, int32_t channels,
                                          int32_t sampleRate, int64_t channelLayout,
                                          int32_t reserved) override;
    IImageConverter* CreateImageConverter(int32_t pixelFormat, int32_t width, int32_t height,
                                          uint32_t flags) override;
    IMediaConverter* CreateConverter() override;
    IMediaTaskConfig* CreateTaskConfig() override;
    IMediaExporter* CreateExporter(void* reserved) override;
    IMediaInfo* CreateMediaInfo() override;
};

}  // namespace MediaBased
