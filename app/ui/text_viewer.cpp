#include "text_viewer.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QDialog* showTextViewer(QWidget* parent, const QString& title, const QString& text) {
    auto* viewer = new QDialog(parent);
    viewer->setObjectName(QStringLiteral("textViewer"));
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setWindowTitle(title);
    viewer->resize(640, 360);

    auto* view = new QPlainTextEdit(viewer);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setPlainText(text);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, viewer);
    QObject::connect(buttons, &QDialogButtonBox::rejected, viewer, &QDialog::reject);

    auto* layout = new QVBoxLayout(viewer);
    layout->addWidget(view);
    layout->addWidget(buttons);
    viewer->show();
    return viewer;
}
