// Text subtitles converted to another text format on their way into a container that cannot
// store the source's: cue texts and times survive, styles' override tags do not, tracks keep
// their languages, and picture subtitles are refused instead of being turned into nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media_suite_test.h"
#include "../tagged_media.h"
#include "copied_streams_support.h"
#include "stream_records.h"

using namespace MediaBased;
using namespace copied;
namespace fs = std::filesystem;

namespace {

// Container streams of the subtitled source, in order.
enum SourceStream { kVideo = 0, kSound = 1, kEnglishSrt = 2, kJapaneseAss = 3 };

// What a client copies onto a stream it converts: the source's description, which the exporter
// decodes the packets with, and the track tags.
struct Cue {
    double start;
    double end;
    std::string text;
};

double SrtSeconds(const std::string& time) {
    int h = 0, m = 0, s = 0, ms = 0;
    std::sscanf(time.c_str(), "%d:%d:%d,%d", &h, &m, &s, &ms);
    return h * 3600.0 + m * 60.0 + s + ms / 1000.0;
}

// One subtitle stream's cues as the ffmpeg tool reads them, written out as SubRip, at the times
// the file gives them: files that start at different times still show a cue beside the same
// picture.
std::vector<Cue> CuesOf(const std::string& path, const std::string& stream) {
    const CommandResult r = RunCommand("ffmpeg -nostdin -v error -copyts -i " + ShellQuote(path) + " -map 0:" +
                                       stream + " -f srt -");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<Cue> cues;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        const size_t arrow = line.find(" --> ");
        if (arrow == std::string::npos)
            continue;
        Cue cue{SrtSeconds(line.substr(0, arrow)), SrtSeconds(line.substr(arrow + 5)), ""};
        for (std::string text; std::getline(lines, text) && !text.empty();)
            cue.text += (cue.text.empty() ? "" : "\n") + text;
        cues.push_back(cue);
    }
    return cues;
}

// A SubRip text without the font markup a styled format's cues are written with.
std::string WithoutMarkup(const std::string& text) {
    std::string plain;
    bool inTag = false;
    for (char c : text) {
        if (c == '<')
            inTag = true;
        else if (c == '>')
            inTag = false;
        else if (!inTag)
            plain += c;
    }
    return plain;
}

enum class Markup { None, FontsOnly };

void ExpectCues(const std::vector<Cue>& written, const std::vector<Cue>& expected, Markup markup = Markup::None) {
    ASSERT_EQ(written.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("cue " + std::to_string(i + 1) + ": " + expected[i].text);
        if (markup == Markup::None) {
            EXPECT_EQ(written[i].text, expected[i].text);
        } else {
            EXPECT_EQ(WithoutMarkup(written[i].text), expected[i].text);
            EXPECT_EQ(written[i].text.find('{'), std::string::npos) << "override tags are gone";
        }
        EXPECT_NEAR(written[i].start, expected[i].start, 0.001);
        EXPECT_NEAR(written[i].end, expected[i].end, 0.001);
    }
}

// The Japanese track's cues, at the source's times, with their override tags gone.
std::vector<Cue> JapaneseCues(const std::string& source) {
    std::vector<Cue> cues = CuesOf(source, "s:1");
    EXPECT_EQ(cues.size(), 2u);
    if (cues.size() == 2) {
        cues[0].text = "最初の字幕";
        cues[1].text = "二番目";
    }
    return cues;
}

