// The size range of constant-quality outputs from short samples: it holds what a real
// conversion makes, follows how hard the pictures are to encode, and the window's runner
// hands results back on the caller's thread and drops stale ones.
#include "quality_trial.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include "conversion_run.h"
#include "process_helpers.h"
#include "source_file.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

namespace {

// H.264 at a constant quality with AAC, in Matroska.
OutputSetting QualityMkv() {
    OutputSetting setting;
    setting.profileId = 1;
    setting.extension = ".mkv";
    setting.videoCodec = "H264";
    setting.videoBitrate = "1500";
    setting.videoFrameRate = "25";
    setting.videoResolution = "320*240";
    setting.audioCodec = "AAC ";
    setting.audioBitrate = "128";
    setting.audioSampleRate = "44100";
    setting.audioChannels = "2";
    setting.rateControl = "quality";
    setting.quality = 23;
    setting.speed = "fastest";
    return setting;
}

class QualityTrialTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_.reset(CreateMediaManager());
        ASSERT_TRUE(dir_.isValid());
        // A temporary folder of this process's own: trials of tests running beside this one
        // must not count as folders left behind.
        ASSERT_TRUE(temp_.isValid());
        savedTemp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp_.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("TMPDIR", savedTemp_); }

    // 10 s of the given lavfi picture source at 320x240, 25 fps, with a tone.
    QString Make(const QString& name, const QString& picture) {
        const QString path = dir_.filePath(name);
        const CommandResult r = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i " + ShellQuote(picture.toStdString()) +
            " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=10 -t 10 -c:v libx264 "
            "-preset ultrafast -qp 10 -c:a aac -ac 2 " + ShellQuote(path.toStdString()));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return path;
    }

    std::unique_ptr<SourceFile> Probe(const QString& path) {
        auto source = std::make_unique<SourceFile>(manager_.get());
        source->setWantsThumbnail(false);
        EXPECT_TRUE(source->probe(path));
        return source;
    }

    QTemporaryDir dir_;
    QTemporaryDir temp_;
    QByteArray savedTemp_;
    Owned<IMediaManager> manager_;
};

