#include "import/media_source_ex.h"

#include <new>
#include <vector>

#include "import/ffmpeg_importer.h"
#include "system/module_logger.h"

namespace MediaBased {
namespace {

// The container stream behind a media-info position; the importer knows where they differ.
int32_t ContainerIndex(IMediaImporter* importer, int position) {
    if (auto* ffmpegImporter = dynamic_cast<CFFMediaImporter*>(importer))
        return ffmpegImporter->ContainerStreamIndex(position);
    return position;
}

}  // namespace

IMediaSourceEx* CMediaSourceEx::Create(IMediaManager* manager, const char* pathUtf8) {
    CMediaSourceEx* wrapper = new (std::nothrow) CMediaSourceEx(manager);
    if (wrapper == nullptr)
        return nullptr;
    try {
        wrapper->Open(pathUtf8);
        return wrapper;
    } catch (...) {
        delete wrapper;
        return nullptr;
    }
}

CMediaSourceEx::~CMediaSourceEx() {
    // The source reads the importer's container: it goes first.
    if (source_)
        source_->Release();
    if (importer_)
        importer_->Release();
}

void CMediaSourceEx::Release() {
    delete this;
}

void CMediaSourceEx::Open(const char* pathUtf8) {
    importer_ = manager_ ? manager_->OpenImporter(pathUtf8) : nullptr;
    if (importer_ == nullptr)
        SystemBased::ReportError("can not open file.", "50");

    IMediaInfo* info = importer_->GetMediaInfo(0);
    int video = -1;
    int audio = -1;
    for (int i = 0; info != nullptr && i < info->GetStreamCount(); ++i) {
        const int32_t kind = info->GetStreamRecord(i)->kind;
        if (kind == StreamKindVideo && video < 0)
            video = i;
        else if (kind == StreamKindAudio && audio < 0)
            audio = i;
    }
    if (video < 0 && audio < 0)
        SystemBased::ReportError("no audio or video.", "72");

    // Slot 0 is the video stream when there is one, then the audio stream.
    std::vector<StreamSelection> selections;
    if (video >= 0)
        selections.push_back(StreamSelection{ContainerIndex(importer_, video), 0});
    if (audio >= 0)
        selections.push_back(StreamSelection{ContainerIndex(importer_, audio), 0});
    source_ = importer_->CreateSource(0, selections.data(), static_cast<int32_t>(selections.size()));
    if (source_ == nullptr)
        SystemBased::ReportError("create source error.", "89");
}

}  // namespace MediaBased
