#include "conversion_run.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "catalogue_fixture.h"
#include "engine_test_support.h"
#include "output_namer.h"
#include "process_helpers.h"
#include "source_file.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

namespace {

void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

// 640x360 H.264 + AAC to a 320x180 MPEG-4 + MP2 AVI: quick to encode.
OutputSetting SmallAvi() {
    OutputSetting setting;
    setting.profileId = 1;
    setting.extension = ".avi";
    setting.videoCodec = "MP4V";
    setting.videoBitrate = "500";
    setting.videoFrameRate = "25";
    setting.videoResolution = "320*180";
    setting.audioCodec = "MP2A";
    setting.audioBitrate = "128";
    setting.audioSampleRate = "44100";
    setting.audioChannels = "2";
    return setting;
}

}  // namespace

TEST(OutputNamer, NeverReusesANameOrOverwritesAFile) {
    QTemporaryDir dir;
    OutputNamer namer(dir.path());
    EXPECT_EQ(namer.makeTargetPath("movie", ".mp4"), dir.path() + "/movie.mp4");
    EXPECT_EQ(namer.makeTargetPath("movie", ".mp4"), dir.path() + "/movie(1).mp4");
    EXPECT_EQ(namer.makeTargetPath("movie", ".mkv"), dir.path() + "/movie.mkv");

    Touch(dir.path() + "/film.mp4");
    Touch(dir.path() + "/film(1).mp4");
    OutputNamer second(dir.path() + "/");
    EXPECT_EQ(second.makeTargetPath("film", ".mp4"), dir.path() + "/film(2).mp4");
    EXPECT_EQ(second.makeTargetPath("Film", ".mp4"), dir.path() + "/Film.mp4") << "case-sensitive names";
}

class ConversionRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_.reset(CreateMediaManager());
        ASSERT_TRUE(QDir().mkpath(dir_.path() + "/a") && QDir().mkpath(dir_.path() + "/b"));
        output_ = dir_.path() + "/out";
        QDir().mkpath(output_);
    }
    QString Copy(const QString& name) {
        const QString path = dir_.path() + "/" + name;
        EXPECT_TRUE(QFile::copy(QString::fromStdString(TestMedia("h264_aac.mkv")), path));
        return path;
    }
    QTemporaryDir dir_;
    QString output_;
    Owned<IMediaManager> manager_;
};

TEST_F(ConversionRunTest, ConvertsEverySourceUnderAUniqueName) {
    SourceList sources(manager_.get());
    ASSERT_EQ(sources.add(Copy("a/movie.mkv")), 0);
    ASSERT_EQ(sources.add(Copy("b/movie.mkv")), 1);
    Touch(output_ + "/movie.avi");

    ConversionRun run(manager_.get());
    ASSERT_TRUE(run.start(sources, SmallAvi(), output_, 2));
    ASSERT_EQ(run.taskCount(), 2);
    EXPECT_EQ(run.targetPath(0), output_ + "/movie(1).avi");
    EXPECT_EQ(run.targetPath(1), output_ + "/movie(2).avi");
    EXPECT_EQ(run.sourceIndex(1), 1);

    QElapsedTimer clock;
    clock.start();
    while (run.unfinishedCount() > 0) {
        ASSERT_LT(clock.elapsed(), 120000);
        QThread::msleep(20);
    }
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(run.task(i)->state.load(), TaskFinished);
        const std::string target = run.targetPath(i).toStdString();
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
        EXPECT_EQ(ProbeValue(target, "v:0", "stream=width,height"), "320\n180");
        EXPECT_EQ(ProbeValue(target, "a:0", "stream=codec_name"), "mp2");
    }
    EXPECT_EQ(QFileInfo(output_ + "/movie.avi").size(), 0) << "the existing file is untouched";
    run.finish();
    EXPECT_FALSE(run.isActive());
}

TEST_F(ConversionRunTest, StopEndsTheRunAndANewRunStartsFresh) {
    SourceList sources(manager_.get());
    ASSERT_EQ(sources.add(Copy("movie.mkv")), 0);
    ConversionRun run(manager_.get());
    ASSERT_TRUE(run.start(sources, SmallAvi(), output_, 1));
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(output_ + "/movie.avi") && clock.elapsed() < 30000)
        QThread::msleep(5);
    run.stop();
    EXPECT_TRUE(QFile::exists(output_ + "/movie.avi"));
    EXPECT_FALSE(run.isActive());
    EXPECT_EQ(run.task(0), nullptr);
    EXPECT_EQ(run.taskCount(), 0);

    ASSERT_TRUE(run.start(sources, SmallAvi(), output_, 1));
    EXPECT_EQ(run.taskCount(), 1);
    EXPECT_NE(run.targetPath(0), output_ + "/movie.avi") << "the stopped run's output is kept";
}

// The window's run: tasks appended while it runs convert in it; a waiting task taken out is
// never converted, and every later task keeps its own source and output.
TEST_F(ConversionRunTest, TasksJoinAndLeaveWhileTheRunGoes) {
    SourceList sources(manager_.get());
    for (const char* name : {"first.mkv", "second.mkv", "third.mkv", "fourth.mkv"})
        ASSERT_GE(sources.add(Copy(name)), 0);
    SourceFile reading(manager_.get());
    reading.expectNative(QFile::encodeName(Copy("later.mkv")));

    ConversionRun run(manager_.get());
    ASSERT_TRUE(run.prepare(SmallAvi(), output_, 1));
    EXPECT_EQ(run.append(*sources.at(0), 0), 0);
    EXPECT_EQ(run.append(*sources.at(1), 1), 1);
    EXPECT_EQ(run.append(*sources.at(2), 2), 2);
    EXPECT_EQ(run.append(reading), -1) << "a file still being read has no task yet";
    run.launch();

    QElapsedTimer clock;
    clock.start();
    while (run.task(0)->state.load() == TaskWaiting && clock.elapsed() < 30000)
        QThread::msleep(5);
    EXPECT_FALSE(run.removeWaiting(0)) << "the running task stays";
    ASSERT_TRUE(run.removeWaiting(1));
    ASSERT_EQ(run.taskCount(), 2);
    EXPECT_EQ(run.source(1), sources.at(2));
    EXPECT_EQ(run.sourceIndex(1), 2);
    EXPECT_EQ(run.targetPath(1), output_ + "/third.avi");
    EXPECT_EQ(run.taskOf(sources.at(1)), -1);
    EXPECT_EQ(run.append(*sources.at(3), 3), 2);
    EXPECT_EQ(run.taskOf(sources.at(3)), 2);

    while (run.unfinishedCount() > 0) {
        ASSERT_LT(clock.elapsed(), 120000);
        QThread::msleep(20);
    }
    for (int t = 0; t < run.taskCount(); ++t)
        EXPECT_EQ(run.task(t)->state.load(), TaskFinished) << t;
    QStringList outputs = QDir(output_).entryList(QDir::Files);
    outputs.sort();
    EXPECT_EQ(outputs, (QStringList{"first.avi", "fourth.avi", "third.avi"}));
}
