// Media files added by the user: probed once, with chosen streams and a thumbnail.
#pragma once

#include <QImage>
#include <QString>
#include <memory>
#include <vector>

#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

// "512.00 bytes", "1.00 KB", "162.30 MB": 1024-based units, two decimals.
QString formatSize(qint64 bytes);

class SourceFile {
public:
    static constexpr int kThumbnailWidth = 160;
    static constexpr int kThumbnailHeight = 90;

    explicit SourceFile(MediaBased::IMediaManager* manager);
    ~SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    bool probe(const QString& path);
    // Without a thumbnail (a black picture) probing decodes nothing: for clients that show none.
    void setWantsThumbnail(bool wanted) { wantsThumbnail_ = wanted; }
    // For a name given as the file system's bytes, which need not be UTF-8 (a Latin-1 name
    // from an old disk): path() shows it as best it can, enginePath() keeps the bytes.
    bool probeNative(const QByteArray& nativePath);

    MediaBased::IMediaInfo* mediaInfo() const { return mediaInfo_.get(); }
    const MediaBased::StreamRecord* videoRecord() const { return videoRecord_; }
    int audioStream() const { return audioStream_; }
    int videoStream() const { return videoStream_; }
    // Accepts only the index of an audio stream.
    bool setAudioStream(int index);
    QString path() const { return path_; }
    // The bytes the engine opens the file by.
    QByteArray enginePath() const { return enginePath_; }
    const QImage& thumbnail() const { return thumbnail_; }
    double duration() const { return duration_; }
    QString sizeText() const { return sizeText_; }

    QString fileName() const;
    // Up to the last dot: Show.S01E01.1080p.mkv gives Show.S01E01.1080p, .hidden.mkv .hidden.
    QString baseName() const;
    QString resolutionText() const;

private:
    bool wantsThumbnail_ = true;
    void takeThumbnail(MediaBased::IMediaImporter& importer);

    MediaBased::Owned<MediaBased::IMediaInfo> mediaInfo_;  // our own clone of the probe
    const MediaBased::StreamRecord* videoRecord_ = nullptr;
    MediaBased::IMediaManager* manager_;
    int audioStream_ = -1;
    int videoStream_ = -1;
    QString path_;
    QByteArray enginePath_;
    QImage thumbnail_;
    double duration_ = 0.0;
    QString sizeText_;
};

class SourceList {
public:
    explicit SourceList(MediaBased::IMediaManager* manager) : manager_(manager) {}

    // Index of the new record, or -1 when the file cannot be probed.
    int add(const QString& path);
    // Files added from now on get thumbnails (the default) or not.
    void setThumbnails(bool on) { thumbnails_ = on; }
    int addNative(const QByteArray& nativePath);
    int count() const { return static_cast<int>(files_.size()); }
    SourceFile* at(int index) const;
    bool removeAt(int index);
    void clear() { files_.clear(); }

private:
    MediaBased::IMediaManager* manager_;
    bool thumbnails_ = true;
    std::vector<std::unique_ptr<SourceFile>> files_;
};
