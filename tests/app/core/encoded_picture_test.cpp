// What the engine is told for an encoded picture: its size and rate under the profile's maxima,
// the quality and speed options, ten bits, tone mapping and the hardware stand-in; and that
// every shipped profile still makes a task the engine can run.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>

#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "codec_tables.h"
#include "engine_test_support.h"
#include "hardware_encoders.h"
#include "output_setting.h"
#include "plan_inputs.h"
#include "plan_text.h"
#include "process_helpers.h"
#include "profile_catalogue.h"
#include "size_estimate.h"
#include "source_file.h"
#include "video_encoding.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

namespace {

QString TextOf(IMediaInfo* info, int stream, const char* name) {
    const PropertyBlob* blob = info->GetStreamInfo(static_cast<uint32_t>(stream))->GetProperty(name);
    if (blob == nullptr)
        return QStringLiteral("<absent>");
    EXPECT_GT(blob->size, 0u);
    EXPECT_EQ(static_cast<const char*>(blob->data)[blob->size - 1], '\0') << name << " ends in its NUL";
    return QString::fromUtf8(static_cast<const char*>(blob->data));
}

int IntOf(IMediaInfo* info, int stream, const char* name) {
    const PropertyBlob* blob = info->GetStreamInfo(static_cast<uint32_t>(stream))->GetProperty(name);
    if (blob == nullptr)
        return -1;
    EXPECT_EQ(blob->size, sizeof(int32_t)) << name;
    int32_t value = 0;
    std::memcpy(&value, blob->data, sizeof value);
    return value;
}

// What qWarning said while a test ran.
QStringList g_warnings;
std::mutex g_warningsLock;
void KeepWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg) {
        const std::lock_guard<std::mutex> lock(g_warningsLock);
        g_warnings.append(text);
    }
}

// The setting of the MP4 H.264 profile as the catalogue makes it: 640x360 at 25 fps, AAC.
OutputSetting Mp4Setting() {
    OutputSetting setting;
    setting.profileId = 1003;
    setting.extension = ".mp4";
    setting.videoCodec = "H264";
    setting.videoBitrate = "1500";
    setting.videoFrameRate = "25";
    setting.videoResolution = "640*360";
    setting.audioCodec = "AAC ";
    setting.audioBitrate = "128";
    setting.audioSampleRate = "44100";
    setting.audioChannels = "2";
    return setting;
}

class EncodedPicture : public ::testing::Test {
protected:
    void SetUp() override { manager_.reset(CreateMediaManager()); }

    std::unique_ptr<SourceFile> Probe(const std::string& path) {
        auto source = std::make_unique<SourceFile>(manager_.get());
        EXPECT_TRUE(source->probe(QString::fromStdString(path))) << path;
        return source;
    }

    // A short lavfi clip made for the test.
    std::string Make(const char* name, const std::string& arguments) {
        const std::string path = media_.filePath(name).toStdString();
        const CommandResult made = RunCommand("ffmpeg -nostdin -v error -y " + arguments + " " + ShellQuote(path));
        EXPECT_EQ(made.exitCode, 0) << made.output;
        return path;
    }

    Owned<IMediaInfo> Fill(const OutputSetting& setting, const SourceFile& source) {
        config_.reset(manager_->CreateTaskConfig());
        Owned<IMediaInfo> target(manager_->CreateMediaInfo());
        fillTaskConfiguration(config_.get(), target.get(), setting, source);
        return target;
    }

    QTemporaryDir media_;
    Owned<IMediaManager> manager_;
    Owned<IMediaTaskConfig> config_;
};

}  // namespace

