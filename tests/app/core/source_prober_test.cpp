// Files read on worker threads: each record is in the list at once, filled in on the
// caller's thread, and a record removed meanwhile never receives its result.
#include "source_prober.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "engine_test_support.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

namespace {

class SourceProberTest : public ::testing::Test {
protected:
    void SetUp() override { manager_.reset(CreateMediaManager()); }

    QString Media(const char* name) const { return QString::fromStdString(TestMedia(name)); }

    QString CopyAs(const char* fixture, const QString& name) {
        const QString path = dir_.path() + "/" + name;
        EXPECT_TRUE(QFile::copy(Media(fixture), path));
        return path;
    }

    // Runs the event loop until prober has delivered everything it was given.
    bool Settle(const SourceProber& prober, int milliseconds = 60000) {
        QElapsedTimer clock;
        clock.start();
        while (prober.pendingCount() > 0 && clock.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
        return prober.pendingCount() == 0;
    }

    QTemporaryDir dir_;
    Owned<IMediaManager> manager_;
};

}  // namespace

TEST_F(SourceProberTest, ReadsOnWorkersAndFillsInOnTheCallersThread) {
    SourceList list(manager_.get());
    SourceProber prober(list, 3);
    QList<SourceFile*> read;
    bool offThread = false;
    QObject::connect(&prober, &SourceProber::sourceRead, [&](SourceFile* file) {
        offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
        read.append(file);
    });

    constexpr int kFiles = 12;
    for (int i = 0; i < kFiles; ++i) {
        SourceFile* file = prober.add(Media(i % 2 ? "two_audio_subs.mkv" : "h264_aac.mkv"));
        EXPECT_EQ(file->state(), SourceState::Reading);
        EXPECT_EQ(file->fileName(), i % 2 ? "two_audio_subs.mkv" : "h264_aac.mkv");
    }
    ASSERT_EQ(list.count(), kFiles) << "every record is listed before it is read";
    EXPECT_TRUE(read.isEmpty()) << "results arrive through the event loop only";

    ASSERT_TRUE(Settle(prober));
    ASSERT_EQ(read.size(), kFiles);
    EXPECT_FALSE(offThread);
    // The same as a probe on this thread finds, thumbnail included.
    SourceFile references[2] = {SourceFile(manager_.get()), SourceFile(manager_.get())};
    ASSERT_TRUE(references[0].probe(Media("h264_aac.mkv")));
    ASSERT_TRUE(references[1].probe(Media("two_audio_subs.mkv")));
    for (int i = 0; i < kFiles; ++i) {
        const SourceFile* file = list.at(i);
        const SourceFile& reference = references[i % 2];
        EXPECT_TRUE(read.contains(list.at(i)));
        ASSERT_EQ(file->state(), SourceState::Ready) << i;
        EXPECT_TRUE(file->problem().isEmpty());
        EXPECT_EQ(file->audioStream(), reference.audioStream());
        EXPECT_EQ(file->resolutionText(), reference.resolutionText());
        EXPECT_EQ(file->sizeText(), reference.sizeText());
        EXPECT_DOUBLE_EQ(file->duration(), reference.duration());
        EXPECT_EQ(file->thumbnail(), reference.thumbnail()) << "the thumbnail of file " << i;
    }
}

TEST_F(SourceProberTest, UnreadableFilesSayWhyInWords) {
    const QString text = dir_.path() + "/notes.mkv";
    QFile notes(text);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("shopping list, not a film");
    notes.close();
    const QString subtitles = CopyAs("subtitles_only.mks", "subtitles.mkv");
    const QString locked = CopyAs("h264_aac.mkv", "locked.mkv");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    const bool privileged = QFile(locked).open(QIODevice::ReadOnly);  // root reads anything

    SourceList list(manager_.get());
    SourceProber prober(list);
    prober.add(dir_.path() + "/gone.mkv");
    prober.add(text);
    prober.add(subtitles);
    prober.add(locked);
    ASSERT_TRUE(Settle(prober));
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.at(0)->problem(), "the file is missing");
    EXPECT_EQ(list.at(1)->problem(), "not a Matroska file, or a damaged one");
    EXPECT_EQ(list.at(2)->problem(), "no pictures or sound");
    if (!privileged) {
        EXPECT_EQ(list.at(3)->problem(), "there is no permission to read it");
    }
    EXPECT_EQ(list.countIn(SourceState::Unreadable), privileged ? 3 : 4);
    EXPECT_EQ(list.at(0)->fileName(), "gone.mkv") << "the row keeps naming the file";
}

TEST_F(SourceProberTest, ResultsForRemovedRecordsAreDropped) {
    SourceList list(manager_.get());
    // One reader: the later files wait their turn while the list changes.
    SourceProber prober(list, 1);
    QList<SourceFile*> read;
    QObject::connect(&prober, &SourceProber::sourceRead, [&](SourceFile* file) { read.append(file); });
    for (int i = 0; i < 6; ++i)
        prober.add(Media("h264_aac.mkv"));
    const uint64_t kept = list.at(3)->serial();
    list.removeAt(0);  // most likely being read right now
    list.removeAt(1);  // still queued
    list.removeAt(3);
    prober.forgetRemoved();
    // A record made now may take a removed one's address; the serial tells them apart.
    prober.add(Media("audio_only.mka"));

    ASSERT_TRUE(Settle(prober));
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(read.size(), 4);
    for (int i = 0; i < list.count(); ++i) {
        EXPECT_EQ(list.at(i)->state(), SourceState::Ready) << i;
        EXPECT_TRUE(read.contains(list.at(i))) << i;
    }
    EXPECT_EQ(list.at(1)->serial(), kept);
    EXPECT_EQ(list.at(3)->videoStream(), -1) << "the audio file got its own result";
}

TEST_F(SourceProberTest, AnAudioTrackChosenWhileReadingIsKeptWhenItIsOne) {
    SourceList list(manager_.get());
    SourceProber prober(list);
    SourceFile* second = prober.add(Media("two_audio_subs.mkv"));
    SourceFile* video = prober.add(Media("two_audio_subs.mkv"));
    EXPECT_TRUE(second->setAudioStream(2));
    EXPECT_EQ(second->audioStream(), 2) << "what a saved list shows before the file is read";
    EXPECT_TRUE(video->setAudioStream(0));
    ASSERT_TRUE(Settle(prober));
    EXPECT_EQ(second->audioStream(), 2);
    EXPECT_EQ(second->audioStreamChosenEarly(), 2);
    EXPECT_EQ(video->audioStream(), 1) << "stream 0 is the video: the file's first audio stream instead";
}

TEST_F(SourceProberTest, EndingWithReadsUnderWayIsSafe) {
    SourceList list(manager_.get());
    {
        SourceProber prober(list, 2);
        for (int i = 0; i < 20; ++i)
            prober.add(Media("h264_aac.mkv"));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
    }
    const int readingAtEnd = list.countIn(SourceState::Reading);
    EXPECT_GT(readingAtEnd, 0) << "the prober ended before its work did";
    // Results of reads that finished while it ended are not delivered afterwards.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(list.countIn(SourceState::Reading), readingAtEnd);
    EXPECT_EQ(list.countIn(SourceState::Ready), 20 - readingAtEnd);
}
