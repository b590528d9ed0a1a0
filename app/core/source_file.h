// Media files added by the user: probed once, with chosen streams and a thumbnail.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "stream_plan.h"
#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

// "512.00 bytes", "1.00 KB", "162.30 MB": 1024-based units, two decimals. A negative size
// (an estimate that cannot be made) reads "size depends on the picture".
QString formatSize(qint64 bytes);

// Reading: added, not probed yet (the window probes on worker threads). Unreadable: the
// engine cannot open it, or it holds neither pictures nor sound; it is never converted.
enum class SourceState { Reading, Ready, Unreadable };

class SourceFile {
public:
    static constexpr int kThumbnailWidth = 160;
    static constexpr int kThumbnailHeight = 90;

    explicit SourceFile(MediaBased::IMediaManager* manager);
    ~SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Unique for the program's life: tells this record from a later one at the same address.
    uint64_t serial() const { return serial_; }
    SourceState state() const { return state_; }
    bool isReady() const { return state_ == SourceState::Ready; }
    // Why an unreadable file cannot be read, e.g. "the file is missing"; empty otherwise.
    QString problem() const { return problem_; }
    // Names the file before it is read: Reading, with its name and nothing else known.
    void expectNative(const QByteArray& nativePath);
    // What a probe of the same file found, taken over by this record (on the record's thread).
    // An audio stream chosen while the file was being read is kept when it is one.
    void takeProbeOf(SourceFile& probed);

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
    // Accepts only the index of an audio stream; while the file is being read, any index,
    // checked once it is read (a restored list's choice).
    bool setAudioStream(int index);
    // Which tracks the conversion keeps; the defaults keep every one the target holds.
    const PlanChoices& planChoices() const { return choices_; }
    void setPlanChoices(const PlanChoices& choices) { choices_ = choices; }
    // The audio stream chosen while the file was being read; -1 when none was.
    int audioStreamChosenEarly() const { return audioChosenEarly_; }
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
    bool fail(const QString& problem);

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
    uint64_t serial_;
    SourceState state_ = SourceState::Ready;
    QString problem_;
    int audioChosenEarly_ = -1;
    PlanChoices choices_;
};

class SourceList {
public:
    explicit SourceList(MediaBased::IMediaManager* manager) : manager_(manager) {}

    // Probes at once. Index of the new record, or -1 when the file cannot be probed.
    int add(const QString& path);
    // Files added from now on get thumbnails (the default) or not.
    void setThumbnails(bool on) { thumbnails_ = on; }
    bool thumbnails() const { return thumbnails_; }
    int addNative(const QByteArray& nativePath);
    // Appends a record still to be read (SourceProber reads it); never null.
    SourceFile* addUnread(const QByteArray& nativePath);
    int count() const { return static_cast<int>(files_.size()); }
    SourceFile* at(int index) const;
    // -1 when the record is not in the list.
    int indexOf(const SourceFile* file) const;
    SourceFile* findBySerial(uint64_t serial) const;
    int countIn(SourceState state) const;
    bool removeAt(int index);
    void clear() { files_.clear(); }
    MediaBased::IMediaManager* manager() const { return manager_; }

private:
    MediaBased::IMediaManager* manager_;
    bool thumbnails_ = true;
    std::vector<std::unique_ptr<SourceFile>> files_;
};
