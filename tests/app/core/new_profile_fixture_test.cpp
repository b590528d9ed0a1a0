// The profiles made for today's devices, each converting a set of everyday sources with its
// defaults (copying what fits, as a user gets it): 8-bit H.264, 10-bit HEVC, 4:3 pictures that
// store no pixel shape, 5.1 sound, 60 fps and a small picture. What comes out is checked
// against the catalogue's own words (its container and codecs, the default option's size, rate
// and channels, the device's limits), never against the program's fitting rules, so a rule
// that goes wrong shows up as an output the catalogue does not allow.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QResource>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "codec_tables.h"
#include "conversion_run.h"
#include "engine_test_support.h"
#include "output_setting.h"
#include "plan_inputs.h"
#include "process_helpers.h"
#include "profile_catalogue.h"
#include "shipped_catalogue.h"
#include "source_file.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

namespace {

const int kNewProfiles[] = {1009, 1010, 1011, 1012, 1013, 1014, 1107, 1108, 1207,
                            1801, 1802, 1803, 1506, 1507, 1714, 1715, 1716};

const auto& ShippedCatalogue = shipped_catalogue::Catalogue;

// The sanitizer builds take two of the sources as well; the plain build converts the whole
// matrix.
std::vector<int> ProfilesToConvert() {
    std::vector<int> ids;
    for (size_t i = 0; i < std::size(kNewProfiles); i += shipped_catalogue::kProfileStride)
        ids.push_back(kNewProfiles[i]);
    return ids;
}

std::string Quoted(const QString& path) {
    return ShellQuote(path.toStdString());
}

// One second of each (x265 and SVT-AV1 are slow; small and short keeps the matrix quick).
struct Fixture {
    const char* name;
    const char* file;
    const char* size;
    int rate;
    const char* video;  // ffmpeg options making the picture
    const char* audio;  // and the sound
    const char* pixelFormat;  // what the made file must show, checked before it is used
    int channels;
};

const Fixture kFixtures[] = {
    {"8-bit H.264 + stereo AAC", "eight_bit.mkv", "640x360", 25,
     "-c:v libx264 -preset veryfast -pix_fmt yuv420p", "-c:a aac -ac 2", "yuv420p", 2},
    {"10-bit HEVC + stereo AAC", "ten_bit.mkv", "640x360", 25,
     "-c:v libx265 -preset ultrafast -x265-params log-level=error -pix_fmt yuv420p10le", "-c:a aac -ac 2",
     "yuv420p10le", 2},
    // setsar=0 leaves the pixel shape unknown: no aspect in the bitstream nor the container.
    {"4:3 without aspect", "four_by_three.mkv", "640x480", 25,
     "-vf setsar=0 -c:v libx264 -preset veryfast -pix_fmt yuv420p", "-c:a aac -ac 2", "yuv420p", 2},
    {"5.1 AC-3", "surround.mkv", "640x360", 25, "-c:v libx264 -preset veryfast -pix_fmt yuv420p",
     "-af aformat=channel_layouts=5.1 -c:a ac3", "yuv420p", 6},
    {"60 fps", "sixty_fps.mkv", "640x360", 60, "-c:v libx264 -preset veryfast -pix_fmt yuv420p",
     "-c:a aac -ac 2", "yuv420p", 2},
    {"320x180", "small.mkv", "320x180", 25, "-c:v libx264 -preset veryfast -pix_fmt yuv420p", "-c:a aac -ac 2",
     "yuv420p", 2},
};
constexpr int kEightBit = 0;
constexpr int kSurround = 3;

std::vector<int> FixturesFor(bool audioOnly) {
#ifdef CORVANE_SANITIZED
    (void)audioOnly;
    return {kEightBit, kSurround};
#else
    if (audioOnly)
        return {kEightBit, kSurround};
    std::vector<int> all;
    for (int i = 0; i < static_cast<int>(std::size(kFixtures)); ++i)
        all.push_back(i);
    return all;
#endif
}

// A stream as ffprobe shows it, with the stretch its packets cover.
struct ProbedStream {
    QString type;
    QString codec;
    QString pixelFormat;
    int width = 0;
    int height = 0;
    double pixelAspect = 1.0;  // 1 where the file stores none
    double nominalRate = 0.0;  // r_frame_rate
    double averageRate = 0.0;
    int level = 0;
    int channels = 0;
    int sampleRate = 0;
    int packets = 0;
    double start = 0.0;
    double end = 0.0;
    double longestPacket = 0.0;

