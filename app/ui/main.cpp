// Corvane: the desktop converter for Matroska files.
#include <QApplication>
#include <QFile>

#include "FrmMainWindow.h"
#include "app_context.h"
#include "dialog_seam.h"
#include "power_off.h"
#include "product_info.h"

namespace {

// The skin comes from the compiled-in resources; without it the program runs unskinned.
void ApplySkin(QApplication& app) {
    QFile sheet(":/qss/skinqss");
    if (sheet.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(ProductInfo::kName);
    QApplication::setApplicationVersion(ProductInfo::fullVersion());
    QApplication::setWindowIcon(QIcon(":/icons/corvane-256.png"));
    ApplySkin(app);

    AppContext& context = AppContext::instance();
    if (context.mediaManager() == nullptr) {
        DialogSeam::instance().ask(
            QMessageBox::Critical, QObject::tr("Corvane"),
            QObject::tr("The media engine could not be started. Please reinstall Corvane."),
            QMessageBox::Ok, QMessageBox::Ok);
        return 1;
    }
    const QString profileFolder = AppContext::shippedProfileFolder();
    if (!context.loadProfiles(profileFolder) || context.profileManager()->outputSetting() == nullptr) {
        DialogSeam::instance().ask(
            QMessageBox::Critical, QObject::tr("Corvane"),
            QObject::tr("The profile catalogue could not be loaded from %1. Please reinstall Corvane.")
                .arg(profileFolder),
            QMessageBox::Ok, QMessageBox::Ok);
        return 1;
    }

    int exitCode = 0;
    {
        FrmMainWindow window(context, createSystemPowerOff());
        window.show();
        exitCode = QApplication::exec();
    }
    return exitCode;
}
