#include "app_settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <iterator>

#include "conversion_run.h"

namespace {

const char kDatePattern[] = "MM.dd.yyyy";
constexpr int kMaxCheckUpdateDays = 180;

const char kProgramFolderName[] = "/corvane";
const char kSettingsFileName[] = "/app_config.xml";

// How each choice reads in the file; the order follows AfterRun.
constexpr const char* kAfterRunNames[] = {"nothing", "quit", "suspend", "poweroff"};
const char kAfterRunKey[] = "AfterRun";
// The older on/off setting, which only knew powering off.
const char kShutdownAfterFinishedKey[] = "ShutdownAfterFinished";

// $appdata puts data and configuration side by side under one folder, so that a test or a
// script can keep every file of the program away from the user's own.
QString AppDataOverride() {
    return qEnvironmentVariable("appdata");
}

QString ResolveDataRoot() {
    const QString fromEnvironment = AppDataOverride();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString ResolveConfigRoot() {
    const QString fromEnvironment = AppDataOverride();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment + "/config";
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

// Earlier versions kept the settings beside the data. Moved once, the first time the
// configuration folder has no settings of its own; a later start finds the file in place
// and leaves any old copy alone.
void MoveSettingsFromDataFolder(const QString& oldFile, const QString& newFile) {
    if (QFile::exists(newFile) || !QFile::exists(oldFile))
        return;
    // rename() copies across file systems itself; a copy alone still keeps the values when
    // the old folder does not let the file go.
    if (!QFile::rename(oldFile, newFile))
        QFile::copy(oldFile, newFile);
}

}  // namespace

AppSettings::AppSettings() : dataRoot_(ResolveDataRoot()), configRoot_(ResolveConfigRoot()) {
    QDir().mkpath(programFolder());
    QDir().mkpath(configFolder());
    const QString file = configFolder() + kSettingsFileName;
    MoveSettingsFromDataFolder(programFolder() + kSettingsFileName, file);
    settings_ = std::make_unique<QSettings>(file, QSettings::IniFormat);
    firstRunDays();
}

AppSettings::~AppSettings() = default;

QString AppSettings::programFolder() const {
    return dataRoot_ + kProgramFolderName;
}

QString AppSettings::configFolder() const {
    return configRoot_ + kProgramFolderName;
}

QString AppSettings::settingsFile() const {
    return settings_->fileName();
}

QString AppSettings::lastOpenFileDir() const {
    return settings_->value("LastOpenFileDir", QString()).toString();
}

void AppSettings::setLastOpenFileDir(const QString& dir) {
    store("LastOpenFileDir", dir);
}

QString AppSettings::lastOpenFolderPath() const {
    return settings_->value("LastOpenFolderPath", QString()).toString();
}

void AppSettings::setLastOpenFolderPath(const QString& path) {
    store("LastOpenFolderPath", path);
}

QString AppSettings::outputFileDir() const {
    QString dir = settings_->value("OutputFileDir", QString()).toString();
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/corvane";
    QDir().mkpath(dir);
    return QDir(dir).absolutePath();
}

void AppSettings::setOutputFileDir(const QString& dir) {
    store("OutputFileDir", dir);
}

bool AppSettings::maxTasksAtOnceIsAutomatic() const {
    const QVariant stored = settings_->value("MaxTasksAtOnce");
    return !stored.isValid() || stored.toString() == QLatin1String(kAutomaticTasks);
}

int AppSettings::maxTasksAtOnce() const {
    if (maxTasksAtOnceIsAutomatic())
        return automaticTaskCount();
    // 0, a negative count or text would start nothing at all: one at a time.
    bool number = false;
    const int count = settings_->value("MaxTasksAtOnce").toInt(&number);
    return number && count >= 1 ? count : 1;
}

void AppSettings::setMaxTasksAtOnce(int count) {
    store("MaxTasksAtOnce", count);
}

void AppSettings::setMaxTasksAtOnceAutomatic() {
    store("MaxTasksAtOnce", QString::fromLatin1(kAutomaticTasks));
}

AfterRun AppSettings::afterRun() const {
    const QString stored = settings_->value(kAfterRunKey).toString();
    for (int i = 0; i < static_cast<int>(std::size(kAfterRunNames)); ++i) {
        if (stored == QLatin1String(kAfterRunNames[i]))
            return static_cast<AfterRun>(i);
    }
    // Nothing chosen yet (or a word this version does not know): the older setting decides.
    return settings_->value(kShutdownAfterFinishedKey, false).toBool() ? AfterRun::PowerOff
                                                                         : AfterRun::Nothing;
}

void AppSettings::setAfterRun(AfterRun choice) {
    settings_->setValue(kAfterRunKey, QString::fromLatin1(kAfterRunNames[static_cast<int>(choice)]));
    // One place holds the choice from now on: a stale "true" must not come back to life.
    settings_->remove(kShutdownAfterFinishedKey);
    settings_->sync();
}

bool AppSettings::shutdownAfterFinished() const {
    return afterRun() == AfterRun::PowerOff;
}

void AppSettings::setShutdownAfterFinished(bool on) {
    setAfterRun(on ? AfterRun::PowerOff : AfterRun::Nothing);
}

int AppSettings::checkUpdateDays() const {
    return settings_->value("CheckUpdateDays", 7).toInt();
}

void AppSettings::setCheckUpdateDays(int days) {
    store("CheckUpdateDays", std::min(days, kMaxCheckUpdateDays));
}

bool AppSettings::checkForUpdate() const {
    return settings_->value("CheckForUpdate", true).toBool();
}

void AppSettings::setCheckForUpdate(bool on) {
    store("CheckForUpdate", on);
}

QDate AppSettings::lastCheckUpdateDate() const {
    return QDate::fromString(settings_->value("LastCheckUpdateDate").toString(), kDatePattern);
}

void AppSettings::setLastCheckUpdateDate(const QDate& date) {
    store("LastCheckUpdateDate", date.toString(kDatePattern));
}

int AppSettings::firstRunDays() {
    const qulonglong stamp = settings_->value("it", "0").toULongLong();
    const QDate today = QDate::currentDate();
    QDate firstRun = today;
    if (stamp != 0) {
        firstRun = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(stamp)).date();
    } else {
        const qint64 midnight = today.startOfDay().toSecsSinceEpoch();
        store("it", static_cast<qulonglong>(midnight));
    }
    return static_cast<int>(firstRun.daysTo(today));
}

void AppSettings::store(const QString& key, const QVariant& value) {
    settings_->setValue(key, value);
    // Written at once: a crash, a power cut or another Corvane process must not see an older
    // value than the one the user chose.
    settings_->sync();
}

void AppSettings::sync() {
    settings_->sync();
}
