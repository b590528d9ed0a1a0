// What a user sees of the skinned window: dialogs opened from it are readable, so is the pop-up of
// the output folder; the profile tiles through folding and unfolding, the window at its minimum
// size, cut texts and the keyboard focus.
// With CORVANE_SCREENSHOT_DIR set, the file dialog and the window at its minimum size are saved
// there as file-dialog.png and window-minimum.png.
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <string>

#include "dialog_seam.h"
#include "elided_label.h"
#include "skinned_window_fixture.h"

using namespace skin_test;

namespace {

// WCAG's minimum for body text.
constexpr double kReadable = 4.5;
// WCAG's minimum for the parts of a control that show its state.
constexpr double kVisibleCue = 3.0;

void SaveScreenshot(const QImage& image, const char* name) {
    const QString folder = qEnvironmentVariable("CORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(image.save(folder + '/' + name)) << name;
    }
}

std::string Describe(const TextOnGround& text) {
    return QStringLiteral("%1 on %2").arg(text.ink.name(), text.ground.name()).toStdString();
}

QRect RectIn(QWidget* widget, QWidget* ancestor) {
    return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

// Texts in a dialog, labels and buttons alike, must read against what is behind them.
void ExpectReadable(QDialog& dialog) {
    const QImage shot = dialog.grab().toImage();
    int checked = 0;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        SCOPED_TRACE(label->text().toStdString());
        const TextOnGround text = MeasureText(shot, RectIn(label, &dialog));
        EXPECT_GE(text.contrast, kReadable) << Describe(text);
        ++checked;
    }
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        // A disabled button is not meant to be read as the others are.
        if (!button->isVisible() || !button->isEnabled() || button->text().isEmpty())
            continue;
        SCOPED_TRACE(button->text().toStdString());
        // Inside the button's frame, whose border is not text.
        const TextOnGround text = MeasureText(shot, RectIn(button, &dialog).adjusted(4, 4, -4, -4));
        EXPECT_GE(text.contrast, kReadable) << Describe(text);
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

bool IsPlainOneLine(const QLabel& label) {
    return !label.wordWrap() && !label.text().isEmpty() && label.textFormat() != Qt::RichText &&
           !Qt::mightBeRichText(label.text());
}

// Returns what is wrong with the layout under `widget`: visible siblings that overlap, children
// that stick out of their parent, and texts cut without an ellipsis.
QStringList LayoutProblems(QWidget* widget) {
    QStringList problems;
    const auto name = [](QWidget* w) {
        return QString::fromLatin1(w->metaObject()->className()) + " \"" + w->objectName() + '"';
    };
    // The task rows live in the list's viewport and scroll: being partly below its edge is fine,
    // being wider than it is not.
    const bool scrolls = qobject_cast<QAbstractScrollArea*>(widget->parentWidget()) != nullptr &&
                         widget == static_cast<QAbstractScrollArea*>(widget->parentWidget())->viewport();
    QList<QWidget*> shown;
    for (QObject* object : widget->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child == nullptr || child->isWindow() || !child->isVisible())
            continue;
        const QRect inside = child->geometry();
        if (scrolls ? inside.left() < 0 || inside.right() > widget->rect().right()
                    : !widget->rect().contains(inside))
            problems << name(child) + " sticks out of " + name(widget);
        for (QWidget* other : shown)
            if (other->geometry().intersects(child->geometry()))
                problems << name(child) + " overlaps " + name(other);
        shown << child;
        problems << LayoutProblems(child);
    }

    if (auto* elided = qobject_cast<ElidedLabel*>(widget)) {
        const FittedText fitted = elided->fittedText();
        if (fitted.elided && elided->toolTip() != elided->text())
            problems << name(widget) + " is cut without its text as tooltip";
    } else if (auto* button = qobject_cast<ElidedButton*>(widget)) {
        if (button->fittedText().elided && button->toolTip() != button->text())
            problems << name(widget) + " is cut without its text as tooltip";
    } else if (auto* label = qobject_cast<QLabel*>(widget); label && IsPlainOneLine(*label)) {
        const int room = label->contentsRect().width() - 2 * label->margin();
        if (label->fontMetrics().horizontalAdvance(label->text()) > room)
            problems << name(widget) + " cuts \"" + label->text() + "\"";
    }
    return problems;
}

// Pixels whose colour changes by at least `ratio` in contrast between two renderings.
int ChangedPixels(const QImage& before, const QImage& after, double ratio) {
    if (before.size() != after.size())
        return -1;
    const QImage a = before.convertToFormat(QImage::Format_RGB32);
    const QImage b = after.convertToFormat(QImage::Format_RGB32);
    int changed = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            changed += ContrastRatio(QColor(a.pixel(x, y)), QColor(b.pixel(x, y))) >= ratio;
    return changed;
}

// The file dialogs are answered by the test, as cancelled: a real one would block.
class CancelledDialogs : public DialogSeam {
public:
    CancelledDialogs() { DialogSeam::setInstance(this); }
    ~CancelledDialogs() override { DialogSeam::setInstance(nullptr); }

