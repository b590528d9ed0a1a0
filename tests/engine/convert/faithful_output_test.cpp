// Outputs that keep what the source has: all of its sound, the shape of its pictures, and
// sound and pictures in step, whatever the container can store.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "faithful_output_support.h"

using namespace MediaBased;
using namespace faithful;
namespace fs = std::filesystem;

namespace {

class FaithfulOutput : public ::testing::Test {
protected:
    static void SetUpTestSuite() { media_ = SuiteFolder("faithful-output"); }
    static void TearDownTestSuite() {
        if (std::getenv("CORVANE_KEEP_TEST_OUTPUT") == nullptr)
            fs::remove_all(media_);
    }

    void SetUp() override {
        manager_.reset(CreateMediaManager());
        ASSERT_NE(manager_, nullptr);
        out_ = media_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(out_);
    }

    std::string Out(const std::string& name) const { return (out_ / name).string(); }

    // 3.000 s of a 440 Hz tone, 48 kHz stereo, as exact PCM in floating point, so that every
    // encoder's sound goes through the resampler.
    static std::string Tone() {
        return Generate(media_, "tone.mka",
                        "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 -ac 2 "
                        "-c:a pcm_f32le");
    }

    // Black pictures with one white flash at 1.000 s, and sound that starts 0.58 s after the
    // pictures and beeps at 1.000 s.
    static std::string LateAudio() {
        return Generate(
            media_, "late_audio.mkv",
            "-f lavfi -i \"color=black:size=320x240:rate=25:duration=3,"
            "drawbox=w=iw:h=ih:color=white:t=fill:enable='between(t,1,1.035)'\" "
            "-itsoffset 0.58 -f lavfi -i "
            "\"aevalsrc='if(between(t,0.42,0.52),0.5*sin(2*PI*1000*t),0)':s=48000:d=2.42\" "
            "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a pcm_s16le");
    }

    static fs::path media_;
    Owned<IMediaManager> manager_;
    fs::path out_;
};

fs::path FaithfulOutput::media_;

struct TailCase {
    const char* codec;
    const char* format;
    const char* extension;
    int rate;
};

// The ffmpeg tool's own conversion, the reference for how much sound a codec can keep.
long long ReferenceSamples(const std::string& source, const TailCase& c, const std::string& out) {
    const CommandResult r = RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(source) +
                                       " -c:a " + c.codec + " -ar " + std::to_string(c.rate) +
                                       " -f " + c.format + " " + ShellQuote(out));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return DecodedSamples(out);
}

TEST_F(FaithfulOutput, FixedFrameEncodersKeepTheLastFractionOfASecond) {
    const std::string source = Tone();
    const TailCase cases[] = {
        {"flac", "matroska", "mka", 48000},      {"ac3", "ac3", "ac3", 48000},
        {"libmp3lame", "mp3", "mp3", 44100},     {"wmav2", "asf", "wma", 44100},
        {"adpcm_ima_wav", "wav", "wav", 44100},  {"mp2", "mp2", "mp2", 48000},
    };
    for (const TailCase& c : cases) {
        SCOPED_TRACE(c.codec);
        const std::string target = Out(std::string("tail.") + c.extension);
        ASSERT_EQ(Convert(*manager_, source, target, c.format,
                          {{0, AudioRecord(c.codec, c.rate, 2, 128000)}}),
                  TaskFinished);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
        const long long sourceSamples = 3LL * c.rate;
        const long long samples = DecodedSamples(target);
        const long long reference =
            ReferenceSamples(source, c, Out(std::string("reference.") + c.extension));
        // Encoders pad their last frame; what they must not do is lose sound the ffmpeg tool
        // keeps.
        EXPECT_GE(samples, std::min(sourceSamples, reference) - 2)
            << "source " << sourceSamples << ", ffmpeg tool " << reference;
        EXPECT_LE(samples, std::max(sourceSamples, reference) + 4096);
    }
}

