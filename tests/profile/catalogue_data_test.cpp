// Integrity of the shipped catalogue: the bundle as built, read by the program's own reader and
// checked against the program's codec and container tables and the installed FFmpeg.

#include <gtest/gtest.h>

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <QResource>
#include <QSet>

#include <cstdlib>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "codec_tables.h"
#include "output_setting.h"
#include "profile_catalogue.h"

namespace {

// The bundle this build made, or the one CORVANE_PROFILE_BUNDLE names (to vet a candidate).
QString bundlePath() {
    const char* path = std::getenv("CORVANE_PROFILE_BUNDLE");
    return QString::fromLocal8Bit(path && *path ? path : CORVANE_PROFILE_BUNDLE_DEFAULT);
}

using Profile = ProfileEntry;  // the name the icon check uses

// The bundle, registered once per process and unregistered at exit so leak checkers stay quiet.
struct ShippedBundle {
    ShippedBundle() : path(bundlePath()), registered(QResource::registerResource(path)) {
        if (!registered)
            error = "cannot register " + path;
        else if (!catalogue.loadDocuments(":/profile/profilelist.xml", ":/profile/format.xml"))
            error = catalogue.loadError();
        for (int i = 0; i < catalogue.categoryCount(); ++i)
            categories.append(*catalogue.category(i));
        for (int i = 0; i < catalogue.entryCount(); ++i)
            profiles.append(*catalogue.entry(i));
    }
    ~ShippedBundle() {
        if (registered)
            QResource::unregisterResource(path);
    }

    QString path;
    bool registered;
    QString error;  // empty when both documents loaded
    ProfileCatalogue catalogue;
    QList<ProfileCategory> categories;
    QList<ProfileEntry> profiles;  // in list order
};

const ShippedBundle& shipped() {
    static const ShippedBundle bundle;
    return bundle;
}

class ShippedCatalogue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(shipped().error.isEmpty()) << qPrintable(shipped().error); }
    const ShippedBundle& c = shipped();
};

std::string label(const ProfileEntry& p) {
    return QString("profile %1 (%2)").arg(p.idText, p.name).toStdString();
}

bool isPositiveInteger(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 && QString::number(value) == text;
}

// The program turns a frame rate f into the frame time 1001 / int(f * 1001 + 0.5); only whole
// rates and their NTSC variants (n * 1000 / 1001) come out exact.
bool isExactFrameRate(const QString& text) {
    bool ok = false;
    const float f = text.toFloat(&ok);
    if (!ok || f <= 0 || f > 120)
        return false;
    const int den = static_cast<int>(f * 1001 + 0.5f);
    return den % 1001 == 0 || den % 1000 == 0;
}

bool isEvenSize(const QString& resolution) {
    const QStringList parts = resolution.split('*');
    if (parts.size() != 2 || !isPositiveInteger(parts[0]) || !isPositiveInteger(parts[1]))
        return false;
    return parts[0].toInt() % 2 == 0 && parts[1].toInt() % 2 == 0;
}

// The program's codec-table row for code, or null when the table does not know the code.
const CodecInfo* codecRow(const QString& code) {
    const CodecInfo& row = codecInfo(code);
    return row.code == code ? &row : nullptr;
}

QString encoderOf(const QString& code) {
    const CodecInfo* row = codecRow(code);
    return row ? row->encoder : QString();
}

// What the installed FFmpeg can encode under a name the engine is handed: the encoder of that
// name, else an encoder of the codec of that name. Unknown when there is none.
AVMediaType encodableType(const QString& encoder) {
    const QByteArray name = encoder.toUtf8();
    const AVCodec* codec = avcodec_find_encoder_by_name(name.constData());
    if (codec == nullptr)
        if (const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name.constData()))
            codec = avcodec_find_encoder(descriptor->id);
    return codec ? codec->type : AVMEDIA_TYPE_UNKNOWN;
}

// An unknown extension falls back to mp4, so only ".mp4" itself may map to it.
bool isKnownExtension(const QString& extension) {
    return extension == ".mp4" || muxerForExtension(extension) != "mp4";
}

}  // namespace

// The program reads the version with Qt's integer conversion: anything but a decimal integer
// would read as 0, below every installed copy, and the shipped catalogue would never install.
TEST(CatalogueHeader, ReadsAsAVersionOfAtLeastOne) {
    ProfileCatalogue catalogue;
    ASSERT_NO_THROW(catalogue.readHeader(CORVANE_PROFILE_HEADER)) << CORVANE_PROFILE_HEADER;
    EXPECT_GE(catalogue.version(), 1);
}

