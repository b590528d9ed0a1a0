// The catalogue as shipped: old profile IDs keep converting to what they did, devices nobody
// sells any more sit in the last tab, new entries carry icons, known codecs and the device's
// limits; and the reader of those limits and quality defaults on small documents.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <iterator>

#include "app_settings.h"
#include "catalogue_fixture.h"
#include "codec_tables.h"
#include "output_setting.h"
#include "plan_inputs.h"
#include "profile_catalogue.h"
#include "profile_manager.h"
#include "rate_control.h"

namespace {

// Every profile the catalogue held before the refresh, as its documents said at the time: the
// ID, extension, container code and default codecs a stored setting or script relies on.
struct Former {
    int id;
    const char* extension;
    const char* container;
    const char* video;
    const char* audio;
};
const Former kFormerProfiles[] = {
    {1001, ".mkv", "MKV ", "PS3H", "AAC "},  {1002, ".avi", "AVI ", "Xvid", "MP3 "},
    {1003, ".mp4", "MP4 ", "H264", "AAC "},  {1004, ".mov", "MOV ", "PAVC", "AAC "},
    {1005, ".mp4", "MP4 ", "MP4V", "AAC "},  {1006, ".mov", "MOV ", "MJPG", "in24"},
    {1007, ".mp4", "MP4 ", "PS3H", "AAC "},  {1008, ".mkv", "MKV ", "PS3H", "flac"},
    {1101, ".m4v", "M4V ", "PAVC", "AAC "},  {1102, ".mp4", "MP4 ", "PAVC", "AAC "},
    {1103, ".m4v", "M4V ", "PS3H", "AAC "},  {1104, ".m4v", "M4V ", "IPAN", "AAC "},
    {1105, ".m4r", "M4R ", "", "AAC "},      {1106, ".m4b", "M4B ", "", "AAC "},
    {1201, ".mp4", "MP4 ", "H264", "AAC "},  {1202, ".mp4", "MP4 ", "PAVC", "AAC "},
    {1203, ".mp4", "MP4 ", "MP4V", "AAC "},  {1204, ".3gp", "3GP ", "H263", "AMRN"},
    {1205, ".3gp", "3GP ", "H264", "AAC "},  {1206, ".3g2", "3G2 ", "MP4V", "AAC "},
    {1301, ".wmv", "WMV ", "WMV2", "wma2"},  {1302, ".wmv", "WMV ", "WMV1", "wma1"},
    {1303, ".asf", "ASF ", "mp43", "wma2"},  {1304, ".avi", "AVI ", "mp43", "MP3 "},
    {1401, ".mp4", "MP4 ", "PS3H", "AAC "},  {1402, ".mp4", "MP4 ", "PAVC", "AAC "},
    {1403, ".mp4", "MP4 ", "PAVC", "AAC "},  {1404, ".avi", "AVI ", "MJPG", "APCM"},
    {1501, ".webm", "WEBM", "VP8 ", "OGG "}, {1502, ".flv", "FLV ", "flv1", "MP3 "},
    {1503, ".flv", "FLV ", "H264", "AAC "},  {1504, ".f4v", "F4V ", "PAVC", "AAC "},
    {1505, ".mp4", "MP4 ", "PS3H", "AAC "},  {1601, ".vob", "VOB ", "mp2v", "AC3 "},
    {1602, ".vob", "VOB ", "mp2v", "AC3 "},  {1603, ".vob", "VOB ", "MP1V", "MP2A"},
    {1604, ".avi", "AVI ", "MJPG", "PCM "},  {1701, ".mp3", "MP3 ", "", "MP3 "},
    {1702, ".aac", "AAC ", "", "AAC "},      {1703, ".m4a", "M4A ", "", "AAC "},
    {1704, ".ac3", "AC3 ", "", "AC3 "},      {1705, ".flac", "FLAC", "", "flac"},
    {1706, ".wav", "WAV ", "", "PCM "},      {1707, ".wav", "WAV ", "", "APCM"},
    {1708, ".wma", "WMA ", "", "wma2"},      {1709, ".ogg", "OGG ", "", "OGG "},
    {1710, ".aiff", "AIFF", "", "pcmb"},     {1711, ".mka", "MKA ", "", "flac"},
    {1712, ".3gp", "3GP ", "", "AMRN"},      {1713, ".mka", "MKA ", "", "flac"},
};

// Targets of another era: Flash, feature phones, Windows Media 7/8, MS-MPEG-4 v3, the iPod and
// the consoles of 2006, told apart by what they write.
bool IsDeadTarget(const ProfileFormat& f) {
    static const QSet<QString> deadExtensions = {".flv", ".f4v", ".3gp", ".3g2", ".wmv", ".asf"};
    static const QSet<QString> deadVideo = {"flv1", "H263", "WMV1", "WMV2", "mp43", "IPAN"};
    return deadExtensions.contains(f.extension) || deadVideo.contains(f.defaultVideoCodec);
}

class ShippedCatalogueRefresh : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(catalogue_.loadDocuments(CORVANE_PROFILE_SOURCE "/profilelist.xml",
                                             CORVANE_PROFILE_SOURCE "/format.xml"))
            << catalogue_.loadError().toStdString();
        for (int i = 0; i < catalogue_.categoryCount(); ++i)
            if (catalogue_.category(i)->title == "Legacy")
                legacyId_ = catalogue_.category(i)->id;
        for (const Former& former : kFormerProfiles)
            formerIds_.insert(former.id);
    }

    QString CategoryTitle(const ProfileEntry& entry) const {
        return catalogue_.category(entry.categoryIndex)->title;
    }
    QList<const ProfileEntry*> NewEntries() const {
        QList<const ProfileEntry*> entries;
        for (int i = 0; i < catalogue_.entryCount(); ++i)
            if (!formerIds_.contains(catalogue_.entry(i)->profileId))
                entries.append(catalogue_.entry(i));
        return entries;
    }

    ProfileCatalogue catalogue_;
    int legacyId_ = -1;
    QSet<int> formerIds_;
};