    double duration() const { return packets > 0 ? end - start : 0.0; }
    double displayAspect() const { return height > 0 ? width * pixelAspect / height : 0.0; }
    int bitDepth() const { return pixelFormat.contains("p10") || pixelFormat.contains("10le") ? 10 : 8; }
};

struct ProbedFile {
    QString format;
    std::vector<ProbedStream> streams;

    int count(const QString& type) const {
        return static_cast<int>(std::count_if(streams.begin(), streams.end(),
                                              [&type](const ProbedStream& s) { return s.type == type; }));
    }
    const ProbedStream* first(const QString& type) const {
        for (const ProbedStream& s : streams)
            if (s.type == type)
                return &s;
        return nullptr;
    }
};

double Fraction(const QString& text) {
    const QStringList parts = text.split(text.contains(':') ? ':' : '/');
    if (parts.size() != 2)
        return text.toDouble();
    const double den = parts[1].toDouble();
    return den != 0 ? parts[0].toDouble() / den : 0.0;
}

ProbedFile Probe(const QString& path) {
    const CommandResult probe = RunCommand(
        "ffprobe -v error -of json -show_entries format=format_name:stream=index,codec_type,codec_name,"
        "width,height,sample_aspect_ratio,pix_fmt,r_frame_rate,avg_frame_rate,level,channels,sample_rate:"
        "packet=stream_index,pts_time,duration_time " + Quoted(path));
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(probe.output)).object();
    ProbedFile file;
    file.format = json["format"].toObject()["format_name"].toString();
    std::map<int, size_t> byIndex;
    for (const QJsonValue& value : json["streams"].toArray()) {
        const QJsonObject s = value.toObject();
        ProbedStream stream;
        stream.type = s["codec_type"].toString();
        stream.codec = s["codec_name"].toString();
        stream.pixelFormat = s["pix_fmt"].toString();
        stream.width = s["width"].toInt();
        stream.height = s["height"].toInt();
        const double sar = Fraction(s["sample_aspect_ratio"].toString());
        stream.pixelAspect = sar > 0 ? sar : 1.0;
        stream.nominalRate = Fraction(s["r_frame_rate"].toString());
        stream.averageRate = Fraction(s["avg_frame_rate"].toString());
        stream.level = s["level"].toInt();
        stream.channels = s["channels"].toInt();
        stream.sampleRate = s["sample_rate"].toString().toInt();
        byIndex[s["index"].toInt()] = file.streams.size();
        file.streams.push_back(stream);
    }
    for (const QJsonValue& value : json["packets"].toArray()) {
        const QJsonObject p = value.toObject();
        const auto found = byIndex.find(p["stream_index"].toInt());
        if (found == byIndex.end() || !p.contains("pts_time"))
            continue;
        ProbedStream& stream = file.streams[found->second];
        const double pts = p["pts_time"].toString().toDouble();
        const double length = p["duration_time"].toString().toDouble();
        stream.start = stream.packets == 0 ? pts : std::min(stream.start, pts);
        stream.end = stream.packets == 0 ? pts + length : std::max(stream.end, pts + length);
        stream.longestPacket = std::max(stream.longestPacket, length);
        ++stream.packets;
    }
    return file;
}

// What ffprobe calls the container behind each extension the catalogue names.
QString ProbedFormatOf(const QString& extension) {
    static const std::map<QString, QString> names = {
        {".mp4", "mov,mp4,m4a,3gp,3g2,mj2"}, {".m4a", "mov,mp4,m4a,3gp,3g2,mj2"},
        {".mov", "mov,mp4,m4a,3gp,3g2,mj2"}, {".mkv", "matroska,webm"},
        {".webm", "matroska,webm"},          {".ogg", "ogg"},  {".opus", "ogg"},
        {".mp3", "mp3"}};
    const auto found = names.find(extension);
    return found == names.end() ? QStringLiteral("(no container known for %1)").arg(extension) : found->second;
}

