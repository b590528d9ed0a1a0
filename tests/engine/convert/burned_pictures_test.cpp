// Picture subtitles (VobSub) of the source: burned into the encoded picture, each cue shows at
// its place, scaled from the track's canvas, on exactly the pictures inside its time, in 8-bit
// and 10-bit sources alike; copied into MP4, the track keeps every packet at its time.
//
// FFmpeg cannot make picture subtitles from text, so the sources are written here: a lavfi
// video from the ffmpeg tool, muxed into Matroska with a dvd_subtitle track encoded by
// libavcodec from bitmaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "copied_streams_support.h"
#include "media_suite_test.h"
#include "process_helpers.h"
#include "stream_records.h"
#include "vantrel/owned.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
namespace fs = std::filesystem;

namespace {

constexpr int kVideoWidth = 320;
constexpr int kVideoHeight = 240;
constexpr int kFrames = 75;  // 3 s at 25 pictures a second
constexpr int kNoBurning = -1;
constexpr int kSubtitleStream = 1;

// The track's canvas is twice the picture's size: every position is halved on the picture.
constexpr int kCanvasWidth = 2 * kVideoWidth;
constexpr int kCanvasHeight = 2 * kVideoHeight;

// The palette of every cue: clear, opaque white, half-transparent white, opaque red.
constexpr uint32_t kPalette[4] = {0x00000000, 0xFFFFFFFF, 0x80FFFFFF, 0xFFFF0000};

// A rectangle in picture pixels of the source.
struct Box {
    int x, y, width, height;
};

// One cue of the track, in source picture pixels (the canvas holds it at twice the size):
// a band of white, then half-transparent white, then red, each a third of its width; or all
// white. end 0: the cue does not say when it ends.
struct Cue {
    double start;
    double end;
    Box box;
    bool banded;
};

// The block, shown from 1.0 s to 2.0 s; a cue without an end at 2.4 s that lasts until the
// next one starts at 2.7 s, which ends at 2.9 s.
const Box kBlock{200, 40, 96, 48};
const Box kUntilNext{40, 120, 48, 32};
const Box kLast{120, 180, 32, 32};
const std::vector<Cue> kCues = {
    {1.0, 2.0, kBlock, true}, {2.4, 0, kUntilNext, false}, {2.7, 2.9, kLast, false}};

// The cue each picture of the source shows, as a viewer sees it, or null.
const Cue* CueOfPicture(int picture) {
    const double time = picture / 25.0;
    const Cue* shown = nullptr;
    for (size_t i = 0; i < kCues.size(); ++i) {
        const Cue& cue = kCues[i];
        const double end = cue.end > 0 ? cue.end : kCues[i + 1].start;
        if (time >= cue.start - 1e-9 && time < end - 1e-9)
            shown = &cue;
    }
    return shown;
}

struct ContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    void operator()(AVPacket* p) const { av_packet_free(&p); }
    void operator()(AVFormatContext* f) const {
        if (f->iformat != nullptr) {
            avformat_close_input(&f);
            return;
        }
        if (f->pb != nullptr)
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};

// The cue's bitmap on the canvas, encoded as one dvd_subtitle packet.
std::vector<uint8_t> EncodeCue(AVCodecContext& encoder, const Cue& cue) {
    const int width = 2 * cue.box.width;
    const int height = 2 * cue.box.height;
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height, 1);
    if (cue.banded)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(1 + 3 * x / width);
    uint32_t palette[4];
    std::copy(std::begin(kPalette), std::end(kPalette), palette);
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_BITMAP;
    rect.x = 2 * cue.box.x;
    rect.y = 2 * cue.box.y;
    rect.w = width;
    rect.h = height;
    rect.nb_colors = 4;
    rect.data[0] = indices.data();
    rect.linesize[0] = width;
    rect.data[1] = reinterpret_cast<uint8_t*>(palette);
    rect.linesize[1] = sizeof palette;
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle subtitle{};
    subtitle.format = 0;  // bitmaps
    subtitle.start_display_time = 0;
    subtitle.end_display_time = cue.end > 0 ? static_cast<uint32_t>((cue.end - cue.start) * 1000 + 0.5) : 0;
    subtitle.num_rects = 1;
    subtitle.rects = rects;
    subtitle.pts = static_cast<int64_t>(cue.start * AV_TIME_BASE);
    std::vector<uint8_t> packet(1 << 20);
    const int size = avcodec_encode_subtitle(&encoder, packet.data(), static_cast<int>(packet.size()), &subtitle);
    EXPECT_GT(size, 0) << "the dvdsub encoder takes the cue";
    packet.resize(size > 0 ? size : 0);
    return packet;
}