class ConvertedSubtitles : public MediaSuiteTest<ConvertedSubtitles> {
public:
    static constexpr const char* kFolder = "converted-subtitles";

protected:
    // H.264 + AAC + SRT (eng, three cues, one of two lines) + ASS (jpn, two cues with override
    // tags); seconds long.
    static std::string Source(int seconds = 4, const std::string& name = "subtitled.mkv") {
        std::string srt =
            "1\n00:00:00,500 --> 00:00:01,250\nFirst line\n\n"
            "2\n00:00:01,750 --> 00:00:02,333\nSecond line\nwith two rows\n\n"
            "3\n00:00:02,900 --> 00:00:03,600\nThird line\n\n";
        // A long source has a cue every second.
        for (int s = 4; s < seconds; ++s)
            srt += std::to_string(s) + "\n00:00:" + (s < 10 ? "0" : "") + std::to_string(s) + ",100 --> 00:00:" +
                   (s < 10 ? "0" : "") + std::to_string(s) + ",900\nCue " + std::to_string(s) + "\n\n";
        tagged::WriteText(media_ / (name + ".srt"), srt);
        tagged::WriteText(
            media_ / (name + ".ass"),
            "[Script Info]\nScriptType: v4.00+\nPlayResX: 320\nPlayResY: 240\n\n"
            "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
            "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, "
            "Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, "
            "Encoding\nStyle: Default,DejaVu Sans,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,"
            "0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,1\n\n"
            "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
            "Dialogue: 0,0:00:00.80,0:00:01.80,Default,,0,0,0,,{\\pos(160,200)}最初の{\\fad(100,100)}字幕\n"
            "Dialogue: 0,0:00:02.20,0:00:03.20,Default,,0,0,0,,{\\bord3}二番目\n");
        const std::string length = std::to_string(seconds);
        return Generate(name, "-f lavfi -i testsrc2=size=320x240:rate=25:duration=" + length +
                                  " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=" + length + " -i " +
                                  ShellQuote((media_ / (name + ".srt")).string()) + " -i " +
                                  ShellQuote((media_ / (name + ".ass")).string()) +
                                  " -map 0:v -map 1:a -map 2:s -map 3:s -c:v libx264 -preset ultrafast "
                                  "-pix_fmt yuv420p -c:a aac -ac 2 -c:s copy "
                                  "-metadata:s:s:0 language=eng -metadata:s:s:1 language=jpn");
    }

    // Runs the task alone; its final state and what it reported.
    int32_t Run(IMediaTaskConfig* config, std::string* log) { return RunAlone(config, log); }

};

}  // namespace

TEST_F(ConvertedSubtitles, BothTracksBecomeMovTextInMp4BesideCopiedPicturesAndSound) {
    const std::string source = Source();
    const std::string target = Out("converted.mp4");
    Owned<IMediaTaskConfig> config =
        MakeTask(*manager_, source, target, "mp4",
                 {Copy(kVideo), Copy(kSound), Convert(kEnglishSrt, "mov_text"), Convert(kJapaneseAss, "mov_text")});
    ASSERT_NE(config, nullptr);
    std::string log;
    ASSERT_EQ(Run(config.get(), &log), TaskFinished) << log;
    EXPECT_EQ(log.find("ended early"), std::string::npos) << log;

    EXPECT_EQ(ProbeValue(target, "s", "stream=codec_name"), "mov_text\nmov_text");
    EXPECT_EQ(ProbeValue(target, "s:0", "stream_tags=language"), "eng");
    EXPECT_EQ(ProbeValue(target, "s:1", "stream_tags=language"), "jpn");
    ExpectCues(CuesOf(target, "s:0"), CuesOf(source, "s:0"));
    ExpectCues(CuesOf(target, "s:1"), JapaneseCues(source), Markup::FontsOnly);
    // The pictures and sound went through untouched, on the cues' time line.
    EXPECT_EQ(copied::PacketHashes(target, "v"), copied::PacketHashes(source, "v"));
    EXPECT_EQ(copied::PacketHashes(target, "a"), copied::PacketHashes(source, "a"));
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
}

TEST_F(ConvertedSubtitles, SubRipBecomesWebVttInWebmBesideEncodedSound) {
    const std::string source = Source();
    const std::string target = Out("converted.webm");
    Owned<IMediaTaskConfig> config =
        MakeTask(*manager_, source, target, "webm",
                 {Encode(kSound, AudioRecord("libopus", 48000, 2, 96000)), Convert(kEnglishSrt, "webvtt")});
    ASSERT_NE(config, nullptr);
    std::string log;
    ASSERT_EQ(Run(config.get(), &log), TaskFinished) << log;

    EXPECT_EQ(ProbeValue(target, "s", "stream=codec_name"), "webvtt");
    EXPECT_EQ(ProbeValue(target, "s:0", "stream_tags=language"), "eng");
    EXPECT_EQ(ProbeValue(target, "a", "stream=codec_name"), "opus");
    ExpectCues(CuesOf(target, "s:0"), CuesOf(source, "s:0"));
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
}

