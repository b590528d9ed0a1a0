#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "codec_tables.h"
#include "encoder_limits.h"
#include "frmProfileSet.h"
#include "output_setting.h"
#include "ui_catalogue.h"

namespace {

// 1010 has video but no audio options; 1020 has sizes whose text order is not their size order.
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
  <I ID="1020" Categoryid="1" Name="Sizes" FourCC="MP4 " Format=".mp4">
    <VideoEnc defVideoFourCC="H264" defResolution="640*480">
      <V VideoFourCC="H264" Resolution="1920*1080"/><V VideoFourCC="H264" Resolution="640*480"/>
      <V VideoFourCC="H264" Resolution="720*576"/><V VideoFourCC="H264" Resolution="1280*720"/>
      <V VideoFourCC="H264" Resolution="176*144"/><V VideoFourCC="H264" Resolution="854*480"/>
      <V VideoFourCC="H264" Resolution="480*640"/><V VideoFourCC="H264" Resolution="720*480"/>
      <V VideoFourCC="H264" Resolution="320*240"/>
    </VideoEnc>
    <AudioEnc defAudioFourCC="" defChannel=""/>
  </I>
</Format></L>)";
}

// Lists with units, empty and non-numeric parts; a repeated option; a second video codec; audio
// codecs whose lists hold values their encoders refuse (MP2 at 1000 kbit/s or 96 kHz, and at
// 256 kbit/s below 32 kHz; Vorbis at 1000 kbit/s).
QString FormatXml() {
    return R"(<Formats><P ID="1003" FourCC="MP4 " Format=".mp4"><Name>MP4 Video</Name>
  <VideoEnc defVideoFourCC="H264" defResolution="640*360">
    <V VideoFourCC="H264" Resolution="640*360" defVideoBitrate="1500 kbps" defFrameRate="25">
      <VideoBitrate>800 kbps;;1000 kbps;fast;1500</VideoBitrate><FrameRate>23.976;25 fps;</FrameRate></V>
    <V VideoFourCC="H264" Resolution="1280*720" defVideoBitrate="2500" defFrameRate="50">
      <VideoBitrate>2000;2500</VideoBitrate><FrameRate>50</FrameRate></V>
    <V VideoFourCC="H264" Resolution="320*240"><VideoBitrate>100</VideoBitrate><FrameRate>10</FrameRate></V>
    <V VideoFourCC="H264" Resolution="320*240"><VideoBitrate>300;400</VideoBitrate><FrameRate>15</FrameRate></V>
    <V VideoFourCC="MP4V" Resolution="176*144" defVideoBitrate="200" defFrameRate="15">
      <VideoBitrate>200</VideoBitrate><FrameRate>15</FrameRate></V>
  </VideoEnc>
  <AudioEnc defAudioFourCC="AAC " defChannel="2">
    <A AudioFourCC="AAC " Channel="2" defSampleRate="44100" defAudioBitrate="128 kbps">
      <AudioBitrate>96;128 kbps</AudioBitrate><SampleRate>44100;48000</SampleRate></A>
    <A AudioFourCC="AAC " Channel="1" defSampleRate="22050" defAudioBitrate="64">
      <AudioBitrate>64</AudioBitrate><SampleRate>22050</SampleRate></A>
    <A AudioFourCC="MP3 " Channel="2" defSampleRate="32000" defAudioBitrate="192">
      <AudioBitrate>192</AudioBitrate><SampleRate>32000</SampleRate></A>
    <A AudioFourCC="MP2A" Channel="2" defSampleRate="48000" defAudioBitrate="1000">
      <AudioBitrate>160;256;384;1000</AudioBitrate><SampleRate>22050;44100;48000;96000</SampleRate></A>
    <A AudioFourCC="OGG " Channel="2" defSampleRate="48000" defAudioBitrate="1000">
      <AudioBitrate>128;500;1000</AudioBitrate><SampleRate>44100;48000</SampleRate></A>
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
        sizes_ = catalogue_->entryById(1020);
        ASSERT_TRUE(mp4_ && silent_ && sizes_);
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
    void Choose(const char* name, const QString& text) {
        const int index = Box(name)->findText(text);
        ASSERT_GE(index, 0) << name << " offers no " << text.toStdString();
        Box(name)->setCurrentIndex(index);
    }
    void Press(const char* name) { dialog_.findChild<QPushButton*>(name)->click(); }
    bool Enabled(const char* group) const { return dialog_.findChild<QGroupBox*>(group)->isEnabled(); }

    struct AudioLists {
        QStringList channels, rates, bitrates;
        bool operator==(const AudioLists&) const = default;
    };
    AudioLists Audio() const { return {Items("cbxAChannel"), Items("cbxASample"), Items("cbxABitrate")}; }

    QTemporaryDir dir_;
    std::unique_ptr<ProfileCatalogue> catalogue_;
    const ProfileEntry* mp4_ = nullptr;
    const ProfileEntry* silent_ = nullptr;
    const ProfileEntry* sizes_ = nullptr;
    OutputSetting setting_;
    frmProfileSet dialog_;
};

}  // namespace

