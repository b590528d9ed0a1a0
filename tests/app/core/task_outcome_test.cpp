// Why a task ended, read from the engine's own log for that task, and the output folder check
// that keeps a run from starting into a folder it cannot write.
#include "task_outcome.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "conversion_run.h"
#include "engine_test_support.h"
#include "output_folder.h"
#include "source_file.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

namespace {

OutputSetting Mp2Audio(const char* kbits) {
    OutputSetting setting;
    setting.profileId = 1;
    setting.extension = ".mp2";
    setting.audioCodec = "MP2A";
    setting.audioBitrate = kbits;
    setting.audioSampleRate = "48000";
    setting.audioChannels = "2";
    return setting;
}

class TaskOutcomeRun : public ::testing::Test {
protected:
    void SetUp() override {
        manager_.reset(CreateMediaManager());
        ASSERT_NE(manager_, nullptr);
        output_ = dir_.path() + "/out";
        ASSERT_TRUE(QDir().mkpath(output_));
    }
    QString Copy(const QString& name) {
        const QString path = dir_.path() + "/" + name;
        EXPECT_TRUE(QFile::copy(QString::fromStdString(TestMedia("h264_aac.mkv")), path));
        return path;
    }
    void WaitForEnd(const ConversionRun& run) {
        QElapsedTimer clock;
        clock.start();
        while (run.unfinishedCount() > 0) {
            ASSERT_LT(clock.elapsed(), 120000);
            QThread::msleep(20);
        }
    }
    TaskOutcome OutcomeOf(const ConversionRun& run, int index) {
        return taskOutcome(run.task(index)->state.load(), run.taskLog(index), false);
    }
    QTemporaryDir dir_;
    QString output_;
    Owned<IMediaManager> manager_;
};

}  // namespace

TEST_F(TaskOutcomeRun, EachTaskKeepsItsOwnReason) {
    SourceList sources(manager_.get());
    ASSERT_EQ(sources.add(Copy("good.mkv")), 0);
    const QString vanishing = Copy("gone.mkv");
    ASSERT_EQ(sources.add(vanishing), 1);
    ASSERT_TRUE(QFile::remove(vanishing));

    ConversionRun run(manager_.get());
    ASSERT_TRUE(run.start(sources, Mp2Audio("128"), output_, 2));
    WaitForEnd(run);

    const TaskOutcome good = OutcomeOf(run, 0);
    EXPECT_EQ(good.kind, OutcomeKind::Finished);
    EXPECT_TRUE(good.reason.isEmpty()) << good.reason.toStdString();
    EXPECT_FALSE(run.taskLog(0).contains("gone.mkv")) << "another task's lines: " << run.taskLog(0).toStdString();

    const TaskOutcome gone = OutcomeOf(run, 1);
    EXPECT_EQ(gone.kind, OutcomeKind::Failed);
    EXPECT_EQ(gone.reason, "cannot read the source");
    EXPECT_TRUE(run.taskLog(1).contains(vanishing)) << run.taskLog(1).toStdString();
}

