// The profile settings dialog's rate control: constant quality or bit rate, the quality on each
// encoder's own scale, the speed, and hardware codecs offered only where they open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QSlider>
#include <QTest>

#include "frmProfileSet.h"
#include "hardware_encoders.h"
#include "output_setting.h"
#include "skin.h"
#include "ui_catalogue.h"

namespace {

QString ListXml() {
    return R"(<L><Profile><C id="1"/></Profile><Format>
  <I ID="1003" Categoryid="1" Linked="true"/>
</Format></L>)";
}

// x264 (two rows: the profile's own and the hardware row's stand-in), VP9, an encoder that
// takes a bit rate only, and a hardware row.
QString FormatXml() {
    return R"(<Formats><P ID="1003" FourCC="MKV " Format=".mkv"><Name>Quality</Name>
  <VideoEnc defVideoFourCC="H264" defResolution="1280*720" RateControl="quality" defQuality="23">
    <V VideoFourCC="H264" Resolution="1280*720" defVideoBitrate="2500" defFrameRate="25">
      <VideoBitrate>1500;2500</VideoBitrate><FrameRate>25</FrameRate></V>
    <V VideoFourCC="AVCH" Resolution="1280*720" defVideoBitrate="2500" defFrameRate="25">
      <VideoBitrate>2500;4000</VideoBitrate><FrameRate>25</FrameRate></V>
    <V VideoFourCC="VP9 " Resolution="1280*720" defVideoBitrate="2000" defFrameRate="25">
      <VideoBitrate>2000</VideoBitrate><FrameRate>25</FrameRate></V>
    <V VideoFourCC="MP4V" Resolution="1280*720" defVideoBitrate="3000" defFrameRate="25">
      <VideoBitrate>3000</VideoBitrate><FrameRate>25</FrameRate></V>
    <V VideoFourCC="HWH4" Resolution="1280*720" defVideoBitrate="4000" defFrameRate="25">
      <VideoBitrate>4000</VideoBitrate><FrameRate>25</FrameRate></V>
  </VideoEnc>
  <AudioEnc defAudioFourCC="AAC " defChannel="2">
    <A AudioFourCC="AAC " Channel="2" defSampleRate="48000" defAudioBitrate="128">
      <AudioBitrate>128</AudioBitrate><SampleRate>48000</SampleRate></A>
  </AudioEnc>
</P></Formats>)";
}

class ProfileQualityTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue_ = LoadCatalogue(dir_, ListXml(), FormatXml());
        ASSERT_NE(catalogue_, nullptr);
        entry_ = catalogue_->entryById(1003);
        ASSERT_NE(entry_, nullptr);
        applyProfileDefaults(*entry_, setting_);
        setting_.rateControl = "quality";
        setting_.quality = 23;
        setting_.speed = "";
    }

    template <typename T = QWidget>
    T* Part(const char* name) const {
        T* part = dialog_.findChild<T*>(name);
        EXPECT_NE(part, nullptr) << name;
        return part;
    }
    QComboBox* Box(const char* name) const { return Part<QComboBox>(name); }
    QSlider* Slider() const { return Part<QSlider>("sldQuality"); }
    QStringList Items(const char* name) const {
        QStringList items;
        for (int i = 0; i < Box(name)->count(); ++i)
            items << Box(name)->itemText(i);
        return items;
    }
    void Choose(const char* name, const QString& text) {
        const int index = Box(name)->findText(text);
        ASSERT_GE(index, 0) << name << " offers no " << text.toStdString();
        Box(name)->setCurrentIndex(index);
    }
    bool Enabled(const char* name) const { return Part(name)->isEnabled(); }
    bool Shown(const char* name) const { return Part(name)->isVisibleTo(&dialog_); }
    void Ok() { QTest::mouseClick(Part("btnOK"), Qt::LeftButton); }

    // What the two modes leave usable: bit rate or quality, never both; speed in either.
    void ExpectQualityMode(bool quality) {
        EXPECT_TRUE(Enabled("cbxRateControl"));
        EXPECT_EQ(Box("cbxRateControl")->currentText(), quality ? "Constant quality" : "Bit rate");
        EXPECT_EQ(Enabled("cbxVBitrate"), !quality);
        for (const char* part : {"sldQuality", "lblQualityValue", "lblQualityHint", "lblQuality"})
            EXPECT_EQ(Enabled(part), quality) << part;
        EXPECT_TRUE(Enabled("cbxSpeed"));
    }

    QTemporaryDir dir_;
    std::unique_ptr<ProfileCatalogue> catalogue_;
    const ProfileEntry* entry_ = nullptr;
    OutputSetting setting_;
    frmProfileSet dialog_;
};

}  // namespace