// Writes path: the video stream of video, then a dvd_subtitle track holding kCues, as
// Matroska; every time moved by offsetSeconds.
void MuxWithVobSub(const std::string& video, const std::string& path, int offsetSeconds) {
    AVFormatContext* opened = nullptr;
    ASSERT_EQ(avformat_open_input(&opened, video.c_str(), nullptr, nullptr), 0) << video;
    const std::unique_ptr<AVFormatContext, ContextFree> input(opened);
    ASSERT_GE(avformat_find_stream_info(input.get(), nullptr), 0);

    AVFormatContext* made = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&made, nullptr, "matroska", path.c_str()), 0);
    const std::unique_ptr<AVFormatContext, ContextFree> output(made);
    AVStream* picture = avformat_new_stream(output.get(), nullptr);
    ASSERT_NE(picture, nullptr);
    ASSERT_GE(avcodec_parameters_copy(picture->codecpar, input->streams[0]->codecpar), 0);
    picture->codecpar->codec_tag = 0;
    picture->time_base = input->streams[0]->time_base;

    const AVCodec* dvdsub = avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
    ASSERT_NE(dvdsub, nullptr);
    const std::unique_ptr<AVCodecContext, ContextFree> encoder(avcodec_alloc_context3(dvdsub));
    encoder->width = kCanvasWidth;
    encoder->height = kCanvasHeight;
    encoder->time_base = AVRational{1, 1000};
    ASSERT_EQ(avcodec_open2(encoder.get(), dvdsub, nullptr), 0);
    AVStream* subtitles = avformat_new_stream(output.get(), nullptr);
    ASSERT_NE(subtitles, nullptr);
    ASSERT_GE(avcodec_parameters_from_context(subtitles->codecpar, encoder.get()), 0);
    subtitles->time_base = AVRational{1, 1000};

    ASSERT_GE(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(output.get(), nullptr), 0);
    const std::unique_ptr<AVPacket, ContextFree> packet(av_packet_alloc());
    for (const Cue& cue : kCues) {
        std::vector<uint8_t> bytes = EncodeCue(*encoder, cue);
        ASSERT_FALSE(bytes.empty());
        ASSERT_GE(av_new_packet(packet.get(), static_cast<int>(bytes.size())), 0);
        std::copy(bytes.begin(), bytes.end(), packet->data);
        packet->stream_index = subtitles->index;
        packet->pts = packet->dts = av_rescale_q(static_cast<int64_t>((cue.start + offsetSeconds) * 1000 + 0.5),
                                                 AVRational{1, 1000}, subtitles->time_base);
        packet->duration = cue.end > 0 ? static_cast<int64_t>((cue.end - cue.start) * 1000 + 0.5) : 0;
        packet->flags |= AV_PKT_FLAG_KEY;
        ASSERT_GE(av_interleaved_write_frame(output.get(), packet.get()), 0);
    }
    const AVRational inputBase = input->streams[0]->time_base;
    const int64_t offset = av_rescale_q(offsetSeconds, AVRational{1, 1}, inputBase);
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index != 0) {
            av_packet_unref(packet.get());
            continue;
        }
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts += offset;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts += offset;
        av_packet_rescale_ts(packet.get(), inputBase, picture->time_base);
        packet->stream_index = picture->index;
        packet->pos = -1;
        ASSERT_GE(av_interleaved_write_frame(output.get(), packet.get()), 0);
    }
    ASSERT_GE(av_write_trailer(output.get()), 0);
}

// One decoded picture of an output, 8-bit RGB.
struct Picture {
    int width = 0;
    int height = 0;
    const unsigned char* pixels = nullptr;
    const unsigned char* at(int x, int y) const { return pixels + 3 * (static_cast<size_t>(y) * width + x); }
};

