#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QResource>
#include <QTemporaryDir>

#include "app_settings.h"
#include "catalogue_fixture.h"
#include "profile_catalogue.h"
#include "profile_manager.h"

namespace {

QString ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class CatalogueInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(qEnvironmentVariable("appdata")).removeRecursively();
        settings_ = std::make_unique<AppSettings>();
        shipped_ = scratch_.path() + "/shipped";
        installed_ = settings_->programFolder() + "/profile";
    }

    // A shipped catalogue of the given version, and optionally an installed one whose list
    // names its version in the category title, so that the loaded bundle can be told apart.
    void Ship(int version) {
        ASSERT_TRUE(WriteCatalogue(shipped_, HeaderXml(version), ListNamed("shipped"), SampleFormatXml()));
    }
    void Install(int version) {
        ASSERT_TRUE(WriteCatalogue(installed_, HeaderXml(version), ListNamed("installed"), SampleFormatXml()));
    }
    static QString ListNamed(const QString& title) {
        QString list = SampleListXml();
        return list.replace("title=\"General Video\"", "title=\"" + title + "\"");
    }
    QString LoadedTitle(const ProfileManager& manager) const {
        return manager.catalogue()->category(0)->title;
    }

    QTemporaryDir scratch_;
    std::unique_ptr<AppSettings> settings_;
    QString shipped_;
    QString installed_;
};

}  // namespace

TEST_F(CatalogueInstallTest, FirstRunInstallsBothFilesAndRegistersTheInstalledBundle) {
    Ship(1);
    ProfileManager manager(settings_.get());
    ASSERT_TRUE(manager.load(shipped_ + "/"));
    EXPECT_TRUE(QFile::exists(installed_ + "/profile.xml"));
    EXPECT_TRUE(QFile::exists(installed_ + "/profile.res"));
    EXPECT_EQ(manager.registeredBundle(), installed_ + "/profile.res");
    EXPECT_EQ(manager.catalogue()->version(), 1);
    EXPECT_EQ(LoadedTitle(manager), "shipped") << "the installed copy holds the shipped content";
    ASSERT_NE(manager.outputSetting(), nullptr);
}

TEST_F(CatalogueInstallTest, NewerShippedCatalogueReplacesTheInstalledOne) {
    Ship(4);
    Install(3);
    ProfileManager manager(settings_.get());
    ASSERT_TRUE(manager.load(shipped_));
    EXPECT_EQ(manager.catalogue()->version(), 4);
    EXPECT_EQ(manager.registeredBundle(), shipped_ + "/profile.res");
    EXPECT_EQ(LoadedTitle(manager), "shipped");
    EXPECT_EQ(ReadAll(installed_ + "/profile.xml"), ReadAll(shipped_ + "/profile.xml"));
    EXPECT_EQ(ReadAll(installed_ + "/profile.res"), ReadAll(shipped_ + "/profile.res"));
}

TEST_F(CatalogueInstallTest, NewerInstalledCatalogueIsKept) {
    Ship(4);
    Install(5);
    const QString before = ReadAll(installed_ + "/profile.res");
    ProfileManager manager(settings_.get());
    ASSERT_TRUE(manager.load(shipped_));
    EXPECT_EQ(manager.catalogue()->version(), 5);
    EXPECT_EQ(manager.registeredBundle(), installed_ + "/profile.res");
    EXPECT_EQ(LoadedTitle(manager), "installed");
    EXPECT_EQ(ReadAll(installed_ + "/profile.res"), before);
}

TEST_F(CatalogueInstallTest, MissingShippedFilesFailTheLoad) {
    Ship(1);
    QFile::remove(shipped_ + "/profile.xml");
    ProfileManager manager(settings_.get());
    EXPECT_FALSE(manager.load(shipped_));
    EXPECT_EQ(manager.catalogue(), nullptr);
    EXPECT_EQ(manager.outputSetting(), nullptr);
    EXPECT_FALSE(QFile::exists(installed_ + "/profile.res"));
}

TEST_F(CatalogueInstallTest, BrokenHeaderRaisesItsText) {
    Ship(1);
    WriteTextFile(shipped_ + "/profile.xml", "<ProfileHead><Info version=");
    ProfileManager manager(settings_.get());
    try {
        manager.load(shipped_);
        FAIL() << "no error raised";
    } catch (const CatalogueError& error) {
        EXPECT_STREQ(error.what(), "profilehead parse error");
    }
}