TEST_F(EncodedPicture, TheProfilesSizeAndRateAreMaximaNotTargets) {
    OutputSetting setting = Mp4Setting();
    setting.audioCodec.clear();
    setting.videoResolution = "1280*720";
    setting.videoFrameRate = "30";
    // HDV: 1440x1080 stored, shown 16:9, at 60 fps.
    const std::string hdv = Make("hdv.mkv", "-f lavfi -i testsrc2=size=1440x1080:rate=60:duration=0.25 "
                                            "-vf setsar=4/3 -c:v libx264 -preset ultrafast");
    auto source = Probe(hdv);
    Owned<IMediaInfo> target = Fill(setting, *source);
    const StreamRecord* video = target->GetStreamRecord(0);
    EXPECT_EQ(video->width, 1280);
    EXPECT_EQ(video->height, 720);
    EXPECT_NEAR(video->displayAspect, 16.0 / 9.0, 1e-6);
    EXPECT_NEAR(double(video->frameTimeDen) / video->frameTimeNum, 30.0, 1e-9) << "60 halved";
    EXPECT_EQ(video->level, 31) << "the level follows the picture written";

    // The engine writes what it was told: a square-pixel 1280x720 picture at 30 fps.
    const std::string out = media_.filePath("hdv.mp4").toStdString();
    config_->SetTargetInfo(target.get());
    config_->SetSourcePath(hdv.c_str());
    config_->SetTargetPath(out.c_str());
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->AddTask(config_.get());
    converter->Start();
    for (int i = 0; i < 6000 && converter->GetUnfinishedTaskCount() > 0; ++i)
        QThread::msleep(10);
    ASSERT_EQ(converter->GetTask(0)->state.load(), TaskFinished);
    converter.reset();
    EXPECT_EQ(ProbeValue(out, "v:0", "stream=width,height"), "1280\n720");
    EXPECT_EQ(ProbeValue(out, "v:0", "stream=avg_frame_rate"), "30/1");
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;

    // A small NTSC-film picture stays as it is: not enlarged, not sped up.
    const std::string small = Make("small.mkv", "-f lavfi -i testsrc2=size=320x180:rate=24000/1001:duration=0.3 "
                                                "-c:v libx264 -preset ultrafast");
    source = Probe(small);
    target = Fill(setting, *source);
    video = target->GetStreamRecord(0);
    EXPECT_EQ(video->width, 320);
    EXPECT_EQ(video->height, 180);
    EXPECT_EQ(video->frameTimeNum, 1001);
    EXPECT_EQ(video->frameTimeDen, 24000);

    // A device's own limits bound it further; DVD keeps its exact size and rate.
    setting.profile.limits.maxWidth = 256;
    setting.profile.limits.maxHeight = 256;
    target = Fill(setting, *source);
    EXPECT_EQ(target->GetStreamRecord(0)->width, 256);
    EXPECT_EQ(target->GetStreamRecord(0)->height, 144);
    setting.profile.limits = {};
    setting.videoCodec = "mp2v";
    setting.extension = ".vob";
    setting.videoResolution = "720*480";
    setting.videoFrameRate = "29.97";
    target = Fill(setting, *source);
    EXPECT_EQ(target->GetStreamRecord(0)->width, 720);
    EXPECT_EQ(target->GetStreamRecord(0)->height, 480);
    EXPECT_EQ(target->GetStreamRecord(0)->frameTimeDen, 30000);
    // H.263 has five picture sizes: the profile's, exactly.
    setting.videoCodec = "H263";
    setting.extension = ".3gp";
    setting.videoResolution = "352*288";
    setting.videoFrameRate = "15";
    target = Fill(setting, *source);
    EXPECT_EQ(target->GetStreamRecord(0)->width, 352);
    EXPECT_EQ(target->GetStreamRecord(0)->height, 288);
    EXPECT_NEAR(double(target->GetStreamRecord(0)->frameTimeDen) / target->GetStreamRecord(0)->frameTimeNum, 15.0,
                1e-9);
}