    QMessageBox::StandardButton ask(QMessageBox::Icon, const QString&, const QString&,
                                    QMessageBox::StandardButtons, QMessageBox::StandardButton defaultButton,
                                    const ButtonTexts&) override {
        return defaultButton;
    }
    bool openUrl(const QUrl&) override { return true; }
    QStringList getOpenFileNames(QWidget*, const QString&, const QString&, const QString&) override {
        ++fileDialogs;
        return {};
    }
    QString getExistingDirectory(QWidget*, const QString&, const QString&, QFileDialog::Options) override {
        return {};
    }
    int fileDialogs = 0;
};

class WindowLooks : public SkinnedWindow {
protected:
    QListWidget* ShownTiles() {
        auto* tiles = ui().profileTab->currentWidget()->findChild<QListWidget*>("listProfile");
        EXPECT_NE(tiles, nullptr);
        return tiles;
    }
};

}  // namespace

// The window's pale bold labels are for its blue bars; a file dialog or a message box opened from
// the window is its child and must not inherit them.
TEST_F(WindowLooks, DialogsOpenedFromTheWindowAreReadable) {
    QDir(dir_.path()).mkpath("Videos/Holidays");
    for (const char* name : {"Videos/Holiday in the Alps.mkv", "Videos/Interview (two languages).mkv",
                             "Videos/Concert recording.mka"}) {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // As the window opens it on this platform: Qt's own dialog, not the desktop's.
    QFileDialog files(window_.get(), "Select matroska files", dir_.filePath("Videos"),
                      "mkv files (*.mkv *.mka)");
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setFileMode(QFileDialog::ExistingFiles);
    files.resize(640, 400);
    files.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&files));
    // The listing fills in from a file system watcher thread.
    QTest::qWait(300);
    for (const char* label : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
        auto* found = files.findChild<QLabel*>(label);
        ASSERT_NE(found, nullptr) << label;
        EXPECT_TRUE(found->isVisible()) << label;
        EXPECT_FALSE(found->text().isEmpty()) << label;
    }
    {
        SCOPED_TRACE("file dialog");
        ExpectReadable(files);
    }
    SaveScreenshot(files.grab().toImage(), "file-dialog.png");
    files.hide();

    QMessageBox box(QMessageBox::Question, "Quit", "A conversion is running. Stop it and quit?",
                    QMessageBox::Yes | QMessageBox::No, window_.get());
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    SCOPED_TRACE("message box");
    ExpectReadable(box);
}

// The pop-up lists its entries in black, and the highlighted one in white on dark blue, not in
// the box's own light blue.
TEST_F(WindowLooks, OutputFolderPopUpHighlightsInWhite) {
    QComboBox* folders = ui().cbxOutDir;
    ASSERT_EQ(folders->count(), 2);
    folders->showPopup();
    QAbstractItemView* list = folders->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    list->setCurrentIndex(list->model()->index(1, 0));
    QApplication::processEvents();
    const QImage shot = list->viewport()->grab().toImage();
    const TextOnGround plain = MeasureText(shot, list->visualRect(list->model()->index(0, 0)));
    const TextOnGround highlighted = MeasureText(shot, list->visualRect(list->model()->index(1, 0)));
    folders->hidePopup();

    EXPECT_GE(plain.contrast, kReadable) << Describe(plain);
    EXPECT_GE(highlighted.contrast, kReadable) << Describe(highlighted);
    EXPECT_LT(RelativeLuminance(highlighted.ground), 0.2) << qPrintable(highlighted.ground.name());
    EXPECT_GT(RelativeLuminance(highlighted.ink), 0.85) << qPrintable(highlighted.ink.name());
}

