// Every profile of the shipped catalogue converts through the engine into what it promises:
// container, codecs, size, frame rate, sample rate, channels and, where the frames carry it,
// the audio bit rate; the result decodes cleanly. Each profile runs with its defaults and then
// with every video and every audio option's own defaults, so that every value the catalogue
// offers by default is one the engine and FFmpeg accept. With CORVANE_CATALOGUE_SWEEP=1 every
// listed frame rate, bit rate and sample rate runs as well (slow; for vetting a catalogue).
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QResource>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "codec_tables.h"
#include "conversion_run.h"
#include "engine_test_support.h"
#include "output_setting.h"
#include "picture_rules.h"
#include "plan_inputs.h"
#include "process_helpers.h"
#include "profile_catalogue.h"
#include "shipped_catalogue.h"
#include "source_file.h"
#include "vantrel/vantrel.h"
#include "video_encoding.h"

using namespace MediaBased;

namespace {

using shipped_catalogue::kProfileStride;
const auto& ShippedCatalogue = shipped_catalogue::Catalogue;

std::vector<int> ShippedProfileIds() {
    std::vector<int> ids;
    const ProfileCatalogue& catalogue = ShippedCatalogue();
    for (int i = 0; i < catalogue.entryCount(); i += static_cast<int>(kProfileStride))
        ids.push_back(catalogue.entry(i)->profileId);
    // A catalogue that did not load still shows up, as a failing test rather than none.
    if (ids.empty())
        ids.push_back(0);
    return ids;
}

bool Sweeping() {
    const char* value = std::getenv("CORVANE_CATALOGUE_SWEEP");
    return value && std::string(value) == "1";
}

// The setting the program makes of entry when the given options are its defaults; a negative
// index keeps the profile's own default on that side.
OutputSetting WithOptions(const ProfileEntry& entry, qsizetype videoIndex, qsizetype audioIndex) {
    ProfileEntry variant = entry;
    ProfileFormat& format = variant.format;
    if (videoIndex >= 0) {
        format.defaultVideoCodec = format.video[videoIndex].codec;
        format.defaultResolution = format.video[videoIndex].resolution;
    }
    if (audioIndex >= 0) {
        format.defaultAudioCodec = format.audio[audioIndex].codec;
        format.defaultChannels = format.audio[audioIndex].channels;
    }
    OutputSetting setting;
    applyProfileDefaults(variant, setting);
    return setting;
}

// The profile's defaults first, as shipped (copying what fits when the profile does), then
// every option with its own defaults, video and audio options paired up in turn and always
// encoded; with sweep, every listed value of every option on top.
std::vector<OutputSetting> SettingsToConvert(const ProfileEntry& entry, bool sweep) {
    std::vector<OutputSetting> settings;
    const auto add = [&settings](OutputSetting setting) {
        if (!settings.empty())
            setting.copyStreams = false;
        if (std::find(settings.begin(), settings.end(), setting) == settings.end())
            settings.push_back(setting);
    };
    OutputSetting defaults;
    applyProfileDefaults(entry, defaults);
    add(defaults);
    OutputSetting encoded = defaults;
    encoded.copyStreams = false;
    add(encoded);

    const qsizetype videos = entry.format.video.size();
    const qsizetype audios = entry.format.audio.size();
    for (qsizetype i = 0; i < std::max(videos, audios); ++i)
        add(WithOptions(entry, videos > 0 ? i % videos : -1, audios > 0 ? i % audios : -1));
    if (!sweep)
        return settings;

    for (qsizetype i = 0; i < videos; ++i) {
        const VideoOption& option = entry.format.video[i];
        const OutputSetting base = WithOptions(entry, i, -1);
        for (const QString& rate : option.frameRates) {
            OutputSetting setting = base;
            setting.videoFrameRate = rate == kKeepOriginal ? rate : leadingNumber(rate);
            add(setting);
        }
        for (const QString& bitrate : option.bitrates) {
            OutputSetting setting = base;
            setting.videoBitrate = leadingNumber(bitrate);
            add(setting);
        }
    }
    for (qsizetype i = 0; i < audios; ++i) {
        const AudioOption& option = entry.format.audio[i];
        const OutputSetting base = WithOptions(entry, -1, i);
        for (const QString& sampleRate : option.sampleRates)
            for (const QString& bitrate : option.bitrates) {
                OutputSetting setting = base;
                setting.audioSampleRate = leadingNumber(sampleRate);
                setting.audioBitrate = leadingNumber(bitrate);
                add(setting);
            }
    }
    return settings;
}

std::string Describe(const OutputSetting& s) {
    const QString video = s.videoCodec.isEmpty()
        ? QStringLiteral("no video")
        : QStringLiteral("%1 %2 @%3 fps %4k")
              .arg(s.videoCodec, s.videoResolution, s.videoFrameRate, s.videoBitrate);
    return QStringLiteral("%1 + %2 %3ch %4 Hz %5k")
        .arg(video, s.audioCodec, s.audioChannels, s.audioSampleRate, s.audioBitrate)
        .toStdString();
}

// What ffprobe calls the output of each muxer and encoder.
QString ProbedFormat(const QString& muxer) {
    static const std::map<QString, QString> names = {
        {"mp4", "mov,mp4,m4a,3gp,3g2,mj2"}, {"ipod", "mov,mp4,m4a,3gp,3g2,mj2"},
        {"3gp", "mov,mp4,m4a,3gp,3g2,mj2"}, {"3g2", "mov,mp4,m4a,3gp,3g2,mj2"},
        {"mov", "mov,mp4,m4a,3gp,3g2,mj2"}, {"f4v", "mov,mp4,m4a,3gp,3g2,mj2"},
        {"matroska", "matroska,webm"},       {"webm", "matroska,webm"},
        {"asf", "asf"},                      {"avi", "avi"},
        {"flv", "flv"},                      {"vob", "mpeg"},
        {"mp3", "mp3"},                      {"adts", "aac"},
        {"ac3", "ac3"},                      {"flac", "flac"},
        {"wav", "wav"},                      {"ogg", "ogg"},
        {"aiff", "aiff"},                    {"opus", "ogg"}};
    const auto found = names.find(muxer);
    return found == names.end() ? muxer : found->second;
}

QString ProbedCodec(const QString& encoder) {
    static const std::map<QString, QString> names = {
        {"libxvid", "mpeg4"}, {"libvorbis", "vorbis"},  {"libx265", "hevc"}, {"libsvtav1", "av1"},
        {"libvpx-vp9", "vp9"}, {"prores_ks", "prores"}, {"libopus", "opus"}, {"libx264", "h264"}};
    const auto found = names.find(encoder);
    return found == names.end() ? encoder : found->second;
}

// Encoders that quietly pick another bit rate when the requested one is not allowed at the
// sample rate, and the raw format whose frame headers show the rate actually used.
QString RawFormatShowingBitrate(const QString& encoder) {
    return encoder == "mp3" || encoder == "mp2" || encoder == "ac3" ? encoder : QString();
}

double FramesPerSecond(const QString& fraction) {
    const QStringList parts = fraction.split('/');
    if (parts.size() != 2)
        return fraction.toDouble();
    const double den = parts[1].toDouble();
    return den != 0 ? parts[0].toDouble() / den : 0;
}

std::string Quoted(const QString& path) {
    return ShellQuote(path.toStdString());
}

// The streams of a file as ffprobe sees them, every frame decoded and counted.
QJsonArray ProbeStreams(const QString& path) {
    const CommandResult probe = RunCommand(
        "ffprobe -v error -count_frames -of json -show_entries "
        "stream=codec_type,codec_name,width,height,avg_frame_rate,r_frame_rate,sample_rate,channels,"
        "nb_read_frames " + Quoted(path));
    return QJsonDocument::fromJson(QByteArray::fromStdString(probe.output))["streams"].toArray();
}

class ShippedProfileTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(output_.isValid());
        // A profile converts up to a dozen times: one second of H.264 with B-frames and AAC,
        // 640x360 at 25 fps, keeps that quick.
        const QString source = output_.filePath("source.mkv");
        const CommandResult made = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=1 "
            "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -c:v libx264 -preset veryfast "
            "-bf 3 -pix_fmt yuv420p -c:a aac -ac 2 " + Quoted(source));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        manager_.reset(CreateMediaManager());
        ASSERT_NE(manager_.get(), nullptr);
        sources_ = std::make_unique<SourceList>(manager_.get());
        ASSERT_EQ(sources_->add(source), 0);
    }

    // Converts the source with setting into a folder of its own; the output path, or empty.
    QString Convert(const OutputSetting& setting, int number) {
        const QString folder = output_.filePath(QString::number(number));
        QDir().mkpath(folder);
        ConversionRun run(manager_.get());
        if (!run.start(*sources_, setting, folder, 1)) {
            ADD_FAILURE() << "the run did not start";
            return {};
        }
        QElapsedTimer clock;
        clock.start();
        while (run.unfinishedCount() > 0) {
            if (clock.elapsed() > 240000) {
                ADD_FAILURE() << "conversion did not end";
                return {};
            }
            QThread::msleep(20);
        }
        const bool finished = run.task(0)->state.load() == TaskFinished;
        const QString target = run.targetPath(0);
        run.finish();
        EXPECT_TRUE(finished) << "the task failed";
        return finished ? target : QString();
    }

    void CheckOutput(const OutputSetting& setting, const QString& target, const TaskPlan& plan);

    Owned<IMediaManager> manager_;
    std::unique_ptr<SourceList> sources_;
    QTemporaryDir output_;
};

