// Encoders a target stream names beyond the classic ones, and what its properties ask of them:
// each new encoder writes the containers it belongs in with the profile, pixel format and
// sample rate it should; quality mode follows the picture's content and the CRF; 10-bit HDR
// sources keep their depth, colour description and mastering metadata, or are tone-mapped to
// BT.709; a hardware encoder that cannot open gives way to the fallback; unknown encoder
// options only warn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "../tagged_media.h"
#include "media_suite_test.h"
#include "process_helpers.h"
#include "stream_records.h"
#include "vantrel/owned.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
namespace fs = std::filesystem;

namespace {

// A property of a target stream: text (stored with its NUL) or an int32.
struct Property {
    std::string name;
    std::string bytes;
};

Property Text(const std::string& name, const std::string& value) {
    return Property{name, value + std::string(1, '\0')};
}

Property Int(const std::string& name, int32_t value) {
    return Property{name, std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}

struct Encoded {
    int sourceIndex;
    StreamRecord record;
    std::vector<Property> properties;
};

// x265 as the HDR mastering tools write it: PQ, BT.2020, a 1000-nit display, MaxCLL 1000,
// MaxFALL 400, in the bitstream only.
constexpr const char* kHdrParameters =
    "log-level=error:colorprim=bt2020:transfer=smpte2084:colormatrix=bt2020nc:"
    "master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1):"
    "max-cll=1000,400";

// The tone mapping the engine applies, for a reference made by the ffmpeg tool.
constexpr const char* kToneMap =
    "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
    "zscale=t=bt709:m=bt709:r=tv,format=yuv420p";

class EncoderChoices : public MediaSuiteTest<EncoderChoices> {
public:
    static constexpr const char* kFolder = "encoder-choices";

protected:
    // 1 s of moving colour bars and a tone at 44.1 kHz stereo.
    static std::string PlainSource() {
        return Generate("plain.mkv",
                        "-f lavfi -i testsrc2=s=320x240:r=25:d=1 -f lavfi -i sine=f=440:r=44100:d=1 "
                        "-ac 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a flac");
    }

    // 1 s of 10-bit PQ HEVC with mastering metadata in its SEI only.
    static std::string HdrSource() {
        return Generate("hdr.mkv", std::string("-f lavfi -i testsrc2=s=320x240:r=25:d=1 -c:v libx265 "
                                               "-pix_fmt yuv420p10le -x265-params \"") +
                                       kHdrParameters + "\"");
    }

    // The same grey all second long, or heavy grain that changes every picture; both nearly
    // lossless so the grain survives.
    static std::string FlatSource() {
        return Generate("flat.mkv", "-f lavfi -i color=c=gray:s=320x240:r=25:d=1 -c:v libx264 -preset "
                                    "ultrafast -qp 0 -pix_fmt yuv420p");
    }
    static std::string NoisySource() {
        return Generate("noisy.mkv", "-f lavfi -i color=c=gray:s=320x240:r=25:d=1,noise=alls=40:allf=t "
                                     "-c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p");
    }

    int32_t Convert(const std::string& source, const std::string& target, const char* format,
                    const std::vector<Encoded>& streams, std::string* log) {
        Owned<IMediaTaskConfig> config(manager_->CreateTaskConfig());
        Owned<IMediaInfo> info(manager_->CreateMediaInfo());
        info->SetFormatName(format);
        for (const Encoded& stream : streams) {
            info->AddStream(&stream.record);
            IStreamInfo* added = info->GetStreamInfo(static_cast<uint32_t>(info->GetStreamCount() - 1));
            for (const Property& property : stream.properties) {
                PropertyBlob blob{const_cast<char*>(property.bytes.data()),
                                  static_cast<uint32_t>(property.bytes.size())};
                added->SetProperty(property.name.c_str(), &blob);
            }
            const StreamSelection selection{stream.sourceIndex, 0};
            config->AddStreamSelection(&selection);
        }
        config->SetTargetInfo(info.get());
        config->SetSourcePath(source.c_str());
        config->SetTargetPath(target.c_str());
        return RunAlone(config.get(), log);
    }

    // The mean of the first picture's luma, as 8-bit grey.
    double MeanLuma(const std::string& path, const std::string& filter = "format=gray") {
        const fs::path gray = out_ / "luma.gray";
        const CommandResult r = RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(path) + " -vf " +
                                           ShellQuote(filter) + " -frames:v 1 -f rawvideo -pix_fmt gray " +
                                           ShellQuote(gray.string()));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        const std::string pixels = tagged::ReadBytes(gray);
        if (pixels.empty())
            return -1;
        double sum = 0;
        for (char pixel : pixels)
            sum += static_cast<unsigned char>(pixel);
        return sum / pixels.size();
    }

    static std::vector<int> PacketSizes(const std::string& path, const char* stream) {
        const CommandResult r = RunCommand("ffprobe -v error -select_streams " + std::string(stream) +
                                           " -show_entries packet=size -of csv=p=0 " + ShellQuote(path));
        std::vector<int> sizes;
        size_t from = 0;
        for (size_t end; (end = r.output.find('\n', from)) != std::string::npos; from = end + 1)
            if (end > from)
                sizes.push_back(std::atoi(r.output.substr(from, end - from).c_str()));
        return sizes;
    }

    static StreamRecord Video(const char* codec, int32_t profile = 0, int32_t bitRate = 800000) {
        StreamRecord record = VideoRecord(codec, 320, 240, 1, 25);
        record.profile = profile;
        record.bitRate = bitRate;
        return record;
    }
};

// Every new encoder, in each container it belongs in, decodes without a word and says what it
// is: codec, profile, bit depth, and a sample rate the encoder takes (Opus has no 44.1 kHz).
TEST_F(EncoderChoices, NewEncodersWriteTheirContainers) {
    struct Case {
        const char* file;
        const char* format;
        StreamRecord video;
        std::string videoOptions;
        StreamRecord audio;
        std::string audioOptions;
        const char* expectVideo;  // codec_name, profile, pix_fmt
        const char* expectAudio;  // codec_name, sample_rate
    };
    const std::string vp9Speed = "deadline=realtime:cpu-used=8";
    const std::string av1Speed = "preset=12";
    const std::string mp3Vbr = "flags=+qscale:global_quality=0";
    const Case cases[] = {
        {"hevc.mp4", "mp4", Video("libx265", 1), "preset=ultrafast", AudioRecord("libopus", 44100, 2, 96000), "",
         "hevc\nMain\nyuv420p", "opus\n48000"},
        {"hevc10.mkv", "matroska", Video("libx265", 2), "preset=ultrafast", AudioRecord("alac", 44100, 2, 0), "",
         "hevc\nMain 10\nyuv420p10le", "alac\n44100"},
        {"vp9.webm", "webm", Video("libvpx-vp9"), vp9Speed, AudioRecord("libopus", 44100, 2, 96000), "",
         "vp9\nProfile 0\nyuv420p", "opus\n48000"},
        {"vp9.mp4", "mp4", Video("libvpx-vp9"), vp9Speed, AudioRecord("mp3", 44100, 2, 0), mp3Vbr,
         "vp9\nProfile 0\nyuv420p", "mp3\n44100"},
        {"av1.webm", "webm", Video("libsvtav1"), av1Speed, AudioRecord("libopus", 48000, 2, 96000), "",
         "av1\nMain\nyuv420p", "opus\n48000"},
        {"av1.mkv", "matroska", Video("libsvtav1"), av1Speed, AudioRecord("mp3", 44100, 2, 0), mp3Vbr,
         "av1\nMain\nyuv420p", "mp3\n44100"},
        {"prores.mov", "mov", Video("prores_ks", 2), "", AudioRecord("alac", 44100, 2, 0), "",
         "prores\nStandard\nyuv422p10le", "alac\n44100"},
    };
    const std::string source = PlainSource();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string target = Out(c.file);
        std::vector<Property> videoProperties, audioProperties;
        if (!c.videoOptions.empty())
            videoProperties.push_back(Text("encoder_options", c.videoOptions));
        if (!c.audioOptions.empty())
            audioProperties.push_back(Text("encoder_options", c.audioOptions));
        std::string log;
        ASSERT_EQ(Convert(source, target, c.format,
                          {{0, c.video, videoProperties}, {1, c.audio, audioProperties}}, &log),
                  TaskFinished)
            << log;
        EXPECT_EQ(ProbeValue(target, "v", "stream=codec_name,profile,pix_fmt"), c.expectVideo);
        EXPECT_EQ(ProbeValue(target, "a", "stream=codec_name,sample_rate"), c.expectAudio);
        // Apple's players take HEVC in MP4 only under the "hvc1" tag.
        if (std::string(c.file) == "hevc.mp4") {
            EXPECT_EQ(ProbeValue(target, "v", "stream=codec_tag_string"), "hvc1");
        }
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
        EXPECT_EQ(log.find("warning"), std::string::npos) << log;
        if (c.audioOptions == mp3Vbr) {
            // Constant-rate MP3 frames at 44.1 kHz come in two sizes (with and without padding).
            const std::vector<int> sizes = PacketSizes(target, "a");
            EXPECT_GT(std::set<int>(sizes.begin(), sizes.end()).size(), 2u) << "variable bit rate";
        }
    }

