// corvane-cli's --quality, --rate-control and --speed through a real run: a lower quality value
// makes a larger picture stream, and values the profile's codec cannot take stop the run.
#include <QFileInfo>

#include "cli_fixture.h"

namespace {

class CliQualityTest : public CliTest {
protected:
    // The picture stream's size in bytes of the one output of a run with arguments.
    qint64 VideoBytes(const QStringList& arguments) {
        const CliResult result = Run(QStringList{"--json", "--profile", "1003", "--output", output_} + arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        const QJsonArray outputs = Outputs(result);
        if (outputs.size() != 1)
            return -1;
        const std::string target = outputs[0].toObject()["target"].toString().toStdString();
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
        EXPECT_EQ(ProbeValue(target, "v:0", "stream=codec_name"), "h264");
        const CommandResult bytes = RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=size "
                                               "-of csv=p=0 " + ShellQuote(target));
        qint64 total = 0;
        for (const QString& line : QString::fromStdString(bytes.output).split('\n', Qt::SkipEmptyParts))
            total += line.toLongLong();
        return total;
    }
};

}  // namespace

TEST_F(CliQualityTest, QualityChangesTheOutputAndBadValuesStopTheRun) {
    // MPEG-4 Part 2: the H.264 profile must encode it.
    const QString source = home_.path() + "/clip.mkv";
    MakeMedia("-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -c:v mpeg4 -q:v 2", source);

    const qint64 fine = VideoBytes({"--quality", "12", "--speed", "fastest", source});
    const qint64 coarse = VideoBytes({"--quality", "45", "--speed", "fastest", source});
    ASSERT_GT(fine, 0);
    ASSERT_GT(coarse, 0);
    EXPECT_GT(fine, 2 * coarse) << "quality 12 against 45";

    for (const QStringList& bad : {QStringList{"--quality", "52", source},
                                   QStringList{"--quality", "abc", source},
                                   QStringList{"--speed", "turbo", source},
                                   QStringList{"--rate-control", "crf", source},
                                   QStringList{"--quality", "20", "--rate-control", "bitrate", source},
                                   // The Xvid AVI profile takes a bit rate only.
                                   QStringList{"--profile", "1002", "--quality", "20", source}}) {
        const CliResult result = Run(QStringList{"--output", output_} + bad);
        EXPECT_EQ(result.exitCode, 2) << bad.join(' ').toStdString() << ": " << result.err.toStdString();
        EXPECT_TRUE(result.err.startsWith("corvane-cli: --")) << result.err.toStdString();
    }
    const CliResult range = Run({"--profile", "1003", "--quality", "52", source});
    EXPECT_TRUE(range.err.contains("0 to 51")) << range.err.toStdString();
}

TEST_F(CliQualityTest, AnAv1RunPrintsNothingOfTheEncodersOwn) {
    const QString source = home_.path() + "/small.mkv";
    MakeMedia("-f lavfi -i testsrc2=size=160x90:rate=25:duration=0.4 -c:v mpeg4 -q:v 2", source);
    environment_.remove("SVT_LOG");
    const CliResult result = Run({"--profile", "1013", "--speed", "fastest", "--output", output_, source});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_FALSE(result.err.contains("Svt[")) << result.err.toStdString();
    EXPECT_FALSE(result.out.contains("Svt[")) << result.out.toStdString();
}
