// What a run leaves on screen, as a user sees it: each row's outcome, the summary, the details,
// and the ways a run must not start or must stop cleanly.
#include <QLabel>
#include <csignal>

#include "main_window_fixture.h"
#include "quit_signals.h"

using namespace window_test;

namespace {

QLabel* OutcomeLine(QTaskWidget* row) {
    return row->findChild<QLabel*>("lblOutcome");
}

// Every file in folder, hidden temporary ones included.
QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

class RunOutcomeTest : public MainWindowTest {
protected:
    void StartRun() {
        QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
        ASSERT_TRUE(window_->isRunning());
        // Until a task has claimed its output, a stop would prove nothing.
        ASSERT_TRUE(WaitUntil([&] { return !FilesIn(outputFolder()).isEmpty(); }, 30000));
    }
    QString outputFolder() const { return dir_.path() + "/out"; }
};

}  // namespace

TEST_F(RunOutcomeTest, AMixedRunLeavesEachOutcomeAndASummaryInView) {
    const QString good = Copy("h264_aac.mkv", "Show.S01E01.1080p.mkv");
    const QString vanishing = Copy("h264_aac.mkv", "gone.mkv");
    ASSERT_TRUE(window_->addFiles({good, vanishing}));
    ASSERT_TRUE(WaitForReading());  // gone after it was read: the run finds it missing
    ASSERT_TRUE(QFile::remove(vanishing));

    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !window_->isRunning(); }, 120000)) << "the run did not end";

    QTaskWidget* finished = window_->taskRow(0);
    QTaskWidget* failed = window_->taskRow(1);
    ASSERT_TRUE(OutcomeLine(finished)->isVisible());
    ASSERT_TRUE(OutcomeLine(failed)->isVisible());
    const QString extension = AppContext::instance().profileManager()->outputSetting()->extension;
    EXPECT_EQ(finished->outcomeText(), "Finished: Show.S01E01.1080p" + extension);
    EXPECT_TRUE(OutcomeLine(finished)->text().contains("Show.S01E01.1080p")) << OutcomeLine(finished)->text().toStdString();
    EXPECT_EQ(failed->outcomeText(), "Failed: cannot read the source");
    EXPECT_TRUE(OutcomeLine(failed)->text().contains("Failed:"));
    EXPECT_EQ(window_->runSummaryText(), "Conversion ended: 1 finished, 1 failed");
    EXPECT_TRUE(window_->findChild<QLabel*>("lblRunSummary")->isVisible());

    // The output's name opens its folder; the failed row's details show the engine's words.
    emit OutcomeLine(finished)->linkActivated("open");
    ASSERT_EQ(seam_.opened.size(), 1);
    EXPECT_EQ(seam_.opened.first().toLocalFile(), outputFolder());
    emit OutcomeLine(failed)->linkActivated("details");
    ASSERT_EQ(seam_.shown.size(), 1);
    EXPECT_TRUE(seam_.shown.first().contains("source error: cannot open " + vanishing))
        << seam_.shown.first().toStdString();

    // The outcomes stay until the list changes.
    QTest::qWait(100);
    EXPECT_TRUE(OutcomeLine(failed)->isVisible());
    window_->addFiles({Copy("audio_only.mka", "more.mka")});
    EXPECT_FALSE(OutcomeLine(window_->taskRow(0))->isVisible());
    EXPECT_TRUE(window_->runSummaryText().isEmpty());
}

TEST_F(RunOutcomeTest, AnUnwritableOutputFolderNeverStartsARun) {
    QFile blocker(dir_.path() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AppContext::instance().settings()->setOutputFileDir(blocker.fileName() + "/out");
    window_->addFiles({Copy("h264_aac.mkv", "one.mkv")});

    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    EXPECT_FALSE(window_->isRunning());
    EXPECT_FALSE(window_->conversionRun().isActive());
    EXPECT_FALSE(ui().btnConvert->isChecked());
    ASSERT_EQ(seam_.asked.size(), 1);
    EXPECT_TRUE(seam_.asked.first().startsWith("Output folder: The output folder ")) << seam_.asked.first().toStdString();
    EXPECT_TRUE(seam_.asked.first().contains("cannot be created"));
}

TEST_F(RunOutcomeTest, QuittingMidRunAsksAndYesLeavesNoFile) {
    window_->addFiles({LongSource()});
    StartRun();

    seam_.answers = {QMessageBox::No};
    EXPECT_FALSE(window_->close());
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(window_->isRunning());
    EXPECT_TRUE(seam_.asked.last().startsWith("Quit: A conversion is running."));

    seam_.answers = {QMessageBox::Yes};
    EXPECT_TRUE(window_->close());
    EXPECT_FALSE(window_->isRunning());
    EXPECT_TRUE(FilesIn(outputFolder()).isEmpty()) << FilesIn(outputFolder()).join(',').toStdString();
    EXPECT_EQ(window_->taskRow(0)->outcomeText(), "Stopped");
}

TEST_F(RunOutcomeTest, SigtermStopsTheRunCleanly) {
    window_->addFiles({LongSource(), Copy("h264_aac.mkv", "second.mkv")});
    QuitSignals quitSignals;
    bool quitRequested = false;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, [&](int number) {
        EXPECT_EQ(number, SIGTERM);
        window_->stopForQuit();
        quitRequested = true;
    });
    StartRun();
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(WaitUntil([&] { return quitRequested; }, 10000));
    EXPECT_FALSE(window_->isRunning());
    EXPECT_TRUE(seam_.asked.isEmpty()) << "a signal is not asked about";
    EXPECT_TRUE(FilesIn(outputFolder()).isEmpty()) << FilesIn(outputFolder()).join(',').toStdString();
}
