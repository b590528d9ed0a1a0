// A Matroska source with everything a file carries beside its pictures and sound: tagged and
// flagged tracks, two subtitle formats, chapters, a title and an attached font. Made once per
// folder with the ffmpeg tool.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "process_helpers.h"

namespace tagged {

// Container streams of TaggedSource, in order.
enum SourceStream { kVideo = 0, kEnglishAac = 1, kJapaneseAc3 = 2, kEnglishSrt = 3, kJapaneseAss = 4, kFont = 5 };
constexpr const char* kTitle = "Tagged Source – タイトル";

inline std::string FontPath() {
    const CommandResult r = RunCommand("fc-match -f '%{file}' sans");
    return r.exitCode == 0 ? r.output : std::string();
}

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// H.264 + AAC (eng, default) + AC3 5.1 (jpn, "Japanese", not default) + SRT (eng, forced) +
// ASS (jpn) + two titled chapters + a title + the system's sans font attached; 4 s long.
inline std::string TaggedSource(const std::filesystem::path& folder) {
    const std::filesystem::path path = folder / "tagged.mkv";
    if (std::filesystem::exists(path))
        return path.string();
    const std::string font = FontPath();
    EXPECT_FALSE(font.empty()) << "fc-match found no font to attach";
    WriteText(folder / "subs.srt",
              "1\n00:00:00,500 --> 00:00:01,500\nFirst line\n\n"
              "2\n00:00:02,000 --> 00:00:03,000\nSecond line\n\n");
    WriteText(folder / "subs.ass",
              "[Script Info]\nScriptType: v4.00+\nPlayResX: 320\nPlayResY: 240\n\n"
              "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
              "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, "
              "Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, "
              "Encoding\nStyle: Default,DejaVu Sans,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,"
              "0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,1\n\n"
              "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
              "Dialogue: 0,0:00:00.80,0:00:01.80,Default,,0,0,0,,最初\n"
              "Dialogue: 0,0:00:02.20,0:00:03.20,Default,,0,0,0,,二番目\n");
    WriteText(folder / "chapters.txt",
              ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1500\ntitle=Opening\n"
              "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=4000\ntitle=Second part\n");
    const auto in = [&](const char* name) { return ShellQuote((folder / name).string()); };
    const CommandResult r = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=4 "
        "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=4 "
        "-f lavfi -i sine=frequency=220:sample_rate=48000:duration=4 "
        "-i " + in("subs.srt") + " -i " + in("subs.ass") + " -f ffmetadata -i " + in("chapters.txt") +
        " -map 0:v -map 1:a -map 2:a -map 3:s -map 4:s -map_chapters 5 "
        "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a:0 aac -ac:a:0 2 -c:a:1 ac3 -ac:a:1 6 "
        "-c:s copy -attach " + ShellQuote(font) + " -metadata:s:t mimetype=application/x-truetype-font "
        "-metadata " + ShellQuote(std::string("title=") + kTitle) +
        " -metadata:s:a:0 language=eng -metadata:s:a:1 language=jpn -metadata:s:a:1 title=Japanese "
        "-metadata:s:s:0 language=eng -metadata:s:s:1 language=jpn "
        "-disposition:v:0 default -disposition:a:0 default -disposition:a:1 0 "
        "-disposition:s:0 forced -disposition:s:1 0 " + ShellQuote(path.string()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return path.string();
}

}  // namespace tagged
