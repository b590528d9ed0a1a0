// What corvane-cli says about each file: why it was skipped or failed, how long it took, and
// that it reads the program's settings without ever writing them back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <cmath>

#include "cli_fixture.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST_F(CliTest, EverySkippedFileSaysWhy) {
    // Root reads any file whatever its permissions: the program then runs as nobody.
    asNobody_ = ::geteuid() == 0;
    if (asNobody_) {
        ASSERT_TRUE(QFile::setPermissions(home_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                            QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                            QFileDevice::WriteOther | QFileDevice::ExeOther));
    }
    const QString missing = home_.path() + "/missing.mkv";
    const QString folder = home_.path() + "/a folder.mkv";
    const QString locked = home_.path() + "/locked.mkv";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(Media("h264_aac.mkv"), locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));

    const CliResult result =
        Run({"--json", "--profile", "1003", "--output", output_, missing, folder, locked,
             Media("h264_aac.mkv")});
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    const QJsonArray outputs = Outputs(result);
    ASSERT_EQ(outputs.size(), 4) << result.err.toStdString();
    const struct {
        QString file;
        const char* reason;
    } skipped[] = {{missing, "no such file"},
                   {folder, "is a folder"},
                   {locked, "cannot be read (permission denied)"}};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject output = outputs[i].toObject();
        SCOPED_TRACE(skipped[i].file.toStdString());
        EXPECT_EQ(output["source"].toString(), skipped[i].file);
        EXPECT_EQ(output["state"].toString(), "skipped");
        EXPECT_EQ(output["reason"].toString(), skipped[i].reason);
        EXPECT_FALSE(output.contains("target"));
        EXPECT_TRUE(result.err.contains(skipped[i].file + "  skipped: " + skipped[i].reason))
            << result.err.toStdString();
    }
    EXPECT_EQ(outputs[3].toObject()["state"].toString(), "finished") << "the readable file still converts";
}

TEST_F(CliTest, AnOutputFolderThatCannotBeMadeStopsTheRunBeforeItStarts) {
    const QString aFile = home_.path() + "/afile";
    QFile file(aFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString missing = home_.path() + "/missing.mkv";

    // A folder inside a regular file can never be made, whoever runs the program.
    for (const auto& [folder, says] : {std::pair<QString, QString>{aFile + "/out", "cannot be created"},
                                       std::pair<QString, QString>{aFile, "is a file, not a folder"}}) {
        SCOPED_TRACE(folder.toStdString());
        const CliResult result =
            Run({"--json", "--profile", "1003", "--output", folder, Media("h264_aac.mkv"), missing,
                 Media("audio_longer.mkv")});
        EXPECT_EQ(result.exitCode, 3) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(says)) << result.err.toStdString();
        const QJsonArray outputs = Outputs(result);
        ASSERT_EQ(outputs.size(), 3);
        for (int i : {0, 2}) {
            const QJsonObject output = outputs[i].toObject();
            const QString reason = output["reason"].toString();
            EXPECT_EQ(output["state"].toString(), "failed");
            EXPECT_TRUE(reason.contains(folder) && reason.contains(says)) << reason.toStdString();
            EXPECT_EQ(output["seconds"].toDouble(), 0.0) << "nothing ran";
        }
        EXPECT_EQ(outputs[1].toObject()["reason"].toString(), "no such file") << "its own reason stands";
    }
    EXPECT_FALSE(QFileInfo(aFile).isDir());
}

TEST_F(CliTest, ShortTasksAreTimedToTheMillisecond) {
    // Audiobook outputs of short sound finish well within the program's look at its tasks.
    const CliResult result = Run({"--json", "--profile", "1106", "--output", output_, "--parallel", "1",
                                  Media("audio_only.mka"), Media("audio_only.mka"), Media("audio_only.mka")});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonArray outputs = Outputs(result);
    ASSERT_EQ(outputs.size(), 3);
    for (const QJsonValue& value : outputs) {
        const QJsonObject output = value.toObject();
        ASSERT_EQ(output["state"].toString(), "finished");
        EXPECT_TRUE(output["target"].toString().endsWith(".m4b")) << result.out.toStdString();
        const double seconds = output["seconds"].toDouble();
        EXPECT_GT(seconds, 0.0);
        EXPECT_LT(seconds, 60.0);
        EXPECT_NEAR(seconds * 1000.0, std::round(seconds * 1000.0), 1e-6) << "whole milliseconds";
    }
}

TEST_F(CliTest, SettingsAreReadAtStartAndNeverWrittenBack) {
    ASSERT_EQ(Run({"--list-profiles"}).exitCode, 0);
    const QString settingsFile = home_.path() + "/appdata/config/corvane/app_config.xml";
    ASSERT_TRUE(QFile::exists(settingsFile));
    {
        // The window chose the MP3 profile a moment ago.
        QSettings window(settingsFile, QSettings::IniFormat);
        window.setValue("OutputSet/profile_id", 1701);
    }
    const QByteArray before = ReadAll(settingsFile);

    const CliResult chosen = Run({"--json", "--output", output_, Media("audio_only.mka")});
    ASSERT_EQ(chosen.exitCode, 0) << chosen.err.toStdString();
    EXPECT_TRUE(Outputs(chosen)[0].toObject()["target"].toString().endsWith(".mp3"))
        << chosen.out.toStdString();

    const CliResult other = Run({"--json", "--profile", "1003", "--output", output_, Media("h264_aac.mkv")});
    ASSERT_EQ(other.exitCode, 0) << other.err.toStdString();
    EXPECT_TRUE(Outputs(other)[0].toObject()["target"].toString().endsWith(".mp4"));
    EXPECT_EQ(ReadAll(settingsFile), before) << "--profile is for the run only, and nothing is saved at exit";
}
