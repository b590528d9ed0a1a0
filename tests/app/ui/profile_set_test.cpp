#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "frmProfileSet.h"
#include "output_setting.h"
#include "ui_catalogue.h"

namespace {

// 1010 has video but no audio options.
QString ListXml() {
    return R"(<L><Profile><C id="1"/></Profile><Format>
  <I ID="1003" Categoryid="1" Linked="true"/>
  <I ID="1010" Categoryid="1" Name="Silent" FourCC="MP4 " Format=".mp4">
    <VideoEnc defVideoFourCC="MP4V" defResolution="320*240">
      <V VideoFourCC="MP4V" Resolution="320*240" defVideoBitrate="500" defFrameRate="25">
        <VideoBitrate>500</VideoBitrate><FrameRate>25</FrameRate></V>
    </VideoEnc>
    <AudioEnc defAudioFourCC="" defChannel=""/>
  </I>
</Format></L>)";
}

// Lists with units, empty and non-numeric parts; a repeated option; a second codec on each
// side, so that the dependent lists can be seen to follow the profile's defaults.
QString FormatXml() {
    return R"(<Formats><P ID="1003" FourCC="MP4 " Format=".mp4"><Name>MP4 Video</Name>
  <VideoEnc defVideoFourCC="H264" defResolution="640*360">
    <V VideoFourCC="H264" Resolution="640*360" defVideoBitrate="1500 kbps" defFrameRate="25">
      <VideoBitrate>800 kbps;;1000 kbps;fast;1500</VideoBitrate><FrameRate>23.976;25 fps;</FrameRate></V>
    <V VideoFourCC="H264" Resolution="1280*720"><VideoBitrate>2500</VideoBitrate><FrameRate>50</FrameRate></V>
    <V VideoFourCC="H264" Resolution="320*240"><VideoBitrate>100</VideoBitrate><FrameRate>10</FrameRate></V>
    <V VideoFourCC="H264" Resolution="320*240"><VideoBitrate>300;400</VideoBitrate><FrameRate>15</FrameRate></V>
    <V VideoFourCC="MP4V" Resolution="176*144"><VideoBitrate>200</VideoBitrate><FrameRate>15</FrameRate></V>
  </VideoEnc>
  <AudioEnc defAudioFourCC="AAC " defChannel="2">
    <A AudioFourCC="AAC " Channel="2" defSampleRate="44100" defAudioBitrate="128 kbps">
      <AudioBitrate>96;128 kbps</AudioBitrate><SampleRate>44100;48000</SampleRate></A>
    <A AudioFourCC="AAC " Channel="1"><AudioBitrate>64</AudioBitrate><SampleRate>22050</SampleRate></A>
    <A AudioFourCC="MP3 " Channel="2"><AudioBitrate>192</AudioBitrate><SampleRate>32000</SampleRate></A>
  </AudioEnc>
</P></Formats>)";
}

class ProfileSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue_ = LoadCatalogue(dir_, ListXml(), FormatXml());
        ASSERT_NE(catalogue_, nullptr);
        mp4_ = catalogue_->entryById(1003);
        silent_ = catalogue_->entryById(1010);
        ASSERT_TRUE(mp4_ && silent_);
        applyProfileDefaults(*mp4_, setting_);
    }

    QComboBox* Box(const char* name) const { return dialog_.findChild<QComboBox*>(name); }
    QStringList Items(const char* name) const {
        QStringList items;
        for (int i = 0; i < Box(name)->count(); ++i)
            items << Box(name)->itemText(i);
        return items;
    }
    QString Current(const char* name) const { return Box(name)->currentText(); }
    void Choose(const char* name, const QString& text) { Box(name)->setCurrentIndex(Box(name)->findText(text)); }
    void Press(const char* name) { dialog_.findChild<QPushButton*>(name)->click(); }
    bool Enabled(const char* group) const { return dialog_.findChild<QGroupBox*>(group)->isEnabled(); }

    QTemporaryDir dir_;
    std::unique_ptr<ProfileCatalogue> catalogue_;
    const ProfileEntry* mp4_ = nullptr;
    const ProfileEntry* silent_ = nullptr;
    OutputSetting setting_;
    frmProfileSet dialog_;
};

}  // namespace

