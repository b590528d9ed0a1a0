// The program's persistent configuration: one INI file per user, app_config.xml, in
// $XDG_CONFIG_HOME/corvane; the program's data (installed catalogue, queue) lives in
// $XDG_DATA_HOME/corvane. Every setter writes the file before it returns.
#pragma once

#include <QDate>
#include <QString>
#include <memory>

class QSettings;
class QVariant;

// What the window does once every task of a long run has ended.
enum class AfterRun { Nothing, Quit, Suspend, PowerOff };

class AppSettings {
public:
    AppSettings();
    ~AppSettings();
    AppSettings(const AppSettings&) = delete;
    AppSettings& operator=(const AppSettings&) = delete;

    // The user's data root without the program folder: $appdata, else $XDG_DATA_HOME.
    QString dataRoot() const { return dataRoot_; }
    // dataRoot()/corvane: the installed catalogue, the queue.
    QString programFolder() const;
    // Where app_config.xml lives: $XDG_CONFIG_HOME/corvane, or $appdata/config/corvane.
    QString configFolder() const;
    QString settingsFile() const;
    QSettings* qsettings() const { return settings_.get(); }

    QString lastOpenFileDir() const;
    void setLastOpenFileDir(const QString& dir);
    QString lastOpenFolderPath() const;
    void setLastOpenFolderPath(const QString& path);

    // The chosen output folder, or <documents>/corvane; created when missing.
    QString outputFileDir() const;
    void setOutputFileDir(const QString& dir);

    // At least 1, whatever the file says. Unless the user chose a number, the count is
    // automatic: from the processors and the memory of this machine.
    int maxTasksAtOnce() const;
    bool maxTasksAtOnceIsAutomatic() const;
    void setMaxTasksAtOnce(int count);
    void setMaxTasksAtOnceAutomatic();
    static constexpr char kAutomaticTasks[] = "automatic";
    // A stored choice wins; without one, the older "shut down after finished" reads as
    // PowerOff.
    AfterRun afterRun() const;
    void setAfterRun(AfterRun choice);
    // The power-off case of afterRun(), as the older on/off setting knew it.
    bool shutdownAfterFinished() const;
    void setShutdownAfterFinished(bool on);
    int checkUpdateDays() const;
    void setCheckUpdateDays(int days);  // at most 180
    bool checkForUpdate() const;
    void setCheckForUpdate(bool on);
    QDate lastCheckUpdateDate() const;  // invalid when never checked
    void setLastCheckUpdateDate(const QDate& date);

    // Days since the first start; records that start on first use.
    int firstRunDays();

    void sync();

private:
    void store(const QString& key, const QVariant& value);

    QString dataRoot_;
    QString configRoot_;
    std::unique_ptr<QSettings> settings_;
};
