// The main window with its dialogs answered by the test, shared by the window's test files.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "FrmMainWindow.h"
#include "QTaskWidget.h"
#include "app_context.h"
#include "dialog_seam.h"
#include "engine_test_support.h"
#include "process_helpers.h"
#include "session_power.h"
#include "ui_FrmMainWindow.h"

namespace window_test {


class RecordingSessionPower : public SessionPowerBackend {
public:
    bool requestPowerOff() override {
        ++powerOffs;
        return true;
    }
    bool requestSuspend() override {
        ++suspends;
        return true;
    }
    int powerOffs = 0;
    int suspends = 0;
};

// Answers every box and dialog from queues the test fills, and remembers what was asked.
class ScriptedSeam : public DialogSeam {
public:
    QMessageBox::StandardButton ask(QMessageBox::Icon, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons, QMessageBox::StandardButton defaultButton,
                                    const ButtonTexts&) override {
        asked.append(title + ": " + text);
        return answers.isEmpty() ? defaultButton : answers.takeFirst();
    }
    bool openUrl(const QUrl& url) override {
        opened.append(url);
        return true;
    }
    void showText(QWidget*, const QString& title, const QString& text) override {
        shown.append(title + "\n" + text);
    }
    QStringList getOpenFileNames(QWidget*, const QString&, const QString&, const QString&) override {
        return files;
    }
    QString getExistingDirectory(QWidget*, const QString&, const QString&, QFileDialog::Options) override {
        return folder;
    }

    QList<QMessageBox::StandardButton> answers;
    QStringList asked;
    QList<QUrl> opened;
    QStringList shown;
    QStringList files;
    QString folder;
};

// Reaches the window's drop handler the way Qt's drag-and-drop machinery calls it.
class DroppableWindow : public FrmMainWindow {
public:
    using FrmMainWindow::FrmMainWindow;
    void drop(QDropEvent* event) { dropEvent(event); }
    void dragEnter(QDragEnterEvent* event) { dragEnterEvent(event); }
};

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        AppContext& context = AppContext::instance();
        ASSERT_NE(context.mediaManager(), nullptr);
        ASSERT_TRUE(context.loadProfiles(QStringLiteral(CORVANE_SHIPPED_PROFILE)));
    }

    void SetUp() override {
        DialogSeam::setInstance(&seam_);
        AppContext::instance().sourceList().clear();
        // No automatic update check: it would answer with a box of its own.
        AppContext::instance().settings()->setCheckForUpdate(false);
        AppContext::instance().settings()->qsettings()->setValue("UpdateUrl", "http://127.0.0.1:9");
        AppContext::instance().settings()->setOutputFileDir(dir_.path() + "/out");
        auto power = std::make_unique<RecordingSessionPower>();
        power_ = power.get();
        window_ = std::make_unique<DroppableWindow>(AppContext::instance(), std::move(power));
        window_->show();
    }

    void TearDown() override {
        window_.reset();
        AppContext::instance().sourceList().clear();
        DialogSeam::setInstance(nullptr);
    }

    // The program's next start: a new window over an empty list, which reads the saved one.
    void RestartWithQueue(const QString& store) {
        window_.reset();
        AppContext::instance().sourceList().clear();
        window_ = std::make_unique<DroppableWindow>(AppContext::instance(), std::make_unique<RecordingSessionPower>());
        window_->show();
        window_->restoreQueue(store);
    }

    QString Copy(const char* fixture, const QString& name) {
        const QString path = dir_.path() + "/" + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(QFile::copy(QString::fromStdString(TestMedia(fixture)), path)) << name.toStdString();
        return path;
    }

    // A source long enough that a run is still going when the test acts on it.
    QString LongSource() {
        const QString path = dir_.path() + "/long.mkv";
        const CommandResult made = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=40 "
            "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=40 -c:v libx264 -preset ultrafast "
            "-c:a aac -ac 2 " + ShellQuote(path.toStdString()));
        EXPECT_EQ(made.exitCode, 0) << made.output;
        return path;
    }

    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        window_->dragEnter(&enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        window_->drop(&event);
    }

    bool WaitUntil(const std::function<bool()>& done, int milliseconds) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > milliseconds)
                return false;
            QTest::qWait(50);
        }
        return true;
    }

    // Until every added file is read and has its row.
    bool WaitForReading(int milliseconds = 60000) {
        return WaitUntil([&] { return !window_->isReadingFiles(); }, milliseconds);
    }

    Ui::FrmMainWindowClass& ui() { return *window_->form(); }

    QTemporaryDir dir_;
    ScriptedSeam seam_;
    RecordingSessionPower* power_ = nullptr;
    std::unique_ptr<DroppableWindow> window_;
};

}  // namespace window_test
