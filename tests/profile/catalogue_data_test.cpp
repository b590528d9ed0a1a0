// Integrity of the shipped catalogue: the bundle as built, read the way the program reads it.

#include <gtest/gtest.h>

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <QSet>

#include "catalogue_reader.h"

using namespace catalogue;

namespace {

const Catalogue& shipped() {
    static const Catalogue c = loadCatalogue(bundlePath());
    return c;
}

class ShippedCatalogue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(shipped().error.isEmpty()) << qPrintable(shipped().error); }
    const Catalogue& c = shipped();
};

std::string label(const Profile& p) {
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

bool isEvenSize(const QString& resolution, int* width = nullptr, int* height = nullptr) {
    const QStringList parts = resolution.split('*');
    if (parts.size() != 2 || !isPositiveInteger(parts[0]) || !isPositiveInteger(parts[1]))
        return false;
    if (width)
        *width = parts[0].toInt();
    if (height)
        *height = parts[1].toInt();
    return parts[0].toInt() % 2 == 0 && parts[1].toInt() % 2 == 0;
}

QString encoderOf(const QString& code) {
    const auto row = codecRow(code);
    return row ? QString(row->encoder) : QString();
}

}  // namespace

TEST(CatalogueHeader, NamesTheProductAndAVersion) {
    QFile file(CORVANE_PROFILE_HEADER);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << CORVANE_PROFILE_HEADER;
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(&file));
    const QDomElement info = doc.documentElement().firstChildElement();
    EXPECT_EQ(info.tagName(), "Info") << "Info must be the root's first child element";
    bool ok = false;
    EXPECT_GE(info.attribute("version").toInt(&ok), 1);
    EXPECT_TRUE(ok) << "version must be a decimal integer";
    EXPECT_EQ(info.attribute("product"), "Corvane");
}

TEST_F(ShippedCatalogue, CategoriesAndEntriesAreWellFormed) {
    // Any node under <Profile> or <Format> counts as a category or an entry, comments included.
    const QDomElement root = c.list.documentElement();
    for (const char* section : {"Profile", "Format"})
        for (QDomNode n = root.firstChildElement(section).firstChild(); !n.isNull();
             n = n.nextSibling())
            EXPECT_TRUE(n.isElement()) << "stray node in <" << section << ">";

    ASSERT_GE(c.categories.size(), 5);
    QSet<int> categoryIds;
    for (const Category& cat : c.categories) {
        EXPECT_GT(cat.id, 0);
        EXPECT_FALSE(cat.title.isEmpty()) << "category " << cat.id;
        EXPECT_FALSE(categoryIds.contains(cat.id)) << "duplicate category id " << cat.id;
        categoryIds.insert(cat.id);
    }

    ASSERT_GE(c.profiles.size(), 30);
    QSet<int> ids;
    QSet<QString> names;
    QMap<int, int> perCategory;
    for (const Profile& p : c.profiles) {
        EXPECT_TRUE(isPositiveInteger(p.idText)) << "ID \"" << qPrintable(p.idText) << "\"";
        EXPECT_FALSE(ids.contains(p.id)) << "duplicate " << label(p);
        ids.insert(p.id);
        EXPECT_TRUE(categoryIds.contains(p.categoryId)) << label(p) << " has no category";
        ++perCategory[p.categoryId];
        EXPECT_FALSE(p.name.isEmpty()) << label(p);
        EXPECT_FALSE(names.contains(p.name)) << "two profiles are called " << qPrintable(p.name);
        names.insert(p.name);
        EXPECT_FALSE(p.fourcc.isEmpty()) << label(p);
    }
    for (const Category& cat : c.categories)
        EXPECT_GT(perCategory.value(cat.id), 0) << "empty tab " << qPrintable(cat.title);
}

