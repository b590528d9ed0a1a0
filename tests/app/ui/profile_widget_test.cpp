#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QResource>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include "ProfileWidget.h"
#include "skin.h"
#include "ui_catalogue.h"

namespace {

const QString kLongName = QStringLiteral("MP4 - H.264 + AAC Video for the living-room television");

// Categories of 10 profiles (ids 100..), 11 profiles (ids 200..), none, one entry without ID, and
// a name too long for its tile beside a short one (ids 300, 301).
QString PagingListXml() {
    QString items;
    for (int i = 0; i < 10; ++i)
        items += QStringLiteral("<I ID=\"%1\" Categoryid=\"10\" Name=\"Ten %2\" Icon=\"tile\"/>").arg(100 + i).arg(i);
    for (int i = 0; i < 11; ++i)
        items += QStringLiteral("<I ID=\"%1\" Categoryid=\"11\" Name=\"Eleven %2\"/>").arg(200 + i).arg(i);
    items += "<I Categoryid=\"13\" Name=\"No id\"/>";
    items += "<I ID=\"300\" Categoryid=\"14\" Name=\"" + kLongName + "\"/>";
    items += "<I ID=\"301\" Categoryid=\"14\" Name=\"AVI\"/>";
    const QString categories = "<C id=\"10\"/><C id=\"11\"/><C id=\"12\"/><C id=\"13\"/><C id=\"14\"/>";
    return "<L><Profile>" + categories + "</Profile><Format>" + items + "</Format></L>";
}

class ProfileWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue_ = LoadCatalogue(dir_, PagingListXml(), "<Formats/>");
        ASSERT_NE(catalogue_, nullptr);
        list_ = widget_.findChild<QListWidget*>("listProfile");
        widget_.resize(800, 140);
    }

    QStringList Names() const {
        QStringList names;
        for (int i = 0; i < list_->count(); ++i)
            names << list_->item(i)->text();
        return names;
    }
    int IdAt(int row) const { return list_->item(row)->data(ProfileWidget::kProfileIdRole).toInt(); }
    // The highlighted tile's id; 0 when none is.
    int HighlightedId() const {
        const QList<QListWidgetItem*> selected = list_->selectedItems();
        return selected.size() == 1 ? selected.first()->data(ProfileWidget::kProfileIdRole).toInt() : 0;
    }
    // What the tile's tooltip reads when the pointer rests on it; empty when it shows none.
    QString ToolTipOf(int row) {
        // Hiding takes a moment: without the wait a tooltip still fading out would be read.
        QToolTip::hideText();
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000))
            return "a previous tooltip would not go";
        const QPoint at = list_->visualItemRect(list_->item(row)).center();
        QHelpEvent event(QEvent::ToolTip, at, list_->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list_->viewport(), &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    void Press(const char* button) { widget_.findChild<QPushButton*>(button)->click(); }

    QTemporaryDir dir_;
    std::unique_ptr<ProfileCatalogue> catalogue_;
    ProfileWidget widget_;
    QListWidget* list_ = nullptr;
};

}  // namespace

TEST_F(ProfileWidgetTest, PagesHoldFiveProfilesAndStopAtTheEnds) {
    widget_.setCategory(catalogue_.get(), 0);
    EXPECT_EQ(Names(), QStringList({"Ten 0", "Ten 1", "Ten 2", "Ten 3", "Ten 4"}));
    Press("btnNext");
    Press("btnNext");  // ten profiles: page 1 is the last
    EXPECT_EQ(widget_.currentPage(), 1);
    EXPECT_EQ(Names(), QStringList({"Ten 5", "Ten 6", "Ten 7", "Ten 8", "Ten 9"}));
    EXPECT_EQ(IdAt(4), 109);
    Press("btnPre");
    Press("btnPre");
    EXPECT_EQ(widget_.currentPage(), 0);
    EXPECT_EQ(IdAt(0), 100);

    widget_.setCategory(catalogue_.get(), 1);
    Press("btnNext");
    Press("btnNext");
    EXPECT_EQ(widget_.currentPage(), 2);
    EXPECT_EQ(Names(), QStringList({"Eleven 10"}));

    for (int empty : {2, 99}) {
        widget_.setCategory(catalogue_.get(), empty);
        Press("btnNext");
        Press("btnPre");
        EXPECT_EQ(widget_.currentPage(), 0);
        EXPECT_EQ(list_->count(), 0);
    }
}

TEST_F(ProfileWidgetTest, SelectIndexShowsThePageAndMarksTheRow) {
    widget_.setCategory(catalogue_.get(), 1);
    widget_.selectIndex(7);
    EXPECT_EQ(widget_.currentPage(), 1);
    ASSERT_NE(list_->currentItem(), nullptr);
    EXPECT_EQ(list_->currentItem()->text(), "Eleven 7");
    widget_.selectIndex(10);
    EXPECT_EQ(widget_.currentPage(), 2);
    EXPECT_EQ(list_->currentRow(), 0);
    // Past the end the last page shows with nothing current, rather than a wrong profile.
    widget_.selectIndex(14);
    EXPECT_EQ(widget_.currentPage(), 2);
    EXPECT_EQ(list_->currentItem(), nullptr);
}

