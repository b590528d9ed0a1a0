#include "elided_label.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>

namespace {

const QString kEllipsis(QChar(0x2026));

// Room the styles keep between an icon and the text beside it.
constexpr int kIconSpacing = 4;

}  // namespace

FittedText fitText(const QFontMetrics& metrics, const QString& text, int width, Qt::TextElideMode mode) {
    if (mode == Qt::ElideNone || metrics.horizontalAdvance(text) <= width)
        return {text, false};
    return {metrics.elidedText(text, mode, std::max(width, 0)), true};
}

void ElisionToolTip::update(QWidget* widget, bool elided, const QString& wholeText) {
    const QString current = widget->toolTip();
    if (!current.isEmpty() && current != ours_)
        return;
    ours_ = elided ? wholeText : QString();
    if (current != ours_)
        widget->setToolTip(ours_);
}

// ---- ElidedLabel ------------------------------------------------------------------------------

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : ElidedLabel(parent) {
    setText(text);
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode) {
    mode_ = mode;
    update();
}

QRect ElidedLabel::textRect() const {
    // As QLabel lays out its text: inside the frame and margin, less the indent on the aligned side.
    QRect rect = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    int indent = this->indent();
    if (indent < 0 && frameWidth() > 0)
        indent = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - margin();
    if (indent > 0) {
        const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
        if (align & Qt::AlignLeft)
            rect.setLeft(rect.left() + indent);
        if (align & Qt::AlignRight)
            rect.setRight(rect.right() - indent);
    }
    return rect;
}

FittedText ElidedLabel::fittedText() const {
    if (wordWrap())
        return {text(), false};
    return fitText(fontMetrics(), text(), textRect().width(), mode_);
}

QSize ElidedLabel::minimumSizeHint() const {
    QSize hint = QLabel::minimumSizeHint();
    if (wordWrap() || text().isEmpty())
        return hint;
    const QFontMetrics metrics = fontMetrics();
    // What QLabel asks for beyond the text itself: frame, margins, padding.
    const int chrome = std::max(0, QLabel::sizeHint().width() - metrics.horizontalAdvance(text()));
    hint.setWidth(std::min(hint.width(), chrome + metrics.horizontalAdvance(kEllipsis)));
    return hint;
}

void ElidedLabel::paintEvent(QPaintEvent* event) {
    const FittedText fitted = fittedText();
    toolTip_.update(this, fitted.elided, text());
    if (!fitted.elided) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    style()->drawItemText(&painter, textRect(), int(align), palette(), isEnabled(), fitted.text,
                          foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    toolTip_.update(this, fittedText().elided, text());
}

// ---- ElidedButton -----------------------------------------------------------------------------

ElidedButton::ElidedButton(QWidget* parent) : QPushButton(parent) {}

void ElidedButton::setElideMode(Qt::TextElideMode mode) {
    mode_ = mode;
    update();
}

FittedText ElidedButton::fittedText() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    int width = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this).width();
    if (!option.icon.isNull())
        width -= option.iconSize.width() + kIconSpacing;
    if (option.features & QStyleOptionButton::HasMenu)
        width -= style()->pixelMetric(QStyle::PM_MenuButtonIndicator, &option, this);
    return fitText(fontMetrics(), text(), width, mode_);
}

void ElidedButton::paintEvent(QPaintEvent*) {
    const FittedText fitted = fittedText();
    toolTip_.update(this, fitted.elided, text());
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = fitted.text;
    painter.drawControl(QStyle::CE_PushButton, option);
}

void ElidedButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    toolTip_.update(this, fittedText().elided, text());
}

// ---- ElidedComboBox ---------------------------------------------------------------------------

ElidedComboBox::ElidedComboBox(QWidget* parent) : QComboBox(parent) {
    // Items change without a repaint while the box is hidden; keep the tooltip right anyway.
    connect(this, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { toolTip_.update(this, fittedText().elided, text); });
}

void ElidedComboBox::setElideMode(Qt::TextElideMode mode) {
    mode_ = mode;
    update();
}

FittedText ElidedComboBox::fittedText() const {
    if (isEditable())
        return {currentText(), false};
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    // The styles draw the label one pixel in from each side of the field.
    int width = field.width() - 2;
    if (!option.currentIcon.isNull())
        width -= option.iconSize.width() + kIconSpacing;
    return fitText(fontMetrics(), option.currentText, width, mode_);
}

void ElidedComboBox::paintEvent(QPaintEvent*) {
    const FittedText fitted = fittedText();
    toolTip_.update(this, fitted.elided, currentText());
    // As QComboBox paints itself, with the text replaced.
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0 && !placeholderText().isEmpty()) {
        option.palette.setBrush(QPalette::ButtonText, option.palette.placeholderText());
        option.currentText = placeholderText();
    } else {
        option.currentText = fitted.text;
    }
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void ElidedComboBox::resizeEvent(QResizeEvent* event) {
    QComboBox::resizeEvent(event);
    toolTip_.update(this, fittedText().elided, currentText());
}