TEST_F(ConvertedSubtitles, MatroskaTakesSubRipAsAssAndAssAsSubRip) {
    const std::string source = Source();
    const std::string target = Out("swapped.mkv");
    Owned<IMediaTaskConfig> config = MakeTask(*manager_, source, target, "matroska",
                                              {Copy(kVideo), Convert(kEnglishSrt, "ass"), Convert(kJapaneseAss, "srt")});
    ASSERT_NE(config, nullptr);
    std::string log;
    ASSERT_EQ(Run(config.get(), &log), TaskFinished) << log;

    EXPECT_EQ(ProbeValue(target, "s", "stream=codec_name"), "ass\nsubrip");
    EXPECT_EQ(ProbeValue(target, "s:0", "stream_tags=language"), "eng");
    EXPECT_EQ(ProbeValue(target, "s:1", "stream_tags=language"), "jpn");
    ExpectCues(CuesOf(target, "s:0"), CuesOf(source, "s:0"));
    // SubRip keeps the text of a cue but not where or how it is drawn.
    ExpectCues(CuesOf(target, "s:1"), JapaneseCues(source), Markup::FontsOnly);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
}

// Matroska names a track's format in a padded text field, so a SubRip track relabelled there
// is a picture track to every reader, which is all the refusal looks at.
TEST_F(ConvertedSubtitles, PictureSubtitlesAskedToBecomeTextFailTheTaskSayingWhy) {
    tagged::WriteText(media_ / "plain.srt", "1\n00:00:00,500 --> 00:00:01,500\nShown\n\n");
    const std::string plain = Generate("plain.mkv", "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 -i " +
                                                        ShellQuote((media_ / "plain.srt").string()) +
                                                        " -map 0 -map 1 -c:a mp2 -c:s copy -write_crc32 0");
    struct Case {
        const char* codecId;  // padded to the length of S_TEXT/UTF8
        const char* probedAs;
        const char* said;
    } cases[] = {{"S_HDMV/PGS\0", "hdmv_pgs_subtitle", "subtitle error: cannot convert PGS pictures to mov_text text"},
                 {"S_VOBSUB\0\0\0", "dvd_subtitle", "subtitle error: cannot convert DVD pictures to mov_text text"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.probedAs);
        std::string bytes = tagged::ReadBytes(plain);
        const size_t at = bytes.find("S_TEXT/UTF8");
        ASSERT_NE(at, std::string::npos);
        bytes.replace(at, 11, std::string(c.codecId, 11));
        const std::string source = (media_ / (std::string(c.probedAs) + ".mkv")).string();
        tagged::WriteText(source, bytes);
        ASSERT_EQ(ProbeValue(source, "s:0", "stream=codec_name"), c.probedAs);

        const fs::path folder = out_ / c.probedAs;
        fs::create_directories(folder);
        Owned<IMediaTaskConfig> config = MakeTask(*manager_, source, (folder / "out.mp4").string(), "mp4",
                                                  {Copy(0), Convert(1, "mov_text")});
        ASSERT_NE(config, nullptr);
        std::string log;
        EXPECT_EQ(Run(config.get(), &log), TaskFailed);
        EXPECT_NE(log.find(c.said), std::string::npos) << log;
        EXPECT_TRUE(fs::is_empty(folder)) << "a failed task leaves no file";
    }
}

TEST_F(ConvertedSubtitles, StoppingDuringAConversionLeavesNothing) {
    const std::string source = Source(60, "long.mkv");
    int stoppedMidway = 0;
    for (int delayMs : {0, 5, 20, 50, 100}) {
        SCOPED_TRACE("delay " + std::to_string(delayMs) + " ms");
        const fs::path folder = out_ / std::to_string(delayMs);
        fs::create_directories(folder);
        Owned<IMediaTaskConfig> config =
            MakeTask(*manager_, source, (folder / "out.mp4").string(), "mp4",
                     {Copy(kVideo), Encode(kSound, AudioRecord("mp2", 48000, 2, 128000)),
                      Convert(kEnglishSrt, "mov_text"), Convert(kJapaneseAss, "mov_text")});
        ASSERT_NE(config, nullptr);
        Owned<IMediaConverter> converter(manager_->CreateConverter());
        ASSERT_EQ(converter->AddTask(config.get()), 1);
        converter->Start();
        while (converter->GetTask(0)->state.load() == TaskWaiting)
            converter->WaitForTaskChange(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        EXPECT_TRUE(converter->Stop());
        converter.reset();
        if (fs::is_empty(folder)) {
            ++stoppedMidway;
            continue;
        }
        // A task that finished just before the stop left a complete file, and nothing else.
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().filename(), "out.mp4");
        EXPECT_EQ(CuesOf((folder / "out.mp4").string(), "s:0").size(), 59u);
    }
    EXPECT_GT(stoppedMidway, 0) << "every task ended before it could be stopped";
}
