// The exporter as the converter drives it: opening, dispatching frames, constant-rate video,
// sound timing and sync, and failures.
#include "convert/media_exporter.h"

#include <gtest/gtest.h>

#include "exporter_test_support.h"
#include "object/media_formats.h"
#include "object/media_manager.h"
#include "system/base_thread.h"

using namespace exporter_test;
using SystemBased::CodecContextPtr;
using SystemBased::InputFormatContextPtr;
using SystemBased::PacketPtr;

namespace {

// Decodes the first video and audio stream of a file with plain FFmpeg calls and writes every
// frame, timed in 100 ns, to the exporter. True when every write succeeded.
bool FeedDecodedFile(const std::string& path, IMediaExporter& exporter) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        return false;
    InputFormatContextPtr input(opened);
    avformat_find_stream_info(input.get(), nullptr);
    struct Decoder {
        int index;
        CodecContextPtr context;
        uint32_t slot;
    } decoders[] = {{av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0), nullptr, 0},
                    {av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0), nullptr, 1}};
    for (Decoder& d : decoders) {
        const AVCodecParameters* parameters = input->streams[d.index]->codecpar;
        d.context.reset(avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id)));
        avcodec_parameters_to_context(d.context.get(), parameters);
        if (avcodec_open2(d.context.get(), nullptr, nullptr) < 0)
            return false;
    }
    bool allWritten = true;
    FramePtr decoded(av_frame_alloc());
    const auto drain = [&](Decoder& d) {
        while (avcodec_receive_frame(d.context.get(), decoded.get()) == 0) {
            const int64_t start = av_rescale_q(decoded->best_effort_timestamp,
                                               input->streams[d.index]->time_base, {1, 10000000});
            if (d.slot == 0) {
                CVideoFrame frame(FindPixelFormatByFfmpeg(decoded->format).id, decoded->width,
                                  decoded->height, true);
                frame.Attach(decoded.get());
                frame.SetTimes(start, start);
                allWritten = exporter.WriteFrame(&frame, d.slot) && allWritten;
            } else {
                CAudioFrame frame(SampleFormatFromFfmpeg(decoded->format), true, decoded->sample_rate,
                                  decoded->ch_layout.nb_channels, decoded->ch_layout.u.mask);
                frame.Attach(decoded.get());
                frame.SetTimes(start, start);
                allWritten = exporter.WriteFrame(&frame, d.slot) && allWritten;
            }
            av_frame_unref(decoded.get());
        }
    };
    PacketPtr packet(av_packet_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        for (Decoder& d : decoders)
            if (packet->stream_index == d.index && avcodec_send_packet(d.context.get(), packet.get()) >= 0)
                drain(d);
        av_packet_unref(packet.get());
    }
    for (Decoder& d : decoders) {
        avcodec_send_packet(d.context.get(), nullptr);
        drain(d);
    }
    return allWritten;
}

std::vector<double> Steps(const std::vector<double>& values) {
    std::vector<double> steps;
    for (size_t i = 1; i < values.size(); ++i)
        steps.push_back(values[i] - values[i - 1]);
    return steps;
}

}  // namespace

TEST_F(ExporterTest, FailedOpensLogTheirCauseAndLeaveTheExporterReusable) {
    CapturedLog log;
    CMediaManager manager;
    Owned<IMediaExporter> exporter(manager.CreateExporter(nullptr));
    EXPECT_TRUE(exporter->Close()) << "never opened";
    EXPECT_FALSE(exporter->Open(PathOf("x.mp4").c_str())) << "no target yet";
    EXPECT_FALSE(exporter->SetTargetInfo(nullptr));
    EXPECT_EQ(exporter->GetTargetInfo(), nullptr);

    EXPECT_EQ(OpenExporter(manager, "mp4", {AudioRecord("ERROR", 44100, 2, 0)}, PathOf("e.mp4")), nullptr);
    EXPECT_NE(std::string(log.GetText()).find("get codec by name error,185\n"), std::string::npos);

    Owned<IMediaInfo> target(manager.CreateMediaInfo());
    target->SetFormatName("mp4");
    const StreamRecord video = VideoRecord("mpeg4", 320, 240);
    target->AddStream(&video);
    ASSERT_TRUE(exporter->SetTargetInfo(target.get()));
    EXPECT_FALSE(exporter->Open((dir_ + "/missing-folder/out.mp4").c_str()));
    EXPECT_NE(std::string(log.GetText())
                  .find("output error: folder missing: " + dir_ + "/missing-folder,63\n"),
              std::string::npos)
        << log.GetText();
    EXPECT_TRUE(exporter->Close());
    auto picture = MakePicture(320, 240, 0, 0);
    EXPECT_FALSE(exporter->WriteFrame(picture.get(), 0)) << "nothing is open";

    const std::string path = PathOf("nach dem Fehler – видео 映画.mp4");
    ASSERT_TRUE(exporter->Open(path.c_str()));
    EXPECT_FALSE(exporter->Open(path.c_str())) << "one file at a time";
    SyntheticFeed feed;
    feed.videoSlot = 0;
    EXPECT_TRUE(Feed(*exporter, feed));
    EXPECT_TRUE(exporter->Close());
    EXPECT_TRUE(DecodesCleanly(path));
    EXPECT_NEAR(ProbeNumber(path, "v:0", "stream=nb_read_frames -count_frames"), 25, 1);
}