TEST_F(EncodedPicture, QualityModeSendsTheEncodersOwnOptionsAndNoBitRate) {
    auto source = Probe(TestMedia("h264_aac.mkv"));
    OutputSetting setting = Mp4Setting();
    // Bit-rate mode without a speed: the record and properties of before, nothing added.
    Owned<IMediaInfo> target = Fill(setting, *source);
    EXPECT_EQ(target->GetStreamRecord(0)->bitRate, 1500000);
    for (const char* name : {"encoder_options", "fallback_encoder"})
        EXPECT_EQ(TextOf(target.get(), 0, name), "<absent>") << name;
    for (const char* name : {"bit_depth", "tone_map"})
        EXPECT_EQ(IntOf(target.get(), 0, name), -1) << name;
    EXPECT_EQ(TextOf(target.get(), 1, "encoder_options"), "<absent>");

    setting.videoCodec = "HEVC";
    setting.rateControl = "quality";
    setting.quality = 24;
    setting.speed = "slow";
    target = Fill(setting, *source);
    const StreamRecord* video = target->GetStreamRecord(0);
    EXPECT_STREQ(video->codecName, "libx265");
    EXPECT_EQ(video->bitRate, 0);
    EXPECT_EQ(TextOf(target.get(), 0, "encoder_options"), "crf=24:preset=slow");
    EXPECT_EQ(IntOf(target.get(), 0, "bit_depth"), -1) << "HEVC Main is 8-bit";

    setting.videoCodec = "VP9 ";
    setting.extension = ".webm";
    setting.quality = 80;
    setting.speed = "fastest";
    target = Fill(setting, *source);
    EXPECT_EQ(TextOf(target.get(), 0, "encoder_options"), "crf=63:b=0:deadline=good:cpu-used=5");
    EXPECT_EQ(IntOf(target.get(), 0, "bit_depth"), 10);

    // A device that plays eight bits gets eight.
    setting.profile.limits.maxWidth = 1920;
    setting.profile.limits.maxHeight = 1080;
    EXPECT_EQ(IntOf(Fill(setting, *source).get(), 0, "bit_depth"), -1);
    setting.profile.limits.maxBitDepth = 10;
    EXPECT_EQ(IntOf(Fill(setting, *source).get(), 0, "bit_depth"), 10);

    // MPEG-4 has no quality scale: its bit rate stays.
    setting = Mp4Setting();
    setting.videoCodec = "MP4V";
    setting.rateControl = "quality";
    setting.quality = 5;
    target = Fill(setting, *source);
    EXPECT_EQ(target->GetStreamRecord(0)->bitRate, 1500000);
    EXPECT_EQ(TextOf(target.get(), 0, "encoder_options"), "<absent>");

    // MP3 VBR: LAME's V0 scale, no bit rate.
    setting = Mp4Setting();
    setting.audioCodec = "MP3V";
    target = Fill(setting, *source);
    EXPECT_STREQ(target->GetStreamRecord(1)->codecName, "mp3");
    EXPECT_EQ(target->GetStreamRecord(1)->bitRate, 0);
    EXPECT_EQ(TextOf(target.get(), 1, "encoder_options"), "flags=+qscale:global_quality=0");
}

TEST_F(EncodedPicture, HdrPicturesAreToneMappedForSdrTargetsOnly) {
    auto source = Probe(TestMedia("h264_aac.mkv"));
    // What the importer would say of a PQ picture.
    const char pq[] = "smpte2084";
    const PropertyBlob blob{const_cast<char*>(pq), sizeof pq};
    source->mediaInfo()->GetStreamInfo(static_cast<uint32_t>(source->videoStream()))->SetProperty("color_transfer", &blob);

    OutputSetting setting = Mp4Setting();
    Owned<IMediaInfo> target = Fill(setting, *source);
    EXPECT_EQ(IntOf(target.get(), 0, "tone_map"), engineCanToneMap() ? 1 : -1) << "H.264 is 8-bit SDR";
    setting.videoCodec = "HV10";
    target = Fill(setting, *source);
    EXPECT_EQ(IntOf(target.get(), 0, "tone_map"), -1) << "HEVC Main 10 keeps HDR";
    EXPECT_EQ(IntOf(target.get(), 0, "bit_depth"), 10);
    setting.profile.limits.maxBitDepth = 10;  // a ten-bit device without an HDR screen
    target = Fill(setting, *source);
    EXPECT_EQ(IntOf(target.get(), 0, "tone_map"), engineCanToneMap() ? 1 : -1);
    EXPECT_EQ(IntOf(target.get(), 0, "bit_depth"), 10);
    setting.profile.limits.hdr = true;
    EXPECT_EQ(IntOf(Fill(setting, *source).get(), 0, "tone_map"), -1);
}

