// What the source's decoded pictures say about themselves: their real size when the stream
// changes size, and their interlacing when only the container knows it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decoded_video.h"
#include "import_test_support.h"

using namespace MediaBased;

namespace {

class DecodedPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string pattern = ::testing::TempDir() + "decoded-pictures-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
    static std::string Path(const std::string& name) { return dir_ + "/" + name; }

    static void Make(const std::string& command) {
        const CommandResult r = RunCommand("ffmpeg -nostdin -v error -y " + command);
        ASSERT_EQ(r.exitCode, 0) << command << "\n" << r.output;
    }

    struct Picture {
        int32_t width, height;
        int32_t format;
        bool interlaced;
        bool topFieldFirst;  // of the held FFmpeg picture, which the deinterlacer reads
        bool heldInterlaced;
    };

    // Every picture of stream 0, each plane read to its last promised byte.
    static std::vector<Picture> ReadPictures(const std::string& path) {
        std::vector<Picture> pictures;
        DecodedVideo decoded(path);
        if (!decoded.source)
            return pictures;
        IMediaSource* source = decoded.source.get();
        Watchdog watchdog(std::chrono::seconds(120), "reading " + path);
        IMediaFrame* frame = nullptr;
        int32_t slot = -1;
        while (!source->IsEndOfStream()) {
            if (!source->ReadFrame(&frame, &slot, nullptr) || frame->GetKind() != FrameKindVideo)
                continue;
            auto* picture = static_cast<IVideoFrame*>(frame);
            const AVFrame* held = HeldFrameOf(picture);
            EXPECT_NE(held, nullptr);
            if (held == nullptr)
                continue;
            Picture p{};
            picture->GetSize(&p.width, &p.height);
            p.format = picture->GetPixelFormat();
            p.interlaced = picture->IsInterlaced();
            p.topFieldFirst = held->top_field_first != 0;
            p.heldInterlaced = held->interlaced_frame != 0;
            EXPECT_EQ(p.width, held->width);
            EXPECT_EQ(p.height, held->height);
            long sum = 0;
            for (int plane = 0; plane < picture->GetPlaneCount(); ++plane) {
                int32_t rowBytes = 0, lineSize = 0, rows = 0;
                const uint8_t* data = picture->GetPlane(plane, &rowBytes, &lineSize, &rows);
                EXPECT_NE(data, nullptr);
                if (data == nullptr)
                    continue;
                EXPECT_EQ(rows, plane ? (held->height + 1) / 2 : held->height);
                EXPECT_EQ(rowBytes, plane ? (held->width + 1) / 2 : held->width);
                for (int y = 0; y < rows; ++y)
                    for (int x = 0; x < rowBytes; ++x)
                        sum += data[static_cast<ptrdiff_t>(y) * lineSize + x];
            }
            EXPECT_GT(sum, 0);
            pictures.push_back(p);
        }
        return pictures;
    }

    static std::string dir_;
};

std::string DecodedPictures::dir_;

}  // namespace

// One H.264 stream whose pictures shrink from 640x480 to 320x240 and grow back, as a
// broadcast recording does at a programme change. The frame object the source lends was made
// for the first picture; reading the smaller pictures at its geometry runs off their heap
// blocks.
TEST_F(DecodedPictures, SizeChangesMidStreamAreReportedAndReadable) {
    for (const char* size : {"320x240", "640x480"})
        Make("-f lavfi -i testsrc2=size=" + std::string(size) +
             ":rate=25 -t 1 -c:v libx264 -preset ultrafast -bf 0 -pix_fmt yuv420p " +
             ShellQuote(Path(std::string(size) + ".h264")));
    const std::string large = ShellQuote(Path("640x480.h264"));
    const std::string small = ShellQuote(Path("320x240.h264"));
    const CommandResult joined = RunCommand("cat " + large + " " + small + " " + large + " > " +
                                            ShellQuote(Path("joined.h264")));
    ASSERT_EQ(joined.exitCode, 0) << joined.output;
    Make("-r 25 -i " + ShellQuote(Path("joined.h264")) + " -c copy " +
         ShellQuote(Path("size_change.mkv")));
    std::string errors;
    ASSERT_TRUE(DecodesCleanly(Path("size_change.mkv"), &errors)) << errors;

    const std::vector<Picture> pictures = ReadPictures(Path("size_change.mkv"));
    ASSERT_EQ(pictures.size(), 75u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        const bool large = i < 25 || i >= 50;
        EXPECT_EQ(pictures[i].width, large ? 640 : 320) << "picture " << i;
        EXPECT_EQ(pictures[i].height, large ? 480 : 240) << "picture " << i;
        EXPECT_EQ(pictures[i].format, PixelYUV420P);
    }
}

// ffvhuff, like huffyuv, has no interlacing flag of its own: the container's field order is
// all there is.
// FFmpeg writes TB for woven top-field-first pictures and BT for bottom-field-first ones.
TEST_F(DecodedPictures, ContainerFieldOrderMarksPicturesTheDecoderLeftProgressive) {
    struct Case {
        const char* name;
        const char* filters;
        const char* codec;
        const char* fieldOrder;  // as ffprobe reports the stream
        bool interlaced;
        bool topFieldFirst;
    } cases[] = {
        {"ffvhuff_tff.mkv", "interlace=scan=tff,setfield=tff", "ffvhuff", "tb", true, true},
        {"ffvhuff_bff.mkv", "interlace=scan=bff,setfield=bff", "ffvhuff", "bt", true, false},
        {"ffvhuff_progressive.mkv", "setfield=prog", "ffvhuff", "progressive", false, false},
        // The decoder's own flag stands: MPEG-2 coded as top field first.
        {"mpeg2_tff.mkv", "interlace=scan=tff", "mpeg2video -flags +ildct+ilme -top 1", "", true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Make("-f lavfi -i testsrc2=size=320x240:rate=50 -vf " + std::string(c.filters) +
             " -t 0.4 -pix_fmt yuv420p -c:v " + c.codec + " " + ShellQuote(Path(c.name)));
        if (*c.fieldOrder) {
            ASSERT_EQ(ProbeValue(Path(c.name), "v:0", "stream=field_order"), c.fieldOrder);
        }
        const std::vector<Picture> pictures = ReadPictures(Path(c.name));
        ASSERT_GE(pictures.size(), 5u);
        for (const Picture& p : pictures) {
            EXPECT_EQ(p.interlaced, c.interlaced);
            EXPECT_EQ(p.heldInterlaced, c.interlaced);
            if (c.interlaced) {
                EXPECT_EQ(p.topFieldFirst, c.topFieldFirst);
            }
        }
    }
}
