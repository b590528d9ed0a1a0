#include "source_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "vantrel/owned.h"

using namespace MediaBased;

namespace {

constexpr int kThumbnailReadAttempts = 300;

std::atomic<uint64_t> g_nextSerial{1};

}  // namespace

QString formatSize(qint64 bytes) {
    // An estimate that cannot be made (kSizeUnknown) says so rather than showing a number.
    if (bytes < 0)
        return QCoreApplication::translate("SourceFile", "size depends on the picture");
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
    : manager_(manager),
      thumbnail_(kThumbnailWidth, kThumbnailHeight, QImage::Format_RGB32),
      serial_(g_nextSerial.fetch_add(1, std::memory_order_relaxed)) {
    thumbnail_.fill(0);
}

void SourceFile::expectNative(const QByteArray& nativePath) {
    state_ = SourceState::Reading;
    problem_.clear();
    path_ = QFile::decodeName(nativePath);
    enginePath_ = nativePath;
}

void SourceFile::takeProbeOf(SourceFile& probed) {
    mediaInfo_ = std::move(probed.mediaInfo_);
    videoRecord_ = std::exchange(probed.videoRecord_, nullptr);
    audioStream_ = probed.audioStream_;
    videoStream_ = probed.videoStream_;
    path_ = probed.path_;
    enginePath_ = probed.enginePath_;
    thumbnail_ = probed.thumbnail_;
    duration_ = probed.duration_;
    sizeText_ = probed.sizeText_;
    state_ = probed.state_;
    problem_ = probed.problem_;
    const StreamRecord* chosen = mediaInfo_ ? mediaInfo_->GetStreamRecord(audioChosenEarly_) : nullptr;
    if (chosen != nullptr && chosen->kind == StreamKindAudio)
        audioStream_ = audioChosenEarly_;
}

bool SourceFile::fail(const QString& problem) {
    state_ = SourceState::Unreadable;
    problem_ = problem;
    return false;
}

bool SourceFile::probe(const QString& path) {
    return probeNative(QFile::encodeName(path));
}

bool SourceFile::probeNative(const QByteArray& nativePath) {
    path_ = QFile::decodeName(nativePath);
    enginePath_ = nativePath;
    mediaInfo_.reset();
    videoRecord_ = nullptr;
    // Stat the bytes themselves: a name that is not UTF-8 does not survive a QString.
    struct stat status {};
    if (nativePath.isEmpty() || ::stat(nativePath.constData(), &status) != 0)
        return fail(errno == EACCES ? QStringLiteral("its folder cannot be entered")
                                    : QStringLiteral("the file is missing"));
    sizeText_ = formatSize(static_cast<qint64>(status.st_size));
    if (::access(nativePath.constData(), R_OK) != 0)
        return fail(QStringLiteral("there is no permission to read it"));
    if (manager_ == nullptr)
        return fail(QStringLiteral("the media engine is not available"));

    // The importer is needed only while probing and drawing the thumbnail.
    Owned<IMediaImporter> importer(manager_->OpenImporter(nativePath.constData()));
    IMediaInfo* probed = importer ? importer->GetMediaInfo(0) : nullptr;
    mediaInfo_.reset(probed ? probed->Clone() : nullptr);
    if (mediaInfo_ == nullptr)
        return fail(QStringLiteral("not a Matroska file, or a damaged one"));

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
    // The engine could open it; corvane-cli still takes it and lets the engine say more.
    if (videoStream_ == -1 && audioStream_ == -1) {
        fail(QStringLiteral("no pictures or sound"));
    } else {
        state_ = SourceState::Ready;
        problem_.clear();
    }
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
    if (state_ == SourceState::Reading) {
        if (index < 0)
            return false;
        audioStream_ = audioChosenEarly_ = index;
        return true;
    }
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

SourceFile* SourceList::addUnread(const QByteArray& nativePath) {
    auto file = std::make_unique<SourceFile>(manager_);
    file->expectNative(nativePath);
    files_.push_back(std::move(file));
    return files_.back().get();
}

int SourceList::indexOf(const SourceFile* file) const {
    for (int i = 0; i < count(); ++i)
        if (files_[static_cast<size_t>(i)].get() == file)
            return i;
    return -1;
}

SourceFile* SourceList::findBySerial(uint64_t serial) const {
    for (const auto& file : files_)
        if (file->serial() == serial)
            return file.get();
    return nullptr;
}

int SourceList::countIn(SourceState state) const {
    int counted = 0;
    for (const auto& file : files_)
        counted += file->state() == state;
    return counted;
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