TEST_F(ProfileSetTest, ListsFollowTheSettingsCodecSizeAndChannelsAndMarkItsValues) {
    setting_.videoResolution = "1280*720";
    setting_.videoBitrate = "2000";
    setting_.videoFrameRate = kKeepOriginal;
    setting_.audioChannels = "1";
    setting_.audioSampleRate = "22050";
    setting_.audioBitrate = "64";
    dialog_.setProfile(mp4_, &setting_);

    const EncoderChoice* repeated = ProfileOptions::find(dialog_.options().video, "H264", "320*240");
    ASSERT_NE(repeated, nullptr);
    EXPECT_EQ(repeated->bitrates, QStringList({"300", "400"}));  // the later option wins

    EXPECT_EQ(Items("cbxVCodec"), QStringList({"H264", "MPEG-4"}));
    EXPECT_EQ(Current("cbxVCodec"), "H264");
    EXPECT_EQ(Items("cbxVSize"), QStringList({"Keep Original", "320*240", "640*360", "1280*720"}));
    EXPECT_EQ(Current("cbxVSize"), "1280*720");
    EXPECT_EQ(Items("cbxVBitrate"), QStringList({"2000", "2500"}));
    EXPECT_EQ(Current("cbxVBitrate"), "2000");
    EXPECT_EQ(Items("cbxVFPS"), QStringList({"Keep Original", "50"}));
    EXPECT_EQ(Current("cbxVFPS"), "Keep Original");
    EXPECT_EQ(Items("cbxACodec"), QStringList({"AAC", "MPEG2-audio", "MP3", "vorbis"}));
    EXPECT_EQ(Items("cbxAChannel"), QStringList({"1", "2"}));
    EXPECT_EQ(Current("cbxAChannel"), "1");
    EXPECT_EQ(Items("cbxASample"), QStringList({"22050"}));
    EXPECT_EQ(Items("cbxABitrate"), QStringList({"64"}));
    EXPECT_EQ(Current("cbxABitrate"), "64");
    EXPECT_TRUE(Enabled("gbxVideo") && Enabled("gbxAudio"));

    // A size without an option of its own lends the lists of the profile's default size.
    setting_.videoResolution = kKeepOriginal;
    setting_.videoBitrate = "1000";
    dialog_.setProfile(mp4_, &setting_);
    EXPECT_EQ(Items("cbxVBitrate"), QStringList({"800", "1000", "1500"}));
    EXPECT_EQ(Current("cbxVBitrate"), "1000");
}

TEST_F(ProfileSetTest, ResolutionsAreOrderedByPictureSize) {
    dialog_.setProfile(sizes_, &setting_);
    // Text order would put 1280*720 before 176*144 and 1920*1080 before 320*240.
    EXPECT_EQ(Items("cbxVSize"), QStringList({"Keep Original", "176*144", "320*240", "480*640", "640*480",
                                              "720*480", "854*480", "720*576", "1280*720", "1920*1080"}));

    EXPECT_EQ(sortedBySize({"1280*720", "Keep Original", "64*64", "odd", "720*1280"}),
              QStringList({"64*64", "720*1280", "1280*720", "Keep Original", "odd"}))
        << "equal pixel counts by width; texts without a size last, in their order";
}