std::string Label(const ProfileEntry& entry) {
    return QString("%1 (%2)").arg(entry.profileId).arg(entry.name).toStdString();
}

}  // namespace

TEST_F(ShippedCatalogueRefresh, EveryFormerIdStillGivesTheSameContainerAndCodecs) {
    for (const Former& former : kFormerProfiles) {
        SCOPED_TRACE(former.id);
        const ProfileEntry* entry = catalogue_.entryById(former.id);
        ASSERT_NE(entry, nullptr);
        EXPECT_FALSE(entry->linked && !entry->linkResolved);
        EXPECT_EQ(entry->format.extension, former.extension);
        EXPECT_EQ(entry->format.containerCode, former.container);
        EXPECT_EQ(entry->format.defaultVideoCodec, former.video);
        EXPECT_EQ(entry->format.defaultAudioCodec, former.audio);
        // The output setting built from it writes that container with those codecs.
        OutputSetting setting;
        applyProfileDefaults(*entry, setting);
        EXPECT_EQ(setting.profileId, former.id);
        EXPECT_EQ(setting.videoCodec, former.video);
        EXPECT_EQ(setting.audioCodec, former.audio);
        EXPECT_FALSE(setting.audioBitrate.isEmpty()) << "no audio option matches the defaults";
    }
    EXPECT_GT(catalogue_.entryCount(), static_cast<int>(std::size(kFormerProfiles)));
}

TEST_F(ShippedCatalogueRefresh, LegacyIsTheLastTabAndHoldsTheDeadTargetsOnly) {
    ASSERT_NE(legacyId_, -1) << "no Legacy category";
    EXPECT_EQ(catalogue_.category(catalogue_.categoryCount() - 1)->id, legacyId_);
    for (int id :
         {1104, 1204, 1205, 1206, 1301, 1302, 1303, 1304, 1401, 1402, 1403, 1404, 1502, 1503, 1504}) {
        const ProfileEntry* entry = catalogue_.entryById(id);
        ASSERT_NE(entry, nullptr) << id;
        EXPECT_EQ(entry->categoryId, legacyId_) << Label(*entry);
    }
    int legacy = 0;
    for (int i = 0; i < catalogue_.entryCount(); ++i) {
        const ProfileEntry& entry = *catalogue_.entry(i);
        if (IsDeadTarget(entry.format)) {
            EXPECT_EQ(entry.categoryId, legacyId_) << Label(entry) << " is a dead target outside Legacy";
        }
        if (entry.categoryId != legacyId_)
            continue;
        ++legacy;
        // Nothing new goes to Legacy: it only keeps old IDs alive.
        EXPECT_TRUE(formerIds_.contains(entry.profileId)) << Label(entry);
    }
    EXPECT_GE(legacy, 15);
}