// The fold button switches the profile area between the category bar alone and the bar with the
// tiles; the tiles come back whole, inside the area and the window.
TEST_F(WindowLooks, ProfileTilesAreWholeBeforeFoldingAndAfterUnfolding) {
    QPushButton* fold = Button("btnShowHide");
    ASSERT_NE(fold, nullptr);
    QWidget* area = ui().widgetprofile;
    const auto expectTilesWhole = [&](const char* when) {
        SCOPED_TRACE(when);
        QListWidget* tiles = ShownTiles();
        ASSERT_NE(tiles, nullptr);
        ASSERT_TRUE(tiles->isVisible());
        ASSERT_GT(tiles->count(), 0);
        const QRect viewport = RectIn(tiles->viewport(), window_.get());
        const QRect shownArea = RectIn(area, window_.get());
        for (int row = 0; row < tiles->count(); ++row) {
            SCOPED_TRACE(row);
            const QRect tile = tiles->visualItemRect(tiles->item(row)).translated(viewport.topLeft());
            EXPECT_EQ(tile.size(), SkinPictureSize(":/frmMain/profileItem_normal"));
            EXPECT_TRUE(viewport.contains(tile))
                << tile.y() << "+" << tile.height() << " in " << viewport.y() << "+" << viewport.height();
            EXPECT_TRUE(shownArea.contains(tile));
            EXPECT_TRUE(window_->rect().contains(tile));
        }
    };
    expectTilesWhole("as the window opens");
    const int openHeight = area->height();

    fold->click();
    QApplication::processEvents();
    EXPECT_EQ(area->height(), window_->navHeight());
    EXPECT_TRUE(ShownTiles()->visibleRegion().isEmpty());

    fold->click();
    QApplication::processEvents();
    EXPECT_EQ(area->height(), openHeight);
    expectTilesWhole("after folding and unfolding");

    // Another category's page, shown after the unfolding, fits as well.
    ASSERT_GT(ui().profileTab->count(), 1);
    ui().profileTab->setCurrentIndex(1);
    QApplication::processEvents();
    expectTilesWhole("on another category");
}

// At its minimum size, with tasks in the list and without, nothing overlaps, sticks out or is cut
// without an ellipsis; one pixel less in either direction and something would, or the layout
// refuses to shrink further.
TEST_F(WindowLooks, MinimumSizeIsTheSmallestAtWhichNothingOverlapsOrIsCut) {
    AddTasks();
    const QSize minimum = window_->minimumSize();
    ASSERT_GT(minimum.width(), 0);
    ASSERT_GT(minimum.height(), 0);
    window_->resize(minimum);
    QApplication::processEvents();
    ASSERT_EQ(window_->size(), minimum);
    for (const QString& problem : LayoutProblems(window_.get()))
        ADD_FAILURE() << qPrintable(problem);
    SaveScreenshot(window_->grab().toImage(), "window-minimum.png");

    // The same holds without tasks, when the guide takes the list's place.
    ui().actClearTasks->trigger();
    QApplication::processEvents();
    ASSERT_TRUE(ui().widgetGuide->isVisible());
    for (const QString& problem : LayoutProblems(window_.get()))
        ADD_FAILURE() << "without tasks: " << qPrintable(problem);

    AddTasks();
    window_->setMinimumSize(0, 0);
    for (const QSize smaller : {minimum - QSize(1, 0), minimum - QSize(0, 1)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(smaller.width()).arg(smaller.height()).toStdString());
        window_->resize(smaller);
        QApplication::processEvents();
        // The layout's own minimum holds the window at its size: nothing to find there.
        if (window_->size() != smaller)
            continue;
        ui().actClearTasks->trigger();
        QApplication::processEvents();
        const QStringList withoutTasks = LayoutProblems(window_.get());
        AddTasks();
        EXPECT_FALSE(withoutTasks.isEmpty() && LayoutProblems(window_.get()).isEmpty())
            << "the minimum could be smaller";
    }
    window_->setMinimumSize(minimum);
}

// The current profile's name and the output folder are cut to their frames, the name at its end
// and the path in its middle, and read whole in their tooltips; short ones have none.
TEST_F(WindowLooks, FormatAndOutputFieldsShowCutTextsWholeInTooltips) {
    auto* format = qobject_cast<ElidedButton*>(ui().btnCurProfile);
    auto* folder = qobject_cast<ElidedComboBox*>(ui().cbxOutDir);
    ASSERT_NE(format, nullptr);
    ASSERT_NE(folder, nullptr);

    const QString name = "MP4 - H.264 + AAC Video for the living-room television";
    format->setText(name);
    const QString path = dir_.path() + "/A folder with a rather long name/and another one below it/out";
    folder->setItemText(0, path);
    window_->grab();
    EXPECT_EQ(format->text(), name);
    EXPECT_EQ(format->toolTip(), name);
    const FittedText shownName = format->fittedText();
    EXPECT_TRUE(shownName.text.endsWith(QChar(0x2026))) << qPrintable(shownName.text);
    EXPECT_TRUE(name.startsWith(shownName.text.chopped(1))) << qPrintable(shownName.text);

    EXPECT_EQ(folder->itemText(0), path);
    EXPECT_EQ(folder->toolTip(), path);
    const FittedText shownPath = folder->fittedText();
    const qsizetype cut = shownPath.text.indexOf(QChar(0x2026));
    ASSERT_GT(cut, 0) << qPrintable(shownPath.text);
    EXPECT_TRUE(path.startsWith(shownPath.text.left(cut))) << qPrintable(shownPath.text);
    EXPECT_TRUE(path.endsWith(shownPath.text.mid(cut + 1))) << qPrintable(shownPath.text);
    EXPECT_TRUE(shownPath.text.endsWith("/out"));

    format->setText("MKV");
    folder->setItemText(0, "/tmp");
    window_->grab();
    EXPECT_TRUE(format->toolTip().isEmpty());
    EXPECT_TRUE(folder->toolTip().isEmpty());
    EXPECT_EQ(format->fittedText().text, "MKV");
    EXPECT_EQ(folder->fittedText().text, "/tmp");
}