// Whether the plan copies the stream of the given kind.
bool Copies(const TaskPlan& plan, PlanKind kind) {
    for (const PlannedStream& stream : plan.outputs())
        if (stream.source.kind == kind)
            return stream.action == PlanAction::Copy;
    return false;
}

int Outputs(const TaskPlan& plan, PlanKind kind) {
    int count = 0;
    for (const PlannedStream& stream : plan.outputs())
        count += stream.source.kind == kind ? 1 : 0;
    return count;
}

void ShippedProfileTest::CheckOutput(const OutputSetting& setting, const QString& target, const TaskPlan& plan) {
    const std::string path = target.toStdString();
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(path, &errors)) << errors;
    EXPECT_EQ(ProbeValue(path, "", "format=format_name"),
              ProbedFormat(muxerForExtension(setting.extension)).toStdString());

    int videoStreams = 0, audioStreams = 0;
    for (const QJsonValue& value : ProbeStreams(target)) {
        const QJsonObject s = value.toObject();
        const QString type = s["codec_type"].toString();
        EXPECT_GT(s["nb_read_frames"].toString().toInt(), 0) << "no " << qPrintable(type) << " frames";
        if (type == "video" && Copies(plan, PlanKind::Video)) {
            ++videoStreams;
            EXPECT_EQ(s["codec_name"].toString(), "h264");
            EXPECT_EQ(s["width"].toInt(), 640);
            EXPECT_EQ(s["height"].toInt(), 360);
            EXPECT_NEAR(FramesPerSecond(s["avg_frame_rate"].toString()), 25.0, 0.05);
        } else if (type == "audio" && Copies(plan, PlanKind::Audio)) {
            ++audioStreams;
            EXPECT_EQ(s["codec_name"].toString(), "aac");
            EXPECT_EQ(s["sample_rate"].toString(), "48000");
            EXPECT_EQ(s["channels"].toInt(), 2);
        } else if (type == "video") {
            ++videoStreams;
            EXPECT_EQ(s["codec_name"].toString(), ProbedCodec(codecInfo(setting.videoCodec).encoder));
            // The source is 640x360 at 25 fps; sizes and rates are maxima, never reached by
            // enlarging the picture or repeating frames.
            // DVD and H.263 take the format's few sizes and rates only: those are kept exactly.
            const bool exact = keepsExactPicture(setting.extension, codecInfo(setting.videoCodec).encoder);
            const QStringList size = setting.videoResolution.split('*');
            const PictureSize fitted = size.size() != 2 ? PictureSize{640, 360}
                : exact ? PictureSize{size[0].toInt(), size[1].toInt()}
                        : fitPicture(640, 360, 0.0, size[0].toInt(), size[1].toInt());
            EXPECT_EQ(s["width"].toInt(), fitted.width);
            EXPECT_EQ(s["height"].toInt(), fitted.height);
            const double asked = setting.videoFrameRate.toDouble();
            const double fps = exact && asked > 0 ? asked
                : fitFrameRate(frameTimeOf(25.0), asked > 0 ? asked : 0.0).framesPerSecond();
            const double average = FramesPerSecond(s["avg_frame_rate"].toString());
            const double nominal = FramesPerSecond(s["r_frame_rate"].toString());
            EXPECT_TRUE(std::fabs(average - fps) < 0.05 || std::fabs(nominal - fps) < 0.05)
                << "avg " << average << ", r " << nominal << ", expected " << fps;
        } else if (type == "audio") {
            ++audioStreams;
            const QString encoder = codecInfo(setting.audioCodec).encoder;
            EXPECT_EQ(s["codec_name"].toString(), ProbedCodec(encoder));
            EXPECT_EQ(s["sample_rate"].toString(), setting.audioSampleRate);
            EXPECT_EQ(s["channels"].toInt(), setting.audioChannels.toInt());
            // Container headers may only repeat the request; the frames tell the truth.
            // A codec with options of its own (MP3 VBR) sets its rate by quality instead.
            const QString raw =
                codecInfo(setting.audioCodec).options.isEmpty() ? RawFormatShowingBitrate(encoder) : QString();
            if (!raw.isEmpty()) {
                const QString rawFile = output_.filePath("audio." + raw);
                const CommandResult extracted =
                    RunCommand("ffmpeg -nostdin -v error -y -i " + Quoted(target) + " -map 0:a -c copy -f " +
                               raw.toStdString() + " " + Quoted(rawFile));
                ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
                EXPECT_EQ(ProbeValue(rawFile.toStdString(), "a:0", "stream=bit_rate"),
                          setting.audioBitrate.toStdString() + "000");
            }
        }
    }
    EXPECT_EQ(videoStreams, setting.videoCodec.isEmpty() ? 0 : 1);
    EXPECT_EQ(audioStreams, setting.audioCodec.isEmpty() ? 0 : 1);
    EXPECT_EQ(videoStreams, Outputs(plan, PlanKind::Video));
    EXPECT_EQ(audioStreams, Outputs(plan, PlanKind::Audio));
}

}  // namespace

TEST_P(ShippedProfileTest, ConvertsToWhatTheProfilePromises) {
    ASSERT_TRUE(ShippedCatalogue().loadError().isEmpty()) << qPrintable(ShippedCatalogue().loadError());
    const ProfileEntry* entry = ShippedCatalogue().entryById(GetParam());
    ASSERT_NE(entry, nullptr);
    SCOPED_TRACE(entry->name.toStdString());

    const std::vector<OutputSetting> settings = SettingsToConvert(*entry, Sweeping());
    for (size_t i = 0; i < settings.size(); ++i) {
        SCOPED_TRACE(Describe(settings[i]));
        const QString target = Convert(settings[i], static_cast<int>(i));
        if (!target.isEmpty())
            CheckOutput(settings[i], target, planFor(*sources_->at(0), settings[i]));
    }
    RecordProperty("conversions", static_cast<int>(settings.size()));
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ShippedProfileTest, ::testing::ValuesIn(ShippedProfileIds()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Profile" + std::to_string(info.param);
                         });
