// Widgets that show a one-line text too wide for them cut with an ellipsis, with the whole text
// as their tooltip while it is cut. text() / currentText() stay the whole text, so code that
// reads them back (paths, profile names) is unaffected by how much is shown.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QString>

class QFontMetrics;

struct FittedText {
    QString text;  // what is drawn
    bool elided = false;
};

// text as it fits in width pixels, cut with an ellipsis where mode says when it does not.
FittedText fitText(const QFontMetrics& metrics, const QString& text, int width, Qt::TextElideMode mode);

// Keeps a widget's tooltip at the whole text while the text is cut, and empty otherwise. A tooltip
// the program set itself is left alone.
class ElisionToolTip {
public:
    void update(QWidget* widget, bool elided, const QString& wholeText);

private:
    QString ours_;
};

// A plain-text, one-line label. Word-wrapping labels are drawn as QLabel draws them.
class ElidedLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(Qt::TextElideMode elideMode READ elideMode WRITE setElideMode)

public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    explicit ElidedLabel(const QString& text, QWidget* parent = nullptr);

    Qt::TextElideMode elideMode() const { return mode_; }
    void setElideMode(Qt::TextElideMode mode);
    // The text as drawn at the label's present width.
    FittedText fittedText() const;

    // As narrow as an ellipsis, so layouts can squeeze the label instead of the window growing.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect textRect() const;

    Qt::TextElideMode mode_ = Qt::ElideRight;
    ElisionToolTip toolTip_;
};

// A push button whose text is cut to its face, e.g. the current profile's name.
class ElidedButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(Qt::TextElideMode elideMode READ elideMode WRITE setElideMode)

public:
    explicit ElidedButton(QWidget* parent = nullptr);

    Qt::TextElideMode elideMode() const { return mode_; }
    void setElideMode(Qt::TextElideMode mode);
    FittedText fittedText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Qt::TextElideMode mode_ = Qt::ElideRight;
    ElisionToolTip toolTip_;
};

// A non-editable combo box whose current text is cut to its field; cut in the middle by default,
// since its texts are mostly paths whose ends both matter. The pop-up list shows whole texts.
class ElidedComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(Qt::TextElideMode elideMode READ elideMode WRITE setElideMode)

public:
    explicit ElidedComboBox(QWidget* parent = nullptr);

    Qt::TextElideMode elideMode() const { return mode_; }
    void setElideMode(Qt::TextElideMode mode);
    FittedText fittedText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Qt::TextElideMode mode_ = Qt::ElideMiddle;
    ElisionToolTip toolTip_;
};
