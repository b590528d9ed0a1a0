#include "app_settings.h"
#include "catalogue_fixture.h"
#include "conversion_run.h"
#include "profile_manager.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <utility>
#include <vector>

namespace {

QString SettingsFileText(const AppSettings& settings) {
    settings.qsettings()->sync();
    QFile file(settings.settingsFile());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(qEnvironmentVariable("appdata")).removeRecursively();
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).removeRecursively();
    }
};

}  // namespace

TEST_F(AppSettingsTest, AppDataHoldsDataAndSettingsApartAndRecordsTheFirstRun) {
    AppSettings settings;
    const QString appdata = qEnvironmentVariable("appdata");
    EXPECT_EQ(settings.dataRoot(), appdata);
    EXPECT_EQ(settings.programFolder(), appdata + "/corvane");
    EXPECT_EQ(settings.configFolder(), appdata + "/config/corvane");
    EXPECT_EQ(settings.settingsFile(), appdata + "/config/corvane/app_config.xml");
    EXPECT_TRUE(QDir(settings.programFolder()).exists());
    EXPECT_EQ(settings.firstRunDays(), 0);
    const QString text = SettingsFileText(settings);
    EXPECT_TRUE(QFile::exists(settings.settingsFile()));
    EXPECT_FALSE(QFile::exists(settings.programFolder() + "/app_config.xml"));
    EXPECT_TRUE(text.contains("[General]")) << text.toStdString();
    EXPECT_NE(settings.qsettings()->value("it").toULongLong(), 0u);
}

TEST_F(AppSettingsTest, ReadsDefaultsFromAMissingFile) {
    AppSettings settings;
    EXPECT_EQ(settings.maxTasksAtOnce(), automaticTaskCount()) << "parallel by default";
    EXPECT_EQ(settings.checkUpdateDays(), 7);
    EXPECT_TRUE(settings.checkForUpdate());
    EXPECT_FALSE(settings.shutdownAfterFinished());
    EXPECT_EQ(settings.afterRun(), AfterRun::Nothing);
    EXPECT_FALSE(settings.lastCheckUpdateDate().isValid());
    EXPECT_TRUE(settings.lastOpenFileDir().isEmpty());
}

TEST_F(AppSettingsTest, ATaskLimitThatWouldRunNothingReadsAsOne) {
    AppSettings settings;
    for (const char* stored : {"0", "-3", "many", ""}) {
        settings.qsettings()->setValue("MaxTasksAtOnce", stored);
        EXPECT_EQ(settings.maxTasksAtOnce(), 1) << '"' << stored << '"';
    }
    settings.qsettings()->setValue("MaxTasksAtOnce", "2");
    EXPECT_EQ(settings.maxTasksAtOnce(), 2);
}

TEST_F(AppSettingsTest, TheTaskLimitIsAutomaticUntilTheUserChoosesOne) {
    AppSettings settings;
    settings.qsettings()->remove("MaxTasksAtOnce");
    EXPECT_TRUE(settings.maxTasksAtOnceIsAutomatic());
    EXPECT_EQ(settings.maxTasksAtOnce(), automaticTaskCount());
    EXPECT_GE(automaticTaskCount(), 1);
    EXPECT_LE(automaticTaskCount(), maxParallelTasks());
    settings.setMaxTasksAtOnce(1);
    EXPECT_FALSE(settings.maxTasksAtOnceIsAutomatic()) << "a stored number wins";
    EXPECT_EQ(settings.maxTasksAtOnce(), 1);
    settings.setMaxTasksAtOnceAutomatic();
    EXPECT_TRUE(settings.maxTasksAtOnceIsAutomatic());
    EXPECT_TRUE(SettingsFileText(settings).contains("MaxTasksAtOnce=automatic"));
}

