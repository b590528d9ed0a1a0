// The list survives the program: saved as it changes, it comes back after a crash with each
// file as it was and the one that was converting marked interrupted.
#include <signal.h>
#include <unistd.h>

#include <QLabel>
#include <QProcess>
#include <cstdio>

#include "main_window_fixture.h"
#include "queue_store.h"

using namespace window_test;

namespace {

using QueueRestoreTest = MainWindowTest;

const char kChildQueue[] = "CORVANE_CHILD_QUEUE";
const char kChildFolder[] = "CORVANE_CHILD_FOLDER";

}  // namespace

// Run only as the child of the test below, which kills it mid-run.
TEST_F(QueueRestoreTest, DISABLED_ChildStartsARunAndWaitsToBeKilled) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty(kChildQueue));
    window_->restoreQueue(qEnvironmentVariable(kChildQueue));
    AppContext::instance().settings()->setMaxTasksAtOnce(1);
    const QString folder = qEnvironmentVariable(kChildFolder);
    window_->addFiles({folder + "/first.mka", folder + "/long.mkv", folder + "/second.mkv"});
    ASSERT_TRUE(WaitForReading());
    ASSERT_EQ(window_->taskRowCount(), 3);
    window_->taskRow(2)->toggleAudioStream(1);  // English off: the German track alone
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return window_->taskRow(0)->hasOutcome(); }, 60000));
    ASSERT_TRUE(window_->isRunning());
    std::printf("\nconverting\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

TEST_F(QueueRestoreTest, AListKilledMidRunComesBackWithTheConvertingFileInterrupted) {
    const QString store = dir_.path() + "/queue.json";
    const QString first = Copy("audio_only.mka", "first.mka");
    LongSource();
    const QString second = Copy("two_audio_subs.mkv", "second.mkv");

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildQueue, store);
    environment.insert(kChildFolder, dir_.path());
    environment.insert("TMPDIR", dir_.path());  // what the killed child leaves goes with us
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=QueueRestoreTest.DISABLED_ChildStartsARunAndWaitsToBeKilled"});
    ASSERT_TRUE(child.waitForStarted(10000));
    QByteArray said;
    QElapsedTimer clock;
    clock.start();
    while (!said.contains("\nconverting\n") && child.state() == QProcess::Running && clock.elapsed() < 120000) {
        child.waitForReadyRead(100);
        said += child.readAllStandardOutput();
    }
    ASSERT_TRUE(said.contains("\nconverting\n")) << said.toStdString() << child.readAllStandardError().toStdString();
    // A process id of 0 would signal the whole process group, this test included.
    const auto pid = static_cast<pid_t>(child.processId());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(child.waitForFinished(10000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);

    // The next start.
    RestartWithQueue(store);
    ASSERT_EQ(window_->taskRowCount(), 3);
    EXPECT_EQ(window_->taskRow(0)->outcome().kind, OutcomeKind::Finished);
    EXPECT_TRUE(window_->taskRow(0)->outcomeText().startsWith("Finished: first"));
    EXPECT_TRUE(window_->taskRow(0)->findChild<QLabel*>("lblOutcome")->isVisible());
    EXPECT_EQ(window_->taskRow(1)->outcome().kind, OutcomeKind::Interrupted);
    EXPECT_TRUE(window_->taskRow(1)->findChild<QLabel*>("lblOutcome")->isVisible());
    EXPECT_FALSE(window_->taskRow(2)->hasOutcome()) << window_->taskRow(2)->outcomeText().toStdString();
    ASSERT_TRUE(WaitForReading());
    EXPECT_EQ(window_->taskRow(2)->source()->planChoices().audio, QList<int>{2}) << "the chosen track is kept";

    // Finished rows go in one action; the others stay as they are.
    window_->findChild<QAction*>("actClearFinished")->trigger();
    ASSERT_EQ(window_->taskRowCount(), 2);
    EXPECT_EQ(window_->taskRow(0)->outcome().kind, OutcomeKind::Interrupted);
    const QList<QueuedFile> saved = QueueStore(store).load();
    ASSERT_EQ(saved.size(), 2) << "the store follows the list";
    EXPECT_EQ(saved[1].path, second);
}
