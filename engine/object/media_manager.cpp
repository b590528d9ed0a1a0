#include "object/media_manager.h"

#include <new>

#include "convert/media_converter.h"
#include "convert/media_exporter.h"
#include "convert/media_task_config.h"
#include "filters/audio_resampler.h"
#include "filters/image_converter.h"
#include "import/ffmpeg_importer.h"
#include "import/media_source_ex.h"
#include "object/media_info.h"
#include "vantrel/owned.h"
#include "vantrel/vantrel.h"

namespace MediaBased {

void CMediaManager::Release() {
    delete this;
}

// The creating operations below answer null when the object cannot be made (memory, or
// arguments no object could work with); nothing they make is kept by the manager.

IMediaSourceEx* CMediaManager::CreateMediaSource(const char* pathUtf8) {
    return CMediaSourceEx::Create(this, pathUtf8);
}

// The name is not examined: every importer is the FFmpeg one.
IMediaImporter* CMediaManager::CreateImporter(const char*) {
    return new (std::nothrow) CFFMediaImporter(this);
}

IMediaImporter* CMediaManager::OpenImporter(const char* pathUtf8) {
    Owned<IMediaImporter> importer(CreateImporter("FFMediaImporter"));
    try {
        if (importer != nullptr && importer->Open(pathUtf8))
            return importer.release();
    } catch (...) {
    }
    return nullptr;
}

IAudioResampler* CMediaManager::CreateAudioResampler(int32_t sampleFormat, int32_t channels,
                                                     int32_t sampleRate, int64_t channelLayout,
                                                     int32_t) {
    try {
        return new CAudioResampler(sampleFormat, channels, sampleRate, channelLayout);
    } catch (...) {
        return nullptr;
    }
}

IImageConverter* CMediaManager::CreateImageConverter(int32_t pixelFormat, int32_t width,
                                                     int32_t height, uint32_t flags) {
    try {
        return new CImageConverter(pixelFormat, width, height, flags);
    } catch (...) {
        return nullptr;
    }
}

IMediaConverter* CMediaManager::CreateConverter() {
    try {
        return new CMediaConverter(this);
    } catch (...) {
        return nullptr;
    }
}

IMediaTaskConfig* CMediaManager::CreateTaskConfig() {
    return new (std::nothrow) CMediaTaskConfig();
}

IMediaExporter* CMediaManager::CreateExporter(void*) {
    return new (std::nothrow) CMediaExporter(this);
}

IMediaInfo* CMediaManager::CreateMediaInfo() {
    return new (std::nothrow) CMediaInfo(true);
}

}  // namespace MediaBased

extern "C" VANTREL_EXPORT MediaBased::IMediaManager* CreateMediaManager() {
    return new (std::nothrow) MediaBased::CMediaManager();
}