TEST_F(FaithfulOutput, LateSoundStaysInStepInContainersWithoutStartTimes) {
    const std::string source = LateAudio();
    ASSERT_NEAR(FirstFlash(source), 1.0, 0.02);
    ASSERT_NEAR(FirstBeep(source), 1.0, 0.02);
    struct Case {
        const char* format;
        const char* extension;
        const char* video;
        const char* audio;
    };
    const Case cases[] = {
        {"avi", "avi", "mpeg4", "libmp3lame"}, {"avi", "avi", "msmpeg4", "ac3"},
        {"mp4", "mp4", "libx264", "aac"},      {"matroska", "mkv", "libx264", "aac"},
        {"mov", "mov", "mpeg4", "aac"},        {"3gp", "3gp", "h263", "aac"},
        {"asf", "wmv", "wmv2", "wmav2"},       {"flv", "flv", "flv", "libmp3lame"},
        {"dvd", "vob", "mpeg2video", "mp2"},   {"webm", "webm", "libvpx", "libvorbis"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string target = Out(std::string("late-") + c.video + "." + c.extension);
        const bool h263 = std::string(c.video) == "h263";
        const int rate = std::string(c.format) == "dvd" ? 48000 : 44100;
        ASSERT_EQ(Convert(*manager_, source, target, c.format,
                          {{0, VideoRecord(c.video, h263 ? 352 : 320, h263 ? 288 : 240)},
                           {1, AudioRecord(c.audio, rate, 2, 128000)}}),
                  TaskFinished);
        const double flash = FirstFlash(target);
        const double beep = FirstBeep(target);
        ASSERT_GE(flash, 0.0);
        ASSERT_GE(beep, 0.0);
        EXPECT_NEAR(beep - flash, 0.0, 0.040) << "flash " << flash << " s, beep " << beep << " s";
    }
}

}  // namespace

namespace {

double StartTime(const std::string& path, const char* stream) {
    return std::atof(ProbeValue(path, stream, "stream=start_time").c_str());
}

TEST_F(FaithfulOutput, OutputsStartWhereTheSourceStartsAndReadBackWithoutComplaint) {
    // AAC arrives in 1024-sample frames while FLAC takes 4608: the first encoded frame is made
    // of several source frames and must still start at the first one.
    const std::string aac = Generate(media_, "aac.mka",
                                     "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 "
                                     "-ac 2 -c:a aac");
    const std::string flac = Out("flac.mka");
    ASSERT_EQ(Convert(*manager_, aac, flac, "matroska", {{0, AudioRecord("flac", 48000, 2, 0)}}),
              TaskFinished);
    EXPECT_NEAR(StartTime(flac, "a:0"), StartTime(aac, "a:0"), 0.002);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(flac, &errors)) << errors;

    // A film at 24 frames per second kept at its own rate.
    const std::string film =
        Generate(media_, "film24.mkv",
                 "-f lavfi -i testsrc2=size=320x240:rate=24:duration=4 -f lavfi -i "
                 "sine=frequency=440:sample_rate=48000:duration=4 -c:v libx264 -preset veryfast "
                 "-bf 0 -pix_fmt yuv420p -c:a flac -ac 2");
    const std::string kept = Out("film24.mkv");
    ASSERT_EQ(Convert(*manager_, film, kept, "matroska",
                      {{0, VideoRecord("libx264", 320, 240, 1, 24)}, {1, AudioRecord("flac", 48000, 2, 0)}}),
              TaskFinished);
    EXPECT_NEAR(StartTime(kept, "v:0"), StartTime(film, "v:0"), 0.002);
    EXPECT_NEAR(StartTime(kept, "a:0"), StartTime(film, "a:0"), 0.002);
    EXPECT_TRUE(DecodesCleanly(kept, &errors)) << errors;