// The about box is fixed in size: its copyright line stays on one line, inside the box, whole or
// cut with the whole line as its tooltip.
TEST_F(WindowLooks, AboutBoxCopyrightLineFitsItsBox) {
    auto* about = window_->findChild<QDialog*>("frmAbout");
    ASSERT_NE(about, nullptr);
    about->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    auto* line = about->findChild<ElidedLabel*>("lblCopyRight");
    ASSERT_NE(line, nullptr);
    ASSERT_TRUE(line->isVisible());
    about->grab();
    for (const QString& problem : LayoutProblems(about))
        ADD_FAILURE() << qPrintable(problem);
    EXPECT_TRUE(line->text().startsWith("Copyright"));
    const QRect text = line->contentsRect();
    EXPECT_GE(text.height(), line->fontMetrics().height());
    EXPECT_TRUE(about->rect().contains(QRect(line->mapTo(about, text.topLeft()), text.size())));

    line->setText(line->text() + ", with every contributor named one after another");
    about->grab();
    EXPECT_TRUE(line->fittedText().elided);
    EXPECT_EQ(line->toolTip(), line->text());
    about->hide();
}

// Keyboard users see where the focus is: each control the Tab key reaches changes visibly when it
// takes the focus; Tab walks the window from top to bottom.
TEST_F(WindowLooks, KeyboardFocusIsVisible) {
    AddTasks();
    ASSERT_TRUE(ui().btnConvert->isEnabled());
    QWidget* page = ui().profileTab->currentWidget();
    const QList<QWidget*> controls{ui().btnAddFile,       ui().btnHelp,          ui().taskList,
                                   Button("btnShowHide"), ui().profileTab->tabBar(),
                                   page->findChild<QPushButton*>("btnNext"), ShownTiles(),
                                   ui().btnProfileSet,    ui().cbxOutDir,        ui().btnOpenDir,
                                   ui().btnConvert};
    for (QWidget* control : controls) {
        ASSERT_NE(control, nullptr);
        SCOPED_TRACE(control->objectName().toStdString());
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
        // On what is behind the control in the window, which its outline is drawn over.
        const QRect area = RectIn(control, window_.get());
        const QImage without = window_->grab(area).toImage();
        control->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(control->hasFocus());
        const QImage with = window_->grab(area).toImage();
        EXPECT_GE(ChangedPixels(without, with, kVisibleCue), 20);
    }

    ui().btnAddFile->setFocus(Qt::TabFocusReason);
    QList<QWidget*> reached{ui().btnAddFile};
    for (int press = 0; press < 20; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached << QApplication::focusWidget();
    }
    const QList<QWidget*> order{ui().btnAddFile,    ui().btnHelp,   ui().taskList,   ui().profileTab->tabBar(),
                                ui().btnProfileSet, ui().cbxOutDir, ui().btnOpenDir, ui().btnConvert};
    qsizetype previous = -1;
    for (QWidget* control : order) {
        SCOPED_TRACE(control->objectName().toStdString());
        const qsizetype at = reached.indexOf(control);
        ASSERT_GE(at, 0) << "never reached";
        EXPECT_GT(at, previous);
        previous = at;
    }
}

TEST_F(WindowLooks, ShortcutsReachTheirActions) {
    CancelledDialogs dialogs;
    AddTasks();
    QSignalSpy remove(window_->findChild<QAction*>("actRemoveTask"), &QAction::triggered);
    QSignalSpy start(window_->findChild<QAction*>("actStartConversion"), &QAction::triggered);
    ASSERT_TRUE(remove.isValid());
    ASSERT_TRUE(start.isValid());
    EXPECT_EQ(window_->findChild<QAction*>("actRemoveTask")->text(), "Remove Task");
    EXPECT_EQ(window_->findChild<QAction*>("actStartConversion")->text(), "Start");

    QTest::keyClick(window_.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs.fileDialogs, 1);
    QTest::keyClick(window_.get(), Qt::Key_Delete);
    EXPECT_EQ(remove.count(), 1);
    // Nothing to convert: once the action is wired, the shortcut must not start a real run here.
    ui().actClearTasks->trigger();
    QTest::keyClick(window_.get(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(start.count(), 1);
}