TEST_F(ShippedCatalogue, CategoriesAndEntriesAreWellFormed) {
    // Every node under <Profile> or <Format> counts, comments included; a stray one shows up
    // as a category without id and title, or as an entry without ID.
    ASSERT_GE(c.categories.size(), 5);
    QSet<int> categoryIds;
    for (const ProfileCategory& cat : c.categories) {
        EXPECT_GT(cat.id, 0);
        EXPECT_FALSE(cat.title.isEmpty()) << "category " << cat.id;
        EXPECT_FALSE(categoryIds.contains(cat.id)) << "duplicate category id " << cat.id;
        categoryIds.insert(cat.id);
    }

    ASSERT_GE(c.profiles.size(), 30);
    QSet<int> ids;
    QSet<QString> names;
    QMap<int, int> perCategory;
    for (const ProfileEntry& p : c.profiles) {
        EXPECT_TRUE(isPositiveInteger(p.idText)) << "ID \"" << qPrintable(p.idText) << "\"";
        EXPECT_FALSE(ids.contains(p.profileId)) << "duplicate " << label(p);
        ids.insert(p.profileId);
        EXPECT_TRUE(categoryIds.contains(p.categoryId)) << label(p) << " has no category";
        ++perCategory[p.categoryId];
        EXPECT_FALSE(p.name.isEmpty()) << label(p);
        EXPECT_FALSE(names.contains(p.name)) << "two profiles are called " << qPrintable(p.name);
        names.insert(p.name);
        EXPECT_FALSE(p.format.containerCode.isEmpty()) << label(p);
    }
    for (const ProfileCategory& cat : c.categories)
        EXPECT_GT(perCategory.value(cat.id), 0) << "empty tab " << qPrintable(cat.title);
}

TEST_F(ShippedCatalogue, LinkedEntriesFindTheirFormatItem) {
    QMap<QString, QString> itemNames;
    for (const FormatItem& item : c.catalogue.formatItems()) {
        // The first item with an ID wins; a second would never be used.
        EXPECT_FALSE(itemNames.contains(item.idText)) << "duplicate format item " << qPrintable(item.idText);
        EXPECT_FALSE(item.name.isEmpty()) << "format item " << qPrintable(item.idText);
        itemNames.insert(item.idText, item.name);
    }

    int linked = 0, own = 0, renamed = 0;
    QSet<QString> linkedIds;
    for (const ProfileEntry& p : c.profiles) {
        if (!p.linked) {
            ++own;
            continue;
        }
        ++linked;
        linkedIds.insert(p.idText);
        EXPECT_TRUE(p.linkResolved) << label(p) << " links to no format item";
        if (p.name != itemNames.value(p.idText))
            ++renamed;
    }
    EXPECT_GT(linked, 0);
    EXPECT_GT(own, 0);
    EXPECT_GT(renamed, 0) << "no linked entry overrides its format item's name";
    for (const QString& id : itemNames.keys())
        EXPECT_TRUE(linkedIds.contains(id)) << "format item " << qPrintable(id) << " is unused";
}

TEST_F(ShippedCatalogue, DefaultProfileIsH264AndAacInMp4) {
    const ProfileEntry* p = c.catalogue.entryById(kDefaultProfileId);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->format.extension, ".mp4");
    EXPECT_EQ(encoderOf(p->format.defaultVideoCodec), "h264");
    EXPECT_EQ(encoderOf(p->format.defaultAudioCodec), "aac");
    EXPECT_EQ(p->format.defaultChannels, "2");
}