    // AAC's priming samples come before its first real sample, and Matroska shows them where
    // they are: the pictures keep their place instead of moving to make room.
    const std::string primed = Out("film24-aac.mkv");
    ASSERT_EQ(Convert(*manager_, film, primed, "matroska",
                      {{0, VideoRecord("libx264", 320, 240, 1, 24)}, {1, AudioRecord("aac", 48000, 2, 128000)}}),
              TaskFinished);
    EXPECT_NEAR(StartTime(primed, "v:0"), StartTime(film, "v:0"), 0.002);
    EXPECT_NEAR(StartTime(primed, "a:0"), StartTime(film, "a:0") - 1024.0 / 48000, 0.002);
}

}  // namespace

namespace {

TEST_F(FaithfulOutput, AJumpInTheSourcesTimesIsSkippedNotFilled) {
    // 50 pictures and 2 s of sound whose times jump an hour ahead half way through.
    const std::string source = Generate(
        media_, "jump.mkv",
        "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i "
        "sine=frequency=440:sample_rate=48000:duration=2 "
        "-vf \"setpts=PTS+if(gte(N\\,25)\\,3600/TB\\,0)\" "
        "-af \"asetpts=PTS+if(gte(T\\,1)\\,3600/TB\\,0)\" "
        "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a flac");
    ASSERT_GT(std::atof(ProbeValue(source, "", "format=duration").c_str()), 3600.0);
    const char* formats[][2] = {{"mp4", "mp4"}, {"matroska", "mkv"}, {"avi", "avi"}};
    for (const auto& format : formats) {
        SCOPED_TRACE(format[0]);
        const std::string target = Out(std::string("jump.") + format[1]);
        ASSERT_EQ(Convert(*manager_, source, target, format[0],
                          {{0, VideoRecord("mpeg4", 320, 240)}, {1, AudioRecord("mp2", 48000, 2, 128000)}}),
                  TaskFinished);
        const double duration = std::atof(ProbeValue(target, "", "format=duration").c_str());
        EXPECT_GT(duration, 1.9);
        EXPECT_LT(duration, 10.0);
        EXPECT_LT(fs::file_size(target), 4u << 20);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
    }
}

}  // namespace

namespace {

struct ShownPicture {
    double width = 0;  // of what is not black, in the last pictures
    double height = 0;
    double pixelAspect = 1.0;  // as the file declares it
    double ContentAspect() const { return height > 0 ? width * pixelAspect / height : -1.0; }
};

// The box of what is not black in the last pictures of a file, and the pixel shape the file
// declares: together, the shape a viewer sees.
ShownPicture ShowPicture(const std::string& path) {
    const CommandResult crop = RunCommand(
        "ffprobe -v error -f lavfi -i " +
        ShellQuote("movie=" + path + ",cropdetect=limit=24:round=2:reset=0") +
        " -show_entries frame_tags=lavfi.cropdetect.w,lavfi.cropdetect.h -of csv=p=0");
    const std::vector<std::string> lines = Lines(crop.output);
    ShownPicture shown;
    if (lines.empty())
        return shown;
    const std::string& last = lines.back();
    shown.width = std::atof(last.c_str());
    shown.height = std::atof(last.c_str() + last.find(',') + 1);
    const std::string sar = ProbeValue(path, "v:0", "stream=sample_aspect_ratio");
    const size_t colon = sar.find(':');
    if (colon != std::string::npos && std::atof(sar.c_str()) > 0 &&
        std::atof(sar.c_str() + colon + 1) > 0)
        shown.pixelAspect = std::atof(sar.c_str()) / std::atof(sar.c_str() + colon + 1);
    return shown;
}

TEST_F(FaithfulOutput, PicturesKeepTheirShapeInEveryContainer) {
    // A 4:3 picture, orange to the edges, into frames of other shapes.
    const std::string source = Generate(
        media_, "four_by_three.mkv",
        "-f lavfi -i color=c=orange:size=640x480:rate=25:duration=1 -c:v libvpx-vp9 "
        "-deadline realtime -cpu-used 8 -pix_fmt yuv420p");
    struct Case {
        const char* format;
        const char* extension;
        const char* codec;
        int width, height;
        bool storesShape;  // otherwise the picture is letterboxed with square pixels
    };
    const Case cases[] = {
        {"mp4", "mp4", "libx264", 640, 360, true},     {"matroska", "mkv", "mpeg4", 640, 360, true},
        {"avi", "avi", "mpeg4", 640, 360, true},       {"avi", "avi", "msmpeg4", 640, 360, true},
        {"asf", "wmv", "wmv2", 640, 360, true},        {"flv", "flv", "flv", 640, 360, false},
        {"3gp", "3gp", "h263", 352, 288, true},        {"dvd", "vob", "mpeg2video", 720, 576, true},
        {"vcd", "mpg", "mpeg1video", 352, 288, true},  {"webm", "webm", "libvpx", 640, 360, true},
        {"mov", "mov", "mjpeg", 640, 360, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.codec);
        StreamRecord video = VideoRecord(c.codec, c.width, c.height);
        video.displayAspect = 4.0 / 3.0;  // what the program asks for a source without a shape
        const std::string target = Out(std::string("shape-") + c.codec + "." + c.extension);
        ASSERT_EQ(Convert(*manager_, source, target, c.format, {{0, video}}), TaskFinished);
        const ShownPicture shown = ShowPicture(target);
        EXPECT_NEAR(shown.ContentAspect(), 4.0 / 3.0, 4.0 / 3.0 * 0.02);
        // Where the file can say how wide its pixels are, every pixel carries picture.
        if (c.storesShape)
            EXPECT_EQ(shown.width, c.width) << "no bars where the shape can be stored";
        else
            EXPECT_EQ(shown.pixelAspect, 1.0);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
    }
}

}  // namespace