// What ffprobe calls the codec a catalogue code is encoded with.
QString ProbedCodecOf(const QString& code) {
    static const std::map<QString, QString> names = {
        {"libx265", "hevc"}, {"libsvtav1", "av1"}, {"libvpx-vp9", "vp9"},
        {"prores_ks", "prores"}, {"libopus", "opus"}, {"libx264", "h264"}};
    const QString encoder = codecInfo(code).encoder;
    const auto found = names.find(encoder);
    return found == names.end() ? encoder : found->second;
}

template <typename Option>
QSet<QString> ProbedCodecsOf(const QList<Option>& options) {
    QSet<QString> codecs;
    for (const Option& option : options)
        codecs.insert(ProbedCodecOf(option.codec));
    return codecs;
}

// Codes whose encode always carries ten bits (HEVC Main 10, ProRes 422), and those that keep
// the ten bits of a deeper source where the device (if the profile names one) plays them.
bool AlwaysTenBits(const QString& code) {
    return code == "HV10" || code == "APCN";
}
bool TenBitsFromTenBitSource(const QString& code) {
    return code == "AV1 " || code == "VP9 ";
}

bool IsDevice(const DeviceLimits& limits) {
    return limits != DeviceLimits{};
}

bool HasRate(const ProbedStream& s, double expected) {
    return std::fabs(s.nominalRate - expected) < 0.05 || std::fabs(s.averageRate - expected) < 0.05;
}

struct Bounds {
    int width = 0;  // 0: none
    int height = 0;
    double framesPerSecond = 0.0;
};

// The largest picture and rate the profile's defaults and device allow, as the catalogue says.
Bounds BoundsOf(const OutputSetting& setting) {
    Bounds bounds;
    const QStringList size = setting.videoResolution.split('*');
    if (setting.videoResolution != kKeepOriginal && size.size() == 2) {
        bounds.width = size[0].toInt();
        bounds.height = size[1].toInt();
    }
    if (setting.videoFrameRate != kKeepOriginal)
        bounds.framesPerSecond = setting.videoFrameRate.toDouble();
    const DeviceLimits& limits = setting.profile.limits;
    const auto tighter = [](auto current, auto limit) {
        return limit > 0 && (current <= 0 || limit < current) ? limit : current;
    };
    bounds.width = tighter(bounds.width, limits.maxWidth);
    bounds.height = tighter(bounds.height, limits.maxHeight);
    bounds.framesPerSecond = tighter(bounds.framesPerSecond, limits.maxFramesPerSecond);
    return bounds;
}

PlanAction ActionFor(const TaskPlan& plan, PlanKind kind) {
    for (const PlannedStream& stream : plan.outputs())
        if (stream.source.kind == kind)
            return stream.action;
    return PlanAction::Drop;
}