TEST_F(EncodedPicture, HardwareRowsFallBackToSoftwareWithTheReason) {
    auto source = Probe(TestMedia("h264_aac.mkv"));
    OutputSetting setting = Mp4Setting();
    setting.videoCodec = "HWH4";
    setting.rateControl = "quality";
    setting.quality = 23;
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(KeepWarnings);
    Owned<IMediaInfo> target = Fill(setting, *source);
    qInstallMessageHandler(previous);
    const StreamRecord* video = target->GetStreamRecord(0);
    if (hardwareEncoders().h264Encoder.isEmpty()) {
        EXPECT_STREQ(video->codecName, "libx264");
        EXPECT_EQ(TextOf(target.get(), 0, "fallback_encoder"), "<absent>");
        EXPECT_EQ(TextOf(target.get(), 0, "encoder_options"), "crf=23");
        ASSERT_EQ(g_warnings.size(), 1);
        EXPECT_TRUE(g_warnings[0].startsWith("no hardware H.264 encoder on this machine: ")) << g_warnings[0].toStdString();
    } else {
        EXPECT_EQ(QString::fromLatin1(video->codecName), hardwareEncoders().h264Encoder);
        EXPECT_EQ(TextOf(target.get(), 0, "fallback_encoder"), "libx264");
        EXPECT_TRUE(g_warnings.isEmpty());
    }
    EXPECT_EQ(video->profile, 100);
    EXPECT_GT(video->level, 0);
}

TEST_F(EncodedPicture, EveryShippedProfileStillMakesATaskOfKnownEncoders) {
    ProfileCatalogue catalogue;
    ASSERT_TRUE(catalogue.loadDocuments(CORVANE_PROFILE_SOURCE "/profilelist.xml", CORVANE_PROFILE_SOURCE "/format.xml"))
        << catalogue.loadError().toStdString();
    auto source = Probe(TestMedia("h264_aac.mkv"));
    const QtMessageHandler previous = qInstallMessageHandler(KeepWarnings);
    int filled = 0;
    for (int i = 0; i < catalogue.entryCount(); ++i) {
        const ProfileEntry* entry = catalogue.entry(i);
        if (entry->linked && !entry->linkResolved)
            continue;
        SCOPED_TRACE(entry->profileId);
        OutputSetting setting;
        applyProfileDefaults(*entry, setting);
        Owned<IMediaInfo> target = Fill(setting, *source);
        EXPECT_GT(target->GetStreamCount(), 0);
        for (int s = 0; s < target->GetStreamCount(); ++s) {
            const StreamRecord* record = target->GetStreamRecord(s);
            ASSERT_NE(record->codecName, nullptr);
            const char* name = record->codecName;
            EXPECT_STRNE(name, "");
            EXPECT_STRNE(name, "ERROR");
            const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name);
            EXPECT_TRUE(avcodec_find_encoder_by_name(name) != nullptr ||
                        (descriptor != nullptr && avcodec_find_encoder(descriptor->id) != nullptr) ||
                        (record->encode == 0))
                << name;
            if (record->kind == StreamKindVideo && record->encode) {
                EXPECT_GT(record->width, 0);
                EXPECT_EQ(record->width % 2, 0);
                EXPECT_GT(record->frameTimeNum, 0);
                EXPECT_GT(record->frameTimeDen, 0);
            }
        }
        ++filled;
    }
    qInstallMessageHandler(previous);
    EXPECT_GT(filled, 40);
}