namespace {

struct FieldCounts {
    long long interlaced = 0;  // top or bottom field first
    long long progressive = 0;
};

// idet's multi-frame verdict over a whole file.
FieldCounts DetectFields(const std::string& path) {
    const CommandResult r = RunCommand("ffmpeg -nostdin -v info -i " + ShellQuote(path) +
                                       " -map 0:v:0 -vf idet -f null - 2>&1 | grep "
                                       "'Multi frame detection'");
    FieldCounts counts;
    const auto number = [&r](const char* label) {
        const size_t at = r.output.find(label);
        return at == std::string::npos ? 0LL : std::atoll(r.output.c_str() + at + std::strlen(label));
    };
    counts.interlaced = number("TFF:") + number("BFF:");
    counts.progressive = number("Progressive:");
    return counts;
}

TEST_F(FaithfulOutput, InterlacedSourcesBecomeProgressiveUnlessTheTargetIsInterlaced) {
    const std::string source = Generate(
        media_, "interlaced.mkv",
        "-f lavfi -i testsrc2=size=720x576:rate=50:duration=2 -vf interlace=scan=tff "
        "-c:v mpeg2video -b:v 8M -flags +ildct+ilme -top 1");
    const FieldCounts before = DetectFields(source);
    ASSERT_GT(before.interlaced, 3 * before.progressive) << "the source must look interlaced";

    const std::string progressive = Out("progressive.mp4");
    ASSERT_EQ(Convert(*manager_, source, progressive, "mp4", {{0, VideoRecord("libx264", 720, 576)}}),
              TaskFinished);
    const FieldCounts after = DetectFields(progressive);
    EXPECT_GT(after.progressive, 4 * after.interlaced)
        << after.progressive << " progressive, " << after.interlaced << " interlaced";
    EXPECT_EQ(Lines(ProbeValue(progressive, "v:0", "packet=pts")).size(), 50u)
        << "one picture out for each picture in";

    StreamRecord dvd = VideoRecord("mpeg2video", 720, 576);
    dvd.interlaced = 1;
    dvd.bitRate = 8000000;
    const std::string kept = Out("kept.vob");
    ASSERT_EQ(Convert(*manager_, source, kept, "dvd", {{0, dvd}}), TaskFinished);
    const FieldCounts interlacedTarget = DetectFields(kept);
    EXPECT_GT(interlacedTarget.interlaced, 3 * interlacedTarget.progressive);
}

}  // namespace
