#include "power_off.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>

namespace {

constexpr int kBusTimeoutMs = 10000;

class SystemPowerOff final : public PowerOffBackend {
public:
    bool requestPowerOff() override {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (bus.isConnected()) {
            const QDBusMessage reply = bus.call(logindPowerOffMessage(), QDBus::Block, kBusTimeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage)
                return true;
        }
        // No system bus, no logind, or a refusal: systemctl is the last way left. Its own
        // outcome is not awaited; starting it is all that can be known here.
        return QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
    }
};

}  // namespace

QDBusMessage logindPowerOffMessage() {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    // Not interactive: nobody may be at the machine to answer an authentication prompt.
    message << false;
    return message;
}

std::unique_ptr<PowerOffBackend> createSystemPowerOff() {
    return std::make_unique<SystemPowerOff>();
}
