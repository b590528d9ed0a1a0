// The real main window with the skin applied, offscreen: the style sheet gives the controls the
// sizes of their pictures, shows the picture of each state, and colours and sizes the rest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include "skinned_window_fixture.h"

using namespace skin_test;

TEST_F(SkinnedWindow, RendersWithoutSkinWarnings) {
    AddTasks();
    const QPixmap shot = window_->grab();
    EXPECT_EQ(shot.size(), window_->size());
    for (const QString& warning : g_skinWarnings)
        ADD_FAILURE() << qPrintable(warning);
}

// A picture drawn over a control of another size is stretched: blurred, or squashed.
TEST_F(SkinnedWindow, ControlsHaveTheSizesOfTheirPictures) {
    const struct {
        const char* control;
        const char* picture;
    } pairs[] = {{"btnAddFile", "btnAdd_normal"},     {"btnHelp", "btnHelp_normal"},
                 {"btnConvert", "btnConvert_normal"}, {"btnShowHide", "btnShowHide_normal"},
                 {"btnOpenDir", "btnOpenDir_normal"}, {"btnProfileSet", "btnSetting_normal"},
                 {"btnPre", "btnPre_normal"},         {"btnNext", "btnNext_normal"}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.control);
        QPushButton* button = Button(pair.control);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->size(), SkinPictureSize(QStringLiteral(":/frmMain/") + pair.picture));
    }
    EXPECT_EQ(ui().lblGuideImage->size(), SkinPictureSize(":/frmMain/widgetTask"));
    // The frame picture stretches sideways only.
    EXPECT_EQ(ui().btnCurProfile->height(), SkinPictureSize(":/frmMain/combox_normal").height());
    EXPECT_EQ(ui().cbxOutDir->height(), SkinPictureSize(":/frmMain/combox_normal").height());

    // Category tabs carry a 10 px margin each side and 3 + 2 px above and below.
    QTabBar* tabs = ui().profileTab->tabBar();
    ASSERT_GT(tabs->count(), 1);
    EXPECT_EQ(tabs->tabRect(0).size(), SkinPictureSize(":/frmMain/profile_cate_select") + QSize(20, 5));
    // The window folds the profile area to the category bar, whose height it takes from the
    // frameNav picture: the tab bar must be exactly that high.
    EXPECT_EQ(window_->navHeight(), SkinPictureSize(":/frmMain/frameNav").height());
    EXPECT_EQ(tabs->height(), window_->navHeight());

    auto* list = ui().profileTab->currentWidget()->findChild<QListWidget*>("listProfile");
    ASSERT_NE(list, nullptr);
    ASSERT_GT(list->count(), 0);
    EXPECT_EQ(list->visualItemRect(list->item(0)).size(), SkinPictureSize(":/frmMain/profileItem_normal"));

    auto* about = window_->findChild<QDialog*>("frmAbout");
    ASSERT_NE(about, nullptr);
    auto* logo = about->findChild<QLabel*>("lblLogo");
    ASSERT_NE(logo, nullptr);
    logo->ensurePolished();
    EXPECT_EQ(logo->minimumSize(), SkinPictureSize(":/frmAbout/logo"));
    EXPECT_EQ(logo->maximumSize(), SkinPictureSize(":/frmAbout/logo"));
}

