// Every profile of the shipped catalogue converts a short H.264 + AAC file into what the
// profile promises: container, codecs, size, frame rate, sample rate and channels.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QResource>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <map>

#include "codec_tables.h"
#include "conversion_run.h"
#include "engine_test_support.h"
#include "output_setting.h"
#include "process_helpers.h"
#include "profile_catalogue.h"
#include "source_file.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

namespace {

const ProfileCatalogue& ShippedCatalogue() {
    static ProfileCatalogue catalogue;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        QResource::registerResource(QStringLiteral(CORVANE_SHIPPED_PROFILE "/profile.res"));
        catalogue.loadDocuments(":/profile/profilelist.xml", ":/profile/format.xml");
    }
    return catalogue;
}

// The sanitizer builds convert every fourth profile: the full set runs in the plain build,
// and the engine paths it adds under the sanitizers are the same for most profiles.
std::vector<int> ShippedProfileIds() {
#ifdef CORVANE_SANITIZED
    constexpr int kStride = 4;
#else
    constexpr int kStride = 1;
#endif
    std::vector<int> ids;
    const ProfileCatalogue& catalogue = ShippedCatalogue();
    for (int i = 0; i < catalogue.entryCount(); i += kStride)
        ids.push_back(catalogue.entry(i)->profileId);
    return ids;
}

// What ffprobe calls the output of each muxer and encoder.
std::string ProbedFormat(const QString& muxer) {
    static const std::map<QString, std::string> names = {
        {"mp4", "mov,mp4,m4a,3gp,3g2,mj2"}, {"ipod", "mov,mp4,m4a,3gp,3g2,mj2"},
        {"3gp", "mov,mp4,m4a,3gp,3g2,mj2"}, {"3g2", "mov,mp4,m4a,3gp,3g2,mj2"},
        {"mov", "mov,mp4,m4a,3gp,3g2,mj2"}, {"f4v", "mov,mp4,m4a,3gp,3g2,mj2"},
        {"matroska", "matroska,webm"},       {"webm", "matroska,webm"},
        {"asf", "asf"},                      {"avi", "avi"},
        {"flv", "flv"},                      {"vob", "mpeg"},
        {"mp3", "mp3"},                      {"adts", "aac"},
        {"ac3", "ac3"},                      {"flac", "flac"},
        {"wav", "wav"},                      {"ogg", "ogg"},
        {"aiff", "aiff"}};
    const auto found = names.find(muxer);
    return found == names.end() ? muxer.toStdString() : found->second;
}

std::string ProbedCodec(const QString& encoder) {
    static const std::map<QString, std::string> names = {
        {"libxvid", "mpeg4"}, {"libvorbis", "vorbis"}, {"flv1", "flv1"}, {"amr_nb", "amr_nb"}};
    const auto found = names.find(encoder);
    return found == names.end() ? encoder.toStdString() : found->second;
}

double FramesPerSecond(const std::string& fraction) {
    const size_t slash = fraction.find('/');
    if (slash == std::string::npos)
        return std::atof(fraction.c_str());
    const double den = std::atof(fraction.c_str() + slash + 1);
    return den != 0 ? std::atof(fraction.substr(0, slash).c_str()) / den : 0;
}

class ShippedProfileTest : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(ShippedProfileTest, ConvertsToWhatTheProfilePromises) {
    const ProfileEntry* entry = ShippedCatalogue().entryById(GetParam());
    ASSERT_NE(entry, nullptr);
    OutputSetting setting;
    applyProfileDefaults(*entry, setting);
    SCOPED_TRACE(setting.name.toStdString());

    Owned<IMediaManager> manager(CreateMediaManager());
    SourceList sources(manager.get());
    ASSERT_EQ(sources.add(QString::fromStdString(TestMedia("h264_aac.mkv"))), 0);
    QTemporaryDir output;
    ConversionRun run(manager.get());
    ASSERT_TRUE(run.start(sources, setting, output.path(), 1));
    QElapsedTimer clock;
    clock.start();
    while (run.unfinishedCount() > 0) {
        ASSERT_LT(clock.elapsed(), 240000) << "conversion did not end";
        QThread::msleep(20);
    }
    ASSERT_EQ(run.task(0)->state.load(), TaskFinished);
    const std::string target = run.targetPath(0).toStdString();
    run.finish();

    std::string errors;
    EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
    EXPECT_EQ(ProbeValue(target, "", "format=format_name"), ProbedFormat(muxerForExtension(setting.extension)));

    if (!setting.videoCodec.isEmpty()) {
        EXPECT_EQ(ProbeValue(target, "v:0", "stream=codec_name"), ProbedCodec(codecInfo(setting.videoCodec).encoder));
        const QStringList size = setting.videoResolution.split('*');
        if (size.size() == 2) {
            EXPECT_EQ(ProbeValue(target, "v:0", "stream=width"), size[0].toStdString());
            EXPECT_EQ(ProbeValue(target, "v:0", "stream=height"), size[1].toStdString());
        } else {
            EXPECT_EQ(ProbeValue(target, "v:0", "stream=width,height"), "640\n360");
        }
        const double fps = setting.videoFrameRate.toDouble() > 0 ? setting.videoFrameRate.toDouble() : 25.0;
        const double probed = FramesPerSecond(ProbeValue(target, "v:0", "stream=avg_frame_rate"));
        const double nominal = FramesPerSecond(ProbeValue(target, "v:0", "stream=r_frame_rate"));
        EXPECT_TRUE(std::fabs(probed - fps) < 0.05 || std::fabs(nominal - fps) < 0.05)
            << "avg " << probed << ", r " << nominal << ", expected " << fps;
    } else {
        EXPECT_EQ(ProbeValue(target, "v", "stream=codec_name"), "");
    }

    if (!setting.audioCodec.isEmpty()) {
        EXPECT_EQ(ProbeValue(target, "a:0", "stream=codec_name"), ProbedCodec(codecInfo(setting.audioCodec).encoder));
        EXPECT_EQ(ProbeValue(target, "a:0", "stream=sample_rate"), setting.audioSampleRate.toStdString());
        EXPECT_EQ(ProbeValue(target, "a:0", "stream=channels"), setting.audioChannels.toStdString());
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ShippedProfileTest, ::testing::ValuesIn(ShippedProfileIds()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Profile" + std::to_string(info.param);
                         });