TEST_F(ProfileSetTest, NearestChoiceComparesValuesNotTexts) {
    EXPECT_EQ(nearestChoice({"96", "128", "192"}, "128"), "128");
    EXPECT_EQ(nearestChoice({"96", "128", "192"}, "1000"), "192");
    EXPECT_EQ(nearestChoice({"96", "128", "192"}, "160"), "128") << "a tie goes to the smaller";
    EXPECT_EQ(nearestChoice({"22050", "44100", "48000"}, "96000 Hz"), "48000");
    EXPECT_EQ(nearestChoice({"320*240", "640*480", "1280*720"}, "800*600"), "640*480") << "by pixel count";
    EXPECT_TRUE(nearestChoice({"96", "128"}, "").isNull());
    EXPECT_TRUE(nearestChoice({"Keep Original"}, "25").isNull());
}

TEST_F(ProfileSetTest, MP2AndVorbisOfferNothingTheirEncodersRefuse) {
    setting_.audioCodec = "MP2A";
    setting_.audioSampleRate = "48000";
    setting_.audioBitrate = "1000";  // stored before the lists were filtered
    dialog_.setProfile(mp4_, &setting_);
    EXPECT_EQ(Items("cbxASample"), QStringList({"22050", "44100", "48000"}));
    EXPECT_EQ(Current("cbxASample"), "48000");
    EXPECT_EQ(Items("cbxABitrate"), QStringList({"160", "256", "384"}));
    EXPECT_EQ(Box("cbxABitrate")->currentIndex(), -1) << "a refused value is not shown as chosen";
    // At 22050 Hz MP2 knows only its half-rate table.
    Choose("cbxASample", "22050");
    EXPECT_EQ(Items("cbxABitrate"), QStringList({"160"}));
    Choose("cbxASample", "44100");
    EXPECT_EQ(Items("cbxABitrate"), QStringList({"160", "256", "384"}));

    Choose("cbxACodec", "vorbis");
    EXPECT_EQ(Items("cbxABitrate"), QStringList({"128", "500"}));
    EXPECT_EQ(Items("cbxASample"), QStringList({"44100", "48000"}));

    // Whatever the dialog offers, for any codec and channel count, the encoder keeps.
    for (int c = 0; c < Box("cbxACodec")->count(); ++c) {
        Box("cbxACodec")->setCurrentIndex(c);
        const AudioEncoderLimits limits(codecInfo(Box("cbxACodec")->currentData().toString()).encoder);
        for (int n = 0; n < Box("cbxAChannel")->count(); ++n) {
            Box("cbxAChannel")->setCurrentIndex(n);
            for (int r = 0; r < Box("cbxASample")->count(); ++r) {
                Box("cbxASample")->setCurrentIndex(r);
                EXPECT_GT(Box("cbxABitrate")->count(), 0);
                for (const QString& kbps : Items("cbxABitrate"))
                    EXPECT_TRUE(limits.acceptsBitrate(kbps.toInt(), Current("cbxASample").toInt(),
                                                      Current("cbxAChannel").toInt()))
                        << Current("cbxACodec").toStdString() << " " << kbps.toStdString() << " "
                        << Current("cbxASample").toStdString();
            }
        }
    }
}