TEST_F(CatalogueInstallTest, BundleWithoutDocumentsLoadsNothing) {
    ASSERT_TRUE(WriteCatalogue(shipped_, HeaderXml(1), "<ProfileList><Profile>", SampleFormatXml()));
    ProfileManager manager(settings_.get());
    EXPECT_FALSE(manager.load(shipped_));
    ASSERT_NE(manager.catalogue(), nullptr);
    EXPECT_EQ(manager.catalogue()->entryCount(), 0);
    EXPECT_EQ(manager.outputSetting(), nullptr);
}

TEST(ProfileCatalogue, HeaderWithoutInfoReadsAsVersionOne) {
    QTemporaryDir dir;
    WriteTextFile(dir.path() + "/profile.xml", "<ProfileHead><Other version=\"7\"/></ProfileHead>");
    ProfileCatalogue catalogue;
    EXPECT_NO_THROW(catalogue.readHeader(dir.path() + "/profile.xml"));
    EXPECT_EQ(catalogue.version(), 1);
    EXPECT_THROW(catalogue.readHeader(dir.path() + "/missing.xml"), CatalogueError);
}

TEST(ProfileCatalogue, GroupsEntriesByCategoryAndResolvesLinks) {
    QTemporaryDir dir;
    WriteTextFile(dir.path() + "/list.xml", SampleListXml());
    WriteTextFile(dir.path() + "/format.xml", SampleFormatXml());
    ProfileCatalogue catalogue;
    ASSERT_TRUE(catalogue.loadDocuments(dir.path() + "/list.xml", dir.path() + "/format.xml"));

    ASSERT_EQ(catalogue.categoryCount(), 2);
    EXPECT_EQ(catalogue.category(0)->id, 2);
    EXPECT_EQ(catalogue.category(1)->title, "Audio");
    EXPECT_EQ(catalogue.category(2), nullptr);
    EXPECT_EQ(catalogue.profileCount(0), 2) << "entries with category ids 2, 1, 2";
    EXPECT_EQ(catalogue.profileCount(1), 1);
    EXPECT_EQ(catalogue.profileCount(5), 0);
    const ProfileEntry* third = catalogue.entryAt(0, 1);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->profileId, 1004);
    EXPECT_EQ(third->indexInCategory, 1);
    EXPECT_EQ(catalogue.entryAt(0, 2), nullptr);

    const ProfileEntry* mp4 = catalogue.entryById(1003);
    ASSERT_NE(mp4, nullptr);
    EXPECT_TRUE(mp4->linked) << "\"TRUE\" links whatever its letter case";
    EXPECT_TRUE(mp4->linkResolved);
    EXPECT_EQ(mp4->name, "MP4 Video");
    EXPECT_EQ(mp4->icon, "video");
    EXPECT_EQ(third->name, "My AVI") << "the list's own name wins";
    EXPECT_EQ(third->icon, "film");
    const ProfileEntry* mp3 = catalogue.entryById(2001);
    EXPECT_FALSE(mp3->linked);
    EXPECT_EQ(mp3->categoryIndex, 1);
    EXPECT_EQ(mp3->icon, "music");
    EXPECT_EQ(catalogue.entryById(42), nullptr);
}