    // ALAC alone in an M4A file.
    const std::string m4a = Out("alac.m4a");
    std::string log;
    ASSERT_EQ(Convert(source, m4a, "ipod", {{1, AudioRecord("alac", 44100, 2, 0), {}}}, &log), TaskFinished)
        << log;
    EXPECT_EQ(ProbeValue(m4a, "a", "stream=codec_name,sample_rate,channels"), "alac\n44100\n2");
    EXPECT_TRUE(DecodesCleanly(m4a));
}

// With bit rate 0 the CRF alone decides: grain costs far more than a flat picture at the same
// CRF, a lower CRF costs more on the same picture, and x264 reports pure CRF rate control.
TEST_F(EncoderChoices, QualityModeFollowsContentAndCrf) {
    const auto encode = [this](const std::string& source, const char* codec, const std::string& options,
                               const std::string& name) {
        std::string log;
        const std::string target = Out(name);
        EXPECT_EQ(Convert(source, target, "matroska", {{0, Video(codec, 0, 0), {Text("encoder_options", options)}}},
                          &log),
                  TaskFinished)
            << log;
        return target;
    };
    const std::string flat = encode(FlatSource(), "libx264", "crf=23:preset=ultrafast", "flat.mkv");
    const std::string noisy = encode(NoisySource(), "libx264", "crf=23:preset=ultrafast", "noisy.mkv");
    EXPECT_GT(fs::file_size(noisy), 5 * fs::file_size(flat));
    const std::string settings = tagged::ReadBytes(noisy);
    EXPECT_NE(settings.find("rc=crf"), std::string::npos);
    EXPECT_NE(settings.find("crf=23.0"), std::string::npos);
    EXPECT_EQ(settings.find("vbv_maxrate"), std::string::npos) << "no rate cap";
    EXPECT_EQ(settings.find("bitrate="), std::string::npos) << "no target rate";

    const std::string fine = encode(NoisySource(), "libx265", "crf=20:preset=ultrafast", "fine.mkv");
    const std::string coarse = encode(NoisySource(), "libx265", "crf=34:preset=ultrafast", "coarse.mkv");
    EXPECT_GT(fs::file_size(fine), fs::file_size(coarse) * 3 / 2);
}

