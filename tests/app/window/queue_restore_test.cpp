// The list survives the program: saved as it changes, it comes back after a crash with each
// file as it was and the one that was converting marked interrupted.
#include <QLabel>

#include "main_window_fixture.h"
#include "queue_store.h"

using namespace window_test;

namespace {

using QueueRestoreTest = MainWindowTest;

}  // namespace

TEST_F(QueueRestoreTest, AListSavedMidRunComesBackWithTheConvertingFileInterrupted) {
    const QString store = dir_.path() + "/queue.json";
    window_->restoreQueue(store);
    EXPECT_EQ(window_->taskRowCount(), 0);
    AppContext::instance().settings()->setMaxTasksAtOnce(1);
    const QString first = Copy("audio_only.mka", "first.mka");
    const QString second = Copy("two_audio_subs.mkv", "second.mkv");
    window_->addFiles({first, LongSource(), second});
    ASSERT_EQ(window_->taskRowCount(), 3);
    window_->taskRow(2)->selectAudioStream(2);  // the second audio track
    emit window_->taskRow(2)->audioStreamChosen();

    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return window_->taskRow(0)->hasOutcome(); }, 60000));
    ASSERT_TRUE(window_->isRunning());
    // What a process killed now would leave behind.
    const QString killed = dir_.path() + "/queue-at-kill.json";
    ASSERT_TRUE(QFile::copy(store, killed));
    seam_.answers = {QMessageBox::Yes};
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    ASSERT_FALSE(window_->isRunning());

    // The next start.
    window_.reset();
    AppContext::instance().sourceList().clear();
    window_ = std::make_unique<DroppableWindow>(AppContext::instance(), std::make_unique<RecordingPowerOff>());
    window_->show();
    window_->restoreQueue(killed);
    ASSERT_EQ(window_->taskRowCount(), 3);
    EXPECT_EQ(window_->taskRow(0)->outcome().kind, OutcomeKind::Finished);
    EXPECT_TRUE(window_->taskRow(0)->outcomeText().startsWith("Finished: first"));
    EXPECT_TRUE(window_->taskRow(0)->findChild<QLabel*>("lblOutcome")->isVisible());
    EXPECT_EQ(window_->taskRow(1)->outcome().kind, OutcomeKind::Interrupted);
    EXPECT_TRUE(window_->taskRow(1)->findChild<QLabel*>("lblOutcome")->isVisible());
    EXPECT_FALSE(window_->taskRow(2)->hasOutcome()) << window_->taskRow(2)->outcomeText().toStdString();
    EXPECT_EQ(window_->taskRow(2)->source()->audioStream(), 2) << "the chosen track is kept";

    // Finished rows go in one action; the others stay as they are.
    window_->findChild<QAction*>("actClearFinished")->trigger();
    ASSERT_EQ(window_->taskRowCount(), 2);
    EXPECT_EQ(window_->taskRow(0)->outcome().kind, OutcomeKind::Interrupted);
    const QList<QueuedFile> saved = QueueStore(killed).load();
    ASSERT_EQ(saved.size(), 2) << "the store follows the list";
    EXPECT_EQ(saved[1].path, second);
}