TEST_F(ShippedCatalogue, DefaultsAreAmongTheOptions) {
    for (const ProfileEntry& p : c.profiles) {
        SCOPED_TRACE(label(p));
        const ProfileFormat& f = p.format;
        if (f.defaultVideoCodec.isEmpty()) {
            EXPECT_TRUE(f.video.isEmpty()) << "video options without a default codec";
        } else {
            const VideoOption* def = nullptr;
            for (const VideoOption& o : f.video)
                if (o.codec == f.defaultVideoCodec && o.resolution == f.defaultResolution)
                    def = &o;
            EXPECT_NE(def, nullptr) << "no option for the default video codec and size";
        }
        for (const VideoOption& o : f.video) {
            EXPECT_TRUE(o.bitrates.contains(o.defaultBitrate))
                << qPrintable(o.resolution) << ": default bit rate " << qPrintable(o.defaultBitrate);
            // The settings dialog offers "Keep Original" beside every list.
            EXPECT_TRUE(o.frameRates.contains(o.defaultFrameRate) || o.defaultFrameRate == kKeepOriginal)
                << qPrintable(o.resolution) << ": default frame rate " << qPrintable(o.defaultFrameRate);
        }

        EXPECT_FALSE(f.defaultAudioCodec.isEmpty()) << "every profile carries sound";
        bool found = false;
        for (const AudioOption& o : f.audio) {
            found |= o.codec == f.defaultAudioCodec && o.channels == f.defaultChannels;
            EXPECT_TRUE(o.bitrates.contains(o.defaultBitrate))
                << qPrintable(o.codec) << "/" << qPrintable(o.channels) << ": default bit rate";
            EXPECT_TRUE(o.sampleRates.contains(o.defaultSampleRate))
                << qPrintable(o.codec) << "/" << qPrintable(o.channels) << ": default sample rate";
        }
        EXPECT_TRUE(found) << "no option for the default audio codec and channels";
    }
}

TEST_F(ShippedCatalogue, ValuesReadAsTheProgramNeedsThem) {
    for (const ProfileEntry& p : c.profiles) {
        SCOPED_TRACE(label(p));
        QSet<QString> videoKeys, audioKeys;
        for (const VideoOption& o : p.format.video) {
            EXPECT_FALSE(videoKeys.contains(o.codec + o.resolution)) << "repeated video option";
            videoKeys.insert(o.codec + o.resolution);
            EXPECT_TRUE(isEvenSize(o.resolution) || o.resolution == kKeepOriginal)
                << "size " << qPrintable(o.resolution);
            // Bit rates become integers before they are multiplied by 1000.
            for (const QString& br : o.bitrates)
                EXPECT_TRUE(isPositiveInteger(br)) << "video bit rate \"" << qPrintable(br) << "\"";
            // Defaults included: "Keep Original" as a default frame rate would read as no rate.
            for (const QString& fps : o.frameRates)
                EXPECT_TRUE(isExactFrameRate(fps)) << "frame rate \"" << qPrintable(fps) << "\"";
        }
        for (const AudioOption& o : p.format.audio) {
            EXPECT_FALSE(audioKeys.contains(o.codec + o.channels)) << "repeated audio option";
            audioKeys.insert(o.codec + o.channels);
            EXPECT_TRUE(isPositiveInteger(o.channels) && o.channels.toInt() <= 8)
                << "channels \"" << qPrintable(o.channels) << "\"";
            for (const QString& br : o.bitrates)
                EXPECT_TRUE(isPositiveInteger(br)) << "audio bit rate \"" << qPrintable(br) << "\"";
            for (const QString& sr : o.sampleRates)
                EXPECT_TRUE(isPositiveInteger(sr)) << "sample rate \"" << qPrintable(sr) << "\"";
        }
    }
}

// Codes and extensions go through the program's tables; the encoder names they give must be
// ones the installed FFmpeg encodes, on the side the profile offers them.
TEST_F(ShippedCatalogue, CodecsAndContainersAreKnownToTheProgramAndFfmpeg) {
    QSet<QString> encoders;
    QSet<QString> extensions;
    for (const ProfileEntry& p : c.profiles) {
        SCOPED_TRACE(label(p));
        EXPECT_TRUE(isKnownExtension(p.format.extension)) << "extension " << qPrintable(p.format.extension);
        extensions.insert(p.format.extension);
        for (const VideoOption& o : p.format.video) {
            const CodecInfo* row = codecRow(o.codec);
            ASSERT_NE(row, nullptr) << "video code \"" << qPrintable(o.codec) << "\"";
            EXPECT_EQ(encodableType(row->encoder), AVMEDIA_TYPE_VIDEO)
                << "video code \"" << qPrintable(o.codec) << "\" gives " << qPrintable(row->encoder);
            encoders.insert(row->encoder);
        }
        for (const AudioOption& o : p.format.audio) {
            const CodecInfo* row = codecRow(o.codec);
            ASSERT_NE(row, nullptr) << "audio code \"" << qPrintable(o.codec) << "\"";
            EXPECT_EQ(encodableType(row->encoder), AVMEDIA_TYPE_AUDIO)
                << "audio code \"" << qPrintable(o.codec) << "\" gives " << qPrintable(row->encoder);
            encoders.insert(row->encoder);
        }
    }
    // Every encoder the codec table names is reachable from some profile.
    const QString noEncoder = codecInfo(QString()).encoder;
    for (int i = 0; i < codecTableSize(); ++i) {
        const CodecInfo& row = codecTableRow(i);
        if (row.encoder == noEncoder)
            continue;
        EXPECT_TRUE(encoders.contains(row.encoder)) << qPrintable(row.encoder) << " is used by no profile";
    }
    EXPECT_GE(extensions.size(), 18);
}

