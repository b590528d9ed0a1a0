#include "import/media_source_ex.h"

#include <new>
#include <vector>

#include "system/module_logger.h"

namespace MediaBased {
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

void CMediaSourceEx::Release() {
    delete this;
}

void CMediaSourceEx::Open(const char* pathUtf8) {
    if (manager_ != nullptr)
        importer_.reset(new (std::nothrow) CFFMediaImporter(manager_));
    if (importer_ == nullptr || !importer_->Open(pathUtf8))
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
        selections.push_back(StreamSelection{importer_->ContainerStreamIndex(video), 0});
    if (audio >= 0)
        selections.push_back(StreamSelection{importer_->ContainerStreamIndex(audio), 0});
    // The media-info positions skip streams the importer hides; the source wants container
    // indices.
    source_.reset(
        importer_->CreateSource(0, selections.data(), static_cast<int32_t>(selections.size())));
    if (source_ == nullptr)
        SystemBased::ReportError("create source error.", "89");
}

}  // namespace MediaBased