// Values come from the linked item of a linked entry, whatever the entry itself carries, and
// from the entry otherwise; an unresolved link leaves every value empty.
TEST(ProfileCatalogue, ReadsEachProfileFromWhereItsValuesLive) {
    QTemporaryDir dir;
    WriteTextFile(dir.path() + "/list.xml", R"(<L><Profile><C id="1"/></Profile><Format>
  <I ID="1" Categoryid="1" Linked="true" FourCC="OWN " Format=".own"><AudioEnc defAudioFourCC="OWN "/></I>
  <I ID="2" Categoryid="1" Name="Own" FourCC="MP3 " Format=".mp3">
    <VideoEnc defVideoFourCC="" defResolution=""/>
    <AudioEnc defAudioFourCC="MP3 " defChannel="2">
      <A AudioFourCC="MP3 " Channel="2" defSampleRate="44100" defAudioBitrate="192 kbps">
        <AudioBitrate>128 kbps;;192</AudioBitrate><SampleRate></SampleRate></A>
      <Other AudioFourCC="MP3 " Channel="1"/>
    </AudioEnc>
    <AudioEnc defAudioFourCC="AAC "/>
  </I>
  <I ID="3" Categoryid="1" Linked="true" Name="Lost" Icon="lost"/>
</Format></L>)");
    WriteTextFile(dir.path() + "/format.xml", R"(<F><!-- a comment is no item -->
  <P ID="1" FourCC="MP4 " Format=".mp4" Icon="video"><Name>Linked</Name>
    <VideoEnc defVideoFourCC="H264" defResolution="640*360">
      <V VideoFourCC="H264" Resolution="640*360" defVideoBitrate="1500" defFrameRate="25">
        <VideoBitrate>1000;1500</VideoBitrate><FrameRate>25;29.97</FrameRate></V>
    </VideoEnc>
  </P>
  <P ID="1"><Name>Shadowed</Name></P>
  <P ID="9"><Name>Unused</Name></P>
</F>)");
    ProfileCatalogue catalogue;
    ASSERT_TRUE(catalogue.loadDocuments(dir.path() + "/list.xml", dir.path() + "/format.xml"));

    const ProfileEntry* linked = catalogue.entryById(1);
    ASSERT_NE(linked, nullptr);
    EXPECT_EQ(linked->name, "Linked") << "the first item with the ID";
    EXPECT_EQ(linked->format.containerCode, "MP4 ");
    EXPECT_EQ(linked->format.extension, ".mp4");
    EXPECT_EQ(linked->format.defaultVideoCodec, "H264");
    EXPECT_EQ(linked->format.defaultResolution, "640*360");
    ASSERT_EQ(linked->format.video.size(), 1);
    const VideoOption& video = linked->format.video[0];
    EXPECT_EQ(video.codec, "H264");
    EXPECT_EQ(video.resolution, "640*360");
    EXPECT_EQ(video.defaultBitrate, "1500");
    EXPECT_EQ(video.defaultFrameRate, "25");
    EXPECT_EQ(video.frameRates, QStringList({"25", "29.97"}));
    EXPECT_TRUE(linked->format.defaultAudioCodec.isEmpty()) << "the entry's own AudioEnc is not read";
    EXPECT_TRUE(linked->format.audio.isEmpty());

    const ProfileEntry* own = catalogue.entryById(2);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->format.extension, ".mp3");
    EXPECT_TRUE(own->format.defaultVideoCodec.isEmpty());
    EXPECT_TRUE(own->format.video.isEmpty());
    EXPECT_EQ(own->format.defaultAudioCodec, "MP3 ") << "the first AudioEnc counts";
    EXPECT_EQ(own->format.defaultChannels, "2");
    ASSERT_EQ(own->format.audio.size(), 2) << "every child element is an option, whatever its tag";
    const AudioOption& audio = own->format.audio[0];
    EXPECT_EQ(audio.defaultBitrate, "192 kbps") << "values stay as written";
    EXPECT_EQ(audio.defaultSampleRate, "44100");
    EXPECT_EQ(audio.bitrates, QStringList({"128 kbps", "", "192"}));
    EXPECT_TRUE(audio.sampleRates.isEmpty()) << "an empty list has no parts";
    EXPECT_EQ(own->format.audio[1].channels, "1");
    EXPECT_TRUE(own->format.audio[1].bitrates.isEmpty());

    const ProfileEntry* lost = catalogue.entryById(3);
    ASSERT_NE(lost, nullptr);
    EXPECT_TRUE(lost->linked);
    EXPECT_FALSE(lost->linkResolved);
    EXPECT_EQ(lost->name, "Lost");
    EXPECT_EQ(lost->icon, "lost");
    EXPECT_TRUE(lost->format.containerCode.isEmpty());
    EXPECT_TRUE(lost->format.extension.isEmpty());
    EXPECT_TRUE(lost->format.video.isEmpty() && lost->format.audio.isEmpty());

    ASSERT_EQ(catalogue.formatItems().size(), 3);
    EXPECT_EQ(catalogue.formatItems()[1].name, "Shadowed");
    EXPECT_EQ(catalogue.formatItems()[2].idText, "9");
}

TEST(ProfileCatalogue, ReportsUnreadableDocuments) {
    QTemporaryDir dir;
    WriteTextFile(dir.path() + "/list.xml", SampleListXml());
    WriteTextFile(dir.path() + "/bad.xml", "<Formats><Profile>");
    ProfileCatalogue catalogue;
    EXPECT_FALSE(catalogue.loadDocuments(dir.path() + "/missing.xml", dir.path() + "/bad.xml"));
    EXPECT_EQ(catalogue.loadError(), "profilelist file error");
    EXPECT_FALSE(catalogue.loadDocuments(dir.path() + "/list.xml", dir.path() + "/bad.xml"));
    EXPECT_EQ(catalogue.loadError(), "format parse error");
    EXPECT_EQ(catalogue.entryCount(), 0);
}