TEST_F(ShippedCatalogue, EncoderLimitsAreRespected) {
    static const QSet<QString> h263Sizes = {"128*96", "176*144", "352*288", "704*576", "1408*1152"};
    static const QSet<QString> mpegRates = {"23.976", "24", "25", "29.97", "30", "50", "59.94", "60"};
    for (const ProfileEntry& p : c.profiles) {
        SCOPED_TRACE(label(p));
        for (const VideoOption& o : p.format.video) {
            const QString encoder = encoderOf(o.codec);
            if (encoder == "h263") {
                EXPECT_TRUE(h263Sizes.contains(o.resolution)) << qPrintable(o.resolution);
            }
            if (encoder == "mpeg1video" || encoder == "mpeg2video") {
                for (const QString& fps : o.frameRates)
                    EXPECT_TRUE(mpegRates.contains(fps)) << "MPEG frame rate " << qPrintable(fps);
            }
        }
        for (const AudioOption& o : p.format.audio) {
            if (encoderOf(o.codec) == "amr_nb") {
                EXPECT_EQ(o.channels, "1");
                EXPECT_EQ(o.sampleRates, QStringList{"8000"});
            }
        }
    }
}

namespace {

// The chooser's icon box, as its form lays it out.
QSize chooserIconBox() {
    QFile file(CORVANE_PROFILE_WIDGET_FORM);
    QDomDocument form;
    if (!file.open(QIODevice::ReadOnly) || !form.setContent(&file))
        return {};
    const QDomNodeList widgets = form.elementsByTagName("widget");
    for (int i = 0; i < widgets.size(); ++i) {
        const QDomElement widget = widgets.at(i).toElement();
        if (widget.attribute("name") != "listProfile")
            continue;
        for (QDomElement property = widget.firstChildElement("property"); !property.isNull();
             property = property.nextSiblingElement("property"))
            if (property.attribute("name") == "iconSize") {
                const QDomElement size = property.firstChildElement("size");
                return QSize(size.firstChildElement("width").text().toInt(),
                             size.firstChildElement("height").text().toInt());
            }
    }
    return {};
}

}  // namespace

// Every icon a profile names is in the bundle where the chooser looks for it, is a picture Qt
// reads (an SVG, through its svg image plugin), and is drawn at twice the chooser's icon box, so
// it stays sharp on high-density screens and is never squashed.
TEST_F(ShippedCatalogue, EveryIconIsInTheBundleAtTwiceTheChoosersSize) {
    const QSize box = chooserIconBox();
    ASSERT_TRUE(box.isValid() && !box.isEmpty()) << "no iconSize for listProfile in " << CORVANE_PROFILE_WIDGET_FORM;
    QSet<QString> used;
    for (const Profile& p : c.profiles) {
        EXPECT_FALSE(p.icon.isEmpty()) << label(p) << " has no icon";
        used.insert(p.icon);
    }
    for (const QString& name : used) {
        SCOPED_TRACE(name.toStdString());
        const QString path = ":/profile/ICONS/" + name + ".png";
        ASSERT_TRUE(QFile::exists(path));
        QImageReader reader(path);
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << qPrintable(reader.errorString())
                                     << " (is Qt's svg image plugin, libqt6svg6, installed?)";
        EXPECT_EQ(image.size(), box * 2);

        // Drawn on a transparent background, and actually covering part of it: an SVG that
        // parses but draws nothing comes out empty.
        qsizetype opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128;
        const double cover = double(opaque) / (image.width() * image.height());
        EXPECT_GT(cover, 0.10);
        EXPECT_LT(cover, 0.95);
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    }
    // Nothing in the bundle that no profile shows.
    for (const QString& file : QDir(":/profile/ICONS").entryList())
        EXPECT_TRUE(used.contains(QFileInfo(file).completeBaseName())) << "unused icon " << qPrintable(file);
}