TEST_F(ExporterTest, FramesAreDispatchedByTheirKindAndTheStreamKind) {
    CMediaManager manager;
    StreamRecord subtitles{};
    subtitles.kind = StreamKindSubtitle;
    subtitles.codecName = const_cast<char*>("subrip");
    const std::string path = PathOf("dispatch.mkv");
    Owned<IMediaExporter> exporter = OpenExporter(
        manager, "matroska",
        {VideoRecord("mpeg4", 320, 240), AudioRecord("mp2", 44100, 2, 128000), subtitles}, path);
    ASSERT_NE(exporter, nullptr);
    auto picture = MakePicture(320, 240, 0, 0);
    auto sound = MakeSound(48000, 2, 960, 0);
    Owned<CCompressedFrame> packet(new CCompressedFrame());
    EXPECT_FALSE(exporter->WriteFrame(picture.get(), 3)) << "beyond the streams";
    EXPECT_FALSE(exporter->WriteFrame(nullptr, 0));
    EXPECT_TRUE(exporter->WriteFrame(picture.get(), 1)) << "a picture for a sound stream";
    EXPECT_TRUE(exporter->WriteFrame(sound.get(), 0)) << "sound for a picture stream";
    EXPECT_TRUE(exporter->WriteFrame(packet.get(), 0)) << "an undecoded packet";
    packet->SetKind(2);
    EXPECT_FALSE(exporter->WriteFrame(packet.get(), 2));
    EXPECT_TRUE(exporter->WriteFrame(packet.get(), 1));
    packet->SetKind(3);
    EXPECT_FALSE(exporter->WriteFrame(packet.get(), 2)) << "the subtitle stream is not encoded";
    EXPECT_TRUE(exporter->WriteFrame(packet.get(), 0));
    EXPECT_EQ(exporter->NamedParameter("R_MediaSourceParamHasAV", ""), 0);
    EXPECT_EQ(exporter->ReservedQuery(nullptr), nullptr);
    Owned<CVideoFrame> empty(new CVideoFrame(PixelYUV420P, 640, 360, true));
    empty->SetTimes(0, 0);
    EXPECT_FALSE(exporter->WriteFrame(empty.get(), 0)) << "the image converter yields no picture";
    EXPECT_TRUE(exporter->WriteFrame(picture.get(), 0)) << "a picture where it belongs";
    EXPECT_TRUE(exporter->Close());

    EXPECT_EQ(ProbeValue(path, "s:0", "stream=codec_name"), "subrip");
    EXPECT_EQ(ProbeNumbers(path, "v:0", "packet=pts").size(), 1u) << "only the picture sent there";
    EXPECT_EQ(ProbeValue(path, "a:0", "packet=pts"), "");
}

TEST_F(ExporterTest, VideoIsMadeConstantRateByRepeatingAndDroppingPictures) {
    struct Case {
        double sourceFps;
        int timeNum, timeDen;
    } cases[] = {{25.0, 1001, 30000}, {30000.0 / 1001, 1, 25}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sourceFps);
        const std::string path = PathOf("rate" + std::to_string(c.timeDen) + ".mp4");
        CMediaManager manager;
        auto exporter = OpenExporter(manager, "mp4", {VideoRecord("mpeg4", 320, 240, c.timeNum, c.timeDen)}, path);
        ASSERT_NE(exporter, nullptr);
        SyntheticFeed feed;
        feed.videoSlot = 0;
        feed.fps = c.sourceFps;
        feed.width = 320;
        feed.height = 240;
        feed.seconds = 3.0;
        EXPECT_TRUE(Feed(*exporter, feed));
        ASSERT_TRUE(exporter->Close());

        const double targetFps = double(c.timeDen) / c.timeNum;
        const double frames = ProbeNumber(path, "v:0", "stream=nb_read_frames -count_frames");
        EXPECT_NEAR(frames, 3.0 * targetFps, 1.0);
        const auto times = ProbeNumbers(path, "v:0", "packet=pts_time");
        ASSERT_EQ(times.size(), static_cast<size_t>(frames));
        for (size_t i = 0; i < times.size(); ++i)
            ASSERT_NEAR(times[i], i / targetFps, 1e-3) << "packet " << i;
    }
}