TEST_F(TaskOutcomeRun, ARefusedBitRateIsNamedWithItsFormat) {
    SourceList sources(manager_.get());
    ASSERT_EQ(sources.add(Copy("loud.mkv")), 0);
    ConversionRun run(manager_.get());
    ASSERT_TRUE(run.start(sources, Mp2Audio("1000"), output_, 1));
    WaitForEnd(run);
    const TaskOutcome outcome = OutcomeOf(run, 0);
    EXPECT_EQ(outcome.kind, OutcomeKind::Failed);
    EXPECT_TRUE(outcome.reason.startsWith("the encoder refused 1000 kbit/s")) << outcome.reason.toStdString();
    EXPECT_TRUE(outcome.reason.endsWith("for MP2")) << outcome.reason.toStdString();
    EXPECT_TRUE(QDir(output_).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "no file is left";
}

TEST(TaskOutcome, StoppedEarlyEndAndUnknownFailures) {
    EXPECT_EQ(taskOutcome(TaskRunning, {}, true).kind, OutcomeKind::Stopped);
    EXPECT_EQ(taskOutcome(TaskWaiting, {}, true).kind, OutcomeKind::Stopped);
    EXPECT_EQ(taskOutcome(TaskRunning, {}, false).kind, OutcomeKind::Pending);
    EXPECT_EQ(taskOutcome(TaskFailed, "source error: cannot open /a.mkv (66)\n", true).kind, OutcomeKind::Stopped)
        << "a stopped worker ends as failed in the engine";
    EXPECT_EQ(taskOutcome(TaskFinished, "output renamed: /o/a(1).mp4 (64)\n", true).kind, OutcomeKind::Finished)
        << "an ended task keeps its outcome when the run is stopped afterwards";

    // The engine's early-end line, as the converter writes it for a cut source.
    const TaskOutcome early = taskOutcome(
        TaskFinished, "[mov @ 0x1] moov atom not found (ffmpeg)\nsource ended early at 0:00:00.4 of 0:00:05.0: /o/a.mp4 (65)\n",
        false);
    EXPECT_EQ(early.kind, OutcomeKind::FinishedEarly);
    EXPECT_EQ(early.reason.toStdString(), "source ended early at 0:00:00.4 of 0:00:05.0");

    EXPECT_EQ(failureReason("[mp2 @ 0x2] something odd (ffmpeg)\n"), "the conversion failed (see the details)");
    EXPECT_EQ(failureReason("output error: disk full: /o/a.mp4 (63)\nsource error: reading failed in /a (68)\n"),
              "disk full")
        << "the first cause wins over what followed from it";
    EXPECT_EQ(failureReason("output error: cannot write /o/a.mp4 (Input/output error) (63)\n"),
              "cannot write the output: Input/output error");
    EXPECT_EQ(failureReason("[libx264 @ 0x3] broken (ffmpeg)\n"
                            "video encoding error: the libx264 encoder failed: /o/a.mp4 (63)\n"),
              "the video encoder failed partway through")
        << "the encoder's own line names no cause the program knows";
}

TEST(TaskOutcome, SummaryNamesOnlyWhatHappened) {
    EXPECT_EQ(outcomeSummary(3, 1, 0), "3 finished, 1 failed");
    EXPECT_EQ(outcomeSummary(0, 0, 2), "2 stopped");
    EXPECT_EQ(outcomeSummary(1, 1, 1), "1 finished, 1 failed, 1 stopped");
    EXPECT_EQ(outcomeSummary(0, 0, 0), "");
}

TEST(OutputFolder, IsMadeWhenMissingAndRefusedWhenItCannotBe) {
    QTemporaryDir dir;
    QString reason;
    const QString nested = dir.path() + "/new/deeper";
    EXPECT_TRUE(prepareOutputFolder(nested, &reason)) << reason.toStdString();
    EXPECT_TRUE(QFileInfo(nested).isDir());
    EXPECT_TRUE(QDir(nested).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "the write check cleans up";

    QFile file(dir.path() + "/plain");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(prepareOutputFolder(file.fileName(), &reason));
    EXPECT_TRUE(reason.contains("is a file")) << reason.toStdString();
    EXPECT_FALSE(prepareOutputFolder(file.fileName() + "/below", &reason));
    EXPECT_TRUE(reason.contains("cannot be created")) << reason.toStdString();
    EXPECT_FALSE(prepareOutputFolder("  ", &reason));
}

TEST(OutputFolder, AReadOnlyFolderIsNotWritable) {
    // Permission bits do not stop root, which CI runs as; /proc is read-only for everyone.
    QString reason;
    EXPECT_FALSE(prepareOutputFolder("/proc", &reason));
    EXPECT_TRUE(reason.contains("not writable")) << reason.toStdString();
}