TEST_F(AppSettingsTest, ClampsTheUpdateIntervalAndStoresPlainValues) {
    AppSettings settings;
    settings.setCheckUpdateDays(365);
    EXPECT_EQ(settings.checkUpdateDays(), 180);
    settings.setCheckUpdateDays(0);
    EXPECT_EQ(settings.checkUpdateDays(), 0);
    settings.setAfterRun(AfterRun::Suspend);
    settings.setMaxTasksAtOnce(4);
    const QString text = SettingsFileText(settings);
    EXPECT_TRUE(text.contains("AfterRun=suspend")) << text.toStdString();
    EXPECT_TRUE(text.contains("MaxTasksAtOnce=4")) << text.toStdString();
}

TEST_F(AppSettingsTest, UpdateDateUsesMonthDayYear) {
    AppSettings settings;
    settings.setLastCheckUpdateDate(QDate(2014, 3, 7));
    EXPECT_EQ(settings.qsettings()->value("LastCheckUpdateDate").toString(), "03.07.2014");
    EXPECT_EQ(settings.lastCheckUpdateDate(), QDate(2014, 3, 7));
    settings.qsettings()->setValue("LastCheckUpdateDate", "2014-03-07");
    EXPECT_FALSE(settings.lastCheckUpdateDate().isValid());
    EXPECT_NE(settings.lastCheckUpdateDate(), QDate::currentDate());
}

TEST_F(AppSettingsTest, OutputFolderDefaultsToDocumentsAndIsCreated) {
    AppSettings settings;
    const QString expected =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/corvane";
    EXPECT_TRUE(expected.startsWith(qEnvironmentVariable("HOME"))) << "tests must stay in their home";
    EXPECT_FALSE(QDir(expected).exists());
    EXPECT_EQ(settings.outputFileDir(), QDir(expected).absolutePath());
    EXPECT_TRUE(QDir(expected).exists());

    const QString chosen = qEnvironmentVariable("HOME") + "/gone/away";
    settings.setOutputFileDir(chosen);
    EXPECT_EQ(settings.outputFileDir(), chosen);
    EXPECT_TRUE(QDir(chosen).exists()) << "a vanished chosen folder is made again";
}

TEST_F(AppSettingsTest, FirstRunIsKeptAcrossStarts) {
    {
        AppSettings settings;
        // Pretend the first start was ten days ago.
        const qint64 earlier = QDate::currentDate().addDays(-10).startOfDay().toSecsSinceEpoch();
        settings.qsettings()->setValue("it", static_cast<qulonglong>(earlier));
    }
    AppSettings again;
    EXPECT_EQ(again.firstRunDays(), 10);
}

TEST_F(AppSettingsTest, TheChoiceAfterARunIsStoredAsAWord) {
    const std::pair<AfterRun, const char*> words[] = {{AfterRun::Nothing, "nothing"},
                                                      {AfterRun::Quit, "quit"},
                                                      {AfterRun::Suspend, "suspend"},
                                                      {AfterRun::PowerOff, "poweroff"}};
    for (const auto& [choice, word] : words) {
        {
            AppSettings settings;
            settings.setAfterRun(choice);
            EXPECT_EQ(settings.qsettings()->value("AfterRun").toString(), word);
        }
        AppSettings again;
        EXPECT_EQ(again.afterRun(), choice) << word;
        EXPECT_EQ(again.shutdownAfterFinished(), choice == AfterRun::PowerOff) << word;
    }
}

TEST_F(AppSettingsTest, TheOlderShutdownSettingReadsAsPowerOffUntilAChoiceIsMade) {
    {
        AppSettings settings;
        settings.qsettings()->setValue("ShutdownAfterFinished", true);
    }
    AppSettings settings;
    EXPECT_EQ(settings.afterRun(), AfterRun::PowerOff);
    // A word this version does not know leaves the older setting in charge.
    settings.qsettings()->setValue("AfterRun", "hibernate");
    EXPECT_EQ(settings.afterRun(), AfterRun::PowerOff);
    settings.qsettings()->setValue("ShutdownAfterFinished", false);
    EXPECT_EQ(settings.afterRun(), AfterRun::Nothing);

    settings.qsettings()->setValue("ShutdownAfterFinished", true);
    settings.setAfterRun(AfterRun::Nothing);
    EXPECT_EQ(settings.afterRun(), AfterRun::Nothing) << "the new choice wins";
    EXPECT_FALSE(SettingsFileText(settings).contains("ShutdownAfterFinished"))
        << "the older key is dropped once a choice is stored";
}