TEST_F(ExporterTest, AacReceivesWholeFramesTimedByTheirSamples) {
    struct Case {
        int rate, samplesPerFrame;
    } cases[] = {{44100, 1152}, {48000, 960}};  // bypassing the resampler, and through it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const std::string path = PathOf("aac" + std::to_string(c.rate) + ".mp4");
        CMediaManager manager;
        auto exporter = OpenExporter(manager, "mp4", {AudioRecord("aac", 44100, 2, 128000)}, path);
        ASSERT_NE(exporter, nullptr);
        SyntheticFeed feed;
        feed.audioSlot = 0;
        feed.rate = c.rate;
        feed.samplesPerFrame = c.samplesPerFrame;
        feed.seconds = 2.0;
        EXPECT_TRUE(Feed(*exporter, feed));
        ASSERT_TRUE(exporter->Close());

        const auto steps = Steps(ProbeNumbers(path, "a:0", "packet=pts"));
        ASSERT_GT(steps.size(), 80u);
        for (size_t i = 0; i < steps.size(); ++i)
            ASSERT_EQ(steps[i], 1024) << "packet " << i;
        EXPECT_NEAR(ProbeNumber(path, "a:0", "stream=duration"), 2.0, 1024.0 / 44100);
        EXPECT_TRUE(DecodesCleanly(path));
    }
}

TEST_F(ExporterTest, SoundAndPicturesStayInStepOverTenSeconds) {
    const std::string source = PathOf("source.mkv");
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=10 "
                         "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=10 -c:v libx264 "
                         "-preset ultrafast -bf 2 -pix_fmt yuv420p -c:a aac -ac 2 " + ShellQuote(source))
                  .exitCode, 0);
    const std::string path = PathOf("synced.mp4");
    CMediaManager manager;
    StreamRecord video = VideoRecord("h264", 640, 480);
    video.profile = 66;
    video.level = 31;
    auto exporter = OpenExporter(manager, "mp4", {video, AudioRecord("aac", 44100, 2, 128000)}, path);
    ASSERT_NE(exporter, nullptr);
    EXPECT_TRUE(FeedDecodedFile(source, *exporter));
    ASSERT_TRUE(exporter->Close());

    EXPECT_EQ(ProbeValue(path, "v:0", "stream=codec_name,width,height"), "h264\n640\n480");
    EXPECT_EQ(ProbeValue(path, "a:0", "stream=codec_name,sample_rate,channels"), "aac\n44100\n2");
    const double sourceDuration = ProbeNumber(source, "v:0", "format=duration");
    const double videoDuration = ProbeNumber(path, "v:0", "stream=duration");
    const double audioDuration = ProbeNumber(path, "a:0", "stream=duration");
    const double frame = 1.0 / 25;
    EXPECT_NEAR(videoDuration, audioDuration, frame);
    EXPECT_NEAR(videoDuration, sourceDuration, frame);
    EXPECT_NEAR(audioDuration, sourceDuration, frame);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(path, &errors)) << errors;
}

TEST_F(ExporterTest, AFileThatCannotBeWrittenIsNeverReportedAsFinished) {
    CMediaManager manager;
    Owned<IMediaInfo> target(manager.CreateMediaInfo());
    target->SetFormatName("matroska");
    const StreamRecord video = VideoRecord("mpeg4", 320, 240);
    target->AddStream(&video);
    Owned<IMediaExporter> exporter(manager.CreateExporter(nullptr));
    ASSERT_TRUE(exporter->SetTargetInfo(target.get()));
    bool allSucceeded = exporter->Open("/dev/full");
    if (allSucceeded) {
        SyntheticFeed feed;
        feed.videoSlot = 0;
        allSucceeded = Feed(*exporter, feed);
        allSucceeded = exporter->Close() && allSucceeded;
    }
    EXPECT_FALSE(allSucceeded);
}

TEST_F(ExporterTest, StreamsWithoutAnEncodingThreadAreEncodedTheSameOnTheCallersThread) {
    // Each encoded stream normally gets a thread of its own; where none can be made, the
    // exporter encodes on the caller's, and the packets must not differ.
    const auto streamHashes = [](const std::string& path) {
        return RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) +
                          " -map 0 -c copy -f streamhash -")
            .output;
    };
    std::string hashes[2];
    for (int threadsRefused : {0, 2}) {
        SCOPED_TRACE(threadsRefused);
        const std::string path = PathOf("threads" + std::to_string(threadsRefused) + ".mkv");
        CMediaManager manager;
        SystemBased::FailNextThreadStarts(threadsRefused);
        auto exporter = OpenExporter(manager, "matroska",
                                     {VideoRecord("mpeg4", 320, 240), AudioRecord("aac", 48000, 2, 128000)}, path);
        SystemBased::FailNextThreadStarts(0);
        ASSERT_NE(exporter, nullptr);
        SyntheticFeed feed;
        feed.videoSlot = 0;
        feed.audioSlot = 1;
        feed.width = 320;
        feed.height = 240;
        feed.seconds = 2.0;
        EXPECT_TRUE(Feed(*exporter, feed));
        ASSERT_TRUE(exporter->Close());
        EXPECT_TRUE(DecodesCleanly(path));
        hashes[threadsRefused / 2] = streamHashes(path);
    }
    EXPECT_NE(hashes[0].find("0,v,"), std::string::npos) << hashes[0];
    EXPECT_NE(hashes[0].find("1,a,"), std::string::npos) << hashes[0];
    EXPECT_EQ(hashes[0], hashes[1]);
}
