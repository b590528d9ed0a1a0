// Texts cut to their widget: what is drawn, what the tooltip says, and what the program reads back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "elided_label.h"

namespace {

const QChar kEllipsis(0x2026);
const QString kLong = QStringLiteral("Copyright 2026 The Corvane developers and every contributor named");

QImage Rendering(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    widget.render(&image);
    return image;
}

// The same label as a plain QLabel showing `text`, drawn the same way.
QImage PlainLabelRendering(const QLabel& like, const QString& text) {
    QLabel plain(text);
    plain.setStyleSheet(like.styleSheet());
    plain.setAlignment(like.alignment());
    plain.setFont(like.font());
    plain.resize(like.size());
    return Rendering(plain);
}

class ElidedLabelTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Padding and a negative margin as the about box's copyright line has; they move the text.
        label_.setStyleSheet("QLabel { padding-top: 6px; margin-left: -2px; }");
        label_.setText(kLong);
    }
    ElidedLabel label_;
};

}  // namespace

TEST_F(ElidedLabelTest, TooNarrowDrawsTheCutTextAndTellsTheWholeOneInItsTooltip) {
    label_.resize(label_.sizeHint().width() / 2, label_.sizeHint().height());
    const QImage drawn = Rendering(label_);
    const FittedText fitted = label_.fittedText();
    ASSERT_TRUE(fitted.elided);
    EXPECT_TRUE(fitted.text.endsWith(kEllipsis)) << qPrintable(fitted.text);
    EXPECT_TRUE(kLong.startsWith(fitted.text.chopped(1))) << qPrintable(fitted.text);
    EXPECT_LE(label_.fontMetrics().horizontalAdvance(fitted.text), label_.contentsRect().width());
    // Drawn exactly where and as QLabel draws that same cut text.
    EXPECT_TRUE(drawn == PlainLabelRendering(label_, fitted.text));
    EXPECT_EQ(label_.toolTip(), kLong);
    EXPECT_EQ(label_.text(), kLong);
}

TEST_F(ElidedLabelTest, WideEnoughDrawsLikeQLabelWithoutATooltip) {
    label_.resize(label_.sizeHint().width() / 2, label_.sizeHint().height());
    Rendering(label_);
    ASSERT_EQ(label_.toolTip(), kLong);
    label_.resize(label_.sizeHint());
    const QImage drawn = Rendering(label_);
    EXPECT_FALSE(label_.fittedText().elided);
    EXPECT_TRUE(drawn == PlainLabelRendering(label_, kLong));
    EXPECT_TRUE(label_.toolTip().isEmpty());

    // A new text that does not fit while the label keeps its size.
    label_.setText(kLong + kLong);
    Rendering(label_);
    EXPECT_EQ(label_.toolTip(), kLong + kLong);
}

TEST_F(ElidedLabelTest, MiddleModeKeepsBothEnds) {
    const QString path = "/home/someone/Videos/Holidays/2025/Alps/converted/for the television";
    label_.setElideMode(Qt::ElideMiddle);
    label_.setText(path);
    label_.resize(label_.sizeHint().width() / 2, label_.sizeHint().height());
    Rendering(label_);
    const QString shown = label_.fittedText().text;
    const qsizetype cut = shown.indexOf(kEllipsis);
    ASSERT_GT(cut, 0) << qPrintable(shown);
    EXPECT_TRUE(path.startsWith(shown.left(cut))) << qPrintable(shown);
    EXPECT_TRUE(path.endsWith(shown.mid(cut + 1))) << qPrintable(shown);
    EXPECT_GT(shown.size() - cut - 1, 3) << qPrintable(shown);
}

TEST_F(ElidedLabelTest, KeepsATooltipTheProgramSet) {
    label_.setToolTip("Who made this");
    label_.resize(label_.sizeHint().width() / 2, label_.sizeHint().height());
    Rendering(label_);
    EXPECT_TRUE(label_.fittedText().elided);
    EXPECT_EQ(label_.toolTip(), "Who made this");
}

// In a layout narrower than its text the label gives way instead of pushing its neighbours out.
TEST_F(ElidedLabelTest, LayoutsCanSqueezeIt) {
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new ElidedLabel(kLong);
    auto* button = new QPushButton("OK");
    layout->addWidget(label);
    layout->addWidget(button);
    const int narrow = label->sizeHint().width() / 2 + button->sizeHint().width();
    row.setFixedWidth(narrow);
    row.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&row));
    EXPECT_LT(label->width(), label->sizeHint().width());
    EXPECT_LE(label->geometry().right(), button->geometry().left());
    EXPECT_TRUE(row.rect().contains(button->geometry()));
    EXPECT_TRUE(label->fittedText().elided);
    EXPECT_EQ(label->toolTip(), kLong);
}

TEST(ElidedButtonTest, CutsItsFaceTextAndKeepsTheWholeOne) {
    ElidedButton button;
    button.setText(kLong);
    button.resize(120, button.sizeHint().height());
    Rendering(button);
    EXPECT_EQ(button.text(), kLong);
    EXPECT_EQ(button.toolTip(), kLong);
    const FittedText fitted = button.fittedText();
    ASSERT_TRUE(fitted.elided);
    EXPECT_TRUE(fitted.text.endsWith(kEllipsis));

    // Drawn as a QPushButton with the cut text on its face.
    QPushButton plain(fitted.text);
    plain.resize(button.size());
    EXPECT_TRUE(Rendering(button) == Rendering(plain));

    button.setText("MKV");
    Rendering(button);
    EXPECT_FALSE(button.fittedText().elided);
    EXPECT_TRUE(button.toolTip().isEmpty());
}

TEST(ElidedComboBoxTest, CutsTheCurrentTextInTheMiddleAndLeavesTheItemsWhole) {
    const QString path = "/home/someone/Videos/Holidays/2025/Alps/converted/for the television";
    ElidedComboBox box;
    box.addItem(path);
    box.addItem("Other...");
    box.resize(160, box.sizeHint().height());
    Rendering(box);
    EXPECT_EQ(box.itemText(0), path);
    EXPECT_EQ(box.currentText(), path);
    EXPECT_EQ(box.toolTip(), path);
    const QString shown = box.fittedText().text;
    const qsizetype cut = shown.indexOf(kEllipsis);
    ASSERT_GT(cut, 0) << qPrintable(shown);
    EXPECT_TRUE(path.startsWith(shown.left(cut)));
    EXPECT_TRUE(path.endsWith(shown.mid(cut + 1)));

    // Drawn as a QComboBox whose current item is the cut text.
    QComboBox plain;
    plain.addItem(shown);
    plain.resize(box.size());
    EXPECT_TRUE(Rendering(box) == Rendering(plain));

    // The tooltip follows the current text even while the box is not drawn.
    box.setCurrentIndex(1);
    EXPECT_TRUE(box.toolTip().isEmpty());
    box.setCurrentIndex(0);
    EXPECT_EQ(box.toolTip(), path);
    box.setItemText(0, "/tmp");
    EXPECT_TRUE(box.toolTip().isEmpty());
}
