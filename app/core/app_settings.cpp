#include "app_settings.h"

#include <QDateTime>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "conversion_run.h"

namespace {

const char kDatePattern[] = "MM.dd.yyyy";
constexpr int kMaxCheckUpdateDays = 180;

QString ResolveDataRoot() {
    const QString fromEnvironment = qEnvironmentVariable("appdata");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

}  // namespace

AppSettings::AppSettings() : dataRoot_(ResolveDataRoot()) {
    QDir().mkpath(programFolder());
    settings_ = std::make_unique<QSettings>(programFolder() + "/app_config.xml", QSettings::IniFormat);
    firstRunDays();
}

AppSettings::~AppSettings() = default;

QString AppSettings::programFolder() const {
    return dataRoot_ + "/corvane";
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

bool AppSettings::shutdownAfterFinished() const {
    return settings_->value("ShutdownAfterFinished", false).toBool();
}

void AppSettings::setShutdownAfterFinished(bool on) {
    store("ShutdownAfterFinished", on);
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
