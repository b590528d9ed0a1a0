#include "source_file.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

#include <cstring>

#include "vantrel/owned.h"

using namespace MediaBased;

namespace {

constexpr int kThumbnailReadAttempts = 300;

}  // namespace

QString formatSize(qint64 bytes) {
    float value = static_cast<float>(bytes);
    QString unit = QStringLiteral("bytes");
    for (const char* larger : {"KB", "MB", "GB", "TB"}) {
        if (value < 1024)
            break;
        unit = QLatin1String(larger);
        value /= 1024;
    }
    return QString::number(value, 'f', 2) + ' ' + unit;
}

SourceFile::SourceFile(IMediaManager* manager)
    : manager_(manager), thumbnail_(kThumbnailWidth, kThumbnailHeight, QImage::Format_RGB32) {
    thumbnail_.fill(0);
}

bool SourceFile::probe(const QString& path) {
    return probeNative(QFile::encodeName(path));
}

bool SourceFile::probeNative(const QByteArray& nativePath) {
    // Stat the bytes themselves: a name that is not UTF-8 does not survive a QString.
    struct stat status {};
    if (nativePath.isEmpty() || ::stat(nativePath.constData(), &status) != 0 || manager_ == nullptr)
        return false;
    sizeText_ = formatSize(static_cast<qint64>(status.st_size));

    // The importer is needed only while probing and drawing the thumbnail.
    Owned<IMediaImporter> importer(manager_->OpenImporter(nativePath.constData()));
    IMediaInfo* probed = importer ? importer->GetMediaInfo(0) : nullptr;
    mediaInfo_.reset(probed ? probed->Clone() : nullptr);
    videoRecord_ = nullptr;
    if (mediaInfo_ == nullptr)
        return false;

    audioStream_ = -1;
    videoStream_ = -1;
    duration_ = 0.0;
    for (int i = 0; i < mediaInfo_->GetStreamCount(); ++i) {
        const StreamRecord* record = mediaInfo_->GetStreamRecord(i);
        if (record->kind == StreamKindAudio && audioStream_ == -1) {
            audioStream_ = i;
        } else if (record->kind == StreamKindVideo) {
            videoStream_ = i;
            videoRecord_ = record;
        }
        if (record->durationSeconds >= duration_)
            duration_ = record->durationSeconds;
    }

    thumbnail_.fill(0);
    if (videoStream_ != -1 && wantsThumbnail_)
        takeThumbnail(*importer);
    path_ = QFile::decodeName(nativePath);
    enginePath_ = nativePath;
    return true;
}

void SourceFile::takeThumbnail(IMediaImporter& importer) {
    const StreamSelection selection{videoStream_, 0};
    Owned<IMediaSource> source(importer.CreateSource(0, &selection, 1));
    if (!source)
        return;
    source->Seek(static_cast<int32_t>(static_cast<uint32_t>(source->GetDuration()) / 5));

    IMediaFrame* frame = nullptr;
    for (int attempt = 0; attempt < kThumbnailReadAttempts && !source->IsEndOfStream(); ++attempt) {
        int32_t slot = -1;
        if (source->ReadFrame(&frame, &slot, nullptr) && frame != nullptr)
            break;
        frame = nullptr;
    }
    if (frame == nullptr || frame->GetKind() != FrameKindVideo)
        return;

    Owned<IImageConverter> converter(
        manager_->CreateImageConverter(PixelBGRA, kThumbnailWidth, kThumbnailHeight, 0));
    if (!converter)
        return;
    IVideoFrame* picture = converter->Convert(static_cast<IVideoFrame*>(frame));
    if (picture == nullptr)
        return;
    int32_t rowBytes = 0, lineSize = 0, rows = 0;
    const uint8_t* pixels = picture->GetPlane(0, &rowBytes, &lineSize, &rows);
    if (pixels == nullptr)
        return;
    // Row by row: the converter's planes may be padded beyond the visible width.
    const int copyRows = std::min<int>(rows, thumbnail_.height());
    const int copyBytes = std::min<int>(rowBytes, static_cast<int>(thumbnail_.bytesPerLine()));
    for (int y = 0; y < copyRows; ++y)
        std::memcpy(thumbnail_.scanLine(y), pixels + static_cast<ptrdiff_t>(y) * lineSize, copyBytes);
}

bool SourceFile::setAudioStream(int index) {
    const StreamRecord* record = mediaInfo_ ? mediaInfo_->GetStreamRecord(index) : nullptr;
    if (record == nullptr || record->kind != StreamKindAudio)
        return false;
    audioStream_ = index;
    return true;
}

QString SourceFile::fileName() const {
    return QFileInfo(path_).fileName();
}

QString SourceFile::baseName() const {
    return QFileInfo(path_).completeBaseName();
}

QString SourceFile::resolutionText() const {
    if (videoRecord_ == nullptr)
        return {};
    return QStringLiteral("%1*%2").arg(videoRecord_->width).arg(videoRecord_->height);
}

int SourceList::add(const QString& path) {
    return addNative(QFile::encodeName(path));
}

int SourceList::addNative(const QByteArray& nativePath) {
    auto file = std::make_unique<SourceFile>(manager_);
    file->setWantsThumbnail(thumbnails_);
    if (!file->probeNative(nativePath))
        return -1;
    files_.push_back(std::move(file));
    return count() - 1;
}

SourceFile* SourceList::at(int index) const {
    return index >= 0 && index < count() ? files_[static_cast<size_t>(index)].get() : nullptr;
}

bool SourceList::removeAt(int index) {
    if (index < 0 || index >= count())
        return false;
    files_.erase(files_.begin() + index);
    return true;
}
