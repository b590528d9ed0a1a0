// Reads the built catalogue bundle into plain records for the catalogue tests, resolving
// linked entries, names and icons the way the program does.
#pragma once

#include <QDomDocument>
#include <QFile>
#include <QList>
#include <QResource>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <optional>

namespace catalogue {

struct CodecRow {
    const char* code;
    const char* encoder;
    bool video;
    int profile;  // H.264 profile number; 0 when the row names none
};

// The program's codec table, in its order.
inline const QList<CodecRow>& codecTable() {
    static const QList<CodecRow> rows = {
        {"MAAC", "aac", false, 0},          {"AAC ", "aac", false, 0},
        {"MP3 ", "mp3", false, 0},          {"fmp3", "mp3", false, 0},
        {"AC3 ", "ac3", false, 0},          {"WMA9", "wmav2", false, 0},
        {"WMA8", "wmav2", false, 0},        {"wma2", "wmav2", false, 0},
        {"wma1", "wmav1", false, 0},        {"PCM ", "pcm_s16le", false, 0},
        {"DPCM", "pcm_s16le", false, 0},    {"OGG ", "libvorbis", false, 0},
        {"APE ", "ERROR", false, 0},        {"pcmb", "pcm_s16be", false, 0},
        {"in24", "pcm_s24be", false, 0},    {"flac", "flac", false, 0},
        {"MP2A", "mp2", false, 0},          {"VBIS", "libvorbis", false, 0},
        {"AMRN", "amr_nb", false, 0},       {"APCM", "adpcm_ima_wav", false, 0},
        {"IPAN", "h264", true, 66},         {"M264", "h264", true, 66},
        {"H264", "h264", true, 66},         {"havc", "h264", true, 66},
        {"HAVC", "h264", true, 66},         {"X264", "h264", true, 66},
        {"FAVC", "h264", true, 66},         {"PAVC", "h264", true, 77},
        {"PS3H", "h264", true, 100},        {"H263", "h263", true, 0},
        {"MJPG", "mjpeg", true, 0},         {"mp43", "msmpeg4v3", true, 0},
        {"WMV1", "wmv1", true, 0},          {"WMV2", "wmv2", true, 0},
        {"WMV3", "wmv2", true, 0},          {"MP1V", "mpeg1video", true, 0},
        {"mp2v", "mpeg2video", true, 0},    {"HMP2", "mpeg2video", true, 0},
        {"MP4V", "mpeg4", true, 0},         {"MPAN", "mpeg4", true, 0},
        {"Xvid", "libxvid", true, 0},       {"DIVX", "libxvid", true, 0},
        {"VP8 ", "vp8", true, 0},           {"flv1", "flv1", true, 0},
    };
    return rows;
}

inline std::optional<CodecRow> codecRow(const QString& code) {
    for (const CodecRow& row : codecTable())
        if (code == QLatin1String(row.code))
            return row;
    return std::nullopt;
}

// The program's extension-to-muxer table.
inline QString muxerFor(const QString& extension) {
    static const QList<std::pair<QString, QString>> rows = {
        {".mp4", "mp4"},   {".mkv", "matroska"}, {".webm", "webm"}, {".wmv", "asf"},
        {".asf", "asf"},   {".avi", "avi"},      {".m4v", "ipod"},  {".flv", "flv"},
        {".f4v", "f4v"},   {".3gp", "3gp"},      {".3g2", "3g2"},   {".vob", "vob"},
        {".mov", "mov"},   {".mp3", "mp3"},      {".aac", "adts"},  {".ac3", "ac3"},
        {".flac", "flac"}, {".mka", "matroska"}, {".wav", "wav"},   {".wma", "asf"},
        {".ogg", "ogg"},   {".aiff", "aiff"},    {".m4r", "ipod"},  {".m4b", "ipod"},
        {".m4a", "ipod"},
    };
    for (const auto& [ext, muxer] : rows)
        if (ext == extension)
            return muxer;
    return {};
}

struct VideoOption {
    QString code, resolution, defBitrate, defFrameRate;
    QStringList bitrates, frameRates;
};

struct AudioOption {
    QString code, channels, defSampleRate, defBitrate;
    QStringList bitrates, sampleRates;
};

struct Profile {
    QString idText;
    int id = 0;
    int categoryId = 0;
    bool linked = false;
    bool linkResolved = false;
    QString listName;  // the entry's own Name attribute
    QString name, icon, fourcc, extension;
    QString defVideoCode, defResolution, defAudioCode, defChannels;
    QList<VideoOption> video;
    QList<AudioOption> audio;
};

struct Category {
    int id = 0;
    QString title;
};

struct Catalogue {
    QString error;  // empty when both documents loaded
    QDomDocument list, format;
    QList<Category> categories;
    QList<Profile> profiles;

