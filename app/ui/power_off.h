// Asking the operating system to power the computer off.
#pragma once

#include <memory>

class QDBusMessage;

class PowerOffBackend {
public:
    virtual ~PowerOffBackend() = default;
    // True when the request was accepted; the machine then goes down on its own.
    virtual bool requestPowerOff() = 0;
};

// The backend that really powers off: logind over the system bus, else `systemctl poweroff`.
std::unique_ptr<PowerOffBackend> createSystemPowerOff();

// logind's PowerOff(interactive = false) call, built but not sent.
QDBusMessage logindPowerOffMessage();