// The bars and buttons are the pictures, drawn 1:1, not the platform's bare controls.
TEST_F(SkinnedWindow, ShowsThePictures) {
    const QImage shot = window_->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    for (QWidget* bar : {ui().widgetTop, ui().widgetBottom}) {
        SCOPED_TRACE(bar->objectName().toStdString());
        const QRect area(bar->mapTo(window_.get(), QPoint(0, 0)), bar->size());
        qint64 red = 0, blue = 0, opaque = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb px = shot.pixel(x, y);
                red += qRed(px);
                blue += qBlue(px);
                opaque += qAlpha(px) == 255;
            }
        const qint64 pixels = qint64(area.width()) * area.height();
        ASSERT_GT(pixels, 0);
        EXPECT_EQ(opaque, pixels);
        // The bars are blue; the bare window is grey.
        EXPECT_GT((blue - red) / pixels, 60);
    }
    for (const auto& [control, picture] : {std::pair{"btnAddFile", "btnAdd_normal"}, std::pair{"btnHelp", "btnHelp_normal"},
                                           std::pair{"btnOpenDir", "btnOpenDir_normal"},
                                           std::pair{"btnShowHide", "btnShowHide_normal"},
                                           std::pair{"btnConvert", "btnConvert_disable"}}) {
        SCOPED_TRACE(control);
        QPushButton* button = Button(control);
        ASSERT_NE(button, nullptr);
        EXPECT_GT(CoveredShare(Face(button)), 0.1);
        EXPECT_EQ(ShowsPicture(button, picture), 0.0);
    }
    ASSERT_TRUE(ui().lblGuideImage->isVisible());
    EXPECT_EQ(ShowsPicture(ui().lblGuideImage, "widgetTask"), 0.0);
}

TEST_F(SkinnedWindow, TopBarButtonsAndPageArrowsFollowTheMouse) {
    const struct {
        const char* control;
        const char* normal;
        const char* hover;
    } cases[] = {{"btnAddFile", "btnAdd_normal", "btnAdd_hover"},
                 {"btnHelp", "btnHelp_normal", "btnHelp_hover"},
                 {"btnShowHide", "btnShowHide_normal", "btnShowHide_hover"},
                 {"btnOpenDir", "btnOpenDir_normal", "btnOpenDir_hover"},
                 {"btnPre", "btnPre_normal", "btnPre_hover"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        QPushButton* button = Button(c.control);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(ShowsPicture(button, c.normal), 0.0);
        Hover(button, true);
        EXPECT_EQ(ShowsPicture(button, c.hover), 0.0);
        Hover(button, false);
        EXPECT_EQ(ShowsPicture(button, c.normal), 0.0);
    }
}

// Checked is a run: the button turns into the cancel button; disabled wins over every state.
TEST_F(SkinnedWindow, ConvertButtonShowsTheFaceOfItsState) {
    AddTasks();
    QPushButton* b = ui().btnConvert;
    ASSERT_TRUE(b->isEnabled());
    ASSERT_TRUE(b->isCheckable());
    EXPECT_EQ(ShowsPicture(b, "btnConvert_normal"), 0.0);
    Hover(b, true);
    EXPECT_EQ(ShowsPicture(b, "btnConvert_hover"), 0.0);
    b->setDown(true);
    EXPECT_EQ(ShowsPicture(b, "btnConvert_down"), 0.0);
    b->setDown(false);
    // Checked by hand: a real run would start converting.
    b->setChecked(true);
    EXPECT_EQ(ShowsPicture(b, "btnConvert_cancel_hover"), 0.0);
    b->setDown(true);
    EXPECT_EQ(ShowsPicture(b, "btnConvert_cancel_down"), 0.0);
    b->setDown(false);
    Hover(b, false);
    EXPECT_EQ(ShowsPicture(b, "btnConvert_cancel_normal"), 0.0);
    b->setChecked(false);
    b->setEnabled(false);
    EXPECT_EQ(ShowsPicture(b, "btnConvert_disable"), 0.0);
}

// The remove button's face is its picture, pushed 10 px down from the top and away from the
// right edge of the row.
TEST_F(SkinnedWindow, TaskRowsHaveTheirSizesAndRemoveButton) {
    AddTasks();
    QWidget* row = ui().taskList->itemWidget(ui().taskList->item(0));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->height(), 80);
    auto* thumb = row->findChild<QPushButton*>("btnThum");
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(thumb->size(), QSize(72, 72));
    auto* del = row->findChild<QPushButton*>("btnDel");
    ASSERT_NE(del, nullptr);
    ASSERT_TRUE(del->isVisible());
    const QSize picture = SkinPictureSize(":/frmMain/btnDel");
    ASSERT_EQ(del->size(), picture + QSize(10, 10));
    const QImage face = Face(del);
    EXPECT_EQ(DifferingShare(face.copy(0, 10, picture.width(), picture.height()), LoadPicture(":/frmMain/btnDel"), 2),
              0.0);
    EXPECT_EQ(CoveredShare(face.copy(0, 0, del->width(), 10)), 0.0);
    EXPECT_EQ(CoveredShare(face.copy(picture.width(), 0, 10, del->height())), 0.0);
}

