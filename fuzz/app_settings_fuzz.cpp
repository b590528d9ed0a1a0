// The settings store reading an arbitrary app_config.xml through every accessor.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <cstdint>

#include "app_settings.h"
#include "fuzz_temp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString root = FuzzFolder().path() + "/appdata";
    qputenv("appdata", root.toLocal8Bit());
    QDir().mkpath(root + "/config/corvane");
    {
        QFile file(root + "/config/corvane/app_config.xml");
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    AppSettings settings;
    (void)settings.lastOpenFileDir();
    (void)settings.lastOpenFolderPath();
    (void)settings.afterRun();
    // outputFileDir() creates the folder it names, so it is read as a plain value here.
    (void)settings.qsettings()->value("OutputFileDir").toString();
    (void)settings.maxTasksAtOnce();
    (void)settings.shutdownAfterFinished();
    (void)settings.checkUpdateDays();
    (void)settings.checkForUpdate();
    (void)settings.lastCheckUpdateDate();
    (void)settings.firstRunDays();
    for (const QString& key : settings.qsettings()->allKeys())
        (void)settings.qsettings()->value(key).toString();
    return 0;
}
