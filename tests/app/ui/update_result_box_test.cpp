#include <gtest/gtest.h>

#include <QtGlobal>
#include <vector>

#include "dialog_seam.h"
#include "update_result_box.h"

namespace {

// Answers every box with a scripted button and records what was shown.
class ScriptedSeam : public DialogSeam {
public:
    struct Box {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        ButtonTexts labels;
    };

    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton,
                                    const ButtonTexts& labels) override {
        boxes.push_back({icon, title, text, buttons, defaultButton, labels});
        return answer;
    }
    bool openUrl(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
    QStringList getOpenFileNames(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString getExistingDirectory(QWidget*, const QString&, const QString&, QFileDialog::Options) override {
        return {};
    }

    QMessageBox::StandardButton answer = QMessageBox::Ok;
    std::vector<Box> boxes;
    std::vector<QUrl> opened;
};

// Collects the warnings logged while it lives.
class WarningLog {
public:
    WarningLog() {
        warnings_ = &lines;
        previous_ = qInstallMessageHandler(&Collect);
    }
    ~WarningLog() {
        qInstallMessageHandler(previous_);
        warnings_ = nullptr;
    }

    QStringList lines;

private:
    static void Collect(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg)
            warnings_->append(text);
    }

    static inline QStringList* warnings_ = nullptr;
    QtMessageHandler previous_ = nullptr;
};

}  // namespace

TEST(UpdateResultBoxTest, AFailedCheckShowsTheErrorBox) {
    ScriptedSeam seam;
    EXPECT_EQ(showUpdateResult(seam, "", "", "ERROR"), UpdateResultKind::Error);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].title, "Check update");
    EXPECT_EQ(seam.boxes[0].text, "Check update error.");
    EXPECT_EQ(seam.boxes[0].buttons, QMessageBox::Ok);
    EXPECT_TRUE(seam.opened.empty());
}

TEST(UpdateResultBoxTest, ANewerVersionIsOfferedAndOpenedOnlyWhenTaken) {
    ScriptedSeam seam;
    seam.answer = QMessageBox::No;
    EXPECT_EQ(showUpdateResult(seam, "1.0.2.100", "https://example.org/get", ""), UpdateResultKind::NewVersion);
    ASSERT_EQ(seam.boxes.size(), 1u);
    const ScriptedSeam::Box& box = seam.boxes[0];
    EXPECT_EQ(box.icon, QMessageBox::Information);
    EXPECT_EQ(box.title, "Check update");
    EXPECT_EQ(box.text, "New version: 1.0.2.100");
    EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.defaultButton, QMessageBox::Yes);
    EXPECT_EQ(box.labels.value(QMessageBox::Yes), "Update Now");
    EXPECT_EQ(box.labels.value(QMessageBox::No), "Remind Me Later");
    EXPECT_TRUE(seam.opened.empty());

    seam.answer = QMessageBox::Yes;
    showUpdateResult(seam, "1.0.2.100", "https://example.org/get", "");
    ASSERT_EQ(seam.opened.size(), 1u);
    EXPECT_EQ(seam.opened[0], QUrl("https://example.org/get"));
}

TEST(UpdateResultBoxTest, OtherVersionsShowTheLatestBoxAndOtherLinksTheErrorBox) {
    const struct {
        const char* version;
        const char* url;
        UpdateResultKind kind;
    } cases[] = {
        {"1.0.1.121", "https://example.org/get", UpdateResultKind::Latest},
        {"1.0.1.99", "https://example.org/get", UpdateResultKind::Latest},
        {"2.0", "https://example.org/get", UpdateResultKind::Latest},
        {"9.0.0.0", "javascript:alert(1)", UpdateResultKind::Error},
        {"9.0.0.0", "file:///etc/passwd", UpdateResultKind::Error},
        {"9.0.0.0", "", UpdateResultKind::Error},
    };
    for (const auto& c : cases) {
        ScriptedSeam seam;
        seam.answer = QMessageBox::Yes;
        EXPECT_EQ(showUpdateResult(seam, c.version, c.url, ""), c.kind) << c.version << " " << c.url;
        ASSERT_EQ(seam.boxes.size(), 1u);
        EXPECT_EQ(seam.boxes[0].text, c.kind == UpdateResultKind::Latest
                                          ? "You have the latest version now. No update is available"
                                          : "Check update error.");
        EXPECT_TRUE(seam.opened.empty());
    }
}

TEST(UpdateResultBoxTest, AnAutomaticCheckShowsOnlyANewerVersionAndLogsItsFailure) {
    {
        ScriptedSeam seam;
        WarningLog log;
        EXPECT_EQ(answerUpdateCheck(seam, "", "", "ERROR", true), UpdateResultKind::Error);
        EXPECT_TRUE(seam.boxes.empty());
        ASSERT_EQ(log.lines.size(), 1);
        EXPECT_TRUE(log.lines[0].contains("automatic update check failed")) << log.lines[0].toStdString();
    }
    {
        ScriptedSeam seam;
        WarningLog log;
        EXPECT_EQ(answerUpdateCheck(seam, "1.0.1.121", "https://example.org/get", "", true),
                  UpdateResultKind::Latest);
        EXPECT_TRUE(seam.boxes.empty());
        EXPECT_TRUE(log.lines.isEmpty());
    }
    {
        ScriptedSeam seam;
        seam.answer = QMessageBox::Yes;
        EXPECT_EQ(answerUpdateCheck(seam, "1.0.2.100", "https://example.org/get", "", true),
                  UpdateResultKind::NewVersion);
        ASSERT_EQ(seam.boxes.size(), 1u);
        EXPECT_EQ(seam.boxes[0].text, "New version: 1.0.2.100");
        ASSERT_EQ(seam.opened.size(), 1u);
    }
}

TEST(UpdateResultBoxTest, TheUsersCheckShowsEveryResultErrorIncluded) {
    const struct {
        const char* version;
        const char* error;
        const char* text;
    } cases[] = {
        {"", "ERROR", "Check update error."},
        {"1.0.1.121", "", "You have the latest version now. No update is available"},
        {"1.0.2.100", "", "New version: 1.0.2.100"},
    };
    for (const auto& c : cases) {
        ScriptedSeam seam;
        seam.answer = QMessageBox::No;
        WarningLog log;
        answerUpdateCheck(seam, c.version, "https://example.org/get", c.error, false);
        ASSERT_EQ(seam.boxes.size(), 1u) << c.text;
        EXPECT_EQ(seam.boxes[0].text, c.text);
        EXPECT_TRUE(log.lines.isEmpty()) << "shown, not logged";
    }
}

TEST(DialogSeamTest, AnInstalledSeamReplacesTheDesktopOneUntilRemoved) {
    DialogSeam& desktop = DialogSeam::instance();
    EXPECT_NE(dynamic_cast<DesktopDialogSeam*>(&desktop), nullptr);
    ScriptedSeam seam;
    DialogSeam::setInstance(&seam);
    DialogSeam::instance().information("t", "x");
    DialogSeam::setInstance(nullptr);
    EXPECT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(&DialogSeam::instance(), &desktop);
}