TEST_F(ProfileQualityTest, EachModeEnablesItsOwnBoxes) {
    dialog_.setProfile(entry_, &setting_);
    EXPECT_EQ(Items("cbxRateControl"), QStringList({"Constant quality", "Bit rate"}));
    EXPECT_EQ(Items("cbxSpeed"), QStringList({"Fastest", "Fast", "Balanced", "Slow (smaller file)",
                                              "Slowest (smallest file)"}));
    EXPECT_EQ(Part<QLabel>("lblQualityHint")->text(),
              "Lower value = better picture and larger file; higher = smaller file");
    ExpectQualityMode(true);
    EXPECT_EQ(Slider()->minimum(), 0);
    EXPECT_EQ(Slider()->maximum(), 51);
    EXPECT_EQ(Slider()->value(), 23);
    EXPECT_EQ(Part<QLabel>("lblQualityValue")->text(), "23");
    EXPECT_EQ(Box("cbxSpeed")->currentIndex(), -1) << "no speed chosen: the encoder's own";

    Choose("cbxRateControl", "Bit rate");
    ExpectQualityMode(false);
    Choose("cbxRateControl", "Constant quality");
    ExpectQualityMode(true);

    // MPEG-4 takes a bit rate only: the bit rate is usable, the rest is not.
    Choose("cbxVCodec", "MPEG-4");
    EXPECT_FALSE(Enabled("cbxRateControl"));
    EXPECT_EQ(Box("cbxRateControl")->currentText(), "Bit rate");
    EXPECT_TRUE(Enabled("cbxVBitrate"));
    EXPECT_FALSE(Enabled("sldQuality"));
    EXPECT_FALSE(Enabled("cbxSpeed"));
    // Coming back restores the user's mode.
    Choose("cbxVCodec", "H264");
    ExpectQualityMode(true);

    // A setting in bit-rate mode that never chose a quality shows the encoder's usual one, not
    // 0, the lossless end of the scale.
    setting_.rateControl = "";
    setting_.quality = 0;
    dialog_.setProfile(entry_, &setting_);
    ExpectQualityMode(false);
    EXPECT_EQ(Slider()->value(), 23);
}

TEST_F(ProfileQualityTest, ChangingTheCodecClampsTheQualityIntoItsScale) {
    setting_.videoCodec = "VP9 ";
    setting_.quality = 60;
    setting_.speed = "slow";
    dialog_.setProfile(entry_, &setting_);
    EXPECT_EQ(Box("cbxVCodec")->currentText(), "VP9");
    EXPECT_EQ(Slider()->maximum(), 63);
    EXPECT_EQ(Slider()->value(), 60);
    EXPECT_EQ(Box("cbxSpeed")->currentText(), "Slow (smaller file)");

    Choose("cbxVCodec", "H264");
    EXPECT_EQ(Slider()->maximum(), 51);
    EXPECT_EQ(Slider()->value(), 51);
    EXPECT_EQ(Part<QLabel>("lblQualityValue")->text(), "51");
    Choose("cbxVCodec", "VP9");
    EXPECT_EQ(Slider()->value(), 51) << "clamped, not remembered";

    // Through a bit-rate-only codec the value is kept and clamped again on the way back.
    Slider()->setValue(62);
    Choose("cbxVCodec", "MPEG-4");
    Choose("cbxVCodec", "H.264 High");
    EXPECT_EQ(Slider()->value(), 51);
    Slider()->setValue(30);
    Choose("cbxSpeed", "Fastest");
    Ok();
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
    EXPECT_EQ(setting_.videoCodec, "AVCH");
    EXPECT_EQ(setting_.rateControl, "quality");
    EXPECT_EQ(setting_.quality, 30);
    EXPECT_EQ(setting_.speed, "fastest");
}