TEST_F(EncodedPicture, AConstantQualityHasNoSizeToEstimateBeforehand) {
    auto source = Probe(TestMedia("h264_aac.mkv"));
    OutputSetting setting = Mp4Setting();
    setting.copyStreams = false;
    const qint64 rated = plannedOutputBytes(planFor(*source, setting), *source, setting);
    EXPECT_NEAR(double(rated), source->duration() * (1500 + 128) * 1000 / 8.0, 1.0);
    setting.rateControl = "quality";
    setting.quality = 23;
    EXPECT_EQ(plannedOutputBytes(planFor(*source, setting), *source, setting), kSizeUnknown);
    EXPECT_EQ(formatSize(kSizeUnknown), "size depends on the picture");
    // A copied picture still has its source's rate, whatever the encode would do.
    setting.copyStreams = true;
    setting.videoResolution = "1920*1080";
    const TaskPlan copied = planFor(*source, setting);
    ASSERT_EQ(copied.streams[0].action, PlanAction::Copy) << copied.streams[0].reason.toStdString();
    EXPECT_GT(plannedOutputBytes(copied, *source, setting), 0);
}

// A real PQ/BT.2020 HEVC Main 10 file, read by the importer, through shipped profiles: the HEVC
// 10-bit profile keeps its HDR; a phone profile without HDR tone-maps it, and says so in its plan.
TEST_F(EncodedPicture, ARealHdrFileKeepsItsHdrInHevcAndIsToneMappedForAnSdrPhone) {
    const std::string hdr = Make(
        "hdr.mkv",
        "-f lavfi -i testsrc2=size=320x240:rate=25:duration=0.4 -pix_fmt yuv420p10le -c:v libx265 "
        "-preset ultrafast -x265-params 'log-level=error:colorprim=bt2020:transfer=smpte2084:"
        "colormatrix=bt2020nc:master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)"
        "L(10000000,1):max-cll=1000,400'");
    auto source = Probe(hdr);
    ProfileCatalogue catalogue;
    ASSERT_TRUE(catalogue.loadDocuments(CORVANE_PROFILE_SOURCE "/profilelist.xml", CORVANE_PROFILE_SOURCE "/format.xml"))
        << catalogue.loadError().toStdString();
    const auto settingOf = [&](int id) {
        OutputSetting setting;
        const ProfileEntry* entry = catalogue.entryById(id);
        EXPECT_NE(entry, nullptr) << id;
        if (entry != nullptr)
            applyProfileDefaults(*entry, setting);
        return setting;
    };
    const auto convert = [&](const OutputSetting& setting, const char* name) {
        Owned<IMediaInfo> target = Fill(setting, *source);
        const std::string out = media_.filePath(name).toStdString();
        config_->SetTargetInfo(target.get());
        config_->SetSourcePath(hdr.c_str());
        config_->SetTargetPath(out.c_str());
        Owned<IMediaConverter> converter(manager_->CreateConverter());
        converter->AddTask(config_.get());
        converter->Start();
        for (int i = 0; i < 12000 && converter->GetUnfinishedTaskCount() > 0; ++i)
            QThread::msleep(10);
        EXPECT_EQ(converter->GetTask(0)->state.load(), TaskFinished) << converter->GetTaskLog(0);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
        return out;
    };

    OutputSetting keeping = settingOf(1011);  // MKV HEVC 10-bit
    keeping.copyStreams = false;               // encoded, so the encoder has to carry the HDR
    const std::string kept = convert(keeping, "kept.mkv");
    EXPECT_EQ(ProbeValue(kept, "v:0", "stream=codec_name,pix_fmt,color_transfer,color_primaries"),
              "hevc\nyuv420p10le\nsmpte2084\nbt2020");

    const OutputSetting phone = settingOf(1207);  // Android phone, H.264 High, no HDR
    const TaskPlan plan = planFor(*source, phone);
    const QString text = planSummary(plan);
    if (engineCanToneMap()) {
        EXPECT_TRUE(text.contains("HDR → SDR (tone-mapped)")) << text.toStdString();
        const std::string mapped = convert(phone, "phone.mp4");
        EXPECT_EQ(ProbeValue(mapped, "v:0", "stream=codec_name,pix_fmt,color_transfer"), "h264\nyuv420p\nbt709");
    } else {
        EXPECT_TRUE(text.contains("washed out")) << text.toStdString();
    }
}