TEST_F(ShippedCatalogue, LinkedEntriesFindTheirFormatNode) {
    int linked = 0, own = 0, renamed = 0;
    QSet<QString> linkedIds;
    for (const Profile& p : c.profiles) {
        if (!p.linked) {
            ++own;
            continue;
        }
        ++linked;
        linkedIds.insert(p.idText);
        EXPECT_TRUE(p.linkResolved) << label(p) << " links to no format node";
        if (!p.listName.isEmpty())
            ++renamed;
    }
    EXPECT_GT(linked, 0);
    EXPECT_GT(own, 0);
    EXPECT_GT(renamed, 0) << "no linked entry overrides its format node's name";

    // Format nodes: unique IDs, each with a name, none left unused.
    QSet<QString> formatIds;
    for (QDomElement f = c.format.documentElement().firstChildElement(); !f.isNull();
         f = f.nextSiblingElement()) {
        const QString id = f.attribute("ID");
        EXPECT_FALSE(formatIds.contains(id)) << "duplicate format node " << qPrintable(id);
        formatIds.insert(id);
        EXPECT_FALSE(f.firstChildElement("Name").text().isEmpty()) << "format node " << qPrintable(id);
        EXPECT_TRUE(linkedIds.contains(id)) << "format node " << qPrintable(id) << " is unused";
    }
}

TEST_F(ShippedCatalogue, DefaultProfileIsH264AndAacInMp4) {
    const Profile* p = c.byId(1003);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->extension, ".mp4");
    EXPECT_EQ(encoderOf(p->defVideoCode), "h264");
    EXPECT_EQ(encoderOf(p->defAudioCode), "aac");
    EXPECT_EQ(p->defChannels, "2");
}

TEST_F(ShippedCatalogue, DefaultsAreAmongTheOptions) {
    for (const Profile& p : c.profiles) {
        SCOPED_TRACE(label(p));
        if (p.defVideoCode.isEmpty()) {
            EXPECT_TRUE(p.video.isEmpty()) << "video options without a default codec";
        } else {
            const VideoOption* def = nullptr;
            for (const VideoOption& o : p.video)
                if (o.code == p.defVideoCode && o.resolution == p.defResolution)
                    def = &o;
            EXPECT_NE(def, nullptr) << "no option for the default video codec and size";
        }
        for (const VideoOption& o : p.video) {
            EXPECT_TRUE(o.bitrates.contains(o.defBitrate))
                << qPrintable(o.resolution) << ": default bit rate " << qPrintable(o.defBitrate);
            EXPECT_TRUE(o.frameRates.contains(o.defFrameRate))
                << qPrintable(o.resolution) << ": default frame rate " << qPrintable(o.defFrameRate);
        }

        EXPECT_FALSE(p.defAudioCode.isEmpty()) << "every profile carries sound";
        bool found = false;
        for (const AudioOption& o : p.audio) {
            found |= o.code == p.defAudioCode && o.channels == p.defChannels;
            EXPECT_TRUE(o.bitrates.contains(o.defBitrate))
                << qPrintable(o.code) << "/" << qPrintable(o.channels) << ": default bit rate";
            EXPECT_TRUE(o.sampleRates.contains(o.defSampleRate))
                << qPrintable(o.code) << "/" << qPrintable(o.channels) << ": default sample rate";
        }
        EXPECT_TRUE(found) << "no option for the default audio codec and channels";
    }
}

TEST_F(ShippedCatalogue, ValuesReadAsTheProgramNeedsThem) {
    for (const Profile& p : c.profiles) {
        SCOPED_TRACE(label(p));
        QSet<QString> videoKeys, audioKeys;
        for (const VideoOption& o : p.video) {
            EXPECT_FALSE(videoKeys.contains(o.code + o.resolution)) << "repeated video option";
            videoKeys.insert(o.code + o.resolution);
            EXPECT_TRUE(isEvenSize(o.resolution) || o.resolution == "Keep Original")
                << "size " << qPrintable(o.resolution);
            // Bit rates become integers before they are multiplied by 1000.
            for (const QString& br : o.bitrates)
                EXPECT_TRUE(isPositiveInteger(br)) << "video bit rate \"" << qPrintable(br) << "\"";
            // Defaults included: "Keep Original" as a default frame rate would read as no rate.
            for (const QString& fps : o.frameRates)
                EXPECT_TRUE(isExactFrameRate(fps)) << "frame rate \"" << qPrintable(fps) << "\"";
        }
        for (const AudioOption& o : p.audio) {
            EXPECT_FALSE(audioKeys.contains(o.code + o.channels)) << "repeated audio option";
            audioKeys.insert(o.code + o.channels);
            EXPECT_TRUE(isPositiveInteger(o.channels) && o.channels.toInt() <= 8)
                << "channels \"" << qPrintable(o.channels) << "\"";
            for (const QString& br : o.bitrates)
                EXPECT_TRUE(isPositiveInteger(br)) << "audio bit rate \"" << qPrintable(br) << "\"";
            for (const QString& sr : o.sampleRates)
                EXPECT_TRUE(isPositiveInteger(sr)) << "sample rate \"" << qPrintable(sr) << "\"";
        }
    }
}