// A 10-bit PQ source to HEVC Main 10 stays 10-bit PQ/BT.2020 with its mastering display and
// light levels, both in the container and in the pictures; VP9 keeps 10 bits when asked to.
// Without bit_depth an 8-bit encoder still tells the truth about the colours.
TEST_F(EncoderChoices, HdrSourcesKeepDepthColourAndMetadata) {
    const std::string source = HdrSource();
    const std::string main10 = Out("main10.mkv");
    std::string log;
    ASSERT_EQ(Convert(source, main10, "matroska",
                      {{0, Video("libx265", 2), {Text("encoder_options", "preset=ultrafast"), Int("bit_depth", 10)}}},
                      &log),
              TaskFinished)
        << log;
    EXPECT_EQ(ProbeValue(main10, "v", "stream=profile,pix_fmt,color_space,color_transfer,color_primaries"),
              "Main 10\nyuv420p10le\nbt2020nc\nsmpte2084\nbt2020");
    const std::string stream = ProbeValue(main10, "v", "stream_side_data=side_data_type,max_content,max_average");
    EXPECT_NE(stream.find("Mastering display metadata"), std::string::npos) << stream;
    EXPECT_NE(stream.find("1000\n400"), std::string::npos) << stream;
    const CommandResult frames = RunCommand("ffprobe -v error -read_intervals %+#1 -show_frames " + ShellQuote(main10));
    EXPECT_NE(frames.output.find("max_luminance=10000000/10000"), std::string::npos) << "in the bitstream";
    EXPECT_NE(frames.output.find("max_content=1000"), std::string::npos);
    EXPECT_TRUE(DecodesCleanly(main10));

    const std::string vp9 = Out("vp9-10.webm");
    ASSERT_EQ(Convert(source, vp9, "webm",
                      {{0, Video("libvpx-vp9"),
                        {Text("encoder_options", "deadline=realtime:cpu-used=8"), Int("bit_depth", 10)}}},
                      &log),
              TaskFinished)
        << log;
    EXPECT_EQ(ProbeValue(vp9, "v", "stream=profile,pix_fmt,color_transfer"), "Profile 2\nyuv420p10le\nsmpte2084");

    const std::string eight = Out("eight.mp4");
    ASSERT_EQ(Convert(source, eight, "mp4", {{0, Video("libx264", 100), {}}}, &log), TaskFinished) << log;
    EXPECT_EQ(ProbeValue(eight, "v", "stream=pix_fmt,color_transfer,color_primaries"), "yuv420p\nsmpte2084\nbt2020");
    EXPECT_EQ(ProbeValue(eight, "v", "stream_side_data=side_data_type"),
              "Mastering display metadata\nContent light level metadata")
        << "MP4 stores them too";
}

