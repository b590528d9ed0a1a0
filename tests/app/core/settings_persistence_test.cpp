// Settings and the profile choice reach the settings file as they change: a process killed
// right after a change loses nothing, and one that changed nothing writes nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>

#include "app_settings.h"
#include "catalogue_fixture.h"
#include "profile_manager.h"

namespace {

const char kChildAppData[] = "CORVANE_CHILD_APPDATA";
const char kChildCatalogue[] = "CORVANE_CHILD_CATALOGUE";

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SettingsPersistence : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(qEnvironmentVariable("appdata")).removeRecursively();
        catalogue_ = scratch_.path() + "/shipped";
        ASSERT_TRUE(WriteCatalogue(catalogue_, HeaderXml(1), SampleListXml(), SampleFormatXml()));
    }

    QTemporaryDir scratch_;
    QString catalogue_;
};

}  // namespace

// Run only as the child of the test below, which kills it.
TEST(SettingsPersistenceChild, DISABLED_ChangesEverythingThenWaitsToBeKilled) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty(kChildAppData));
    qputenv("appdata", qgetenv(kChildAppData));
    AppSettings settings;
    settings.setOutputFileDir(qEnvironmentVariable(kChildAppData) + "/converted");
    settings.setMaxTasksAtOnce(3);
    settings.setShutdownAfterFinished(true);
    settings.setLastOpenFileDir("/media/incoming");
    ProfileManager profiles(&settings);
    ASSERT_TRUE(profiles.load(qEnvironmentVariable(kChildCatalogue)));
    profiles.selectProfile(2001);
    profiles.outputSetting()->audioBitrate = "256";
    profiles.saveOutputSetting();
    std::printf("\nchanged\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

TEST_F(SettingsPersistence, AChangeSurvivesTheProcessBeingKilled) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildAppData, qEnvironmentVariable("appdata"));
    environment.insert(kChildCatalogue, catalogue_);
    environment.insert("TMPDIR", scratch_.path());  // its own temporary home goes with ours
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=SettingsPersistenceChild.DISABLED_ChangesEverythingThenWaitsToBeKilled"});
    ASSERT_TRUE(child.waitForStarted(10000));
    QByteArray said;
    QElapsedTimer clock;
    clock.start();
    while (!said.contains("\nchanged\n") && child.state() == QProcess::Running && clock.elapsed() < 60000) {
        child.waitForReadyRead(100);
        said += child.readAllStandardOutput();
    }
    ASSERT_TRUE(said.contains("\nchanged\n"))
        << said.toStdString() << child.readAllStandardError().toStdString();
    // A process id of 0 would signal the whole process group, this test included.
    const auto pid = static_cast<pid_t>(child.processId());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    AppSettings settings;
    EXPECT_EQ(settings.outputFileDir(), qEnvironmentVariable("appdata") + "/converted");
    EXPECT_EQ(settings.maxTasksAtOnce(), 3);
    EXPECT_TRUE(settings.shutdownAfterFinished());
    EXPECT_EQ(settings.lastOpenFileDir(), "/media/incoming");
    ProfileManager profiles(&settings);
    ASSERT_TRUE(profiles.load(catalogue_));
    EXPECT_EQ(profiles.outputSetting()->profileId, 2001);
    EXPECT_EQ(profiles.outputSetting()->audioBitrate, "256");
}

TEST_F(SettingsPersistence, AProcessThatChangedNothingWritesNothing) {
    const QString file = AppSettings().settingsFile();
    {
        AppSettings settings;
        settings.qsettings()->setValue("OutputSet/profile_id", 1004);
        settings.qsettings()->setValue("OutputSet/VideoBitrate", "1234");
    }
    const QByteArray before = ReadAll(file);
    ASSERT_TRUE(before.contains("1234"));
    {
        AppSettings settings;
        ProfileManager profiles(&settings);
        ASSERT_TRUE(profiles.load(catalogue_));
        EXPECT_EQ(profiles.outputSetting()->videoBitrate, "1234");
        OutputSetting forThisRun = *profiles.outputSetting();
        forThisRun.videoBitrate = "999";  // a copy, as corvane-cli takes for --profile
        // Reselecting the current profile is no change either.
        profiles.selectProfile(1004);
    }
    EXPECT_EQ(ReadAll(file), before);
}

TEST_F(SettingsPersistence, EveryChangeIsInTheFileAtOnce) {
    AppSettings settings;
    const QString file = settings.settingsFile();
    ProfileManager profiles(&settings);
    ASSERT_TRUE(profiles.load(catalogue_));
    // The file itself, as another process reads it: settings objects of one process share
    // what they have not written yet.
    profiles.outputSetting()->videoBitrate = "777";
    profiles.saveOutputSetting();
    EXPECT_TRUE(ReadAll(file).contains("VideoBitrate=777")) << ReadAll(file).toStdString();
    OutputSetting replaced = *profiles.outputSetting();
    replaced.audioBitrate = "96";
    profiles.setOutputSetting(replaced);
    EXPECT_TRUE(ReadAll(file).contains("AudioBitrate=96")) << ReadAll(file).toStdString();
    profiles.selectProfile(1004);
    EXPECT_TRUE(ReadAll(file).contains("profile_id=1004")) << ReadAll(file).toStdString();
    settings.setCheckUpdateDays(30);
    EXPECT_TRUE(ReadAll(file).contains("CheckUpdateDays=30")) << ReadAll(file).toStdString();
}
