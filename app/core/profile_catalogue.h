// The profile catalogue: categories (shown as tabs) and profile entries, read from the list
// and format documents of the registered profile bundle. The documents are read here and
// nowhere else; everything handed out is a plain record.
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>
#include <vector>

// Raised by the readers with short fixed texts such as "profilelist parse error".
class CatalogueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ProfileCategory {
    int id = 0;
    QString title;
};

// Values are the texts the documents hold ("1500 kbps" stays "1500 kbps"); the readers of a
// value decide how much of it counts. A list is its text split at ";", empty parts included,
// and no parts at all for an empty text.
struct VideoOption {
    QString codec;             // codec-table code
    QString resolution;        // w*h or "Keep Original"
    QString defaultBitrate;
    QString defaultFrameRate;  // fps or "Keep Original"
    QStringList bitrates;
    QStringList frameRates;

    bool operator==(const VideoOption&) const = default;
};

struct AudioOption {
    QString codec;
    QString channels;
    QString defaultBitrate;
    QString defaultSampleRate;
    QStringList bitrates;
    QStringList sampleRates;

    bool operator==(const AudioOption&) const = default;
};

// What the device a profile targets plays, as its maker publishes it: an item's <Limits>
// element. Zero (or false) where the catalogue says nothing; the copy rules and the picture
// size rules read them.
struct DeviceLimits {
    int maxWidth = 0;             // MaxResolution="3840*2160"
    int maxHeight = 0;
    double maxFramesPerSecond = 0.0;  // MaxFrameRate="60"
    int h264Level = 0;            // H264Level="4.1" gives 41
    int hevcLevel = 0;            // HevcLevel="5.1" gives 51
    int maxBitDepth = 0;          // BitDepth="10"; 0: 8 bits
    bool hdr = false;             // HDR="yes": plays PQ and HLG pictures as they are
    int maxChannels = 0;          // MaxChannels="6"
    int maxSampleRate = 0;        // MaxSampleRate="48000"
    int maxAudioTracks = 0;       // MaxAudioTracks="1"; 0: as many as the container holds

    bool operator==(const DeviceLimits&) const = default;
};

// What a profile converts to. Options keep the documents' order, repeats included.
struct ProfileFormat {
    QString containerCode;
    QString extension;          // with its dot
    QString defaultVideoCodec;  // empty = no video output
    QString defaultResolution;
    QList<VideoOption> video;
    QString defaultAudioCodec;  // empty = no audio output
    QString defaultChannels;
    QList<AudioOption> audio;
    // Streams the profile takes as they are are copied, not encoded again: CopyStreams="no"
    // turns it off, "any" copies every codec the container holds, not only the profile's own.
    // BurnForcedSubtitles="yes" burns the source's forced subtitles into the picture.
    bool copyStreams = true;
    bool copyAnyCodec = false;
    bool burnForcedSubtitles = false;
    // <VideoEnc RateControl="quality" defQuality="23" defSpeed="balanced">: "quality" encodes
    // to a constant quality (the encoder's own CRF scale: higher = smaller file), "bitrate"
    // (or nothing) to the option's bit rate. defSpeed is one of "fastest", "fast",
    // "balanced", "slow", "slowest"; empty keeps each encoder's own default.
    QString defaultRateControl;
    int defaultQuality = 0;
    QString defaultSpeed;
    DeviceLimits limits;

    bool operator==(const ProfileFormat&) const = default;
};

struct ProfileEntry {
    int categoryId = 0;
    int categoryIndex = 0;    // position of the category among the category nodes
    int indexInCategory = 0;  // earlier entries with the same category id
    int profileId = 0;
    QString idText;           // the ID as written: a link matches it exactly
    bool linked = false;
    bool linkResolved = false;  // linked, and the format document holds an item with the ID
    QString name;             // the entry's own, else the linked item's
    QString icon;             // the entry's own, else the linked item's
    // The linked item's values for a linked entry (all empty when the link is unresolved),
    // the entry's own otherwise.
    ProfileFormat format;
};

// An item of the format document, whether or not an entry links to it.
struct FormatItem {
    QString idText;
    QString name;
};

class ProfileCatalogue {
public:
    // Reads the catalogue version from a header file; a header without a version reads as 1.
    // Throws CatalogueError when the file cannot be read or parsed.
    void readHeader(const QString& path);
    // Parses both documents and builds categories and entries; false on any read error, whose
    // text loadError() then gives.
    bool loadDocuments(const QString& listPath, const QString& formatPath);

    int version() const { return version_; }
    QString loadError() const { return loadError_; }
    int categoryCount() const { return static_cast<int>(categories_.size()); }
    const ProfileCategory* category(int index) const;
    int profileCount(int categoryIndex) const;
    const ProfileEntry* entryAt(int categoryIndex, int n) const;
    const ProfileEntry* entryById(int profileId) const;
    int entryCount() const { return static_cast<int>(entries_.size()); }
    const ProfileEntry* entry(int index) const;
    const QList<FormatItem>& formatItems() const { return formatItems_; }

private:
    struct Documents;
    void buildCategoriesAndEntries(const Documents& documents);

    int version_ = 0;
    QString loadError_;
    std::vector<std::unique_ptr<ProfileCategory>> categories_;
    QMap<int, int> categoryCounts_;
    // Entries never move once made: callers keep pointers to them.
    std::vector<std::unique_ptr<ProfileEntry>> entries_;
    QList<FormatItem> formatItems_;
};
