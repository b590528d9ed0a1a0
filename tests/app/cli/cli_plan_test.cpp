// What corvane-cli copies, encodes and drops (--plan), and outputs that keep what was copied
// bit for bit, every chosen track with its tags, and the chapters.
#include <QDir>
#include <QFile>
#include <algorithm>
#include <QRegularExpression>
#include <QStringList>

#include "cli_fixture.h"

namespace {

class CliPlanTest : public CliTest {
protected:
    // The plan of one file, as --plan prints it.
    QJsonObject Plan(const QStringList& arguments) {
        const CliResult result = Run(QStringList{"--plan"} + arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        const QJsonArray plans = QJsonDocument::fromJson(result.out.toUtf8()).object()["plans"].toArray();
        EXPECT_EQ(plans.size(), 1) << result.out.toStdString();
        return plans.isEmpty() ? QJsonObject() : plans[0].toObject();
    }

    // Black pictures of size for seconds, a tone, and one SRT cue (an SRT block); subtitle
    // options such as a disposition go last.
    QString FilmWithOneCue(const QString& name, const char* cue, const char* size, int seconds,
                           const std::string& subtitleOptions = {}) {
        const QString subtitles = home_.path() + "/" + name + ".srt";
        QFile file(subtitles);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(cue);
        file.close();
        const QString source = home_.path() + "/" + name + ".mkv";
        const std::string length = std::to_string(seconds);
        MakeMedia("-f lavfi -i color=c=black:s=" + std::string(size) + ":r=25:d=" + length +
                      " -f lavfi -i sine=sample_rate=44100:duration=" + length + " -i " +
                      ShellQuote(subtitles.toStdString()) +
                      " -map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -c:s srt " +
                      subtitleOptions,
                  source);
        return source;
    }

    static QStringList Actions(const QJsonObject& plan) {
        QStringList actions;
        for (const QJsonValue& stream : plan["streams"].toArray())
            actions.append(stream.toObject()["action"].toString());
        return actions;
    }

    // Converts and returns the one output's path.
    QString Convert(const QStringList& arguments) {
        const CliResult result = Run(QStringList{"--json", "--output", output_} + arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString() << result.out.toStdString();
        const QJsonArray outputs = Outputs(result);
        return outputs.isEmpty() ? QString() : outputs[0].toObject()["target"].toString();
    }

    // The packet hashes of one stream, in order: equal lists mean the same packets.
    static QStringList PacketHashes(const QString& path, const char* stream) {
        const CommandResult hashes = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path.toStdString()) +
                                                " -map 0:" + stream + " -c copy -f framemd5 -");
        QStringList list;
        for (const QString& line : QString::fromStdString(hashes.output).split('\n')) {
            if (line.startsWith('#') || line.trimmed().isEmpty())
                continue;
            list.append(line.section(',', 5, 5).trimmed());  // side data may follow
        }
        return list;
    }

    // Equal packet lists, or the first place they differ.
    static ::testing::AssertionResult SamePackets(const QStringList& output, const QStringList& source) {
        if (output == source)
            return ::testing::AssertionSuccess();
        for (qsizetype i = 0; i < std::min(output.size(), source.size()); ++i)
            if (output[i] != source[i])
                return ::testing::AssertionFailure() << "packet " << i << " differs";
        return ::testing::AssertionFailure() << output.size() << " packets against " << source.size();
    }

    // A subtitle track as SRT on the file's own time line: numbers, times and texts, one
    // entry a line, markup left out.
    static QStringList Cues(const QString& path, const char* stream) {
        const CommandResult srt = RunCommand("ffmpeg -nostdin -v error -copyts -i " + ShellQuote(path.toStdString()) +
                                             " -map 0:" + stream + " -f srt -");
        QStringList lines;
        for (QString line : QString::fromStdString(srt.output).split('\n')) {
            line.remove(QRegularExpression("<[^>]*>"));
            if (!line.trimmed().isEmpty())
                lines.append(line.trimmed());
        }
        return lines;
    }

    static std::string Probe(const QString& path, const char* stream, const char* entries) {
        return ProbeValue(path.toStdString(), stream, entries);
    }
};

}  // namespace