// Every folder the trials left in the temporary folder.
QStringList TrialFolders() {
    return QDir(QDir::tempPath()).entryList({"corvane-trial-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
}

}  // namespace

TEST(QualityTrialSpans, SamplesStayInsideTheFileAndApartAndShortFilesGetFewer) {
    const QList<TrialSpan> ten = trialSpans(10.0);
    ASSERT_EQ(ten.size(), 3);
    for (int i = 0; i < ten.size(); ++i) {
        EXPECT_EQ(ten[i].lengthMs, 2000);
        EXPECT_GE(ten[i].startMs, 0);
        EXPECT_LE(ten[i].startMs + ten[i].lengthMs, 10000);
        if (i > 0) {
            EXPECT_GE(ten[i].startMs, ten[i - 1].startMs + ten[i - 1].lengthMs) << "samples overlap";
        }
    }
    const QList<TrialSpan> six = trialSpans(6.0);
    ASSERT_EQ(six.size(), 1);
    EXPECT_EQ(six[0].startMs, 2000);
    // Too short for a sample of its own: all of it, however its duration was rounded.
    const QList<TrialSpan> short_ = trialSpans(1.5);
    ASSERT_EQ(short_.size(), 1);
    EXPECT_EQ(short_[0].startMs, 0);
    EXPECT_GE(short_[0].lengthMs, 1500);
    EXPECT_TRUE(trialSpans(0.0).isEmpty());
}

TEST_F(QualityTrialTest, TheRangeHoldsARealConversionAndFollowsThePictures) {
    const OutputSetting setting = QualityMkv();
    const QString noisy = Make("noisy.mkv", "testsrc2=size=320x240:rate=25:duration=10,noise=alls=40:allf=t");
    const QString flat = Make("flat.mkv", "color=c=0x3060a0:size=320x240:rate=25:duration=10");
    const QStringList before = TrialFolders();

    auto noisySource = Probe(noisy);
    ASSERT_TRUE(wantsQualityTrial(*noisySource, setting));
    const std::atomic<bool> goOn{false};
    const QualityTrialResult noisyRange = runQualityTrial(manager_.get(), *noisySource, setting, goOn);
    ASSERT_TRUE(noisyRange.known) << noisyRange.problem.toStdString();
    EXPECT_EQ(noisyRange.samples, 3);
    EXPECT_GT(noisyRange.lowBytes, 0);
    EXPECT_LE(noisyRange.lowBytes, noisyRange.highBytes);
    EXPECT_EQ(TrialFolders(), before) << "the samples' folder is left behind";

    // The whole file with the same setting.
    SourceList list(manager_.get());
    ASSERT_GE(list.add(noisy), 0);
    list.at(0)->setWantsThumbnail(false);
    const QString out = dir_.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    ConversionRun run(manager_.get());
    ASSERT_TRUE(run.start(list, setting, out, 1));
    QElapsedTimer clock;
    clock.start();
    while (run.unfinishedCount() > 0 && clock.elapsed() < 120000)
        run.waitForChange(100);
    ASSERT_EQ(run.task(0)->state.load(), TaskFinished) << run.taskLog(0).toStdString();
    const qint64 real = QFileInfo(run.targetPath(0)).size();
    run.finish();
    EXPECT_GE(real, noisyRange.lowBytes);
    EXPECT_LE(real, noisyRange.highBytes);
    // Honest, and still a range that says something.
    EXPECT_LT(noisyRange.highBytes, 2 * noisyRange.lowBytes);

    auto flatSource = Probe(flat);
    const QualityTrialResult flatRange = runQualityTrial(manager_.get(), *flatSource, setting, goOn);
    ASSERT_TRUE(flatRange.known) << flatRange.problem.toStdString();
    EXPECT_LT(flatRange.highBytes, noisyRange.lowBytes);

    // A cancelled trial says nothing and leaves nothing.
    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(runQualityTrial(manager_.get(), *flatSource, setting, cancelled).known);
    EXPECT_EQ(TrialFolders(), before);

    // A bit-rate setting needs no trial: its rate tells the size.
    OutputSetting byRate = setting;
    byRate.rateControl = "bitrate";
    EXPECT_FALSE(wantsQualityTrial(*flatSource, byRate));
}

TEST(QualityTrialText, TheRangeIsRoundedOutwardsInOneUnit) {
    QualityTrialResult result;
    EXPECT_EQ(trialSizeText(result), trialPendingText());
    result.known = true;
    result.lowBytes = qint64(120.6 * 1024 * 1024);
    result.highBytes = qint64(180.2 * 1024 * 1024);
    EXPECT_EQ(trialSizeText(result), QString::fromUtf8("about 120–181 MB"));
    result.lowBytes = 900 * 1024;
    result.highBytes = qint64(1.53 * 1024 * 1024);
    EXPECT_EQ(trialSizeText(result), QString::fromUtf8("about 0.8–1.6 MB"));
}

TEST_F(QualityTrialTest, ANewRequestForAFileReplacesTheTrialUnderWay) {
    auto source = Probe(Make("busy.mkv", "testsrc2=size=320x240:rate=25:duration=10"));
    QualityTrialRunner runner(manager_.get());
    QList<QualityTrialResult> results;
    QObject::connect(&runner, &QualityTrialRunner::trialDone,
                     [&](quint64, quint64, QualityTrialResult result) { results.append(result); });
    const auto settle = [&runner, &results](int count) {
        QElapsedTimer clock;
        clock.start();
        while ((!runner.idle() || results.size() < count) && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
    };
    OutputSetting coarse = QualityMkv();
    coarse.quality = 45;
    // The first starts at once; the file's new choice arrives while it runs.
    runner.request(*source, QualityMkv());
    runner.request(*source, coarse);
    settle(1);
    ASSERT_EQ(results.size(), 1) << "the earlier choice's trial answered too";
    ASSERT_TRUE(results[0].known) << results[0].problem.toStdString();

    runner.request(*source, QualityMkv());
    settle(2);
    ASSERT_EQ(results.size(), 2);
    ASSERT_TRUE(results[1].known) << results[1].problem.toStdString();
    EXPECT_LT(results[0].highBytes, results[1].lowBytes) << "the answer measured quality 45, not 23";
}

TEST_F(QualityTrialTest, TheRunnerAnswersOnTheCallersThreadAndAClearedRequestNever) {
    const QString flat = Make("flat.mkv", "color=c=gray:size=320x240:rate=25:duration=10");
    auto source = Probe(flat);
    QualityTrialRunner runner(manager_.get());
    QList<QualityTrialResult> results;
    bool offThread = false;
    quint64 answeredGeneration = 99;
    QObject::connect(&runner, &QualityTrialRunner::trialDone,
                     [&](quint64 serial, quint64 generation, QualityTrialResult result) {
                         offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
                         EXPECT_EQ(serial, source->serial());
                         answeredGeneration = generation;
                         results.append(result);
                     });
    // Asked, then cleared at once: nothing comes back for it.
    runner.request(*source, QualityMkv());
    runner.clear();
    runner.request(*source, QualityMkv());
    QElapsedTimer clock;
    clock.start();
    while ((!runner.idle() || results.isEmpty()) && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    ASSERT_EQ(results.size(), 1);
    EXPECT_FALSE(offThread);
    EXPECT_EQ(answeredGeneration, runner.generation());
    EXPECT_TRUE(results[0].known) << results[0].problem.toStdString();
}