TEST_F(ProfileWidgetTest, ClickingATileReportsItsIdEveryTime) {
    widget_.setCategory(catalogue_.get(), 1);
    widget_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget_));
    Press("btnNext");
    QSignalSpy spy(&widget_, &ProfileWidget::profileIdChanged);
    const QPoint third = list_->visualItemRect(list_->item(2)).center();
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, third);
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, third);
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, QPoint(list_->viewport()->width() - 2, 2));
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 207);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 207);

    widget_.setCategory(catalogue_.get(), 3);  // a profile without ID is never reported
    emit list_->itemClicked(list_->item(0));
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(ProfileWidgetTest, TilesTakeTheirIconFromTheProfileBundle) {
    QDir(dir_.path()).mkpath("res/profile/ICONS");
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(dir_.filePath("res/profile/ICONS/tile.png")));
    QFile qrc(dir_.filePath("res/icons.qrc"));
    ASSERT_TRUE(qrc.open(QIODevice::WriteOnly));
    qrc.write("<RCC><qresource prefix=\"/\"><file>profile/ICONS/tile.png</file></qresource></RCC>");
    qrc.close();
    QProcess rcc;
    rcc.setWorkingDirectory(dir_.filePath("res"));
    rcc.start(QStringLiteral(CORVANE_RCC), {"-binary", "icons.qrc", "-o", dir_.filePath("icons.rcc")});
    ASSERT_TRUE(rcc.waitForFinished(30000) && rcc.exitCode() == 0);
    ASSERT_TRUE(QResource::registerResource(dir_.filePath("icons.rcc")));

    widget_.setCategory(catalogue_.get(), 0);
    const QImage shown = list_->item(0)->icon().pixmap(16, 16).toImage();
    QResource::unregisterResource(dir_.filePath("icons.rcc"));
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixelColor(8, 8), QColor(Qt::red));
}

// Paging rebuilds the tiles; the current profile's tile is highlighted again whenever its page
// comes back, and no tile on another page is.
TEST_F(ProfileWidgetTest, TheCurrentProfileStaysHighlightedAcrossPages) {
    widget_.setCategory(catalogue_.get(), 1);
    widget_.selectIndex(7);
    ASSERT_EQ(HighlightedId(), 207);
    Press("btnPre");
    EXPECT_EQ(HighlightedId(), 0);
    Press("btnNext");
    EXPECT_EQ(widget_.currentPage(), 1);
    EXPECT_EQ(HighlightedId(), 207);
    ASSERT_NE(list_->currentItem(), nullptr);
    EXPECT_EQ(list_->currentItem()->text(), "Eleven 7");

    // A tile chosen by clicking is the current one from then on.
    widget_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget_));
    Press("btnNext");
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, list_->visualItemRect(list_->item(0)).center());
    EXPECT_EQ(widget_.currentProfileId(), 210);
    Press("btnPre");
    EXPECT_EQ(HighlightedId(), 0);
    Press("btnNext");
    EXPECT_EQ(HighlightedId(), 210);

    // Another category's profile became current: this one highlights nothing.
    widget_.setCurrentProfileId(300);
    EXPECT_EQ(HighlightedId(), 0);
    EXPECT_EQ(list_->currentItem(), nullptr);
}

// With the skin's fixed tile size a long name is cut; its tooltip then gives it whole.
TEST_F(ProfileWidgetTest, ACutNameReadsWholeInTheTooltip) {
    widget_.setStyleSheet(skinStyleSheet());
    widget_.setCategory(catalogue_.get(), 4);
    widget_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget_));
    ASSERT_EQ(Names(), QStringList({kLongName, "AVI"}));
    const int tileWidth = list_->visualItemRect(list_->item(0)).width();
    ASSERT_LT(tileWidth, list_->fontMetrics().horizontalAdvance(kLongName));
    EXPECT_EQ(ToolTipOf(0), kLongName);
    EXPECT_EQ(ToolTipOf(1), QString());
    QToolTip::hideText();
}

TEST_F(ProfileWidgetTest, ReturnOnTheFocusedTileChoosesIt) {
    widget_.setCategory(catalogue_.get(), 0);
    widget_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget_));
    QSignalSpy spy(&widget_, &ProfileWidget::profileIdChanged);
    list_->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(list_->hasFocus());
    QTest::keyClick(list_, Qt::Key_Right);
    QTest::keyClick(list_, Qt::Key_Return);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), IdAt(list_->currentRow()));
    EXPECT_EQ(widget_.currentProfileId(), IdAt(list_->currentRow()));
}