TEST_F(CliPlanTest, SameAsSourceCopiesEveryTrackAnMp4HoldsBitForBit) {
    const QString film = Media("film.mkv");
    const QJsonObject plan = Plan({"--profile", "1007", film});
    EXPECT_EQ(Actions(plan), (QStringList{"copy", "copy", "copy", "convert", "convert", "drop"}));
    EXPECT_TRUE(plan["chapters"].toBool());
    for (const QJsonValue& stream : plan["streams"].toArray())
        EXPECT_FALSE(stream.toObject()["reason"].toString().isEmpty()) << stream.toObject()["index"].toInt();
    EXPECT_EQ(plan["streams"].toArray()[2].toObject()["language"].toString(), "jpn");
    EXPECT_TRUE(plan["summary"].toString().startsWith("Video H.264")) << plan["summary"].toString().toStdString();
    // Scripts read it: the same file gives the same text.
    EXPECT_EQ(Run({"--plan", "--profile", "1007", film}).out, Run({"--plan", "--profile", "1007", film}).out);

    const QString output = Convert({"--profile", "1007", film});
    ASSERT_TRUE(output.endsWith(".mp4")) << output.toStdString();
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(output.toStdString(), &errors)) << errors;
    for (const char* stream : {"v:0", "a:0", "a:1"}) {
        const QStringList source = PacketHashes(film, stream);
        ASSERT_GT(source.size(), 10) << stream;
        EXPECT_TRUE(SamePackets(PacketHashes(output, stream), source)) << stream;
    }
    EXPECT_EQ(Probe(output, "a:0", "stream_tags=language"), "eng");
    EXPECT_EQ(Probe(output, "a:1", "stream_tags=language"), "jpn");
    EXPECT_EQ(Probe(output, "a:0", "stream_disposition=default"), "1");
    EXPECT_EQ(Probe(output, "a:1", "stream_disposition=default"), "0");
    // Both subtitle tracks became MP4 text with the same cues at the same times.
    EXPECT_EQ(Probe(output, "s:0", "stream=codec_name"), "mov_text");
    EXPECT_EQ(Probe(output, "s:1", "stream=codec_name"), "mov_text");
    EXPECT_EQ(Probe(output, "s:1", "stream_tags=language"), "jpn");
    EXPECT_EQ(Cues(output, "s:0"), Cues(film, "s:0"));
    const QStringList japanese = Cues(output, "s:1");
    ASSERT_EQ(japanese.size(), 2 * 3) << japanese.join('|').toStdString();
    EXPECT_TRUE(japanese.join('|').contains("Ichi")) << japanese.join('|').toStdString();
    EXPECT_TRUE(japanese.join('|').contains("Ni"));
    const CommandResult chapters = RunCommand("ffprobe -v error -show_entries chapter_tags=title -of csv=p=0 " +
                                              ShellQuote(output.toStdString()));
    EXPECT_EQ(QString::fromStdString(chapters.output).split('\n', Qt::SkipEmptyParts),
              (QStringList{"Opening", "Ending"}));
}

TEST_F(CliPlanTest, KeepEverythingCopiesEveryStreamAndTheFont) {
    const QString film = Media("film.mkv");
    const QJsonObject plan = Plan({"--profile", "1008", film});
    const QStringList actions = Actions(plan);
    EXPECT_FALSE(actions.contains("encode")) << actions.join(',').toStdString();
    EXPECT_FALSE(actions.contains("drop")) << actions.join(',').toStdString();

    const QString output = Convert({"--profile", "1008", film});
    ASSERT_TRUE(output.endsWith(".mkv")) << output.toStdString();
    const CommandResult streams = RunCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " +
                                             ShellQuote(output.toStdString()));
    const CommandResult original = RunCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " +
                                              ShellQuote(film.toStdString()));
    EXPECT_EQ(streams.output, original.output);
    for (const char* stream : {"v:0", "a:0", "a:1", "s:0", "s:1"})
        EXPECT_TRUE(SamePackets(PacketHashes(output, stream), PacketHashes(film, stream))) << stream;
    EXPECT_EQ(Probe(output, "s:1", "stream_tags=language"), "jpn");
    EXPECT_EQ(Probe(output, "", "format_tags=title"), "A Film");

    // The user's choice: the Japanese track alone, no subtitles.
    const QString chosen = Convert({"--profile", "1008", "--audio", "2", "--subtitles", "none", film});
    const CommandResult kept = RunCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " +
                                          ShellQuote(chosen.toStdString()));
    QStringList codecs = QString::fromStdString(kept.output).split('\n', Qt::SkipEmptyParts);
    codecs.removeAll("ttf");
    EXPECT_EQ(codecs, (QStringList{"h264", "ac3"}));
}

TEST_F(CliPlanTest, APictureOverTheDevicesLimitsIsEncodedWhileTheSoundIsCopied) {
    // 1440p is more than the phone profile's largest size; AAC at 44.1 kHz is what it plays.
    const QString source = home_.path() + "/large.mkv";
    MakeMedia("-f lavfi -i testsrc2=size=2560x1440:rate=25:duration=2 "
              "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 "
              "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2",
              source);
    const QJsonObject plan = Plan({"--profile", "1101", source});
    ASSERT_EQ(Actions(plan), (QStringList{"encode", "copy"}));

    const QString output = Convert({"--profile", "1101", source});
    ASSERT_FALSE(output.isEmpty());
    EXPECT_LE(std::stoi(Probe(output, "v:0", "stream=width")), 1920);
    EXPECT_TRUE(SamePackets(PacketHashes(output, "a:0"), PacketHashes(source, "a:0")));
    // Picture and sound start and end together, within one frame of the target's rate.
    const double frame = 1.0 / 25;
    EXPECT_NEAR(std::stod(Probe(output, "v:0", "stream=start_time")),
                std::stod(Probe(output, "a:0", "stream=start_time")), frame);
    const auto end = [&](const char* stream) {
        return std::stod(Probe(output, stream, "stream=start_time")) + std::stod(Probe(output, stream, "stream=duration"));
    };
    EXPECT_NEAR(end("v:0"), end("a:0"), frame + 1024.0 / 44100) << "a frame of each";
}

