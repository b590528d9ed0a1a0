#include "session_power.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>

namespace {

constexpr int kBusTimeoutMs = 10000;

QDBusMessage LogindManagerCall(const QString& method) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), method);
    // Not interactive: nobody may be at the machine to answer an authentication prompt.
    message << false;
    return message;
}

class SystemSessionPower final : public SessionPowerBackend {
public:
    bool requestPowerOff() override {
        return request(logindPowerOffMessage(), QStringLiteral("poweroff"));
    }
    bool requestSuspend() override {
        return request(logindSuspendMessage(), QStringLiteral("suspend"));
    }

private:
    static bool request(const QDBusMessage& call, const QString& systemctlVerb) {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (bus.isConnected()) {
            const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage)
                return true;
        }
        // No system bus, no logind, or a refusal: systemctl is the last way left. Its own
        // outcome is not awaited; starting it is all that can be known here.
        return QProcess::startDetached(QStringLiteral("systemctl"), {systemctlVerb});
    }
};

}  // namespace

QDBusMessage logindPowerOffMessage() {
    return LogindManagerCall(QStringLiteral("PowerOff"));
}

QDBusMessage logindSuspendMessage() {
    return LogindManagerCall(QStringLiteral("Suspend"));
}

std::unique_ptr<SessionPowerBackend> createSystemSessionPower() {
    return std::make_unique<SystemSessionPower>();
}