TEST_F(ProfileSetTest, ChangingTheCodecRefillsTheListsAndKeepsTheNearestChoice) {
    setting_.audioSampleRate = "48000";
    setting_.audioBitrate = "128";
    dialog_.setProfile(mp4_, &setting_);
    const AudioLists aac = Audio();
    EXPECT_EQ(aac, (AudioLists{{"1", "2"}, {"44100", "48000"}, {"96", "128"}}));

    Choose("cbxACodec", "MPEG2-audio");
    const AudioLists mp2 = Audio();
    EXPECT_EQ(mp2, (AudioLists{{"2"}, {"22050", "44100", "48000"}, {"160", "256", "384"}}));
    EXPECT_EQ(Current("cbxASample"), "48000");
    EXPECT_EQ(Current("cbxABitrate"), "160") << "nearest to 128";

    Choose("cbxACodec", "vorbis");
    EXPECT_EQ(Audio(), (AudioLists{{"2"}, {"44100", "48000"}, {"128", "500"}}));
    EXPECT_EQ(Current("cbxABitrate"), "128");

    Choose("cbxACodec", "MPEG2-audio");
    EXPECT_EQ(Audio(), mp2);
    Choose("cbxACodec", "AAC");
    EXPECT_EQ(Audio(), aac);
    EXPECT_EQ(Current("cbxAChannel"), "2");
    EXPECT_EQ(Current("cbxASample"), "48000");
    EXPECT_EQ(Current("cbxABitrate"), "128");

    // Another channel count brings its own option's lists.
    Choose("cbxAChannel", "1");
    EXPECT_EQ(Audio(), (AudioLists{{"1", "2"}, {"22050"}, {"64"}}));
    EXPECT_EQ(Current("cbxASample"), "22050");
    EXPECT_EQ(Current("cbxABitrate"), "64");

    // The video side follows its codec and size the same way.
    Choose("cbxVSize", "1280*720");
    EXPECT_EQ(Items("cbxVBitrate"), QStringList({"2000", "2500"}));
    EXPECT_EQ(Current("cbxVBitrate"), "2000") << "nearest to 1500";
    EXPECT_EQ(Current("cbxVFPS"), "50");
    Choose("cbxVCodec", "MPEG-4");
    EXPECT_EQ(Items("cbxVSize"), QStringList({"Keep Original", "176*144"}));
    EXPECT_EQ(Current("cbxVSize"), "176*144");
    EXPECT_EQ(Items("cbxVBitrate"), QStringList({"200"}));
    EXPECT_EQ(Items("cbxVFPS"), QStringList({"Keep Original", "15"}));
    Choose("cbxVCodec", "H264");
    EXPECT_EQ(Items("cbxVSize"), QStringList({"Keep Original", "320*240", "640*360", "1280*720"}));
    EXPECT_EQ(Current("cbxVSize"), "320*240") << "nearest to 176*144";
    EXPECT_EQ(Items("cbxVBitrate"), QStringList({"300", "400"}));
}

TEST_F(ProfileSetTest, OkWritesTheChoicesBack) {
    dialog_.setProfile(mp4_, &setting_);
    Choose("cbxVCodec", "MPEG-4");
    Choose("cbxVSize", "176*144");
    Choose("cbxVBitrate", "200");
    Choose("cbxVFPS", "15");
    Choose("cbxACodec", "MP3");
    Choose("cbxAChannel", "2");
    Choose("cbxABitrate", "192");
    Choose("cbxASample", "32000");
    auto* copy = dialog_.findChild<QCheckBox*>("chkCopyStreams");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->isChecked(), setting_.copyStreams);
    copy->setChecked(!setting_.copyStreams);
    auto* burn = dialog_.findChild<QCheckBox*>("chkBurnForced");
    ASSERT_NE(burn, nullptr);
    burn->setChecked(!setting_.burnForcedSubtitles);
    OutputSetting expected = setting_;
    expected.copyStreams = !setting_.copyStreams;
    expected.burnForcedSubtitles = !setting_.burnForcedSubtitles;
    expected.videoCodec = "MP4V";
    expected.videoResolution = "176*144";
    expected.videoBitrate = "200";
    expected.videoFrameRate = "15";
    expected.audioCodec = "MP3 ";
    expected.audioChannels = "2";
    expected.audioBitrate = "192";
    expected.audioSampleRate = "32000";
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
    EXPECT_EQ(Items("cbxABitrate"), QStringList({"96", "128"}));
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
