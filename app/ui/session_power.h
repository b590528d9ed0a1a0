// Asking the operating system to suspend or power off the computer.
#pragma once

#include <memory>

class QDBusMessage;

class SessionPowerBackend {
public:
    virtual ~SessionPowerBackend() = default;
    // True when the request was accepted; the machine then goes down (or to sleep) on its own.
    virtual bool requestPowerOff() = 0;
    virtual bool requestSuspend() = 0;
};

// The backend that really does it: logind over the system bus, else systemctl.
std::unique_ptr<SessionPowerBackend> createSystemSessionPower();

// logind's PowerOff and Suspend calls with interactive = false, built but not sent.
QDBusMessage logindPowerOffMessage();
QDBusMessage logindSuspendMessage();
