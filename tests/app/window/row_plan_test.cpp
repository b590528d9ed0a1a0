// Each row shows what its conversion does with every stream, and which audio tracks it keeps
// is the user's choice: the output holds exactly those, and a restored list keeps them.
#include <QAbstractItemView>
#include <QLabel>

#include "ProfileWidget.h"
#include "main_window_fixture.h"
#include "output_setting.h"
#include "profile_manager.h"
#include "queue_store.h"
#include "source_file.h"

using namespace window_test;

namespace {

constexpr int kSameAsSource = 1007;  // MP4, streams that fit are copied
constexpr int kH264Mp4 = 1507;       // MP4 for messaging apps: copies nothing, video encoded

class RowPlanTest : public MainWindowTest {
protected:
    // As a click on a profile's tile does it.
    void ChooseProfile(int id) {
        auto* page = window_->findChild<ProfileWidget*>();
        ASSERT_NE(page, nullptr);
        emit page->profileIdChanged(id);
        ASSERT_EQ(AppContext::instance().profileManager()->outputSetting()->profileId, id);
    }

    static QLabel* PlanLine(QTaskWidget* row) { return row->findChild<QLabel*>("lblPlan"); }
    static QComboBox* Chooser(QTaskWidget* row) { return row->findChild<QComboBox*>("cbxAudioIndex"); }

