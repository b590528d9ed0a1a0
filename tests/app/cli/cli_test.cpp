// corvane-cli as a script would run it: exit codes, JSON, progress and interruption.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "cli_fixture.h"

TEST_F(CliTest, HelpAndUsageErrors) {
    const CliResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option :
         {"--profile", "--output", "--parallel", "--list-profiles", "--json", "--audio", "--list-tracks"})
        EXPECT_TRUE(help.out.contains(option)) << option;

    for (const QStringList& bad : {QStringList{}, QStringList{"--parallel", "0", "a.mkv"},
                                   QStringList{"--profile", "abc", "a.mkv"},
                                   QStringList{"--audio", "0", "a.mkv"},
                                   QStringList{"--list-tracks", "a.mkv", "b.mkv"},
                                   QStringList{"--no-such-option", "a.mkv"},
                                   QStringList{"--profile", "424242", Media("h264_aac.mkv")}}) {
        const CliResult result = Run(bad);
        EXPECT_EQ(result.exitCode, 2) << bad.join(' ').toStdString() << ": " << result.err.toStdString();
        EXPECT_TRUE(result.err.startsWith("corvane-cli: ")) << result.err.toStdString();
    }
}

TEST_F(CliTest, ListsEveryProfileWithItsCategory) {
    const CliResult result = Run({"--list-profiles"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_GE(lines.size(), 30);
    bool sawDefault = false;
    for (const QString& line : lines) {
        const QStringList fields = line.split('\t');
        ASSERT_EQ(fields.size(), 3) << line.toStdString();
        bool numeric = false;
        fields[0].toInt(&numeric);
        EXPECT_TRUE(numeric) << line.toStdString();
        EXPECT_FALSE(fields[2].isEmpty()) << line.toStdString();
        sawDefault |= fields[0] == "1003";
    }
    EXPECT_TRUE(sawDefault);
}

TEST_F(CliTest, ConvertsReadableFilesAndSkipsTheRest) {
    const QString junk = home_.path() + "/junk.mkv";
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a matroska file at all");
    file.close();

    const CliResult result = Run({"--json", "--profile", "1003", "--output", output_, "--parallel", "1",
                                  Media("h264_aac.mkv"), junk, Media("audio_longer.mkv")});
    EXPECT_EQ(result.exitCode, 1) << "a skipped file makes the run incomplete";
    EXPECT_TRUE(result.err.contains(junk + "  skipped: not a media file the engine can open"))
        << result.err.toStdString();
    const QJsonArray outputs = Outputs(result);
    ASSERT_EQ(outputs.size(), 3);

    const QJsonObject first = outputs[0].toObject();
    EXPECT_EQ(first["source"].toString(), Media("h264_aac.mkv"));
    EXPECT_EQ(first["state"].toString(), "finished");
    EXPECT_EQ(first["target"].toString(), output_ + "/h264_aac.mp4");
    EXPECT_GT(first["seconds"].toDouble(), 0.0);
    EXPECT_TRUE(DecodesCleanly(first["target"].toString().toStdString()));

    EXPECT_EQ(outputs[1].toObject()["state"].toString(), "skipped");
    EXPECT_EQ(outputs[1].toObject()["reason"].toString(), "not a media file the engine can open");
    EXPECT_FALSE(outputs[1].toObject().contains("target"));
    EXPECT_EQ(outputs[2].toObject()["state"].toString(), "finished");
    EXPECT_FALSE(first.contains("reason")) << "nothing to explain";

    // Nothing is overwritten: the same input again gets a numbered name.
    const CliResult again = Run({"--json", "--profile", "1003", "--output", output_, Media("h264_aac.mkv")});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(Outputs(again)[0].toObject()["target"].toString(), output_ + "/h264_aac(1).mp4");
    EXPECT_TRUE(again.err.contains("h264_aac.mkv  finished")) << again.err.toStdString();
}

TEST_F(CliTest, InterruptStopsTheRunCleanly) {
    // MPEG-4 pictures within the profile's size: encoded to H.264, not copied in a moment.
    const QString input = home_.path() + "/long.mkv";
    const CommandResult made = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=30 "
        "-f lavfi -i sine=duration=30 -c:v mpeg4 -c:a aac " +
        ShellQuote(input.toStdString()));
    ASSERT_EQ(made.exitCode, 0) << made.output;

    QProcess process;
    Start(process, {"--json", "--profile", "1003", "--output", output_, "--parallel", "1", input,
                    Media("h264_aac.mkv")});
    // Wait until the conversion writes its (temporary) output, then interrupt it.
    const QString partial = output_ + "/.long.mp4.vantrel.part";
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(partial) && clock.elapsed() < 60000)
        process.waitForFinished(100);
    process.waitForFinished(500);
    ASSERT_EQ(process.state(), QProcess::Running) << "the conversion ended before it could be interrupted";
    // A process id of 0 would signal the whole process group, this test included.
    const auto pid = static_cast<pid_t>(process.processId());
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGINT);
    clock.restart();
    ASSERT_TRUE(process.waitForFinished(30000)) << "corvane-cli did not stop";
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130);
    const CliResult result{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                           QString::fromUtf8(process.readAllStandardError())};
    EXPECT_TRUE(result.err.contains("interrupted"));
    const QJsonArray outputs = Outputs(result);
    ASSERT_EQ(outputs.size(), 2);
    const QJsonObject running = outputs[0].toObject();
    EXPECT_EQ(running["state"].toString(), "stopped");
    EXPECT_EQ(running["reason"].toString(), "interrupted while converting");
    EXPECT_FALSE(running.contains("target")) << "no file was made";
    EXPECT_GT(running["seconds"].toDouble(), 0.0);
    const QJsonObject waiting = outputs[1].toObject();
    EXPECT_EQ(waiting["state"].toString(), "stopped") << "it never started";
    EXPECT_EQ(waiting["reason"].toString(), "interrupted before it started");
    EXPECT_FALSE(waiting.contains("target"));
    EXPECT_EQ(waiting["seconds"].toDouble(), 0.0);
    EXPECT_FALSE(QFile::exists(output_ + "/h264_aac.mp4"));
    EXPECT_FALSE(QFile::exists(output_ + "/long.mp4")) << "no half file under the final name";
    EXPECT_FALSE(QFile::exists(partial)) << "nor a temporary one";
}

TEST_F(CliTest, MissingCatalogueIsReportedNotCrashedOn) {
    // A copy of the program with no catalogue beside it (nor an installed one above it).
    QTemporaryDir lonely;
    const QString program = lonely.path() + "/bin/corvane-cli";
    QDir().mkpath(lonely.path() + "/bin");
    ASSERT_TRUE(QFile::copy(CORVANE_CLI, program));
    const CliResult result = Run({Media("h264_aac.mkv")}, program);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(result.err.contains("profile catalogue could not be loaded")) << result.err.toStdString();
}