// The window folds the profile area with setFixedHeight and disables it during a run; the
// sheet's own fixed height must not spring it open again.
TEST_F(SkinnedWindow, FoldedProfileAreaStaysFolded) {
    const int navHeight = window_->navHeight();
    QWidget* area = ui().widgetprofile;
    area->setFixedHeight(navHeight);
    QApplication::processEvents();
    EXPECT_EQ(area->height(), navHeight);
    area->setEnabled(false);
    ui().btnConvert->setChecked(true);
    QApplication::processEvents();
    EXPECT_EQ(area->height(), navHeight);
    area->setEnabled(true);
    ui().btnConvert->setChecked(false);
    QApplication::processEvents();
    EXPECT_EQ(area->height(), navHeight);
    area->setFixedHeight(navHeight + 90);
    QApplication::processEvents();
    EXPECT_EQ(area->height(), navHeight + 90);
}

TEST_F(SkinnedWindow, ColoursAndSizesTextAndDialogs) {
    auto* format = window_->findChild<QLabel*>("label");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->palette().color(QPalette::WindowText), QColor("#eaf0fb"));
    EXPECT_TRUE(format->font().bold());
    EXPECT_EQ(ui().lblGuide->palette().color(QPalette::WindowText), QColor(132, 181, 222));
    EXPECT_EQ(ui().lblGuide->font().pointSize(), 16);
    EXPECT_EQ(ui().btnProfileSet->palette().color(QPalette::ButtonText), QColor("#3c89de"));
    EXPECT_EQ(ui().btnProfileSet->font().pointSize(), 8);

    const struct {
        const char* name;
        QSize size;
    } dialogs[] = {{"frmAbout", {360, 180}}, {"frmOptions", {400, 240}}, {"frmProfileSet", {520, 400}},
                   {"frmShutdown", {320, 100}}};
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.name);
        auto* dialog = window_->findChild<QDialog*>(d.name);
        ASSERT_NE(dialog, nullptr);
        dialog->ensurePolished();
        EXPECT_EQ(dialog->minimumSize(), d.size);
        EXPECT_EQ(dialog->maximumSize(), d.size);
    }

    // Dialogs are the window's children, yet their labels keep their own look rather than the
    // window's bold pale one.
    auto* options = window_->findChild<QDialog*>("frmOptions");
    ASSERT_NE(options, nullptr);
    const QList<QLabel*> labels = options->findChildren<QLabel*>();
    ASSERT_FALSE(labels.isEmpty());
    for (QLabel* label : labels) {
        SCOPED_TRACE(label->objectName().toStdString());
        label->ensurePolished();
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(58, 136, 221));
        EXPECT_FALSE(label->font().bold());
    }
    auto* product = window_->findChild<QDialog*>("frmAbout")->findChild<QLabel*>("lblProduct");
    ASSERT_NE(product, nullptr);
    product->ensurePolished();
    EXPECT_EQ(product->palette().color(QPalette::WindowText), QColor(58, 136, 221));
    EXPECT_EQ(product->font().pointSize(), 16);
    EXPECT_TRUE(product->font().bold());

    QMessageBox box(QMessageBox::Information, "Hint", "no tasks");
    box.ensurePolished();
    auto* text = box.findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(text, nullptr);
    text->ensurePolished();
    EXPECT_GE(text->minimumHeight(), 60);
}