class BurnedPictureSubtitles : public MediaSuiteTest<BurnedPictureSubtitles> {
public:
    static constexpr const char* kFolder = "burned-pictures";

protected:
    // 3 s of flat gray at 320x240 with the VobSub track; pixelFormat is the video's.
    static std::string Source(const std::string& name, const char* pixelFormat, int offsetSeconds = 0) {
        const std::string video = Generate(std::string("video-") + pixelFormat + ".mkv",
                                           "-f lavfi -i color=c=0x606060:s=320x240:r=25:d=3 -c:v libx264 "
                                           "-preset ultrafast -qp 0 -pix_fmt " +
                                               std::string(pixelFormat));
        const fs::path path = media_ / name;
        if (!fs::exists(path))
            MuxWithVobSub(video, path.string(), offsetSeconds);
        return path.string();
    }

    // H.264 into MP4 at width x height, burning burnIndex unless it is kNoBurning.
    int32_t Convert(const std::string& source, const std::string& target, int32_t burnIndex, int width, int height,
                    std::string* log) {
        Owned<IMediaTaskConfig> config(manager_->CreateTaskConfig());
        Owned<IMediaInfo> info(manager_->CreateMediaInfo());
        info->SetFormatName("mp4");
        StreamRecord record = VideoRecord("libx264", width, height, 1, 25);
        record.bitRate = 2000000;
        info->AddStream(&record);
        if (burnIndex != kNoBurning) {
            const PropertyBlob blob{&burnIndex, sizeof burnIndex};
            info->GetStreamInfo(0)->SetProperty("burn_subtitles", &blob);
        }
        const StreamSelection selection{0, 0};
        config->AddStreamSelection(&selection);
        config->SetTargetInfo(info.get());
        config->SetSourcePath(source.c_str());
        config->SetTargetPath(target.c_str());
        return RunAlone(config.get(), log);
    }

    // Every picture of video as 8-bit RGB.
    std::string DecodeAll(const std::string& video) {
        const fs::path raw = out_ / (fs::path(video).stem().string() + ".rgb");
        const CommandResult r = RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(video) +
                                           " -f rawvideo -pix_fmt rgb24 " + ShellQuote(raw.string()));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return ReadAll(raw);
    }

    static std::string ReadAll(const fs::path& path) {
        std::string bytes(fs::file_size(path), '\0');
        FILE* file = std::fopen(path.string().c_str(), "rb");
        if (file != nullptr) {
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
            std::fclose(file);
        }
        return bytes;
    }

    // burned against plain, picture by picture: each cue's bands show inside its box (scaled
    // to the output's width x height) while it is due, and nothing differs anywhere else.
    void ExpectCuesDrawnWhileDue(const std::string& burned, const std::string& plain, int width, int height) {
        const std::string burnedPixels = DecodeAll(burned);
        const std::string plainPixels = DecodeAll(plain);
        const size_t size = 3u * width * height;
        ASSERT_EQ(burnedPixels.size(), size * kFrames);
        ASSERT_EQ(plainPixels.size(), size * kFrames);
        const double scale = static_cast<double>(width) / kVideoWidth;
        for (int n = 0; n < kFrames; ++n) {
            SCOPED_TRACE("picture " + std::to_string(n));
            const Picture drawn{width, height, reinterpret_cast<const unsigned char*>(burnedPixels.data()) + n * size};
            const Picture bare{width, height, reinterpret_cast<const unsigned char*>(plainPixels.data()) + n * size};
            const Cue* cue = CueOfPicture(n);
            Box box{0, 0, 0, 0};
            if (cue != nullptr)
                box = Box{static_cast<int>(cue->box.x * scale), static_cast<int>(cue->box.y * scale),
                          static_cast<int>(cue->box.width * scale), static_cast<int>(cue->box.height * scale)};
            // Pictures keep the background away from the cue: encoders blur edges by a few pixels.
            constexpr int kEdge = 4;
            int changedOutside = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    if (cue != nullptr && x >= box.x - kEdge && x < box.x + box.width + kEdge && y >= box.y - kEdge &&
                        y < box.y + box.height + kEdge)
                        continue;
                    for (int c = 0; c < 3; ++c)
                        changedOutside += std::abs(drawn.at(x, y)[c] - bare.at(x, y)[c]) > 24 ? 1 : 0;
                }
            EXPECT_EQ(changedOutside, 0) << "nothing is drawn outside the shown cue";
            if (cue == nullptr)
                continue;
            EXPECT_LT(bare.at(box.x + box.width / 2, box.y + box.height / 2)[0], 120) << "the source is gray";
            const int bands = cue->banded ? 3 : 1;
            for (int band = 0; band < bands; ++band) {
                const int fromX = box.x + band * box.width / bands + kEdge;
                const int toX = box.x + (band + 1) * box.width / bands - kEdge;
                int wrong = 0;
                for (int y = box.y + kEdge; y < box.y + box.height - kEdge; ++y)
                    for (int x = fromX; x < toX; ++x) {
                        const unsigned char* p = drawn.at(x, y);
                        const unsigned char* under = bare.at(x, y);
                        bool right = false;
                        if (band == 0)  // white
                            right = p[0] > 235 && p[1] > 235 && p[2] > 235;
                        else if (band == 1)  // half of the way from the gray to white
                            right = std::abs(p[1] - (under[1] + 255) / 2) < 24 && std::abs(p[0] - p[2]) < 12;
                        else  // red
                            right = p[0] > 200 && p[1] < 50 && p[2] < 50;
                        wrong += right ? 0 : 1;
                    }
                EXPECT_EQ(wrong, 0) << "band " << band << " of the cue at " << cue->start << " s";
            }
        }
    }
};

}  // namespace

