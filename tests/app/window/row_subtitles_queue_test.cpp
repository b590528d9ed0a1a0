// The window keeps each row's subtitle choice in its saved list: a restart brings back the
// tracks kept and the one burned into the picture.
#include <QAbstractItemView>
#include <QLabel>
#include <QScopeGuard>
#include <QStyleOptionComboBox>

#include "main_window_fixture.h"
#include "queue_store.h"
#include "skin.h"
#include "source_file.h"
#include "subtitle_chooser.h"

using namespace window_test;
using namespace subtitle_chooser;

namespace {

class RowSubtitlesQueueTest : public MainWindowTest {
protected:
    static QComboBox* Chooser(QTaskWidget* row) { return row->findChild<QComboBox*>("cbxSubtitles"); }
    static QString PlanLine(QTaskWidget* row) { return row->findChild<QLabel*>("lblPlan")->text(); }
};

// film.mkv: 3 English SRT, 4 Japanese ASS.
TEST_F(RowSubtitlesQueueTest, ARestoredListKeepsTheSubtitlesAndTheBurnedTrack) {
    const QString store = dir_.path() + "/queue.json";
    window_->restoreQueue(store);
    ASSERT_TRUE(window_->addFiles({Copy("film.mkv", "film.mkv"), Copy("h264_aac.mkv", "plain.mkv")}));
    ASSERT_TRUE(WaitForReading());
    QTaskWidget* row = window_->taskRow(0);
    EXPECT_TRUE(Chooser(window_->taskRow(1))->isHidden()) << "a file without subtitles";
    ClickEntry(Chooser(row), BurnEntry(Chooser(row), "2: Japanese — ASS"));
    ClickEntry(Chooser(row), Chooser(row)->findText("1: English — SRT"));
    ASSERT_TRUE(PlanLine(row).contains("jpn ASS → burned in")) << PlanLine(row).toStdString();

    // Saved as the choice changed, before anything else happened to the list.
    const QList<QueuedFile> saved = QueueStore(store).load();
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(saved[0].subtitles, PlanChoices::Subtitles::Chosen);
    EXPECT_EQ(saved[0].chosenSubtitles, QList<int>{4});
    EXPECT_EQ(saved[0].burn, 4);
    EXPECT_EQ(saved[1].burn, -1);
    EXPECT_EQ(saved[1].subtitles, PlanChoices::Subtitles::All);

    RestartWithQueue(store);
    ASSERT_TRUE(WaitForReading());
    ASSERT_EQ(window_->taskRowCount(), 2);
    QTaskWidget* restored = window_->taskRow(0);
    EXPECT_EQ(restored->source()->planChoices().burn, 4);
    EXPECT_EQ(restored->source()->planChoices().chosenSubtitles, QList<int>{4});
    EXPECT_EQ(Chooser(restored)->placeholderText(), "2 burned in, none kept");
    EXPECT_TRUE(PlanLine(restored).contains("jpn ASS → burned in")) << PlanLine(restored).toStdString();
    EXPECT_FALSE(PlanLine(restored).contains("eng SRT")) << PlanLine(restored).toStdString();
}

}  // namespace

namespace {

// Visible children of the row's lines that overlap or leave the row.
QStringList RowLayoutProblems(QWidget* row) {
    QStringList problems;
    QList<QWidget*> shown;
    for (QWidget* child : row->findChildren<QWidget*>()) {
        if (!child->isVisible() || child->isWindow() || child->parentWidget() != row)
            continue;
        const QRect inside = child->geometry();
        if (!row->rect().contains(inside))
            problems << child->objectName() + " sticks out of the row";
        for (QWidget* other : shown)
            if (other->geometry().intersects(inside))
                problems << child->objectName() + " overlaps " + other->objectName();
        shown << child;
    }
    return problems;
}

}  // namespace

// At the window's minimum size a row with both choosers has room for them, before and during a
// run (when the progress and the time share their line), with the program's skin. With CORVANE_SCREENSHOT_DIR set, the
// row is saved there as row-subtitles.png and its open list
// as row-subtitles-list.png.
TEST_F(RowSubtitlesQueueTest, ARowWithSubtitlesFitsTheWindowAtItsMinimumSize) {
    // As the program looks: with its skin.
    ASSERT_FALSE(skinStyleSheet().isEmpty());
    qApp->setStyleSheet(skinStyleSheet());
    const auto plain = qScopeGuard([] { qApp->setStyleSheet(QString()); });
    ASSERT_TRUE(window_->addFiles({Copy("film.mkv", "A film with subtitles.mkv")}));
    ASSERT_TRUE(WaitForReading());
    window_->resize(window_->minimumSize());
    QApplication::processEvents();
    QTaskWidget* row = window_->taskRow(0);
    ASSERT_TRUE(row->chooseBurnedSubtitle(3));
    ClickEntry(Chooser(row), Chooser(row)->findText("2: Japanese — ASS"));  // the longest summary
    QApplication::processEvents();
    ASSERT_EQ(Chooser(row)->placeholderText(), "1 burned in, none kept");
    const auto expectWhole = [&](const char* when) {
        SCOPED_TRACE(when);
        for (const QString& problem : RowLayoutProblems(row))
            ADD_FAILURE() << qPrintable(problem);
        // The closed box's text field holds its summary whole.
        for (QComboBox* chooser : {Chooser(row), row->findChild<QComboBox*>("cbxAudioIndex")}) {
            QStyleOptionComboBox option;
            option.initFrom(chooser);
            const QRect field =
                chooser->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, chooser);
            const QString text = chooser->currentIndex() < 0 ? chooser->placeholderText() : chooser->currentText();
            EXPECT_GE(field.width(), chooser->fontMetrics().horizontalAdvance(text)) << text.toStdString();
        }
    };
    expectWhole("before the run");
    const QString folder = qEnvironmentVariable("CORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(row->grab().save(folder + "/row-subtitles.png"));
    }
    // The open list shows its labels whole, the burned track's remark with them.
    Chooser(row)->showPopup();
    QApplication::processEvents();
    QAbstractItemView* list = Chooser(row)->view();
    const int tick = list->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list);
    for (int entry = 0; entry < Chooser(row)->count(); ++entry) {
        const QString text = Chooser(row)->itemText(entry);
        const QFont font = Chooser(row)->itemData(entry, Qt::FontRole).value<QFont>();
        EXPECT_GE(list->viewport()->width(), QFontMetrics(font).horizontalAdvance(text) + tick) << text.toStdString();
    }
    if (!folder.isEmpty()) {
        EXPECT_TRUE(list->window()->grab().save(folder + "/row-subtitles-list.png"));
    }
    Chooser(row)->hidePopup();
    row->setRunMode(true);
    QApplication::processEvents();
    expectWhole("during the run");
    row->setRunMode(false);
}
