#include "update_result_box.h"

#include <QCoreApplication>
#include <QtGlobal>

#include "dialog_seam.h"

// The texts are translated in the main window's context, where the boxes are shown from.
UpdateResultKind showUpdateResult(DialogSeam& seam, const QString& lastVersion, const QString& url,
                                  const QString& error) {
    const QString title = QCoreApplication::translate("FrmMainWindow", "Check update");
    const UpdateResultKind kind = classifyUpdateResult(lastVersion, url, error);
    switch (kind) {
    case UpdateResultKind::Error:
        seam.information(title, QCoreApplication::translate("FrmMainWindow", "Check update error."));
        break;
    case UpdateResultKind::NewVersion: {
        const DialogSeam::ButtonTexts labels{
            {QMessageBox::Yes, QCoreApplication::translate("FrmMainWindow", "Update Now")},
            {QMessageBox::No, QCoreApplication::translate("FrmMainWindow", "Remind Me Later")}};
        const QString text = QCoreApplication::translate("FrmMainWindow", "New version: ") + lastVersion;
        const QMessageBox::StandardButton chosen = seam.ask(
            QMessageBox::Information, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, labels);
        if (chosen == QMessageBox::Yes)
            seam.openUrl(QUrl(url, QUrl::StrictMode));
        break;
    }
    case UpdateResultKind::Latest:
        seam.information(title, QCoreApplication::translate(
                                    "FrmMainWindow", "You have the latest version now. No update is available"));
        break;
    }
    return kind;
}

UpdateResultKind answerUpdateCheck(DialogSeam& seam, const QString& lastVersion, const QString& url,
                                   const QString& error, bool automatic) {
    if (!automatic)
        return showUpdateResult(seam, lastVersion, url, error);
    const UpdateResultKind kind = classifyUpdateResult(lastVersion, url, error);
    if (kind == UpdateResultKind::NewVersion)
        return showUpdateResult(seam, lastVersion, url, error);
    if (kind == UpdateResultKind::Error)
        qWarning("The automatic update check failed: %s", qUtf8Printable(error));
    return kind;
}
