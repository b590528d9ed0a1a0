#include "app_settings.h"
#include "conversion_run.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString SettingsFileText(const AppSettings& settings) {
    settings.qsettings()->sync();
    QFile file(settings.programFolder() + "/app_config.xml");
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

TEST_F(AppSettingsTest, LivesUnderTheDataRootAndRecordsTheFirstRun) {
    AppSettings settings;
    EXPECT_EQ(settings.dataRoot(), qEnvironmentVariable("appdata"));
    EXPECT_TRUE(QDir(settings.programFolder()).exists());
    EXPECT_EQ(settings.firstRunDays(), 0);
    const QString text = SettingsFileText(settings);
    EXPECT_TRUE(QFile::exists(settings.programFolder() + "/app_config.xml"));
    EXPECT_TRUE(text.contains("[General]")) << text.toStdString();
    EXPECT_NE(settings.qsettings()->value("it").toULongLong(), 0u);
}

TEST_F(AppSettingsTest, ReadsDefaultsFromAMissingFile) {
    AppSettings settings;
    EXPECT_EQ(settings.maxTasksAtOnce(), automaticTaskCount()) << "parallel by default";
    EXPECT_EQ(settings.checkUpdateDays(), 7);
    EXPECT_TRUE(settings.checkForUpdate());
    EXPECT_FALSE(settings.shutdownAfterFinished());
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
    settings.setShutdownAfterFinished(true);
    settings.setMaxTasksAtOnce(4);
    const QString text = SettingsFileText(settings);
    EXPECT_TRUE(text.contains("ShutdownAfterFinished=true")) << text.toStdString();
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