TEST_F(ShippedCatalogueRefresh, GeneralProfilesKeepTheSourcesSizeAndRateByDefault) {
    int general = 0;
    for (int i = 0; i < catalogue_.entryCount(); ++i) {
        const ProfileEntry& entry = *catalogue_.entry(i);
        if (CategoryTitle(entry) != "General")
            continue;
        ++general;
        SCOPED_TRACE(Label(entry));
        OutputSetting setting;
        applyProfileDefaults(entry, setting);
        EXPECT_EQ(setting.videoResolution, kKeepOriginal);
        EXPECT_EQ(setting.videoFrameRate, kKeepOriginal);
        EXPECT_FALSE(setting.videoBitrate.isEmpty());
    }
    EXPECT_GE(general, 14);
    // The sizes offered before remain offered, as maxima.
    QStringList sizes;
    for (const VideoOption& option : catalogue_.entryById(1003)->format.video)
        sizes << option.resolution;
    EXPECT_EQ(sizes, (QStringList{kKeepOriginal, "1920*1080", "1280*720", "854*480", "640*360"}));
}

TEST_F(ShippedCatalogueRefresh, NewEntriesHaveIconsKnownCodecsAndQualityDefaultsThatFit) {
    const QList<const ProfileEntry*> added = NewEntries();
    ASSERT_GE(added.size(), 16);
    const QDir icons(CORVANE_PROFILE_SOURCE "/icons");
    for (const ProfileEntry* entry : added) {
        SCOPED_TRACE(Label(*entry));
        EXPECT_TRUE(icons.exists(entry->icon + ".svg") || icons.exists(entry->icon + ".png"))
            << "no icon file for " << entry->icon.toStdString();
        const ProfileFormat& f = entry->format;
        for (const VideoOption& option : f.video)
            EXPECT_NE(codecInfo(option.codec).encoder, "ERROR") << option.codec.toStdString();
        for (const AudioOption& option : f.audio)
            EXPECT_NE(codecInfo(option.codec).encoder, "ERROR") << option.codec.toStdString();
        EXPECT_NE(codecInfo(f.defaultAudioCodec).encoder, "ERROR");
        if (f.defaultRateControl != kRateControlQuality)
            continue;
        // A quality default the encoder's scale takes, a speed the settings know, and bit
        // rates still offered for switching over.
        const std::optional<QualityScale> scale = qualityScaleOf(f.defaultVideoCodec);
        ASSERT_TRUE(scale.has_value()) << f.defaultVideoCodec.toStdString() << " has no quality scale";
        EXPECT_TRUE(scale->contains(f.defaultQuality)) << f.defaultQuality;
        EXPECT_GT(f.defaultQuality, 0);
        EXPECT_TRUE(speedNames().contains(f.defaultSpeed)) << f.defaultSpeed.toStdString();
        for (const VideoOption& option : f.video)
            EXPECT_FALSE(option.bitrates.isEmpty()) << option.resolution.toStdString();
    }
}

TEST_F(ShippedCatalogueRefresh, DeviceEntriesCarryTheirDevicesLimits) {
    static const QSet<QString> deviceTabs = {"Apple", "Android", "TV & Streaming"};
    int devices = 0;
    for (const ProfileEntry* entry : NewEntries()) {
        if (!deviceTabs.contains(CategoryTitle(*entry)))
            continue;
        ++devices;
        SCOPED_TRACE(Label(*entry));
        const DeviceLimits& l = entry->format.limits;
        EXPECT_GT(l.maxWidth, 0);
        EXPECT_GT(l.maxHeight, 0);
        EXPECT_GT(l.maxFramesPerSecond, 0);
        EXPECT_GT(l.h264Level, 0);
        EXPECT_GT(l.maxChannels, 0);
        EXPECT_GT(l.maxSampleRate, 0);
        // An HEVC option needs the device's HEVC level; HDR needs 10 bits to be kept.
        bool hevc = false;
        for (const VideoOption& option : entry->format.video)
            hevc |= codecInfo(option.codec).encoder == "libx265";
        if (hevc) {
            EXPECT_GT(l.hevcLevel, 0);
        }
        if (l.hdr) {
            EXPECT_EQ(l.maxBitDepth, 10);
        }
    }
    EXPECT_GE(devices, 6);
}