// Tone mapping gives 8-bit BT.709 pictures as bright as the same chain in the ffmpeg tool
// makes them, which an SDR player would otherwise see washed out; no HDR metadata is left.
TEST_F(EncoderChoices, ToneMappingGivesBt709Sdr) {
    const std::string source = HdrSource();
    const std::string mapped = Out("mapped.mp4");
    std::string log;
    ASSERT_EQ(Convert(source, mapped, "mp4",
                      {{0, Video("libx264", 100), {Int("tone_map", 1), Text("encoder_options", "crf=18")}}}, &log),
              TaskFinished)
        << log;
    EXPECT_EQ(ProbeValue(mapped, "v", "stream=pix_fmt,color_space,color_transfer,color_primaries"),
              "yuv420p\nbt709\nbt709\nbt709");
    EXPECT_EQ(ProbeValue(mapped, "v", "stream_side_data=side_data_type"), "");
    const double reference = MeanLuma(source, std::string(kToneMap) + ",format=gray");
    const double untouched = MeanLuma(source);
    const double ours = MeanLuma(mapped);
    ASSERT_GT(std::abs(reference - untouched), 20) << "the chain must change the picture for this to tell";
    EXPECT_NEAR(ours, reference, 4.0) << "untouched PQ would be " << untouched;
    EXPECT_TRUE(DecodesCleanly(mapped));

    // An SDR source has nothing to tone-map: it keeps its pictures and its (lack of) colour tags.
    const std::string plain = Out("plain.mp4");
    ASSERT_EQ(Convert(PlainSource(), plain, "mp4", {{0, Video("libx264", 100), {Int("tone_map", 1)}}}, &log),
              TaskFinished)
        << log;
    EXPECT_NEAR(MeanLuma(plain), MeanLuma(PlainSource()), 2.0);
    EXPECT_EQ(ProbeValue(plain, "v", "stream=color_space,color_transfer,color_primaries"), "unknown\nunknown\nunknown")
        << "a source that leaves its colours unspecified gets no invented ones";
}

// Without a graphics device every hardware encoder fails to open (or to encode); the fallback
// takes over, the output is whole, and the task log says why. Without a fallback the task
// fails naming the encoder.
TEST_F(EncoderChoices, HardwareEncodersFallBackToSoftware) {
    if (fs::exists("/dev/dri/renderD128"))
        GTEST_SKIP() << "a graphics device may really open the hardware encoder";
    const std::string source = PlainSource();
    for (const char* hardware : {"h264_vaapi", "h264_nvenc", "h264_qsv"}) {
        SCOPED_TRACE(hardware);
        const std::string target = Out(std::string(hardware) + ".mp4");
        std::string log;
        ASSERT_EQ(Convert(source, target, "mp4",
                          {{0, Video(hardware, 100), {Text("fallback_encoder", "libx264")}},
                           {1, AudioRecord("aac", 44100, 2, 128000), {}}},
                          &log),
                  TaskFinished)
            << log;
        EXPECT_EQ(ProbeValue(target, "v", "stream=codec_name,profile,nb_frames"), "h264\nHigh\n25");
        EXPECT_TRUE(DecodesCleanly(target));
        EXPECT_NE(log.find(std::string("video encoder fallback: ") + hardware), std::string::npos) << log;
        EXPECT_NE(log.find("encoding with libx264 instead"), std::string::npos) << log;
    }

    const std::string failed = Out("no-fallback.mp4");
    std::string log;
    EXPECT_EQ(Convert(source, failed, "mp4", {{0, Video("h264_vaapi", 100), {}}}, &log), TaskFailed);
    EXPECT_NE(log.find("video encoder error: h264_vaapi"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(failed));
}

// Options an encoder does not know are named in a warning and change nothing else.
TEST_F(EncoderChoices, UnknownEncoderOptionsOnlyWarn) {
    const std::string target = Out("options.mkv");
    std::string log;
    ASSERT_EQ(Convert(PlainSource(), target, "matroska",
                      {{0, Video("libx264", 100, 0), {Text("encoder_options", "crf=30:no_such_knob=5:preset=ultrafast")}},
                       {1, AudioRecord("aac", 44100, 2, 128000), {Text("encoder_options", "made_up=1")}}},
                      &log),
              TaskFinished)
        << log;
    EXPECT_NE(log.find("libx264 does not take no_such_knob=5"), std::string::npos) << log;
    EXPECT_NE(log.find("aac does not take made_up=1"), std::string::npos) << log;
    EXPECT_EQ(log.find("crf=30;"), std::string::npos) << "known options are taken";
    EXPECT_NE(tagged::ReadBytes(target).find("crf=30.0"), std::string::npos);
    EXPECT_TRUE(DecodesCleanly(target));
}

}  // namespace
