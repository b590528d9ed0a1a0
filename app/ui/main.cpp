// Corvane: the desktop converter for Matroska files.
#include <QApplication>

#include "FrmMainWindow.h"
#include "app_context.h"
#include "dialog_seam.h"
#include "library_logging.h"
#include "product_info.h"
#include "quit_signals.h"
#include "session_power.h"
#include "single_instance.h"
#include "skin.h"

int main(int argc, char** argv) {
    quietEncoderLibraries();
    QApplication app(argc, argv);
    QApplication::setApplicationName(ProductInfo::kName);
    QApplication::setApplicationVersion(ProductInfo::fullVersion());
    QApplication::setWindowIcon(skinApplicationIcon());
    // Without the compiled-in skin the program still runs, unskinned.
    app.setStyleSheet(skinStyleSheet());

    // Files given on the command line (a file manager's "Open With") go to the window that
    // already runs, when there is one.
    const QStringList files = QApplication::arguments().mid(1);
    SingleInstance instance(SingleInstance::defaultSocketPath());
    if (instance.handToRunning(files))
        return 0;

    AppContext& context = AppContext::instance();
    QString error;
    if (!context.open(&error)) {
        DialogSeam::instance().ask(QMessageBox::Critical, ProductInfo::kName,
                                   error + ' ' + QObject::tr("Please reinstall Corvane."),
                                   QMessageBox::Ok, QMessageBox::Ok);
        return 1;
    }

    FrmMainWindow window(context, createSystemSessionPower());
    // A logout or kill ends the run cleanly: no half-written file is left behind.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &window, [&window] {
        window.stopForQuit();
        QApplication::quit();
    });
    window.restoreQueue(context.settings()->programFolder() + QStringLiteral("/queue.json"));
    window.openFiles(files);
    instance.listen();
    QObject::connect(&instance, &SingleInstance::filesReceived, &window, [&window](const QStringList& more) {
        window.openFiles(more);
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    window.show();
    return QApplication::exec();
}
