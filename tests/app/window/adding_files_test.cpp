// Adding files never stalls the window: rows show at once and fill in as their files are
// read on worker threads. Files that cannot be read keep a row saying why and are never
// converted; files added during a run join it, and waiting rows can leave it.
#include <unistd.h>

#include <QLabel>
#include <QTimer>
#include <limits>

#include "main_window_fixture.h"

using namespace window_test;

namespace {

QString InfoText(QTaskWidget* row) {
    return row->findChild<QLabel*>("lblInfo")->text();
}

QPushButton* RemoveButton(QTaskWidget* row) {
    return row->findChild<QPushButton*>("btnDel");
}

QStringList OutputsIn(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

class AddingFilesTest : public MainWindowTest {
protected:
    QString outputFolder() const { return dir_.path() + "/out"; }

    QString NotMedia(const QString& name) {
        const QString path = dir_.path() + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("a shopping list, not a film");
        return path;
    }
};

}  // namespace

TEST_F(AddingFilesTest, TwoHundredFilesNeverStallTheWindow) {
    const QString original = dir_.path() + "/clip.mkv";
    const CommandResult made = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x180:rate=25:duration=2 "
        "-f lavfi -i sine=frequency=440:duration=2 -c:v libx264 -preset ultrafast -g 50 -c:a aac -ac 2 " +
        ShellQuote(original.toStdString()));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    constexpr int kFiles = 200;
    QList<QUrl> urls;
    ASSERT_TRUE(QDir().mkpath(dir_.path() + "/many"));
    for (int i = 0; i < kFiles; ++i) {
        const QString copy = dir_.path() + QStringLiteral("/many/clip %1.mkv").arg(i, 3, 10, QChar('0'));
        ASSERT_EQ(::link(QFile::encodeName(original).constData(), QFile::encodeName(copy).constData()), 0);
        urls.append(QUrl::fromLocalFile(copy));
    }

#ifdef CORVANE_SANITIZED
    // The sanitizers make every instruction several times slower; the promise is the real build's.
    constexpr qint64 kLongestAllowedGap = 1000;
#else
    constexpr qint64 kLongestAllowedGap = 100;
#endif
    // The window's thread answers a 10 ms timer throughout; the longest wait between two
    // ticks is how long the window was frozen. On a shared machine another process can take
    // the processor for a while, so the list is added up to three times and the best of them
    // counts: a window that reads files itself stalls for seconds every time.
    qint64 bestGap = std::numeric_limits<qint64>::max();
    for (int attempt = 0; attempt < 3 && bestGap >= kLongestAllowedGap; ++attempt) {
        if (attempt > 0) {
            ui().actClearTasks->trigger();
            ASSERT_EQ(window_->taskRowCount(), 0);
        }
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, sinceTick.restart());
        });
        ticker.start();
        sinceTick.start();

        Drop(urls);
        EXPECT_GT(window_->taskRowCount(), 0) << "rows show at once";
        EXPECT_EQ(InfoText(window_->taskRow(0)), "Reading…");
        EXPECT_TRUE(window_->isReadingFiles());
        ASSERT_TRUE(WaitForReading(120000)) << "the files were not all read";
        ticker.stop();
        longestGap = std::max(longestGap, sinceTick.elapsed());
        bestGap = std::min(bestGap, longestGap);
    }

    RecordProperty("longest_gap_ms", static_cast<int>(bestGap));
    EXPECT_LT(bestGap, kLongestAllowedGap) << "the window did not answer for " << bestGap << " ms";
    ASSERT_EQ(window_->taskRowCount(), kFiles);
    const QString info = QStringLiteral("320*180 ") + formatSize(QFileInfo(original).size());
    for (int i = 0; i < kFiles; ++i) {
        QTaskWidget* row = window_->taskRow(i);
        ASSERT_EQ(row->source()->state(), SourceState::Ready) << i;
        EXPECT_EQ(InfoText(row), info) << i;
        EXPECT_EQ(row->source()->fileName(), QStringLiteral("clip %1.mkv").arg(i, 3, 10, QChar('0')));
    }
}