void CheckVideo(const OutputSetting& setting, const ProbedStream& source, const ProbedStream& out, bool copied) {
    const ProfileFormat& format = setting.profile;
    const DeviceLimits& limits = format.limits;
    const Bounds bounds = BoundsOf(setting);
    SCOPED_TRACE(QStringLiteral("video %1 %2x%3 %4 at %5 fps (source %6 %7x%8 %9 at %10 fps)%11")
                     .arg(out.codec).arg(out.width).arg(out.height).arg(out.pixelFormat).arg(out.nominalRate)
                     .arg(source.codec).arg(source.width).arg(source.height).arg(source.pixelFormat)
                     .arg(source.nominalRate).arg(copied ? ", copied" : "")
                     .toStdString());

    // The size: never enlarged, never over the profile's, even where chroma is halved, and the
    // picture's shape kept; a source that fits keeps its size.
    EXPECT_LE(out.width, source.width);
    EXPECT_LE(out.height, source.height);
    if (bounds.width > 0) {
        EXPECT_LE(out.width, bounds.width);
        EXPECT_LE(out.height, bounds.height);
    }
    if (out.pixelFormat.contains("420")) {
        EXPECT_EQ(out.width % 2, 0);
        EXPECT_EQ(out.height % 2, 0);
    }
    EXPECT_NEAR(out.displayAspect(), source.displayAspect(), source.displayAspect() * 0.01);
    if (bounds.width <= 0 || (source.width <= bounds.width && source.height <= bounds.height)) {
        EXPECT_EQ(out.width, source.width);
        EXPECT_EQ(out.height, source.height);
    }

    // The rate: a source within the maximum keeps its own exactly; a faster one comes out at
    // most at the maximum, at half its rate where that fits.
    const double sourceRate = source.nominalRate;
    if (bounds.framesPerSecond <= 0 || sourceRate <= bounds.framesPerSecond + 0.01) {
        EXPECT_TRUE(HasRate(out, sourceRate)) << "expected " << sourceRate << " fps";
    } else {
        EXPECT_LE(std::min(out.nominalRate, out.averageRate), bounds.framesPerSecond + 0.01);
        if (sourceRate / 2 <= bounds.framesPerSecond + 0.01) {
            EXPECT_TRUE(HasRate(out, sourceRate / 2)) << "expected half of " << sourceRate << " fps";
        }
    }

    if (copied) {
        // A copy is the source's stream, and one the device plays.
        EXPECT_EQ(out.codec, source.codec);
        EXPECT_EQ(out.pixelFormat, source.pixelFormat);
        if (!format.copyAnyCodec) {
            EXPECT_TRUE(ProbedCodecsOf(format.video).contains(out.codec)) << "the profile takes no " << out.codec.toStdString();
        }
        if (limits.maxWidth > 0) {
            EXPECT_LE(out.width, limits.maxWidth);
            EXPECT_LE(out.height, limits.maxHeight);
        }
        if (limits.maxFramesPerSecond > 0) {
            EXPECT_LE(out.nominalRate, limits.maxFramesPerSecond + 0.01);
        }
        if (limits.h264Level > 0 && out.codec == "h264") {
            EXPECT_LE(out.level, limits.h264Level);
        }
        if (limits.hevcLevel > 0 && out.codec == "hevc") {
            EXPECT_LE(out.level / 3, limits.hevcLevel);  // ffprobe counts HEVC levels in thirtieths
        }
        if (IsDevice(limits)) {
            EXPECT_LE(out.bitDepth(), std::max(8, limits.maxBitDepth));
        }
        return;
    }

    EXPECT_EQ(out.codec, ProbedCodecOf(setting.videoCodec));
    const bool deviceTakesTen = !IsDevice(limits) || limits.maxBitDepth >= 10;
    const bool tenBits = AlwaysTenBits(setting.videoCodec) ||
                         (TenBitsFromTenBitSource(setting.videoCodec) && deviceTakesTen && source.bitDepth() >= 10);
    EXPECT_EQ(out.bitDepth(), tenBits ? 10 : 8) << "pixel format " << out.pixelFormat.toStdString();
}

// Whether the catalogue takes the source's sound as it is ("streams within the limits are
// copied", as its header puts it): copying is on, an option offers the sound's codec with at
// least its channels, and the device, where one is named, plays its channels and rate.
bool SoundFits(const ProfileFormat& format, const ProbedStream& source) {
    if (!format.copyStreams)
        return false;
    bool offered = false;
    int highestRate = 0;
    for (const AudioOption& option : format.audio) {
        const bool sameCodec = format.copyAnyCodec || ProbedCodecOf(option.codec) == source.codec;
        offered = offered || (sameCodec && option.channels.toInt() >= source.channels);
        for (const QString& rate : option.sampleRates)
            highestRate = std::max(highestRate, rate.toInt());
    }
    const DeviceLimits& limits = format.limits;
    const int rateLimit = limits.maxSampleRate > 0 ? limits.maxSampleRate : highestRate;
    return offered && (limits.maxChannels <= 0 || source.channels <= limits.maxChannels) &&
           (rateLimit <= 0 || source.sampleRate <= rateLimit);
}