TEST_F(ProfileQualityTest, OkStoresTheModeAndLeavesUntouchedValuesAsTheyWere) {
    // Nothing changed: nothing differs, an empty mode and speed included.
    setting_.rateControl = "";
    setting_.quality = 0;
    const OutputSetting untouched = setting_;
    dialog_.setProfile(entry_, &setting_);
    Ok();
    EXPECT_EQ(setting_, untouched);

    // Quality mode chosen without moving the slider stores the value shown.
    dialog_.setProfile(entry_, &setting_);
    Choose("cbxRateControl", "Constant quality");
    Ok();
    EXPECT_EQ(setting_.rateControl, "quality");
    EXPECT_EQ(setting_.quality, 23);

    // A codec that takes a bit rate only is stored in bit-rate mode.
    dialog_.setProfile(entry_, &setting_);
    Choose("cbxVCodec", "MPEG-4");
    Ok();
    EXPECT_EQ(setting_.videoCodec, "MP4V");
    EXPECT_EQ(setting_.rateControl, "bitrate");
    EXPECT_EQ(setting_.quality, 23) << "kept for a later codec";

    // Bit-rate mode stores the bit rate chosen.
    setting_.videoCodec = "H264";
    dialog_.setProfile(entry_, &setting_);
    ExpectQualityMode(false);
    Choose("cbxVBitrate", "1500");
    Ok();
    EXPECT_EQ(setting_.rateControl, "bitrate");
    EXPECT_EQ(setting_.videoBitrate, "1500");

    // Default brings back the profile's quality mode.
    dialog_.setProfile(entry_, &setting_);
    QTest::mouseClick(Part("btnDefault"), Qt::LeftButton);
    ExpectQualityMode(true);
    Ok();
    OutputSetting defaults;
    applyProfileDefaults(*entry_, defaults);
    EXPECT_EQ(setting_, defaults);
    EXPECT_EQ(setting_.rateControl, "quality");
}

TEST_F(ProfileQualityTest, HardwareRowsAreOfferedOnlyWhereTheyOpen) {
    if (hardwareCodecAvailable("HWH4"))
        GTEST_SKIP() << "this machine opens a hardware H.264 encoder";
    dialog_.setProfile(entry_, &setting_);
    EXPECT_EQ(Items("cbxVCodec"), QStringList({"H.264 High", "H264", "MPEG-4", "VP9"}));
    EXPECT_FALSE(Shown("lblHardwareNote"));

    // A hardware choice stored on a machine without one shows the software codec, and says so.
    setting_.videoCodec = "HWH4";
    setting_.videoBitrate = "4000";
    dialog_.setProfile(entry_, &setting_);
    EXPECT_EQ(Box("cbxVCodec")->currentText(), "H.264 High");
    EXPECT_EQ(Box("cbxVBitrate")->currentText(), "4000");
    EXPECT_TRUE(Shown("lblHardwareNote"));
    EXPECT_EQ(Part<QLabel>("lblHardwareNote")->text(),
              "Hardware encoding is not available on this computer; software encoding is used.");
    ExpectQualityMode(true);
    Choose("cbxVCodec", "VP9");
    EXPECT_FALSE(Shown("lblHardwareNote"));
    Choose("cbxVCodec", "H.264 High");
    EXPECT_TRUE(Shown("lblHardwareNote"));
    Ok();
    EXPECT_EQ(setting_.videoCodec, "AVCH");
}

// In the window's skin the dialog has a fixed size: everything must fit it, nothing overlap,
// and no one-line text be cut. With CORVANE_SCREENSHOT_DIR set the dialog is saved there as
// profile-quality.png.
TEST_F(ProfileQualityTest, FitsTheSkinsFixedSize) {
    qApp->setStyleSheet(skinStyleSheet());
    setting_.videoCodec = "HWH4";
    setting_.quality = 26;
    setting_.speed = "balanced";
    dialog_.setProfile(entry_, &setting_);
    dialog_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog_));
    EXPECT_GE(dialog_.width(), dialog_.layout()->minimumSize().width());
    EXPECT_GE(dialog_.height(), dialog_.layout()->minimumSize().height());

    const QList<QWidget*> parts = dialog_.findChildren<QWidget*>();
    for (QWidget* part : parts) {
        if (!part->isVisible() || part->isWindow())
            continue;
        const QRect box(part->mapTo(&dialog_, QPoint(0, 0)), part->size());
        EXPECT_TRUE(dialog_.rect().contains(box)) << part->objectName().toStdString();
        for (QWidget* other : parts) {
            if (other != part && other->isVisible() && other->parentWidget() == part->parentWidget() &&
                !other->isWindow()) {
                EXPECT_FALSE(other->geometry().intersects(part->geometry()))
                    << part->objectName().toStdString() << " overlaps " << other->objectName().toStdString();
            }
        }
        if (auto* label = qobject_cast<QLabel*>(part); label && !label->wordWrap()) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
                << label->objectName().toStdString() << " is cut";
        }
    }
    const QString folder = qEnvironmentVariable("CORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(dialog_.grab().save(folder + "/profile-quality.png"));
    }
    dialog_.hide();
    qApp->setStyleSheet(QString());
}