TEST_F(ShippedCatalogue, CodecsAndContainersAreKnownToTheProgram) {
    QSet<QString> encoders;
    QSet<QString> extensions;
    for (const Profile& p : c.profiles) {
        SCOPED_TRACE(label(p));
        EXPECT_FALSE(muxerFor(p.extension).isEmpty()) << "extension " << qPrintable(p.extension);
        extensions.insert(p.extension);
        for (const VideoOption& o : p.video) {
            const auto row = codecRow(o.code);
            ASSERT_TRUE(row) << "video code \"" << qPrintable(o.code) << "\"";
            EXPECT_TRUE(row->video) << "audio code \"" << qPrintable(o.code) << "\" offered as video";
            encoders.insert(row->encoder);
        }
        for (const AudioOption& o : p.audio) {
            const auto row = codecRow(o.code);
            ASSERT_TRUE(row) << "audio code \"" << qPrintable(o.code) << "\"";
            EXPECT_FALSE(row->video) << "video code \"" << qPrintable(o.code) << "\" offered as audio";
            EXPECT_NE(o.code, "APE ") << "no encoder exists for this code";
            encoders.insert(row->encoder);
        }
    }
    // Every encoder the installed FFmpeg offers for the codec table is reachable from some profile.
    for (const char* encoder :
         {"h264", "mpeg4", "libxvid", "msmpeg4v3", "wmv1", "wmv2", "mpeg1video", "mpeg2video",
          "h263", "flv1", "mjpeg", "vp8", "aac", "mp3", "ac3", "wmav1", "wmav2", "pcm_s16le",
          "pcm_s16be", "pcm_s24be", "flac", "mp2", "libvorbis", "adpcm_ima_wav", "amr_nb"})
        EXPECT_TRUE(encoders.contains(encoder)) << encoder << " is used by no profile";
    EXPECT_GE(extensions.size(), 18);
}

TEST_F(ShippedCatalogue, EncoderLimitsAreRespected) {
    static const QSet<QString> h263Sizes = {"128*96", "176*144", "352*288", "704*576", "1408*1152"};
    static const QSet<QString> mpegRates = {"23.976", "24", "25", "29.97", "30", "50", "59.94", "60"};
    for (const Profile& p : c.profiles) {
        SCOPED_TRACE(label(p));
        for (const VideoOption& o : p.video) {
            const QString encoder = encoderOf(o.code);
            if (encoder == "h263") {
                EXPECT_TRUE(h263Sizes.contains(o.resolution)) << qPrintable(o.resolution);
            }
            if (encoder == "mpeg1video" || encoder == "mpeg2video") {
                for (const QString& fps : o.frameRates)
                    EXPECT_TRUE(mpegRates.contains(fps)) << "MPEG frame rate " << qPrintable(fps);
            }
        }
        for (const AudioOption& o : p.audio)
            if (encoderOf(o.code) == "amr_nb") {
                EXPECT_EQ(o.channels, "1");
                EXPECT_EQ(o.sampleRates, QStringList{"8000"});
            }
    }
}

TEST_F(ShippedCatalogue, EveryIconIsADrawnPicture) {
    QSet<QString> used;
    for (const Profile& p : c.profiles) {
        EXPECT_FALSE(p.icon.isEmpty()) << label(p) << " has no icon";
        used.insert(p.icon);
    }
    for (const QString& name : used) {
        SCOPED_TRACE(name.toStdString());
        const QString path = ":/profile/ICONS/" + name + ".png";
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), "png");
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << qPrintable(reader.errorString());

        QSet<QRgb> colours;
        qsizetype opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb px = image.pixel(x, y);
                colours.insert(px);
                opaque += qAlpha(px) > 128;
            }
        EXPECT_GT(colours.size(), 50) << "flat or nearly flat picture";
        // Drawn on a transparent background, and actually covering part of it.
        const double cover = double(opaque) / (image.width() * image.height());
        EXPECT_GT(cover, 0.10);
        EXPECT_LT(cover, 0.95);
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    }
    // Nothing in the bundle that no profile shows.
    for (const QString& file : QDir(":/profile/ICONS").entryList())
        EXPECT_TRUE(used.contains(QFileInfo(file).completeBaseName())) << "unused icon " << qPrintable(file);
}