TEST_F(AddingFilesTest, AnUnreadableFileKeepsItsRowWithTheReasonAndIsSkipped) {
    const QString good = Copy("h264_aac.mkv", "good.mkv");
    const QString junk = NotMedia("junk.mkv");
    const QString gone = dir_.path() + "/gone.mkv";
    const QString subtitles = Copy("subtitles_only.mks", "subtitles.mkv");
    ASSERT_TRUE(window_->addFiles({junk, good, gone, subtitles}));
    ASSERT_GT(window_->taskRowCount(), 0) << "rows show at once";

    // Convert before the files are read: the run starts and takes each file once it is read.
    ASSERT_TRUE(window_->isReadingFiles());
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    ASSERT_TRUE(window_->isRunning());
    ASSERT_TRUE(WaitUntil([&] { return !window_->isRunning(); }, 120000)) << "the run did not end";
    ASSERT_TRUE(WaitForReading());
    ASSERT_EQ(window_->taskRowCount(), 4);

    EXPECT_EQ(InfoText(window_->taskRow(0)), "Cannot read this file: not a Matroska file, or a damaged one");
    EXPECT_EQ(InfoText(window_->taskRow(2)), "Cannot read this file: the file is missing");
    EXPECT_EQ(InfoText(window_->taskRow(3)), "Cannot read this file: no pictures or sound");
    for (int i : {0, 2, 3})
        EXPECT_FALSE(window_->taskRow(i)->hasOutcome()) << i << " was never converted";
    const QString extension = AppContext::instance().profileManager()->outputSetting()->extension;
    EXPECT_EQ(window_->taskRow(1)->outcomeText(), "Finished: good" + extension);
    EXPECT_EQ(OutputsIn(outputFolder()), QStringList{"good" + extension});
    EXPECT_EQ(window_->runSummaryText(), "Conversion ended: 1 finished");

    // It can be removed like any row.
    QTest::mouseClick(RemoveButton(window_->taskRow(0)), Qt::LeftButton);
    ASSERT_EQ(window_->taskRowCount(), 3);
    EXPECT_EQ(window_->taskRow(0)->source()->fileName(), "good.mkv");

    // A list of unreadable files only has nothing to convert.
    ui().actClearTasks->trigger();
    window_->addFiles({junk});
    ASSERT_TRUE(WaitForReading());
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    EXPECT_FALSE(window_->isRunning());
    EXPECT_TRUE(seam_.asked.last().startsWith("Hint: None of these files can be read")) << seam_.asked.last().toStdString();
}

TEST_F(AddingFilesTest, FilesJoinAndWaitingFilesLeaveARunningConversion) {
    AppContext::instance().settings()->setMaxTasksAtOnce(1);
    const QString extension = AppContext::instance().profileManager()->outputSetting()->extension;
    window_->addFiles({LongSource(), Copy("h264_aac.mkv", "waiting.mkv"), Copy("audio_only.mka", "kept.mka")});
    QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
    ASSERT_TRUE(window_->isRunning());
    // The first file converts; the others wait their turn.
    ASSERT_TRUE(WaitUntil([&] { return window_->taskRow(0)->statusText() != "Wait"; }, 30000));
    ASSERT_TRUE(window_->isRunning()) << "the long file should still be converting";

    QTaskWidget* running = window_->taskRow(0);
    QTaskWidget* kept = window_->taskRow(2);
    EXPECT_FALSE(RemoveButton(running)->isEnabled()) << "a converting file stays in the run";
    QTest::mouseClick(RemoveButton(running), Qt::LeftButton);
    EXPECT_EQ(window_->taskRowCount(), 3);
    ASSERT_TRUE(RemoveButton(window_->taskRow(1))->isEnabled());
    QTest::mouseClick(RemoveButton(window_->taskRow(1)), Qt::LeftButton);
    ASSERT_EQ(window_->taskRowCount(), 2);
    EXPECT_EQ(window_->taskRow(0), running);
    EXPECT_EQ(window_->taskRow(1), kept);

    // Added as the run goes: a row at once, converted in this run.
    ASSERT_TRUE(ui().btnAddFile->isEnabled());
    ASSERT_TRUE(window_->addFiles({Copy("h264_aac.mkv", "added.mkv")}));
    ASSERT_EQ(window_->taskRowCount(), 3);
    EXPECT_EQ(window_->taskRow(2)->source()->fileName(), "added.mkv");
    EXPECT_TRUE(window_->isRunning());

    ASSERT_TRUE(WaitUntil([&] { return !window_->isRunning(); }, 300000)) << "the run did not end";
    EXPECT_EQ(window_->taskRow(0)->outcomeText(), "Finished: long" + extension);
    EXPECT_TRUE(window_->taskRow(1)->outcomeText().startsWith("Finished: kept"));
    EXPECT_EQ(window_->taskRow(2)->outcomeText(), "Finished: added" + extension);
    const QStringList outputs = OutputsIn(outputFolder());
    EXPECT_EQ(outputs.size(), 3) << outputs.join(',').toStdString();
    EXPECT_FALSE(outputs.join(',').contains("waiting")) << "the removed file was converted";
    EXPECT_EQ(window_->runSummaryText(), "Conversion ended: 3 finished");
    EXPECT_TRUE(RemoveButton(window_->taskRow(0))->isEnabled()) << "after the run every row can go";
}
