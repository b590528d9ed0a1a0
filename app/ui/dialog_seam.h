// The one way the window reaches message boxes and the desktop, so that tests can answer
// them without a person.
#pragma once

#include <QFileDialog>
#include <QMap>
#include <QMessageBox>
#include <QString>
#include <QUrl>

class DialogSeam {
public:
    using ButtonTexts = QMap<QMessageBox::StandardButton, QString>;

    virtual ~DialogSeam() = default;

    // A parentless message box; returns the button chosen (the escape button when closed).
    // buttonTexts relabels standard buttons.
    virtual QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& title,
                                            const QString& text, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton,
                                            const ButtonTexts& buttonTexts = {}) = 0;
    // Opens url with the desktop's handler; false when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;

    // The file dialogs, as QFileDialog's functions of the same names; empty when cancelled.
    virtual QStringList getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                         const QString& filter) = 0;
    virtual QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir,
                                         QFileDialog::Options options) = 0;

    // A long text (a task's log) in a viewer that does not block; the real one by default.
    virtual void showText(QWidget* parent, const QString& title, const QString& text);

    // An information box with only an OK button.
    void information(const QString& title, const QString& text) {
        ask(QMessageBox::Information, title, text, QMessageBox::Ok, QMessageBox::Ok);
    }

    // The installed seam, or the one showing real boxes.
    static DialogSeam& instance();
    // Installs a seam that is not owned; null brings back the real one.
    static void setInstance(DialogSeam* seam);
};

// Real message boxes and the desktop's URL handler.
class DesktopDialogSeam : public DialogSeam {
public:
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton,
                                    const ButtonTexts& buttonTexts = {}) override;
    bool openUrl(const QUrl& url) override;
    QStringList getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) override;
    QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir,
                                 QFileDialog::Options options) override;
};