    const Profile* byId(int id) const {
        for (const Profile& p : profiles)
            if (p.id == id)
                return &p;
        return nullptr;
    }
};

inline QStringList splitList(const QDomElement& option, const QString& child) {
    const QString text = option.firstChildElement(child).text();
    return text.isEmpty() ? QStringList() : text.split(';');
}

inline void readProfileElement(const QDomElement& e, Profile& p) {
    p.fourcc = e.attribute("FourCC");
    p.extension = e.attribute("Format");
    const QDomElement v = e.firstChildElement("VideoEnc");
    p.defVideoCode = v.attribute("defVideoFourCC");
    p.defResolution = v.attribute("defResolution");
    for (QDomElement o = v.firstChildElement(); !o.isNull(); o = o.nextSiblingElement())
        p.video.append({o.attribute("VideoFourCC"), o.attribute("Resolution"),
                        o.attribute("defVideoBitrate"), o.attribute("defFrameRate"),
                        splitList(o, "VideoBitrate"), splitList(o, "FrameRate")});
    const QDomElement a = e.firstChildElement("AudioEnc");
    p.defAudioCode = a.attribute("defAudioFourCC");
    p.defChannels = a.attribute("defChannel");
    for (QDomElement o = a.firstChildElement(); !o.isNull(); o = o.nextSiblingElement())
        p.audio.append({o.attribute("AudioFourCC"), o.attribute("Channel"),
                        o.attribute("defSampleRate"), o.attribute("defAudioBitrate"),
                        splitList(o, "AudioBitrate"), splitList(o, "SampleRate")});
}

inline bool parseResource(const QString& path, QDomDocument& doc, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + " is not in the bundle";
        return false;
    }
    QString message;
    int line = 0;
    if (!doc.setContent(&file, &message, &line)) {
        error = QString("%1:%2: %3").arg(path).arg(line).arg(message);
        return false;
    }
    return true;
}

// The bundle this build made, or the one CORVANE_PROFILE_BUNDLE names (to vet a candidate).
inline QString bundlePath() {
    const char* path = std::getenv("CORVANE_PROFILE_BUNDLE");
    return QString::fromLocal8Bit(path && *path ? path : CORVANE_PROFILE_BUNDLE_DEFAULT);
}

// Registers the bundle (once per process) and reads both documents from it.
inline Catalogue loadCatalogue(const QString& bundlePath) {
    Catalogue c;
    // Registered once per process; unregistered at exit so leak checkers stay quiet.
    static const struct Registration {
        QString path;
        bool ok;
        ~Registration() {
            if (ok)
                QResource::unregisterResource(path);
        }
    } registration{bundlePath, QResource::registerResource(bundlePath)};
    if (!registration.ok) {
        c.error = "cannot register " + bundlePath;
        return c;
    }
    if (!parseResource(":/profile/profilelist.xml", c.list, c.error) ||
        !parseResource(":/profile/format.xml", c.format, c.error))
        return c;

    const QDomElement root = c.list.documentElement();
    for (QDomNode n = root.firstChildElement("Profile").firstChild(); !n.isNull();
         n = n.nextSibling()) {
        const QDomElement e = n.toElement();
        c.categories.append({e.attribute("id").toInt(), e.attribute("title")});
    }
    for (QDomNode n = root.firstChildElement("Format").firstChild(); !n.isNull();
         n = n.nextSibling()) {
        const QDomElement e = n.toElement();
        Profile p;
        p.idText = e.attribute("ID");
        p.id = p.idText.toInt();
        p.categoryId = e.attribute("Categoryid").toInt();
        p.linked = e.attribute("Linked").toLower() == "true";
        p.listName = e.attribute("Name");
        QDomElement linked;
        if (p.linked) {
            for (QDomElement f = c.format.documentElement().firstChildElement(); !f.isNull();
                 f = f.nextSiblingElement())
                if (f.attribute("ID") == p.idText) {
                    linked = f;
                    break;
                }
            p.linkResolved = !linked.isNull();
        }
        readProfileElement(p.linked ? linked : e, p);
        p.name = !p.listName.isEmpty() ? p.listName
                 : p.linked            ? linked.firstChildElement("Name").text()
                                       : QString();
        p.icon = !e.attribute("Icon").isEmpty() ? e.attribute("Icon")
                 : p.linked                     ? linked.attribute("Icon")
                                                : QString();
        c.profiles.append(p);
    }
    return c;
}

}  // namespace catalogue
