#include "dialog_seam.h"

#include <QAbstractButton>
#include <QDesktopServices>

#include "text_viewer.h"

namespace {

DialogSeam* installed = nullptr;

}  // namespace

DialogSeam& DialogSeam::instance() {
    static DesktopDialogSeam desktop;
    return installed ? *installed : desktop;
}

void DialogSeam::setInstance(DialogSeam* seam) {
    installed = seam;
}

void DialogSeam::showText(QWidget* parent, const QString& title, const QString& text) {
    showTextViewer(parent, title, text);
}

QMessageBox::StandardButton DesktopDialogSeam::ask(QMessageBox::Icon icon, const QString& title,
                                                   const QString& text, QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton,
                                                   const ButtonTexts& buttonTexts) {
    QMessageBox box(icon, title, text, buttons, nullptr);
    box.setDefaultButton(defaultButton);
    for (auto it = buttonTexts.constBegin(); it != buttonTexts.constEnd(); ++it)
        if (QAbstractButton* button = box.button(it.key()))
            button->setText(it.value());
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool DesktopDialogSeam::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

QStringList DesktopDialogSeam::getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                                const QString& filter) {
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString DesktopDialogSeam::getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir,
                                                QFileDialog::Options options) {
    return QFileDialog::getExistingDirectory(parent, caption, dir, options);
}