TEST_F(ShippedCatalogueRefresh, TheShareProfileKeepsAMinuteUnderSixteenMegabytes) {
    const ProfileEntry* share = nullptr;
    for (int i = 0; i < catalogue_.entryCount(); ++i) {
        const ProfileEntry* entry = catalogue_.entry(i);
        if (entry->format.limits.maxAudioTracks == 1 && CategoryTitle(*entry) == "Web")
            share = entry;
    }
    ASSERT_NE(share, nullptr);
    OutputSetting setting;
    applyProfileDefaults(*share, setting);
    EXPECT_EQ(setting.rateControl, kRateControlBitrate) << "a size budget needs a bit rate";
    EXPECT_FALSE(setting.copyStreams) << "a copied stream keeps its own bit rate";
    // Every offered combination, with 3% for the container, stays within 16 MB a minute.
    int highestVideo = 0, highestAudio = 0;
    for (const VideoOption& option : share->format.video)
        for (const QString& rate : option.bitrates)
            highestVideo = std::max(highestVideo, rate.toInt());
    for (const AudioOption& option : share->format.audio)
        for (const QString& rate : option.bitrates)
            highestAudio = std::max(highestAudio, rate.toInt());
    EXPECT_LE(highestVideo + highestAudio, 2000);
    EXPECT_LE((highestVideo + highestAudio) * 1000.0 * 60 / 8 * 1.03, 16e6);
    EXPECT_EQ(share->format.limits.maxWidth, 1280);
    EXPECT_EQ(share->format.limits.maxHeight, 720);
}

// ---- the reader, on small documents ----

namespace {

QString ListWith(const QString& items) {
    return "<ProfileList><Profile><Category id=\"1\" title=\"All\"/></Profile><Format>" + items +
           "</Format></ProfileList>";
}

QString FormatWith(const QString& items) {
    return "<FormatList>" + items + "</FormatList>";
}

class LimitsReader : public ::testing::Test {
protected:
    const ProfileEntry* Load(const QString& list, const QString& format) {
        WriteTextFile(dir_.filePath("list.xml"), list);
        WriteTextFile(dir_.filePath("format.xml"), format);
        catalogue_ = std::make_unique<ProfileCatalogue>();
        EXPECT_TRUE(catalogue_->loadDocuments(dir_.filePath("list.xml"), dir_.filePath("format.xml")));
        return catalogue_->entry(0);
    }
    const ProfileEntry* LoadOwn(const QString& itemBody, const QString& videoAttributes = {}) {
        return Load(ListWith("<Item ID=\"5\" Categoryid=\"1\" Name=\"x\" FourCC=\"MP4 \" Format=\".mp4\">" +
                             itemBody + "<VideoEnc defVideoFourCC=\"AVCH\" " + videoAttributes +
                             "/></Item>"),
                    FormatWith({}));
    }

    QTemporaryDir dir_;
    std::unique_ptr<ProfileCatalogue> catalogue_;
};

}  // namespace