void CheckAudio(const OutputSetting& setting, const ProbedStream& source, const ProbedStream& out, bool copied) {
    const ProfileFormat& format = setting.profile;
    const bool fits = SoundFits(format, source);
    SCOPED_TRACE(QStringLiteral("audio %1 %2 ch %3 Hz (source %4 %5 ch %6 Hz)%7%8")
                     .arg(out.codec).arg(out.channels).arg(out.sampleRate)
                     .arg(source.codec).arg(source.channels).arg(source.sampleRate)
                     .arg(copied ? ", copied" : "")
                     .arg(fits ? ", within what the profile takes as it is" : "")
                     .toStdString());
    // Sound the profile takes as it is keeps its layout (5.1 stays 5.1 where the device plays
    // it); other sound gets the profile's own channel count.
    if (fits) {
        EXPECT_EQ(out.channels, source.channels) << "the source's layout is one the profile takes";
    } else {
        EXPECT_EQ(out.channels, setting.audioChannels.toInt()) << "the profile's default channel count";
    }
    if (copied) {
        EXPECT_TRUE(fits) << "copied sound the profile does not take as it is";
        EXPECT_EQ(out.codec, source.codec);
        EXPECT_EQ(out.sampleRate, source.sampleRate);
    } else if (fits) {
        EXPECT_TRUE(ProbedCodecsOf(format.audio).contains(out.codec)) << "the profile offers no " << out.codec.toStdString();
    } else {
        EXPECT_EQ(out.codec, ProbedCodecOf(setting.audioCodec));
        EXPECT_EQ(out.sampleRate, setting.audioSampleRate.toInt());
    }
}

// Every stream lasts as long as the source's of its kind: within 0.1 s or one packet.
void CheckDuration(const ProbedStream& source, const ProbedStream& out) {
    const double slack = std::max({0.1, source.longestPacket, out.longestPacket}) + 1e-3;
    EXPECT_GT(out.packets, 0) << "no " << out.type.toStdString() << " packets";
    EXPECT_NEAR(out.duration(), source.duration(), slack)
        << out.type.toStdString() << " from " << out.start << " to " << out.end << ", source from "
        << source.start << " to " << source.end;
}

// Every file decoded by one ffmpeg (a process per file costs more than the decoding); true when
// nothing was said.
bool DecodeCleanly(const QStringList& paths) {
    std::string inputs;
    std::string outputs;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        inputs += " -i " + Quoted(paths[i]);
        outputs += " -map " + std::to_string(i) + " -f null -";
    }
    const CommandResult r = RunCommand("ffmpeg -nostdin -v error" + inputs + outputs);
    return r.exitCode == 0 && r.output.empty();
}

// The sources, each made once for the binary when a test first needs it (ctest runs every
// profile in a process of its own: an audio profile makes two, not six).
class FixtureFolder {
public:
    static FixtureFolder& instance() {
        static FixtureFolder folder;
        return folder;
    }

    // Makes the fixtures not made yet, side by side; false (error() says why) when one failed.
    bool make(const std::vector<int>& fixtures) {
        if (!folder_.isValid()) {
            error_ = "no temporary folder";
            return false;
        }
        std::vector<int> missing;
        std::string commands;
        for (int fixture : fixtures) {
            if (probed_.count(fixture) != 0)
                continue;
            const Fixture& f = kFixtures[fixture];
            missing.push_back(fixture);
            commands += std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=") + f.size +
                        ":rate=" + std::to_string(f.rate) +
                        ":duration=1 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 " + f.video + " " +
                        f.audio + " " + Quoted(path(fixture)) + " > " + Quoted(path(fixture) + ".log") + " 2>&1 & ";
        }
        if (missing.empty())
            return true;
        RunCommand("{ " + commands + "wait; }");
        for (int fixture : missing) {
            const Fixture& f = kFixtures[fixture];
            ProbedFile probed = Probe(path(fixture));
            const ProbedStream* video = probed.first("video");
            const ProbedStream* audio = probed.first("audio");
            const QString size = video ? QStringLiteral("%1x%2").arg(video->width).arg(video->height) : QString();
            if (!video || !audio || size != f.size || video->pixelFormat != f.pixelFormat ||
                std::fabs(video->nominalRate - f.rate) > 0.01 || audio->channels != f.channels) {
                QFile log(path(fixture) + ".log");
                log.open(QIODevice::ReadOnly);
                error_ = std::string(f.file) + " is not what it was made to be: " + log.readAll().toStdString();
                return false;
            }
            probed_[fixture] = probed;
        }
        return true;
    }

    QString path(int fixture) const { return folder_.filePath(kFixtures[fixture].file); }
    const ProbedFile& probed(int fixture) const { return probed_.at(fixture); }
    const std::string& error() const { return error_; }

private:
    QTemporaryDir folder_;
    std::string error_;
    std::map<int, ProbedFile> probed_;
};

