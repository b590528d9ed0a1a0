// Interlaced MPEG-2 through the engine's own importer, source and image converter, judged by
// FFmpeg's interlace detector on what comes out.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "decoded_video.h"
#include "engine_test_support.h"
#include "filters/image_converter.h"
#include "process_helpers.h"

using namespace MediaBased;

namespace {

struct FieldCounts {
    long tff = -1, bff = -1, progressive = -1, undetermined = -1;
    double ProgressiveShare() const {
        const long judged = tff + bff + progressive;
        return judged > 0 ? static_cast<double>(progressive) / judged : 0;
    }
};

// idet's multi-frame verdict, which weighs each picture against its neighbours.
FieldCounts DetectFields(const std::string& input) {
    const CommandResult r =
        RunCommand("ffmpeg -nostdin -hide_banner -nostats " + input + " -vf idet -f null -");
    FieldCounts counts;
    std::smatch m;
    const std::regex line(
        "Multi frame detection: TFF: *([0-9]+) BFF: *([0-9]+) Progressive: *([0-9]+) "
        "Undetermined: *([0-9]+)");
    if (std::regex_search(r.output, m, line)) {
        counts.tff = std::stol(m[1]);
        counts.bff = std::stol(m[2]);
        counts.progressive = std::stol(m[3]);
        counts.undetermined = std::stol(m[4]);
    }
    return counts;
}

class DecodedDeinterlace : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string pattern = ::testing::TempDir() + "deinterlace-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        // Fields taken from consecutive moments of a moving picture, coded as interlaced.
        const CommandResult r = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=50 "
            "-vf interlace=scan=tff -c:v mpeg2video -b:v 8M -flags +ildct+ilme -top 1 -t 2 " +
            ShellQuote(Path("interlaced.mkv")));
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
    static std::string Path(const std::string& name) { return dir_ + "/" + name; }

    struct Run {
        long picturesIn = 0;
        std::vector<int64_t> startsIn, startsOut, endsIn, endsOut;
    };

    // Every decoded picture through a converter at the source's size and format, the output
    // written as raw YUV 4:2:0 for the detector.
    static Run ConvertSource(uint32_t flags, const std::string& rawPath) {
        Run run;
        DecodedVideo decoded(Path("interlaced.mkv"));
        if (!decoded.source)
            return run;
        IMediaSource* source = decoded.source.get();
        CImageConverter converter(PixelYUV420P, 720, 576, flags);
        FILE* raw = std::fopen(rawPath.c_str(), "wb");
        EXPECT_NE(raw, nullptr);
        auto writeOut = [&](IVideoFrame* out) {
            int64_t start = 0, end = 0;
            out->GetTimes(&start, &end);
            run.startsOut.push_back(start);
            run.endsOut.push_back(end);
            for (int p = 0; p < 3; ++p) {
                int32_t rowBytes = 0, lineSize = 0, rows = 0;
                const uint8_t* plane = out->GetPlane(p, &rowBytes, &lineSize, &rows);
                ASSERT_NE(plane, nullptr);
                for (int y = 0; y < rows; ++y)
                    std::fwrite(plane + static_cast<ptrdiff_t>(y) * lineSize, 1, rowBytes, raw);
            }
        };
        IMediaFrame* frame = nullptr;
        int32_t slot = -1;
        while (!source->IsEndOfStream()) {
            if (!source->ReadFrame(&frame, &slot, nullptr) || frame->GetKind() != FrameKindVideo)
                continue;
            auto* picture = static_cast<IVideoFrame*>(frame);
            ++run.picturesIn;
            int64_t start = 0, end = 0;
            picture->GetTimes(&start, &end);
            run.startsIn.push_back(start);
            run.endsIn.push_back(end);
            for (IVideoFrame* out = converter.Convert(picture); out != nullptr;
                 out = converter.Convert(nullptr))
                writeOut(out);
        }
        converter.EndOfStream();
        for (IVideoFrame* out = converter.Convert(nullptr); out != nullptr;
             out = converter.Convert(nullptr))
            writeOut(out);
        std::fclose(raw);
        return run;
    }

    static std::string dir_;
};

std::string DecodedDeinterlace::dir_;

std::string RawInput(const std::string& path) {
    return "-f rawvideo -pix_fmt yuv420p -s 720x576 -r 25 -i " + ShellQuote(path);
}

}  // namespace

TEST_F(DecodedDeinterlace, SourceIsInterlacedAndOnlyTheFlaggedConverterMakesItProgressive) {
    const FieldCounts source = DetectFields("-i " + ShellQuote(Path("interlaced.mkv")));
    ASSERT_GT(source.tff, 40) << "the generated source is not interlaced";
    EXPECT_LT(source.ProgressiveShare(), 0.2);

    const Run deinterlaced = ConvertSource(ImageDeinterlace, Path("deinterlaced.yuv"));
    EXPECT_EQ(deinterlaced.picturesIn, 50);
    EXPECT_EQ(deinterlaced.startsOut.size(), static_cast<size_t>(deinterlaced.picturesIn))
        << "pictures lost or made up";
    EXPECT_EQ(deinterlaced.startsOut, deinterlaced.startsIn) << "times changed or reordered";
    EXPECT_EQ(deinterlaced.endsOut, deinterlaced.endsIn);
    const FieldCounts after = DetectFields(RawInput(Path("deinterlaced.yuv")));
    EXPECT_GT(after.ProgressiveShare(), 0.8)
        << "TFF " << after.tff << " BFF " << after.bff << " progressive " << after.progressive;

    const Run plain = ConvertSource(0, Path("plain.yuv"));
    EXPECT_EQ(plain.startsOut, plain.startsIn);
    const FieldCounts unchanged = DetectFields(RawInput(Path("plain.yuv")));
    EXPECT_LT(unchanged.ProgressiveShare(), 0.2)
        << "TFF " << unchanged.tff << " BFF " << unchanged.bff << " progressive "
        << unchanged.progressive;
}
