// Which sound corvane-cli converts (--audio, --list-tracks) and what its outputs are named.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstring>

#include "cli_fixture.h"

namespace {

// The pitch of a file's first sound track, from how often the wave crosses zero.
double ToneOf(const QString& path, const QString& scratch) {
    const std::string samples = (scratch + "/tone.raw").toStdString();
    const CommandResult decoded =
        RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(path.toStdString()) +
                   " -map 0:a:0 -ac 1 -ar 16000 -f s16le " + ShellQuote(samples));
    EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
    QFile file(QString::fromStdString(samples));
    if (!file.open(QIODevice::ReadOnly))
        return 0.0;
    const QByteArray bytes = file.readAll();
    const auto count = static_cast<size_t>(bytes.size()) / sizeof(int16_t);
    if (count < 1600)
        return 0.0;
    std::vector<int16_t> wave(count);
    std::memcpy(wave.data(), bytes.constData(), count * sizeof(int16_t));
    int rising = 0;
    for (size_t i = 1; i < count; ++i)
        rising += wave[i - 1] < 0 && wave[i] >= 0 ? 1 : 0;
    return rising * 16000.0 / static_cast<double>(count);
}

class CliTracksTest : public CliTest {
protected:
    // Two seconds of pictures and two sound tracks: 440 Hz AC3 5.1 in Japanese, then 1000 Hz
    // AAC mono in German titled "Commentary". defaultTrack (1 or 2) is marked default.
    QString TwoTrackSource(const QString& name, int defaultTrack) {
        const QString path = home_.path() + "/" + name;
        MakeMedia("-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 "
                  "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 "
                  "-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=2 "
                  "-map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p "
                  "-c:a:0 ac3 -ac:a:0 6 -c:a:1 aac -ac:a:1 1 "
                  "-metadata:s:a:0 language=jpn -metadata:s:a:1 language=ger "
                  "-metadata:s:a:1 title=Commentary " +
                      std::string(defaultTrack == 1 ? "-disposition:a:0 default -disposition:a:1 0"
                                                    : "-disposition:a:0 0 -disposition:a:1 default"),
                  path);
        return path;
    }
};

}  // namespace

TEST_F(CliTracksTest, ListsTracksNumberedAsAudioCountsThem) {
    const QString source = TwoTrackSource("tracks.mkv", 2);
    const CliResult result = Run({"--list-tracks", source});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << result.out.toStdString();
    const QStringList video = lines[0].split('\t');
    ASSERT_EQ(video.size(), 7) << lines[0].toStdString();
    EXPECT_EQ(video.mid(0, 4), (QStringList{"1", "video", "h264", "320x240"}));
    EXPECT_EQ(lines[1], "1\taudio\tac3\t6\tjpn\t\t");
    EXPECT_EQ(lines[2], "2\taudio\taac\t1\tger\tCommentary\tdefault");

    const CliResult missing = Run({"--list-tracks", home_.path() + "/missing.mkv"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("missing.mkv: no such file")) << missing.err.toStdString();
    EXPECT_TRUE(missing.out.isEmpty());
}

TEST_F(CliTracksTest, AudioChoosesTheTrackElseTheDefaultOneIsConverted) {
    const QString firstDefault = TwoTrackSource("first.mkv", 1);
    const QString secondDefault = TwoTrackSource("second.mkv", 2);
    const struct {
        QStringList arguments;
        double tone;
    } cases[] = {{{firstDefault}, 440.0},
                 {{"--audio", "2", firstDefault}, 1000.0},
                 {{secondDefault}, 1000.0},
                 {{"--audio", "1", secondDefault}, 440.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CliResult result =
            Run(QStringList{"--json", "--profile", "1701", "--output", output_} + c.arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        const QString target = Outputs(result)[0].toObject()["target"].toString();
        EXPECT_NEAR(ToneOf(target, home_.path()), c.tone, 30.0);
    }
}

TEST_F(CliTracksTest, AnAudioNumberPastTheLastTrackIsAUsageError) {
    const QString source = TwoTrackSource("tracks.mkv", 1);
    const CliResult result =
        Run({"--json", "--profile", "1003", "--output", output_, "--audio", "3", source});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(source + " has 2 audio tracks")) << result.err.toStdString();
    EXPECT_TRUE(QDir(output_).isEmpty()) << "nothing was converted";

    // Pictures only.
    const CliResult silent =
        Run({"--profile", "1003", "--output", output_, "--audio", "1", Media("yuv422p10.mkv")});
    EXPECT_EQ(silent.exitCode, 2);
    EXPECT_TRUE(silent.err.contains("has no audio track")) << silent.err.toStdString();
}

TEST_F(CliTracksTest, OutputsAreNamedAfterTheWholeSourceName) {
    const QString dotted = home_.path() + "/Show.S01E01.1080p.mkv";
    ASSERT_TRUE(QFile::copy(Media("h264_aac.mkv"), dotted));
    const CliResult result = Run({"--json", "--profile", "1003", "--output", output_, dotted});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(Outputs(result)[0].toObject()["target"].toString(), output_ + "/Show.S01E01.1080p.mp4");
    EXPECT_TRUE(QFile::exists(output_ + "/Show.S01E01.1080p.mp4"));
}

TEST_F(CliTracksTest, AFileNameThatIsNotUtf8Converts) {
    // "café.mkv" as Latin-1 bytes, the way an old disk or archive names it.
    const QByteArray latin1 = QFile::encodeName(home_.path()) + "/caf\xe9.mkv";
    const CommandResult copied =
        RunCommand("cp " + ShellQuote(TestMedia("h264_aac.mkv")) + " " + ShellQuote(latin1.toStdString()));
    ASSERT_EQ(copied.exitCode, 0) << copied.output;
    // The temporary folder's own clean-up cannot name this file.
    struct RemoveAtEnd {
        QByteArray path;
        ~RemoveAtEnd() { ::unlink(path.constData()); }
    } removeAtEnd{latin1};

    const QString script =
        QStringLiteral("exec \"$0\" --json --profile 1003 --output %1 %2/\"$(printf 'caf\\351.mkv')\"")
            .arg(QString::fromStdString(ShellQuote(output_.toStdString())),
                 QString::fromStdString(ShellQuote(home_.path().toStdString())));
    const CliResult result = RunScript(script);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString() << result.out.toStdString();
    const QJsonObject output = Outputs(result)[0].toObject();
    EXPECT_EQ(output["state"].toString(), "finished");
    EXPECT_EQ(output["source"].toString(), home_.path() + "/caf" + QChar::ReplacementCharacter + ".mkv");
    const QString target = output["target"].toString();
    EXPECT_TRUE(QFile::exists(target)) << target.toStdString();
    EXPECT_TRUE(DecodesCleanly(target.toStdString()));
}