class NewProfileFixtureTest : public ::testing::TestWithParam<int> {
protected:
    QTemporaryDir output_;
};

TEST_P(NewProfileFixtureTest, KeepsWhatTheCatalogueStates) {
    ASSERT_TRUE(ShippedCatalogue().loadError().isEmpty()) << qPrintable(ShippedCatalogue().loadError());
    const ProfileEntry* entry = ShippedCatalogue().entryById(GetParam());
    ASSERT_NE(entry, nullptr) << "profile " << GetParam() << " is not in the catalogue";
    SCOPED_TRACE(entry->name.toStdString());
    OutputSetting setting;
    applyProfileDefaults(*entry, setting);
    const bool hasVideo = !setting.videoCodec.isEmpty();
    ASSERT_FALSE(setting.audioCodec.isEmpty());

    FixtureFolder& fixtures = FixtureFolder::instance();
    const std::vector<int> used = FixturesFor(!hasVideo);
    Owned<IMediaManager> manager(CreateMediaManager());
    ASSERT_NE(manager.get(), nullptr);
    SourceList sources(manager.get());
    sources.setThumbnails(false);
    ASSERT_TRUE(fixtures.make(used)) << fixtures.error();
    for (int fixture : used)
        ASSERT_GE(sources.add(fixtures.path(fixture)), 0) << kFixtures[fixture].file;

    // One run converts every source, two at a time, as the window would.
    ASSERT_TRUE(output_.isValid());
    ConversionRun run(manager.get());
    ASSERT_TRUE(run.start(sources, setting, output_.path(), 2));
    ASSERT_EQ(run.taskCount(), static_cast<int>(used.size()));
    QElapsedTimer clock;
    clock.start();
    while (run.unfinishedCount() > 0) {
        ASSERT_LT(clock.elapsed(), 240000) << "the run did not end";
        run.waitForChange(500);
    }

    QStringList targets;
    for (int task = 0; task < run.taskCount(); ++task) {
        const int fixture = used[static_cast<size_t>(run.sourceIndex(task))];
        EXPECT_EQ(run.task(task)->state.load(), TaskFinished)
            << kFixtures[fixture].name << ": " << qPrintable(run.taskLog(task));
        if (run.task(task)->state.load() == TaskFinished)
            targets.append(run.targetPath(task));
    }
    ASSERT_EQ(targets.size(), run.taskCount());
    const bool allDecodeCleanly = DecodeCleanly(targets);

    for (int task = 0; task < run.taskCount(); ++task) {
        const int fixture = used[static_cast<size_t>(run.sourceIndex(task))];
        SCOPED_TRACE(std::string("source: ") + kFixtures[fixture].name);
        const QString target = targets[task];
        // Which output the decoder complained of.
        if (!allDecodeCleanly) {
            std::string errors;
            EXPECT_TRUE(DecodesCleanly(target.toStdString(), &errors)) << errors;
        }

        const ProbedFile& source = fixtures.probed(fixture);
        const ProbedFile out = Probe(target);
        EXPECT_EQ(out.format, ProbedFormatOf(setting.extension));
        ASSERT_EQ(out.count("video"), hasVideo ? 1 : 0);
        ASSERT_EQ(out.count("audio"), 1);
        ASSERT_NE(source.first("audio"), nullptr);

        const TaskPlan plan = planFor(*sources.at(run.sourceIndex(task)), setting);
        if (hasVideo) {
            ASSERT_NE(source.first("video"), nullptr);
            CheckVideo(setting, *source.first("video"), *out.first("video"),
                       ActionFor(plan, PlanKind::Video) == PlanAction::Copy);
            CheckDuration(*source.first("video"), *out.first("video"));
        }
        CheckAudio(setting, *source.first("audio"), *out.first("audio"),
                   ActionFor(plan, PlanKind::Audio) == PlanAction::Copy);
        CheckDuration(*source.first("audio"), *out.first("audio"));
    }
    run.finish();
}

INSTANTIATE_TEST_SUITE_P(NewProfiles, NewProfileFixtureTest, ::testing::ValuesIn(ProfilesToConvert()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Profile" + std::to_string(info.param);
                         });

}  // namespace
