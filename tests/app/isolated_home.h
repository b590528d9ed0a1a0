// Points every per-user location into a fresh temporary folder, so that no test reads or
// writes the real home folder. Call before any Qt application object exists.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

inline void IsolateHome(const QTemporaryDir& home) {
    const QByteArray root = home.path().toUtf8();
    qputenv("HOME", root);
    qputenv("XDG_DATA_HOME", root + "/.local/share");
    qputenv("XDG_CONFIG_HOME", root + "/.config");
    qputenv("XDG_CACHE_HOME", root + "/.cache");
    qputenv("XDG_RUNTIME_DIR", root + "/.runtime");
    QDir().mkpath(home.path() + "/.runtime");
    QFile::setPermissions(home.path() + "/.runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("appdata", root + "/appdata");
}