TEST_F(ProfileSetTest, ListsFollowTheProfileDefaultsAndMarkTheSetting) {
    setting_.videoResolution = "1280*720";
    setting_.videoBitrate = "1000";
    setting_.videoFrameRate = kKeepOriginal;
    setting_.audioChannels = "1";
    dialog_.setProfile(mp4_, &setting_);

    const EncoderChoice* repeated = ProfileOptions::find(dialog_.options().video, "H264", "320*240");
    ASSERT_NE(repeated, nullptr);
    EXPECT_EQ(repeated->bitrates, QStringList({"300", "400"}));  // the later option wins

    EXPECT_EQ(Items("cbxVCodec"), QStringList({"H264", "MPEG-4"}));
    EXPECT_EQ(Current("cbxVCodec"), "H264");
    EXPECT_EQ(Items("cbxVSize"), QStringList({"Keep Original", "1280*720", "320*240", "640*360"}));
    EXPECT_EQ(Current("cbxVSize"), "1280*720");
    // Rates are those of (H264, 640*360), whatever resolution the setting has.
    EXPECT_EQ(Items("cbxVBitrate"), QStringList({"800", "1000", "1500"}));
    EXPECT_EQ(Current("cbxVBitrate"), "1000");
    EXPECT_EQ(Items("cbxVFPS"), QStringList({"Keep Original", "23.976", "25"}));
    EXPECT_EQ(Current("cbxVFPS"), "Keep Original");
    EXPECT_EQ(Items("cbxACodec"), QStringList({"AAC", "MP3"}));
    EXPECT_EQ(Items("cbxAChannel"), QStringList({"1", "2"}));
    EXPECT_EQ(Current("cbxAChannel"), "1");
    EXPECT_EQ(Items("cbxABitrate"), QStringList({"96", "128"}));
    EXPECT_EQ(Items("cbxASample"), QStringList({"44100", "48000"}));
    EXPECT_TRUE(Enabled("gbxVideo") && Enabled("gbxAudio"));
}

TEST_F(ProfileSetTest, OkWritesTheChoicesBack) {
    dialog_.setProfile(mp4_, &setting_);
    Choose("cbxVCodec", "MPEG-4");
    Choose("cbxVSize", "320*240");
    Choose("cbxVBitrate", "800");
    Choose("cbxVFPS", "23.976");
    Choose("cbxACodec", "MP3");
    Choose("cbxAChannel", "1");
    Choose("cbxABitrate", "96");
    Choose("cbxASample", "48000");
    OutputSetting expected = setting_;
    expected.videoCodec = "MP4V";
    expected.videoResolution = "320*240";
    expected.videoBitrate = "800";
    expected.videoFrameRate = "23.976";
    expected.audioCodec = "MP3 ";
    expected.audioChannels = "1";
    expected.audioBitrate = "96";
    expected.audioSampleRate = "48000";
    Press("btnOK");
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
    EXPECT_EQ(setting_, expected);
}

TEST_F(ProfileSetTest, AValueMissingFromItsListIsNotCurrentAndOkStoresItEmpty) {
    setting_.videoBitrate = "999";
    dialog_.setProfile(mp4_, &setting_);
    EXPECT_EQ(Box("cbxVBitrate")->currentIndex(), -1);
    Press("btnOK");
    EXPECT_EQ(setting_.videoBitrate, "");
    EXPECT_EQ(setting_.videoCodec, "H264");
}

TEST_F(ProfileSetTest, DefaultShowsTheProfileDefaultsButOnlyOkKeepsThem) {
    OutputSetting defaults;
    applyProfileDefaults(*mp4_, defaults);
    setting_.videoBitrate = "800";
    setting_.audioCodec = "MP3 ";
    const OutputSetting adjusted = setting_;

    dialog_.setProfile(mp4_, &setting_);
    Press("btnDefault");
    EXPECT_EQ(Current("cbxVBitrate"), "1500");
    EXPECT_EQ(Current("cbxACodec"), "AAC");
    Press("btnCancel");
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);
    EXPECT_EQ(setting_, adjusted);

    dialog_.setProfile(mp4_, &setting_);
    Press("btnDefault");
    Press("btnOK");
    EXPECT_EQ(setting_, defaults);
}

TEST_F(ProfileSetTest, AProfileWithoutAudioOptionsKeepsTheAudioValues) {
    applyProfileDefaults(*silent_, setting_);
    setting_.audioCodec = "AAC ";
    setting_.audioBitrate = "128";
    const OutputSetting before = setting_;
    dialog_.setProfile(silent_, &setting_);
    EXPECT_TRUE(Enabled("gbxVideo"));
    EXPECT_FALSE(Enabled("gbxAudio"));
    Press("btnOK");
    EXPECT_EQ(setting_, before);

    dialog_.setProfile(mp4_, &setting_);  // reused for a profile with audio
    EXPECT_TRUE(Enabled("gbxAudio"));
}
