#include "object/media_manager.h"

#include <new>

#include "object/media_info.h"
#include "vantrel/vantrel.h"

namespace MediaBased {

void CMediaManager::Release() {
    delete this;
}

// The creating operations below return null while the engine has no implementation of the
// object they make.

IMediaSourceEx* CMediaManager::CreateMediaSource(const char*) {
    return nullptr;
}

IMediaImporter* CMediaManager::CreateImporter(const char*) {
    return nullptr;
}

IMediaImporter* CMediaManager::OpenImporter(const char* pathUtf8) {
    IMediaImporter* importer = CreateImporter("FFMediaImporter");
    if (importer == nullptr)
        return nullptr;
    try {
        if (importer->Open(pathUtf8))
            return importer;
    } catch (...) {
    }
    importer->Release();
    return nullptr;
}

IAudioResampler* CMediaManager::CreateAudioResampler(int32_t, int32_t, int32_t, int64_t,
                                                     int32_t) {
    return nullptr;
}

IImageConverter* CMediaManager::CreateImageConverter(int32_t, int32_t, int32_t, uint32_t) {
    return nullptr;
}

IMediaConverter* CMediaManager::CreateConverter() {
    return nullptr;
}

IMediaTaskConfig* CMediaManager::CreateTaskConfig() {
    return nullptr;
}

IMediaExporter* CMediaManager::CreateExporter(void*) {
    return nullptr;
}

IMediaInfo* CMediaManager::CreateMediaInfo() {
    return new (std::nothrow) CMediaInfo(true);
}

}  // namespace MediaBased

extern "C" VANTREL_EXPORT MediaBased::IMediaManager* CreateMediaManager() {
    return new (std::nothrow) MediaBased::CMediaManager();
}