TEST_F(LimitsReader, ReadsEveryLimitAndTheQualityDefaults) {
    const ProfileEntry* entry = LoadOwn(
        "<!-- where these come from --><Limits MaxResolution=\"3840*2160\" MaxFrameRate=\"59.94\" "
        "H264Level=\"5.1\" HevcLevel=\"4\" BitDepth=\"10\" HDR=\"YES\" MaxChannels=\"6\" "
        "MaxSampleRate=\"48000\" MaxAudioTracks=\"1\"/>",
        "RateControl=\"Quality\" defQuality=\"21\" defSpeed=\"slow\"");
    ASSERT_NE(entry, nullptr);
    const DeviceLimits& l = entry->format.limits;
    EXPECT_EQ(l.maxWidth, 3840);
    EXPECT_EQ(l.maxHeight, 2160);
    EXPECT_DOUBLE_EQ(l.maxFramesPerSecond, 59.94);
    EXPECT_EQ(l.h264Level, 51);
    EXPECT_EQ(l.hevcLevel, 40);
    EXPECT_EQ(l.maxBitDepth, 10);
    EXPECT_TRUE(l.hdr);
    EXPECT_EQ(l.maxChannels, 6);
    EXPECT_EQ(l.maxSampleRate, 48000);
    EXPECT_EQ(l.maxAudioTracks, 1);
    EXPECT_EQ(entry->format.defaultRateControl, "quality");
    EXPECT_EQ(entry->format.defaultQuality, 21);
    EXPECT_EQ(entry->format.defaultSpeed, "slow");
    // A <Limits> element is no video option.
    EXPECT_TRUE(entry->format.video.isEmpty());
}

TEST_F(LimitsReader, BadValuesReadAsNothingAndNeverFailTheLoad) {
    const ProfileEntry* entry = LoadOwn(
        "<Limits MaxResolution=\"3840x2160\" MaxFrameRate=\"fast\" H264Level=\"5.1.2\" HevcLevel=\"10\" "
        "BitDepth=\"-10\" HDR=\"maybe\" MaxChannels=\"six\" MaxSampleRate=\"48 kHz\" MaxAudioTracks=\"0\"/>",
        "RateControl=\"crf\" defQuality=\"high\" defSpeed=\"ludicrous\"");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->format.limits, DeviceLimits{});
    EXPECT_EQ(entry->format.defaultRateControl, QString());
    EXPECT_EQ(entry->format.defaultQuality, 0);
    EXPECT_EQ(entry->format.defaultSpeed, QString());

    // Half a size, a negative rate and a level without its major number are no better.
    entry = LoadOwn(
        "<Limits MaxResolution=\"1920*\" MaxFrameRate=\"-30\" H264Level=\".1\" HevcLevel=\"4.10\"/>");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->format.limits, DeviceLimits{});
}

TEST_F(LimitsReader, AMissingElementLeavesEverythingOpen) {
    const ProfileEntry* entry = LoadOwn({});
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->format.limits, DeviceLimits{});
    EXPECT_TRUE(entry->format.defaultRateControl.isEmpty());
    EXPECT_EQ(entry->format.defaultQuality, 0);
}

TEST_F(LimitsReader, ALinkedEntryTakesTheLinkedItemsLimitsNotItsOwn) {
    const ProfileEntry* entry = Load(
        ListWith("<Item ID=\"7\" Categoryid=\"1\" Linked=\"true\">"
                 "<Limits MaxResolution=\"640*360\" MaxChannels=\"1\"/></Item>"),
        FormatWith("<!-- a device --><Item ID=\"7\" FourCC=\"MKV \" Format=\".mkv\"><Name>Linked</Name>"
                   "<Limits MaxResolution=\"1920*1080\" MaxChannels=\"8\"/>"
                   "<VideoEnc defVideoFourCC=\"HEVC\" RateControl=\"quality\" defQuality=\"24\"/></Item>"));
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(entry->linkResolved);
    EXPECT_EQ(entry->format.limits.maxWidth, 1920);
    EXPECT_EQ(entry->format.limits.maxChannels, 8);
    EXPECT_EQ(entry->format.defaultQuality, 24);
}

// ---- a user's stored choice across the catalogue update ----