    // A click on an entry of the chooser's open list.
    static void ClickEntry(QComboBox* chooser, int entry) {
        chooser->showPopup();
        QAbstractItemView* list = chooser->view();
        // The list ignores a release that comes right after it opened (a press that opened it).
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        const QPoint centre = list->visualRect(chooser->model()->index(entry, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    }

    // Converts the list and answers the first row's output's audio languages, in order.
    QString ConvertedAudioLanguages() {
        QTest::mouseClick(ui().btnConvert, Qt::LeftButton);
        EXPECT_TRUE(WaitUntil([&] { return !window_->isRunning(); }, 120000)) << "the run did not end";
        QTaskWidget* row = window_->taskRow(0);
        EXPECT_EQ(row->outcome().kind, OutcomeKind::Finished) << row->outcomeText().toStdString();
        return QString::fromStdString(
                   ProbeValue(row->outcomeTarget().toStdString(), "a", "stream_tags=language"))
            .split('\n', Qt::SkipEmptyParts)
            .join(',');
    }
};

TEST_F(RowPlanTest, TheRowShowsItsPlanAndFollowsTheProfile) {
    ChooseProfile(kSameAsSource);
    const QString film = Copy("film.mkv", "film.mkv");
    ASSERT_TRUE(window_->addFiles({film}));
    QTaskWidget* row = window_->taskRow(0);
    EXPECT_FALSE(PlanLine(row)->isVisible()) << "a row being read knows no plan yet";
    ASSERT_TRUE(WaitForReading());

    ASSERT_TRUE(PlanLine(row)->isVisible());
    const QString copying = PlanLine(row)->text();
    const QString video = copying.section(QStringLiteral(" · "), 0, 0);
    EXPECT_TRUE(video.startsWith("Video H.264")) << copying.toStdString();
    EXPECT_TRUE(video.endsWith("→ copy")) << copying.toStdString();
    EXPECT_TRUE(copying.contains("Audio eng AAC → copy")) << copying.toStdString();
    EXPECT_TRUE(copying.contains("jpn AC3")) << copying.toStdString();
    // The tooltip says why, stream by stream.
    const QString tip = PlanLine(row)->toolTip();
    EXPECT_TRUE(tip.startsWith(copying)) << tip.toStdString();
    EXPECT_GT(tip.count('\n'), 4) << tip.toStdString();

    ChooseProfile(kH264Mp4);
    const QString encoding = PlanLine(row)->text();
    const QString encodedVideo = encoding.section(QStringLiteral(" · "), 0, 0);
    EXPECT_TRUE(encodedVideo.startsWith("Video H.264")) << encoding.toStdString();
    EXPECT_FALSE(encodedVideo.contains("copy")) << encoding.toStdString();
    EXPECT_TRUE(encodedVideo.contains("→ H.264")) << encoding.toStdString();

    // Keeping one track changes the line at once.
    ChooseProfile(kSameAsSource);
    row->toggleAudioStream(2);
    EXPECT_TRUE(PlanLine(row)->text().contains("Audio eng AAC → copy")) << PlanLine(row)->text().toStdString();
    EXPECT_FALSE(PlanLine(row)->text().contains("jpn AC3")) << PlanLine(row)->text().toStdString();
}

TEST_F(RowPlanTest, TheChooserStartsOnEveryTrackAndTicksTracksOnAndOff) {
    ASSERT_TRUE(window_->addFiles({Copy("film.mkv", "film.mkv")}));
    ASSERT_TRUE(WaitForReading());
    QTaskWidget* row = window_->taskRow(0);
    QComboBox* chooser = Chooser(row);
    ASSERT_EQ(chooser->count(), 3);
    EXPECT_EQ(chooser->itemText(0), "All audio tracks");
    EXPECT_EQ(chooser->itemText(1), "1: English — AAC stereo");
    EXPECT_EQ(chooser->itemText(2), "2: Japanese — AC3 5.1");
    EXPECT_EQ(chooser->currentText(), "All audio tracks");
    EXPECT_TRUE(row->source()->planChoices().audio.isEmpty()) << "the default track does not narrow the plan";
    EXPECT_EQ(chooser->itemData(1, Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(chooser->itemData(2, Qt::CheckStateRole).toInt(), Qt::Checked);

    // Unticking English leaves Japanese alone, which cannot be unticked in turn.
    ClickEntry(chooser, 1);
    EXPECT_EQ(row->source()->planChoices().audio, QList<int>{2});
    EXPECT_EQ(row->source()->audioStream(), 2);
    EXPECT_EQ(chooser->currentText(), "2: Japanese — AC3 5.1");
    EXPECT_EQ(chooser->itemData(1, Qt::CheckStateRole).toInt(), Qt::Unchecked);
    row->toggleAudioStream(2);
    EXPECT_EQ(row->source()->planChoices().audio, QList<int>{2});

    // Ticking English again is every track once more.
    ClickEntry(chooser, 1);
    EXPECT_TRUE(row->source()->planChoices().audio.isEmpty());
    EXPECT_EQ(chooser->currentText(), "All audio tracks");
    chooser->hidePopup();

    ASSERT_TRUE(window_->addFiles({Copy("two_audio_subs.mkv", "three.mkv")}));
    ASSERT_TRUE(WaitForReading());
    // The first entry brings every track back.
    QTaskWidget* second = window_->taskRow(1);
    second->chooseAudioStreams({2});
    EXPECT_EQ(Chooser(second)->currentText(), "2: German — Opus stereo");
    ClickEntry(Chooser(second), 0);
    EXPECT_TRUE(second->source()->planChoices().audio.isEmpty());
    EXPECT_EQ(Chooser(second)->currentText(), "All audio tracks");
}

TEST_F(RowPlanTest, TheOutputHoldsTheChosenAudioTracks) {
    ChooseProfile(kSameAsSource);
    ASSERT_TRUE(window_->addFiles({Copy("film.mkv", "all/film.mkv")}));
    ASSERT_TRUE(WaitForReading());
    EXPECT_EQ(ConvertedAudioLanguages(), "eng,jpn");

    window_->findChild<QAction*>("actClearTasks")->trigger();
    ASSERT_TRUE(window_->addFiles({Copy("film.mkv", "one/film.mkv")}));
    ASSERT_TRUE(WaitForReading());
    ClickEntry(Chooser(window_->taskRow(0)), 1);  // English off
    Chooser(window_->taskRow(0))->hidePopup();
    EXPECT_EQ(ConvertedAudioLanguages(), "jpn");
}

TEST_F(RowPlanTest, ARestoredListKeepsTheChosenTracks) {
    const QString store = dir_.path() + "/queue.json";
    const QString film = Copy("film.mkv", "film.mkv");
    const QString other = Copy("two_audio_subs.mkv", "other.mkv");
    window_->restoreQueue(store);
    ASSERT_TRUE(window_->addFiles({film, other}));
    ASSERT_TRUE(WaitForReading());
    ClickEntry(Chooser(window_->taskRow(0)), 1);
    Chooser(window_->taskRow(0))->hidePopup();
    const QList<QueuedFile> saved = QueueStore(store).load();
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(saved[0].audio, QList<int>{2});
    EXPECT_TRUE(saved[1].audio.isEmpty());

    RestartWithQueue(store);
    ASSERT_TRUE(WaitForReading());
    ASSERT_EQ(window_->taskRowCount(), 2);
    EXPECT_EQ(window_->taskRow(0)->source()->planChoices().audio, QList<int>{2});
    EXPECT_EQ(Chooser(window_->taskRow(0))->currentText(), "2: Japanese — AC3 5.1");
    EXPECT_FALSE(PlanLine(window_->taskRow(0))->text().contains("eng AAC"));
    EXPECT_TRUE(window_->taskRow(1)->source()->planChoices().audio.isEmpty());
    EXPECT_EQ(Chooser(window_->taskRow(1))->currentText(), "All audio tracks");
}

TEST_F(RowPlanTest, AnOlderListsSingleTrackComesBackAsEveryTrack) {
    // Older lists stored the track shown for every file, chosen or not.
    const QString store = dir_.path() + "/old.json";
    const QString film = Copy("film.mkv", "film.mkv");
    QFile old(store);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QStringLiteral(R"({"files": [{"path": "%1", "audioStream": 2, "outcome": "waiting"}]})")
                  .arg(film)
                  .toUtf8());
    old.close();
    window_->restoreQueue(store);
    ASSERT_TRUE(WaitForReading());
    ASSERT_EQ(window_->taskRowCount(), 1);
    EXPECT_TRUE(window_->taskRow(0)->source()->planChoices().audio.isEmpty());
    EXPECT_EQ(Chooser(window_->taskRow(0))->currentText(), "All audio tracks");
}

}  // namespace