namespace {

// Without $appdata, as a user runs the program: the XDG folders point into a scratch home.
class StandardPlacesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        configHome_ = home_.path() + "/config";
        dataHome_ = home_.path() + "/data";
        saved_ = {{"appdata", qgetenv("appdata")},
                  {"XDG_CONFIG_HOME", qgetenv("XDG_CONFIG_HOME")},
                  {"XDG_DATA_HOME", qgetenv("XDG_DATA_HOME")}};
        qunsetenv("appdata");
        qputenv("XDG_CONFIG_HOME", configHome_.toUtf8());
        qputenv("XDG_DATA_HOME", dataHome_.toUtf8());
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_)
            qputenv(name, value);
    }

    QString newFile() const { return configHome_ + "/corvane/app_config.xml"; }
    QString oldFile() const { return dataHome_ + "/corvane/app_config.xml"; }

    QTemporaryDir home_;
    QString configHome_;
    QString dataHome_;
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

}  // namespace

TEST_F(StandardPlacesTest, SettingsGoToTheConfigHomeAndDataToTheDataHome) {
    AppSettings settings;
    EXPECT_EQ(settings.configFolder(), configHome_ + "/corvane");
    EXPECT_EQ(settings.programFolder(), dataHome_ + "/corvane");
    EXPECT_EQ(settings.settingsFile(), newFile());
    settings.setCheckUpdateDays(21);
    EXPECT_TRUE(SettingsFileText(settings).contains("CheckUpdateDays=21"));
    EXPECT_TRUE(QFile::exists(newFile()));
    EXPECT_FALSE(QFile::exists(oldFile()));

    // The installed catalogue is data; the chosen profile is a setting.
    const QString shipped = home_.path() + "/shipped";
    ASSERT_TRUE(WriteCatalogue(shipped, HeaderXml(1), SampleListXml(), SampleFormatXml()));
    {
        ProfileManager profiles(&settings);
        ASSERT_TRUE(profiles.load(shipped + "/"));
        profiles.selectProfile(2001);
    }
    EXPECT_TRUE(QFile::exists(dataHome_ + "/corvane/profile/profile.xml"));
    EXPECT_TRUE(QFile::exists(dataHome_ + "/corvane/profile/profile.res"));
    EXPECT_TRUE(SettingsFileText(settings).contains("profile_id=2001"));
    EXPECT_FALSE(QFile::exists(oldFile()));
    EXPECT_FALSE(QDir(configHome_ + "/corvane/profile").exists());
}

TEST_F(StandardPlacesTest, SettingsBesideTheDataAreMovedOnceAndKeepTheirValues) {
    {
        QDir().mkpath(dataHome_ + "/corvane");
        QSettings older(oldFile(), QSettings::IniFormat);
        older.setValue("CheckUpdateDays", 30);
        older.setValue("ShutdownAfterFinished", true);
        older.setValue("OutputSet/profile_id", 1004);
    }
    {
        AppSettings settings;
        EXPECT_TRUE(QFile::exists(newFile()));
        EXPECT_FALSE(QFile::exists(oldFile())) << "moved, not copied";
        EXPECT_EQ(settings.checkUpdateDays(), 30);
        EXPECT_EQ(settings.afterRun(), AfterRun::PowerOff);
        EXPECT_EQ(settings.qsettings()->value("OutputSet/profile_id").toInt(), 1004);
        settings.setCheckUpdateDays(45);
    }
    {
        // An older version started in between writes its own file beside the data again.
        QSettings older(oldFile(), QSettings::IniFormat);
        older.setValue("CheckUpdateDays", 99);
    }
    AppSettings later;
    EXPECT_EQ(later.checkUpdateDays(), 45) << "a later start keeps the moved file and its new values";
    EXPECT_EQ(later.afterRun(), AfterRun::PowerOff);
    EXPECT_TRUE(QFile::exists(oldFile())) << "and leaves the other file alone";
}
