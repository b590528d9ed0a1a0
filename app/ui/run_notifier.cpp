#include "run_notifier.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

#include "product_info.h"

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kOpenFolderAction = QStringLiteral("open-folder");
constexpr int kCallTimeoutMs = 2000;

}  // namespace

RunNotifier::RunNotifier(QObject* parent) : QObject(parent) {}

RunNotifier::RunNotifier(QDBusConnection bus, QObject* parent) : QObject(parent) {
    bus_.emplace(std::move(bus));
    bus_->connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
}

QDBusConnection& RunNotifier::bus() {
    if (!bus_) {
        bus_.emplace(QDBusConnection::sessionBus());
        bus_->connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                      SLOT(onActionInvoked(uint, QString)));
    }
    return *bus_;
}

QString RunNotifier::summaryText(int finished, int failed, int stopped) {
    QStringList parts;
    if (finished > 0)
        parts << (finished == 1 ? tr("1 file converted") : tr("%1 files converted").arg(finished));
    if (failed > 0)
        parts << tr("%1 failed").arg(failed);
    if (stopped > 0)
        parts << tr("%1 stopped").arg(stopped);
    return parts.join(QStringLiteral(", "));
}

bool RunNotifier::notifyRunEnded(int finished, int failed, int stopped, const QString& outputFolder) {
    if (!bus().isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QStringList actions;
    if (finished > 0)
        actions << kOpenFolderAction << tr("Open folder");
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("corvane"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(failed > 0 ? 2 : 1));
    call << ProductInfo::kName << lastId_ << QStringLiteral("corvane")
         << tr("Conversion finished") << summaryText(finished, failed, stopped) << actions << hints
         << int{-1};
    // The window's events go on while the service answers; a missing service costs at most
    // the timeout.
    const QDBusReply<uint> reply = bus().call(call, QDBus::BlockWithGui, kCallTimeoutMs);
    if (!reply.isValid())
        return false;
    lastId_ = reply.value();
    lastFolder_ = outputFolder;
    return true;
}

void RunNotifier::onActionInvoked(uint id, const QString& action) {
    if (id == lastId_ && action == kOpenFolderAction)
        emit openFolderRequested(lastFolder_);
}