TEST_F(CliPlanTest, AnAviKeepsTheDefaultTrackAndSaysWhyTheRestIsDropped) {
    const QJsonObject plan = Plan({"--profile", "1002", Media("film.mkv")});
    const QJsonArray streams = plan["streams"].toArray();
    ASSERT_EQ(streams.size(), 6);
    EXPECT_EQ(streams[0].toObject()["action"].toString(), "encode");
    EXPECT_NE(streams[1].toObject()["action"].toString(), "drop") << "the default track stays";
    EXPECT_EQ(streams[2].toObject()["action"].toString(), "drop");
    EXPECT_TRUE(streams[2].toObject()["reason"].toString().contains("one audio track")) << streams[2].toObject()["reason"].toString().toStdString();
    for (int subtitle : {3, 4}) {
        EXPECT_EQ(streams[subtitle].toObject()["action"].toString(), "drop");
        EXPECT_TRUE(streams[subtitle].toObject()["reason"].toString().contains("AVI"));
    }
    EXPECT_FALSE(plan["chapters"].toBool());

    const CliResult wrong = Run({"--plan", "--profile", "1002", "--burn", "3", Media("film.mkv")});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.err.contains("has 2 subtitle tracks")) << wrong.err.toStdString();
}

TEST_F(CliPlanTest, ABurnedSubtitleShowsInThePictureAtItsTimeOnly) {
    // Black pictures and one cue from 1.0 s to 2.0 s.
    const QString source =
        FilmWithOneCue("dark", "1\n00:00:01,000 --> 00:00:02,000\nWWWWWWWWWWWWWWWWWWWW\n", "640x360", 3);
    const QJsonObject plan = Plan({"--profile", "1007", "--burn", "1", source});
    EXPECT_EQ(Actions(plan), (QStringList{"encode", "copy", "burn"}));

    const QString burned = Convert({"--profile", "1007", "--burn", "1", source});
    const QString plain = Convert({"--profile", "1008", source});
    ASSERT_FALSE(burned.isEmpty());
    ASSERT_FALSE(plain.isEmpty());
    EXPECT_EQ(Probe(burned, "", "format=nb_streams"), "2") << "the burned track is not kept as a track too";
    // Bright pixels of the picture at a time, as 8-bit gray.
    const auto bright = [](const QString& path, const char* time) {
        const CommandResult frame = RunCommand("ffmpeg -nostdin -v error -ss " + std::string(time) + " -i " +
                                               ShellQuote(path.toStdString()) +
                                               " -frames:v 1 -f rawvideo -pix_fmt gray -");
        return std::count_if(frame.output.begin(), frame.output.end(),
                             [](char c) { return static_cast<unsigned char>(c) > 128; });
    };
    EXPECT_GT(bright(burned, "1.5"), 200) << "the cue is drawn while it is due";
    EXPECT_LT(bright(plain, "1.5"), 10);
    EXPECT_LT(bright(burned, "0.5"), 10) << "and not before";
    EXPECT_LT(bright(burned, "2.6"), 10) << "nor after";
}

TEST_F(CliPlanTest, BurnNoneKeepsTheForcedTrackTheSettingWouldBurn) {
    const QString source = FilmWithOneCue("forced", "1\n00:00:00,500 --> 00:00:01,000\nForced\n", "320x180", 1,
                                          "-disposition:s:0 forced");
    // The stored setting burns forced subtitles, as the profile dialog's box leaves it.
    const QString config = home_.path() + "/appdata/config/corvane";
    ASSERT_TRUE(QDir().mkpath(config));
    QFile stored(config + "/app_config.xml");
    ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
    stored.write("[General]\nCheckForUpdate=false\n\n[OutputSet]\nprofile_id=1008\nBurnForcedSubtitles=true\n");
    stored.close();

    EXPECT_EQ(Actions(Plan({source})), (QStringList{"encode", "copy", "burn"}));
    EXPECT_EQ(Actions(Plan({"--burn", "none", source})), (QStringList{"copy", "copy", "copy"}));
    const CliResult wrong = Run({"--plan", "--burn", "nothing", source});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.err.contains("--burn needs none or a subtitle track number")) << wrong.err.toStdString();
}
