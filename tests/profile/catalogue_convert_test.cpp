// Every shipped profile converts with the installed FFmpeg. Each run encodes a short test
// picture and tone with the profile's encoders, size, frame time, rates and channels into the
// container its extension names, then decodes all of the result and checks what came out.
// By default every video and every audio option runs once with its own defaults; with
// CORVANE_CATALOGUE_SWEEP=1 every listed frame rate, bit rate and sample rate runs as well.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue_reader.h"
#include "process_helpers.h"

using namespace catalogue;

namespace {

const Catalogue& shipped() {
    static const Catalogue c = loadCatalogue(bundlePath());
    return c;
}

// Profile ids for the test names; 0 stands for a bundle that could not be read.
std::vector<int> profileIds() {
    std::vector<int> ids;
    for (const Profile& p : shipped().profiles)
        ids.push_back(p.id);
    if (ids.empty())
        ids.push_back(0);
    return ids;
}

bool sweeping() {
    const char* value = std::getenv("CORVANE_CATALOGUE_SWEEP");
    return value && std::string(value) == "1";
}

struct VideoChoice {
    const VideoOption* option = nullptr;  // null: the profile makes no video
    QString bitrate, frameRate;
};

struct AudioChoice {
    const AudioOption* option = nullptr;
    QString bitrate, sampleRate;
};

QList<VideoChoice> videoChoices(const Profile& p, bool sweep) {
    QList<VideoChoice> choices;
    for (const VideoOption& o : p.video) {
        choices.append({&o, o.defBitrate, o.defFrameRate});
        if (!sweep)
            continue;
        for (const QString& fps : o.frameRates)
            if (fps != o.defFrameRate)
                choices.append({&o, o.defBitrate, fps});
        for (const QString& br : o.bitrates)
            if (br != o.defBitrate)
                choices.append({&o, br, o.defFrameRate});
    }
    if (choices.isEmpty())
        choices.append(VideoChoice{});
    return choices;
}

QList<AudioChoice> audioChoices(const Profile& p, bool sweep) {
    QList<AudioChoice> choices;
    for (const AudioOption& o : p.audio) {
        if (!sweep) {
            choices.append({&o, o.defBitrate, o.defSampleRate});
            continue;
        }
        for (const QString& sr : o.sampleRates)
            for (const QString& br : o.bitrates)
                choices.append({&o, br, sr});
    }
    return choices;
}

// What FFmpeg's decoders call the stream an encoder writes.
QString decodedName(const QString& encoder) {
    if (encoder == "libxvid")
        return "mpeg4";
    if (encoder == "libvorbis")
        return "vorbis";
    return encoder;
}

const char* h264ProfileName(int profile) {
    switch (profile) {
    case 77: return "main";
    case 100: return "high";
    default: return "baseline";
    }
}

// Encoders that quietly pick another bit rate when the requested one is not allowed at the
// sample rate, and the raw format whose frame headers show the rate actually used.
QString rawFormatShowingBitrate(const QString& encoder) {
    return encoder == "mp3" || encoder == "mp2" || encoder == "ac3" ? encoder : QString();
}

std::string arg(const QString& text) {
    return ShellQuote(text.toStdString());
}

class ProfileConverts : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(ProfileConverts, WithFfmpeg) {
    ASSERT_TRUE(shipped().error.isEmpty()) << qPrintable(shipped().error);
    const Profile* p = shipped().byId(GetParam());
    ASSERT_NE(p, nullptr);
    const QString muxer = muxerFor(p->extension);
    ASSERT_FALSE(muxer.isEmpty()) << qPrintable(p->extension);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    const bool sweep = sweeping();
    const QList<VideoChoice> videos = videoChoices(*p, sweep);
    const QList<AudioChoice> audios = audioChoices(*p, sweep);
    ASSERT_FALSE(audios.isEmpty());
    const qsizetype runs = std::max(videos.size(), audios.size());
    for (qsizetype i = 0; i < runs; ++i) {
        const VideoChoice& v = videos[i % videos.size()];
        const AudioChoice& a = audios[i % audios.size()];
        const QString out = dir.filePath(QString("run%1%2").arg(i).arg(p->extension));

        std::string cmd = "ffmpeg -nostdin -v error -y";
        if (v.option)
            cmd += " -f lavfi -i testsrc2=size=640x360:rate=25:duration=0.4";
        cmd += " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.4";
        const auto aRow = codecRow(a.option->code);
        const auto vRow = v.option ? codecRow(v.option->code) : std::nullopt;
        ASSERT_TRUE(aRow) << qPrintable(a.option->code);
        ASSERT_TRUE(vRow || !v.option) << qPrintable(v.option->code);
        QString vEncoder, aEncoder = aRow->encoder;
        int width = 0, height = 0;
        if (v.option) {
            const CodecRow row = *vRow;
            vEncoder = row.encoder;
            cmd += " -map 0:v -map 1:a -c:v " + vEncoder.toStdString();
            // The program asks for the row's H.264 profile at level 3.1.
            if (vEncoder == "h264")
                cmd += std::string(" -profile:v ") + h264ProfileName(row.profile) + " -level 3.1";
            if (vEncoder != "mjpeg")
                cmd += " -pix_fmt yuv420p";
            if (v.option->resolution != "Keep Original") {
                const QStringList wh = v.option->resolution.split('*');
                width = wh.value(0).toInt();
                height = wh.value(1).toInt();
                cmd += " -s " + std::to_string(width) + "x" + std::to_string(height);
            }
            // Frame time as the program builds it: 1001 / int(f * 1001 + 0.5).
            const int den = static_cast<int>(v.frameRate.toFloat() * 1001 + 0.5f);
            cmd += " -r " + std::to_string(den) + "/1001";
            cmd += " -b:v " + v.bitrate.toStdString() + "k";
        } else {
            cmd += " -map 0:a";
        }
        cmd += " -c:a " + aEncoder.toStdString() + " -ar " + arg(a.sampleRate) + " -ac " +
               arg(a.option->channels) + " -b:a " + a.bitrate.toStdString() + "k";
        cmd += " -f " + muxer.toStdString() + " " + arg(out);

        const std::string what =
            QString("%1 %2 @%3 fps %4k + %5 %6ch %7 Hz %8k")
                .arg(vEncoder.isEmpty() ? "no video" : vEncoder,
                     v.option ? v.option->resolution : QString(), v.frameRate, v.bitrate,
                     aEncoder, a.option->channels, a.sampleRate, a.bitrate)
                .toStdString();
        SCOPED_TRACE(what);
        const CommandResult encoded = RunCommand(cmd);
        ASSERT_EQ(encoded.exitCode, 0) << cmd << "\n" << encoded.output;

        // Decode every frame with ffprobe: it reports decoder errors, and no muxer of its own
        // complains about the millisecond time stamps of some containers.
        const QString errorFile = dir.filePath("errors.txt");
        const CommandResult probe = RunCommand(
            "(ffprobe -v error -count_frames -of json -show_entries "
            "stream=codec_type,codec_name,width,height,sample_rate,channels,bit_rate,"
            "nb_read_frames " +
            arg(out) + " 2>" + arg(errorFile) + ")");
        ASSERT_EQ(probe.exitCode, 0) << probe.output;
        QFile errors(errorFile);
        ASSERT_TRUE(errors.open(QIODevice::ReadOnly));
        EXPECT_EQ(errors.readAll().toStdString(), "") << "decoding failed";
        const QJsonArray streams =
            QJsonDocument::fromJson(QByteArray::fromStdString(probe.output))["streams"].toArray();
        int videoStreams = 0, audioStreams = 0;
        for (const QJsonValue& value : streams) {
            const QJsonObject s = value.toObject();
            EXPECT_GT(s["nb_read_frames"].toString().toInt(), 0) << qPrintable(s["codec_type"].toString());
            if (s["codec_type"].toString() == "video") {
                ++videoStreams;
                EXPECT_EQ(s["codec_name"].toString(), decodedName(vEncoder));
                if (width > 0) {
                    EXPECT_EQ(s["width"].toInt(), width);
                    EXPECT_EQ(s["height"].toInt(), height);
                }
            } else if (s["codec_type"].toString() == "audio") {
                ++audioStreams;
                EXPECT_EQ(s["codec_name"].toString(), decodedName(aEncoder));
                EXPECT_EQ(s["sample_rate"].toString(), a.sampleRate);
                EXPECT_EQ(s["channels"].toInt(), a.option->channels.toInt());
                // Container headers may only repeat the request; the frames tell the truth.
                const QString raw = rawFormatShowingBitrate(aEncoder);
                if (!raw.isEmpty()) {
                    const QString rawFile = dir.filePath("audio." + raw);
                    const CommandResult extracted =
                        RunCommand("ffmpeg -nostdin -v error -y -i " + arg(out) +
                                   " -map 0:a -c copy -f " + raw.toStdString() + " " + arg(rawFile));
                    ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
                    EXPECT_EQ(ProbeValue(rawFile.toStdString(), "a:0", "stream=bit_rate"),
                              a.bitrate.toStdString() + "000");
                }
            }
        }
        EXPECT_EQ(videoStreams, v.option ? 1 : 0);
        EXPECT_EQ(audioStreams, 1);
    }
    RecordProperty("runs", static_cast<int>(runs));
}

INSTANTIATE_TEST_SUITE_P(Shipped, ProfileConverts, ::testing::ValuesIn(profileIds()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Profile" + std::to_string(info.param);
                         });