TEST_F(BurnedPictureSubtitles, EachCueShowsAtItsPlaceOnThePicturesInsideItsTimeOnly) {
    const std::string source = Source("vobsub-8bit.mkv", "yuv420p");
    ASSERT_EQ(ProbeValue(source, "s:0", "stream=codec_name"), "dvd_subtitle");
    std::string log;
    const std::string plain = Out("plain.mp4");
    ASSERT_EQ(Convert(source, plain, kNoBurning, kVideoWidth, kVideoHeight, &log), TaskFinished) << log;
    const std::string burned = Out("burned.mp4");
    ASSERT_EQ(Convert(source, burned, kSubtitleStream, kVideoWidth, kVideoHeight, &log), TaskFinished) << log;
    EXPECT_EQ(ProbeValue(burned, "", "stream=codec_name"), "h264") << "the subtitles are in the picture, not a track";
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(burned, &errors)) << errors;
    ExpectCuesDrawnWhileDue(burned, plain, kVideoWidth, kVideoHeight);
}

// Drawn on the 10-bit pictures before they are scaled up, on a time line that starts 10 s in.
TEST_F(BurnedPictureSubtitles, TenBitPicturesOfALateSourceScaledUpShowTheSameCues) {
    const std::string source = Source("vobsub-10bit-late.mkv", "yuv420p10le", 10);
    ASSERT_EQ(ProbeValue(source, "v:0", "stream=pix_fmt"), "yuv420p10le");
    ASSERT_EQ(ProbeValue(source, "", "format=start_time"), "10.000000");
    std::string log;
    const std::string plain = Out("plain.mp4");
    ASSERT_EQ(Convert(source, plain, kNoBurning, 480, 360, &log), TaskFinished) << log;
    const std::string burned = Out("burned.mp4");
    ASSERT_EQ(Convert(source, burned, kSubtitleStream, 480, 360, &log), TaskFinished) << log;
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(burned, &errors)) << errors;
    ExpectCuesDrawnWhileDue(burned, plain, 480, 360);
}

TEST_F(BurnedPictureSubtitles, VobSubCopiedIntoMp4KeepsEveryPacketAtItsTime) {
    const std::string source = Source("vobsub-8bit.mkv", "yuv420p");
    const std::string target = Out("copied.mp4");
    Owned<IMediaTaskConfig> config =
        copied::MakeTask(*manager_, source, target, "mp4", {copied::Copy(0), copied::CopySubtitle(kSubtitleStream)});
    ASSERT_NE(config, nullptr);
    std::string log;
    ASSERT_EQ(RunAlone(config.get(), &log), TaskFinished) << log;
    EXPECT_EQ(ProbeValue(target, "s:0", "stream=codec_name"), "dvd_subtitle");
    const auto packetTimes = [](const std::string& path) {
        return RunCommand("ffprobe -v error -select_streams s:0 -show_entries packet=pts_time -of csv=p=0 " +
                          ShellQuote(path))
            .output;
    };
    const std::string times = packetTimes(source);
    EXPECT_EQ(copied::Lines(times).size(), kCues.size());
    EXPECT_EQ(packetTimes(target), times);
    EXPECT_EQ(copied::PacketHashes(target, "s"), copied::PacketHashes(source, "s")) << "the packets are unchanged";
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
}
