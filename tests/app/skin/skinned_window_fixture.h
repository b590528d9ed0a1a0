// The real main window with the skin applied, offscreen, with the shipped catalogue; tasks from
// the generated media on request.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "FrmMainWindow.h"
#include "app_context.h"
#include "engine_test_support.h"
#include "session_power.h"
#include "skin.h"
#include "skin_test_support.h"
#include "ui_FrmMainWindow.h"

namespace skin_test {

class NoSessionPower : public SessionPowerBackend {
public:
    bool requestPowerOff() override { return false; }
    bool requestSuspend() override { return false; }
};

inline QStringList g_skinWarnings;

// Style sheet parse errors, pictures Qt cannot read and SVG errors; the rest of the program's
// log is not the skin's business.
inline void CollectSkinWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    const QString category = QString::fromLatin1(context.category ? context.category : "");
    const QString text = message.toLower();
    if (category.startsWith("qt.svg") || text.contains("stylesheet") || text.contains("style sheet") ||
        text.contains("pixmap") || text.contains("image"))
        g_skinWarnings << message;
}

// Qt 6 push buttons take :hover from the last mouse move over their face.
inline void Hover(QWidget* widget, bool on) {
    const QPointF at = on ? QRectF(widget->rect()).center() : QPointF(-5, -5);
    widget->setAttribute(Qt::WA_UnderMouse, on);
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// Only what the widget itself paints, onto transparency, so a face drawn from a border-image
// can be compared with its picture pixel for pixel.
inline QImage Face(QWidget* widget) {
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

inline double ShowsPicture(QWidget* widget, const QString& name) {
    return DifferingShare(Face(widget), LoadPicture(":/frmMain/" + name), 2);
}

inline QSize SkinPictureSize(const QString& path) {
    return LoadPicture(path).size();
}

class SkinnedWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qApp->setStyleSheet(skinStyleSheet());
        AppContext& context = AppContext::instance();
        ASSERT_NE(context.mediaManager(), nullptr);
        ASSERT_TRUE(context.loadProfiles(QStringLiteral(CORVANE_SHIPPED_PROFILE)));
    }
    static void TearDownTestSuite() { qApp->setStyleSheet(QString()); }

    void SetUp() override {
        ASSERT_FALSE(skinStyleSheet().isEmpty());
        g_skinWarnings.clear();
        previous_ = qInstallMessageHandler(CollectSkinWarnings);
        AppContext& context = AppContext::instance();
        context.sourceList().clear();
        context.settings()->setCheckForUpdate(false);
        context.settings()->qsettings()->setValue("UpdateUrl", "http://127.0.0.1:9");
        context.settings()->setOutputFileDir(dir_.path() + "/out");
        window_ = std::make_unique<FrmMainWindow>(context, std::make_unique<NoSessionPower>());
        window_->resize(980, 660);
        window_->show();
        QApplication::processEvents();
        // The first control takes the keyboard focus as the window opens, and shows it with an
        // outline; faces are compared with their pictures without it.
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
    }

    void TearDown() override {
        window_.reset();
        AppContext::instance().sourceList().clear();
        qInstallMessageHandler(previous_);
    }

    void AddTasks() {
        SourceList& sources = AppContext::instance().sourceList();
        ASSERT_GE(sources.add(QString::fromStdString(TestMedia("h264_aac.mkv"))), 0);
        ASSERT_GE(sources.add(QString::fromStdString(TestMedia("audio_only.mka"))), 0);
        window_->rebuildTaskRows();
        QApplication::processEvents();
        ASSERT_EQ(window_->taskRowCount(), 2);
    }

    Ui::FrmMainWindowClass& ui() { return *window_->form(); }
    QPushButton* Button(const char* name) {
        QPushButton* button = window_->findChild<QPushButton*>(name);
        EXPECT_NE(button, nullptr) << name;
        return button;
    }

    QTemporaryDir dir_;
    std::unique_ptr<FrmMainWindow> window_;
    QtMessageHandler previous_ = nullptr;
};

}  // namespace skin_test