TEST(CatalogueUpdate, AStoredProfileThatMovedToLegacyLoadsWithItsAdjustments) {
    QDir(qEnvironmentVariable("appdata")).removeRecursively();
    AppSettings settings;
    // The user's copy is an older catalogue, and the settings name the PSP profile with a
    // bit rate of the user's own.
    const QString installed = settings.programFolder() + "/profile";
    ASSERT_TRUE(WriteCatalogue(installed, HeaderXml(2), SampleListXml(), SampleFormatXml()));
    QSettings* stored = settings.qsettings();
    stored->setValue("OutputSet/profile_id", 1402);
    stored->setValue("OutputSet/VideoBitrate", "640");
    stored->setValue("OutputSet/VideoResolution", "320*240");
    stored->sync();

    ProfileManager manager(&settings);
    ASSERT_TRUE(manager.load(CORVANE_SHIPPED_PROFILE));
    ProfileCatalogue shippedHeader;
    shippedHeader.readHeader(CORVANE_SHIPPED_PROFILE "/profile.xml");
    EXPECT_GT(shippedHeader.version(), 2) << "the shipped catalogue must replace older copies";
    EXPECT_EQ(manager.catalogue()->version(), shippedHeader.version());

    const ProfileEntry* psp = manager.catalogue()->entryById(1402);
    ASSERT_NE(psp, nullptr);
    const ProfileCategory* last = manager.catalogue()->category(manager.catalogue()->categoryCount() - 1);
    EXPECT_EQ(psp->categoryId, last->id);
    EXPECT_EQ(last->title, "Legacy");

    const OutputSetting* setting = manager.outputSetting();
    ASSERT_NE(setting, nullptr);
    EXPECT_EQ(setting->profileId, 1402);
    EXPECT_EQ(setting->videoBitrate, "640");
    EXPECT_EQ(setting->videoResolution, "320*240");
    EXPECT_EQ(setting->extension, ".mp4");
    EXPECT_EQ(setting->videoCodec, "PAVC");
}

TEST(CatalogueUpdate, EveryFormerProfileStoredWithAdjustmentsLoadsThemAndPlansAConversion) {
    for (const Former& former : kFormerProfiles) {
        SCOPED_TRACE(former.id);
        QDir(qEnvironmentVariable("appdata")).removeRecursively();
        AppSettings settings;
        ProfileCatalogue shipped;
        ASSERT_TRUE(shipped.loadDocuments(CORVANE_PROFILE_SOURCE "/profilelist.xml",
                                          CORVANE_PROFILE_SOURCE "/format.xml"));
        const ProfileEntry* entry = shipped.entryById(former.id);
        ASSERT_NE(entry, nullptr);
        // The user picked the last listed bit rates of the profile's default options, as an
        // older version stored them.
        OutputSetting defaults;
        applyProfileDefaults(*entry, defaults);
        QString videoBitrate, audioBitrate;
        for (const VideoOption& option : entry->format.video)
            if (option.codec == defaults.videoCodec && !option.bitrates.isEmpty())
                videoBitrate = leadingNumber(option.bitrates.last());
        for (const AudioOption& option : entry->format.audio)
            if (option.codec == defaults.audioCodec && !option.bitrates.isEmpty())
                audioBitrate = leadingNumber(option.bitrates.last());
        QSettings* stored = settings.qsettings();
        stored->setValue("OutputSet/profile_id", former.id);
        stored->setValue("OutputSet/format", former.container);
        stored->setValue("OutputSet/VideoFourCC", former.video);
        stored->setValue("OutputSet/AudioFourCC", former.audio);
        if (!videoBitrate.isEmpty())
            stored->setValue("OutputSet/VideoBitrate", videoBitrate);
        if (!audioBitrate.isEmpty())
            stored->setValue("OutputSet/AudioBitrate", audioBitrate);
        stored->sync();

        ProfileManager manager(&settings);
        ASSERT_TRUE(manager.load(CORVANE_SHIPPED_PROFILE));
        const OutputSetting* setting = manager.outputSetting();
        ASSERT_NE(setting, nullptr);
        EXPECT_EQ(setting->profileId, former.id);
        EXPECT_EQ(setting->extension, former.extension);
        EXPECT_EQ(setting->videoCodec, former.video);
        EXPECT_EQ(setting->audioCodec, former.audio);
        if (!videoBitrate.isEmpty()) {
            EXPECT_EQ(setting->videoBitrate, videoBitrate);
        }
        if (!audioBitrate.isEmpty()) {
            EXPECT_EQ(setting->audioBitrate, audioBitrate);
        }
        // What the stored setting plans is a conversion the engine is asked to make.
        const PlanTarget target = planTargetFor(*setting);
        EXPECT_FALSE(target.muxer.isEmpty());
        EXPECT_EQ(target.hasVideo, QString(former.video).size() > 0);
        if (target.hasVideo) {
            EXPECT_FALSE(target.videoEncoder.isEmpty());
        }
        EXPECT_FALSE(target.audioEncoder.isEmpty());
    }
}
