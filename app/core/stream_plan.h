// What becomes of every stream of one source in one conversion: copied as it is, encoded,
// converted to the container's own subtitle format, burned into the picture, or dropped, each
// with the reason a user can read. The rules are plain functions of plain records, so both
// front ends show the same plan and tests need no media.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

enum class PlanAction { Copy, Encode, Convert, Burn, Drop };
enum class PlanKind { Video, Audio, Subtitle, Attachment, Other };

// One stream of the source as the file describes it.
struct SourceStream {
    int index = -1;
    PlanKind kind = PlanKind::Other;
    QString codec;  // FFmpeg's codec name: "h264", "aac", "subrip", "hdmv_pgs_subtitle"
    int width = 0;
    int height = 0;
    double framesPerSecond = 0.0;
    int level = 0;  // as FFmpeg numbers it (41 for H.264 4.1, 153 for HEVC 5.1); 0 when unknown
    int bitDepth = 0;   // bits per sample of the decoded picture; 0 when unknown
    QString transfer;   // FFmpeg's transfer name: "bt709", "smpte2084" (PQ), "arib-std-b67" (HLG)
    int sampleRate = 0;
    int channels = 0;
    QString language;
    QString title;
    bool isDefault = false;
    bool isForced = false;
};

// What the chosen profile and its adjustments allow.
struct PlanTarget {
    QString muxer;          // FFmpeg's muxer name: "mp4", "matroska", "avi"
    QString containerName;  // for reasons: "MP4", "AVI"
    bool copyWhenFits = false;
    bool copyAnyCodec = false;  // every codec the container holds fits, not only the profile's

    bool hasVideo = false;
    QString videoEncoder;         // "h264", "mpeg4"
    QString videoEncoderName;     // for the plan's text: "H.264"
    QStringList videoCopyCodecs;  // source codecs the profile takes as they are
    int width = 0;                // the profile's largest size; 0: the source's size
    int height = 0;
    double framesPerSecond = 0.0;  // the profile's highest rate; 0: the source's rate
    bool exactPicture = false;     // DVD, H.263: only the profile's own size and rate fit
    int maxWidth = 0;              // device limits, 0 when there are none
    int maxHeight = 0;
    double maxFramesPerSecond = 0.0;
    int maxLevel = 0;              // H.264
    int maxHevcLevel = 0;          // as FFmpeg numbers HEVC levels (153 for 5.1)
    int maxBitDepth = 0;           // 0: any
    bool showsHdr = true;          // false: a device that shows PQ and HLG pictures wrongly
    // How the encode is described and what it does with HDR pictures.
    int videoQuality = -1;         // the constant quality; -1 for bit-rate mode
    bool keepsHdr = false;         // the encode keeps HDR pictures HDR
    bool canToneMap = true;        // else HDR pictures made SDR keep their washed-out colours

    bool hasAudio = false;
    QString audioEncoder;
    QString audioEncoderName;  // "AAC 160k"
    QStringList audioCopyCodecs;
    int maxChannels = 0;
    int maxSampleRate = 0;
    int maxAudioTracks = 0;  // 0: any number

    bool burnForcedSubtitles = false;

    // What the engine can make of subtitles and attached files.
    bool convertsTextSubtitles = true;
    bool burnsSubtitles = true;
    bool burnsPictureSubtitles = true;
    bool copiesAttachments = true;
};

// What the user chose for one file; the defaults keep every track the target can hold.
struct PlanChoices {
    QList<int> audio;  // source stream indexes; empty: all, or the default one where one fits
    enum class Subtitles { All, None, Chosen };
    Subtitles subtitles = Subtitles::All;
    QList<int> chosenSubtitles;
    // The subtitle stream to burn into the picture; -1 leaves it to the profile (its forced
    // track, or none), kBurnNothing burns nothing even where the profile would.
    static constexpr int kBurnNothing = -2;
    int burn = -1;
};

struct PlannedStream {
    SourceStream source;
    PlanAction action = PlanAction::Drop;
    QString target;  // the codec written: the source's for a copy, the encoder's otherwise
    QString reason;  // why, in words: "the size and frame rate already fit"
    int quality = -1;  // an encoded picture's constant quality; -1 for a bit rate
    QString note;      // what the encode does to HDR pictures: "HDR → SDR (tone-mapped)"
};

struct TaskPlan {
    // Every source stream in source order; the output holds the copied, encoded and converted
    // ones in that order.
    QList<PlannedStream> streams;
    bool keepsChapters = false;
    bool keepsAttachments = false;

    QList<PlannedStream> outputs() const;
    const PlannedStream* burned() const;
    bool encodesAnything() const;
};

TaskPlan planTask(const QList<SourceStream>& source, int videoStream, const PlanTarget& target,
                  const PlanChoices& choices);

// Codecs read as text subtitles and as pictures.
bool isTextSubtitle(const QString& codec);
bool isBitmapSubtitle(const QString& codec);
