#include "source_file.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <utility>

#include "engine_test_support.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

TEST(FormatSize, UsesBinaryUnitsWithTwoDecimals) {
    EXPECT_EQ(formatSize(0), "0.00 bytes");
    EXPECT_EQ(formatSize(512), "512.00 bytes");
    EXPECT_EQ(formatSize(1023), "1023.00 bytes");
    EXPECT_EQ(formatSize(1024), "1.00 KB");
    EXPECT_EQ(formatSize(170184704), "162.30 MB");
    EXPECT_EQ(formatSize(7500000), "7.15 MB");
    EXPECT_EQ(formatSize(2048LL << 40), "2048.00 TB") << "TB is the largest unit";
}

namespace {

class SourceFileTest : public ::testing::Test {
protected:
    void SetUp() override { manager_.reset(CreateMediaManager()); }
    QString Media(const char* name) const { return QString::fromStdString(TestMedia(name)); }
    Owned<IMediaManager> manager_;
};

}  // namespace

TEST_F(SourceFileTest, ProbeChoosesStreamsAndTakesAThumbnail) {
    SourceList list(manager_.get());
    ASSERT_EQ(list.add(Media("two_audio_subs.mkv")), 0);
    const SourceFile* file = list.at(0);
    EXPECT_EQ(file->videoStream(), 0);
    EXPECT_EQ(file->audioStream(), 1) << "the first audio stream wins";
    ASSERT_NE(file->videoRecord(), nullptr);
    EXPECT_EQ(file->resolutionText(), "640*360");
    EXPECT_NEAR(file->duration(), 3.0, 0.1);
    EXPECT_EQ(file->fileName(), "two_audio_subs.mkv");
    EXPECT_EQ(file->sizeText(), formatSize(QFileInfo(Media("two_audio_subs.mkv")).size()));

    const QImage& thumbnail = file->thumbnail();
    EXPECT_EQ(thumbnail.size(), QSize(160, 90));
    EXPECT_EQ(thumbnail.format(), QImage::Format_RGB32);
    // The test pattern is colourful: a real picture has many distinct colours, black has one.
    QSet<QRgb> colours;
    for (int y = 0; y < thumbnail.height(); y += 3)
        for (int x = 0; x < thumbnail.width(); x += 3)
            colours.insert(thumbnail.pixel(x, y));
    EXPECT_GT(colours.size(), 20);
}

TEST_F(SourceFileTest, AudioChoiceAcceptsOnlyAudioStreams) {
    SourceFile file(manager_.get());
    ASSERT_TRUE(file.probe(Media("two_audio_subs.mkv")));
    EXPECT_TRUE(file.setAudioStream(2));
    EXPECT_FALSE(file.setAudioStream(0)) << "a video stream";
    EXPECT_FALSE(file.setAudioStream(3)) << "the subtitle stream";
    EXPECT_FALSE(file.setAudioStream(9));
    EXPECT_EQ(file.audioStream(), 2);
}

TEST_F(SourceFileTest, AudioOnlyFileHasABlackThumbnailAndItsLength) {
    SourceFile file(manager_.get());
    ASSERT_TRUE(file.probe(Media("audio_only.mka")));
    EXPECT_EQ(file.videoStream(), -1);
    EXPECT_EQ(file.videoRecord(), nullptr);
    EXPECT_EQ(file.audioStream(), 0);
    EXPECT_NEAR(file.duration(), 3.0, 0.05) << "the size estimate needs the length of the sound";
    EXPECT_TRUE(file.resolutionText().isEmpty());
    for (int y = 0; y < 90; y += 7)
        EXPECT_EQ(file.thumbnail().pixel(80, y) & 0xffffff, 0u);
}

TEST_F(SourceFileTest, AListWithoutThumbnailsStillProbesEverything) {
    SourceList list(manager_.get());
    list.setThumbnails(false);
    ASSERT_EQ(list.add(Media("h264_aac.mkv")), 0);
    const SourceFile* file = list.at(0);
    EXPECT_EQ(file->videoStream(), 0);
    EXPECT_GT(file->duration(), 0.0);
    EXPECT_FALSE(file->resolutionText().isEmpty());
    for (int y = 0; y < 90; y += 7)
        EXPECT_EQ(file->thumbnail().pixel(80, y) & 0xffffff, 0u) << "no picture was decoded";
}

TEST_F(SourceFileTest, ListKeepsOrderAndSkipsUnreadableFiles) {
    QTemporaryDir dir;
    const QString junk = dir.path() + "/show.s01.e01.mkv";
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a matroska file");
    file.close();

    SourceList list(manager_.get());
    EXPECT_EQ(list.add(junk), -1);
    EXPECT_EQ(list.add(dir.path() + "/missing.mkv"), -1);
    EXPECT_EQ(list.add(Media("h264_aac.mkv")), 0);
    EXPECT_EQ(list.add(Media("h264_aac.mkv")), 1) << "the same file twice is two records";
    EXPECT_EQ(list.count(), 2);
    EXPECT_NE(list.at(0), list.at(1));
    EXPECT_EQ(list.at(2), nullptr);
    EXPECT_TRUE(list.removeAt(0));
    EXPECT_FALSE(list.removeAt(1));
    EXPECT_EQ(list.count(), 1);
    list.clear();
    EXPECT_EQ(list.count(), 0);

    // Output names keep everything before the extension: dots in a name are part of it.
    for (const auto& [file, base] : {std::pair{"Show.S01E01.1080p.mkv", "Show.S01E01.1080p"},
                                     {"Dr. Strangelove (1964).mkv", "Dr. Strangelove (1964)"},
                                     {".hidden.mkv", ".hidden"}}) {
        const QString dotted = dir.path() + "/" + file;
        QFile::remove(dotted);
        ASSERT_TRUE(QFile::copy(Media("h264_aac.mkv"), dotted));
        SourceFile show(manager_.get());
        ASSERT_TRUE(show.probe(dotted));
        EXPECT_EQ(show.baseName(), base);
    }
}
