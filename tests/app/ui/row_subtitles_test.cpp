// A row's choice of subtitles: which tracks the output keeps and which one is drawn into the
// picture. The choice shows in the row's plan at once and is what the run's task asks of the
// engine.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "QTaskWidget.h"
#include "conversion_run.h"
#include "engine_test_support.h"
#include "output_setting.h"
#include "plan_inputs.h"
#include "process_helpers.h"
#include "source_file.h"
#include "subtitle_chooser.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
using namespace subtitle_chooser;

namespace {

// Streams of the generated film: 0 video, 1 audio, 2 English SRT (forced), 3 German SRT,
// 4 PGS pictures.
constexpr int kEnglish = 2;
constexpr int kGerman = 3;
constexpr int kPictures = 4;

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int value : values)
        bytes.append(static_cast<char>(value));
    return bytes;
}

// One segment of a Blu-ray subtitle stream (.sup).
QByteArray PgsSegment(int type, const QByteArray& data, quint32 pts) {
    QByteArray segment("PG");
    for (int shift = 24; shift >= 0; shift -= 8)
        segment.append(static_cast<char>(pts >> shift));
    segment.append(4, '\0');  // decoding time
    segment.append(static_cast<char>(type));
    segment.append(static_cast<char>(data.size() >> 8));
    segment.append(static_cast<char>(data.size() & 0xff));
    return segment + data;
}

// A 4x1 picture shown from 0.2 s to 0.8 s on a 320x180 screen: FFmpeg makes no picture
// subtitles of its own.
QByteArray PgsSubtitles() {
    const QByteArray window = Bytes({1, 0, 0, 0x10, 0, 0x10, 0, 4, 0, 1});
    QByteArray sup;
    sup += PgsSegment(0x16, Bytes({0x01, 0x40, 0, 0xb4, 0x10, 0, 0, 0x80, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x10}), 18000);
    sup += PgsSegment(0x17, window, 18000);
    sup += PgsSegment(0x14, Bytes({0, 0, 1, 0xeb, 0x80, 0x80, 0xff}), 18000);
    sup += PgsSegment(0x15, Bytes({0, 0, 0, 0xc0, 0, 0, 10, 0, 4, 0, 1, 1, 1, 1, 1, 0, 0}), 18000);
    sup += PgsSegment(0x80, {}, 18000);
    sup += PgsSegment(0x16, Bytes({0x01, 0x40, 0, 0xb4, 0x10, 0, 1, 0, 0, 0, 0}), 72000);
    sup += PgsSegment(0x17, window, 72000);
    sup += PgsSegment(0x80, {}, 72000);
    return sup;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// H.264 320x180 at 25 fps with AAC in Matroska: what the source holds, so both are copied until
// something is burned into the picture.
OutputSetting CopyingMatroska() {
    OutputSetting setting;
    setting.profileId = 1;
    setting.extension = ".mkv";
    setting.videoCodec = "H264";
    setting.videoBitrate = "300";
    setting.videoFrameRate = "25";
    setting.videoResolution = "320*180";
    setting.audioCodec = "MAAC";
    setting.audioBitrate = "96";
    setting.audioSampleRate = "48000";
    setting.audioChannels = "2";
    setting.copyStreams = true;
    return setting;
}

class RowSubtitlesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        media_ = new QTemporaryDir;
        const QString dir = media_->path();
        ASSERT_TRUE(WriteFile(dir + "/en.srt", "1\n00:00:00,100 --> 00:00:00,900\nHello\n"));
        ASSERT_TRUE(WriteFile(dir + "/de.srt", "1\n00:00:00,100 --> 00:00:00,900\nHallo\n"));
        ASSERT_TRUE(WriteFile(dir + "/pictures.sup", PgsSubtitles()));
        const std::string film = (dir + "/film.mkv").toStdString();
        const CommandResult made = RunCommand(
            "cd " + ShellQuote(dir.toStdString()) +
            " && ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x180:rate=25:duration=1"
            " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -i en.srt -i de.srt -i pictures.sup"
            " -map 0 -map 1 -map 2 -map 3 -map 4 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
            " -c:a aac -ac 2 -c:s:0 srt -c:s:1 srt -c:s:2 copy"
            " -metadata:s:s:0 language=eng -metadata:s:s:1 language=ger -disposition:s:0 forced"
            " -disposition:s:1 0 " + ShellQuote(film));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        ASSERT_EQ(ProbeValue(film, "s", "stream=codec_name"), "subrip\nsubrip\nhdmv_pgs_subtitle");
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }

    void SetUp() override {
        manager_.reset(CreateMediaManager());
        ASSERT_NE(manager_, nullptr);
    }

    // A row over a file read at once, shown with the setting.
    std::unique_ptr<QTaskWidget> Row(const QString& path, const OutputSetting& setting) {
        auto source = std::make_unique<SourceFile>(manager_.get());
        source->setWantsThumbnail(false);
        EXPECT_TRUE(source->probe(path)) << path.toStdString();
        EXPECT_TRUE(source->isReady());
        auto row = std::make_unique<QTaskWidget>(source.get());
        sources_.push_back(std::move(source));
        row->setTargetInfo(setting);
        row->resize(700, 96);
        row->show();
        return row;
    }

    static QString Film() { return media_->path() + "/film.mkv"; }
    static QComboBox* Chooser(QTaskWidget& row) { return row.findChild<QComboBox*>("cbxSubtitles"); }
    static QString PlanLine(QTaskWidget& row) { return row.findChild<QLabel*>("lblPlan")->text(); }
    static QString Estimate(QTaskWidget& row) { return row.findChild<QLabel*>("lblOutInfo")->text(); }


    // The task the run makes of the row's file: target streams with their burned subtitle.
    struct BuiltTask {
        QStringList kinds;  // "video", "audio", "subtitle" in target order
        int burned = -1;    // the video stream's burn_subtitles, -1 without one
        QList<int> subtitleSources;
    };
    BuiltTask TaskOf(QTaskWidget& row, const OutputSetting& setting) {
        BuiltTask built;
        ConversionRun run(manager_.get());
        const QString out = media_->path() + "/out";
        QDir().mkpath(out);
        EXPECT_TRUE(run.prepare(setting, out, 1));
        EXPECT_EQ(run.append(*row.source(), 0), 0);
        const ConvertTask* task = run.task(0);
        IMediaInfo* target = task && task->config ? task->config->GetTargetInfo() : nullptr;
        EXPECT_NE(target, nullptr);
        for (int i = 0; target && i < target->GetStreamCount(); ++i) {
            const StreamRecord* record = target->GetStreamRecord(i);
            built.kinds << (record->kind == StreamKindVideo ? "video" : record->kind == StreamKindAudio ? "audio" : "subtitle");
            if (const PropertyBlob* burn = target->GetStreamInfo(i)->GetProperty("burn_subtitles")) {
                EXPECT_EQ(burn->size, sizeof(int32_t));
                built.burned = *static_cast<const int32_t*>(burn->data);
            }
        }
        for (int i = 0; i < task->config->GetStreamSelectionCount(); ++i) {
            const StreamSelection* selection = task->config->GetStreamSelection(i);
            if (selection->streamIndex >= kEnglish)
                built.subtitleSources << selection->streamIndex;
        }
        run.stop();
        return built;
    }

    static QTemporaryDir* media_;
    Owned<IMediaManager> manager_;
    std::vector<std::unique_ptr<SourceFile>> sources_;
};

QTemporaryDir* RowSubtitlesTest::media_ = nullptr;

TEST_F(RowSubtitlesTest, ARowWithoutSubtitlesHasNoSubtitleChooser) {
    auto row = Row(QString::fromStdString(TestMedia("h264_aac.mkv")), CopyingMatroska());
    EXPECT_TRUE(Chooser(*row)->isHidden());
    EXPECT_TRUE(row->findChild<QLabel*>("lblSubtitles")->isHidden());
    EXPECT_TRUE(row->burnableSubtitles().isEmpty());
    EXPECT_FALSE(row->chooseBurnedSubtitle(1)) << "the audio track is no subtitle";
    EXPECT_EQ(row->source()->planChoices().burn, -1);

    // A file being read shows none until its tracks are known.
    SourceFile reading(manager_.get());
    reading.expectNative(QFile::encodeName(Film()));
    QTaskWidget waiting(&reading);
    EXPECT_TRUE(Chooser(waiting)->isHidden());

    auto film = Row(Film(), CopyingMatroska());
    EXPECT_FALSE(Chooser(*film)->isHidden());
}

TEST_F(RowSubtitlesTest, TheChooserOffersWhatThePlanCanBurn) {
    const OutputSetting setting = CopyingMatroska();
    auto row = Row(Film(), setting);
    QComboBox* chooser = Chooser(*row);
    QStringList expected = {"All subtitles", "No subtitles", "1: English, forced — SRT", "2: German — SRT",
                            "3: PGS", "Burn into picture:", "None", "1: English, forced — SRT", "2: German — SRT"};
    // Picture subtitles are offered where the engine draws them.
    const bool pictures = planTargetFor(setting).burnsPictureSubtitles;
    if (pictures)
        expected << "3: PGS";
    EXPECT_EQ(Entries(chooser), expected);
    EXPECT_EQ(row->burnableSubtitles(), pictures ? QList<int>({kEnglish, kGerman, kPictures}) : QList<int>({kEnglish, kGerman}));
    EXPECT_EQ(Shown(chooser), "All subtitles");
    EXPECT_TRUE(TickedAt(chooser, BurnEntry(chooser, "None")));
    EXPECT_EQ(row->chooseBurnedSubtitle(kPictures), pictures);
    EXPECT_EQ(row->source()->planChoices().burn, pictures ? kPictures : -1);

    // A profile that keeps only the sound burns nothing and offers nothing to burn.
    OutputSetting sound = setting;
    sound.videoCodec.clear();
    row->setTargetInfo(sound);
    EXPECT_TRUE(row->burnableSubtitles().isEmpty());
    EXPECT_FALSE(Entries(chooser).contains("Burn into picture:"));
    EXPECT_FALSE(chooser->isHidden()) << "the tracks kept are still a choice";
}

TEST_F(RowSubtitlesTest, BurningATrackChangesThePlanAndTheTask) {
    const OutputSetting setting = CopyingMatroska();
    auto row = Row(Film(), setting);
    QComboBox* chooser = Chooser(*row);
    const QString copying = PlanLine(*row);
    const QString copyEstimate = Estimate(*row);
    ASSERT_TRUE(copying.startsWith("Video H.264")) << copying.toStdString();
    ASSERT_TRUE(copying.section(" · ", 0, 0).endsWith("→ copy")) << copying.toStdString();
    const BuiltTask plain = TaskOf(*row, setting);
    EXPECT_EQ(plain.burned, -1);
    EXPECT_EQ(plain.kinds, QStringList({"video", "audio", "subtitle", "subtitle", "subtitle"}));

    ClickEntry(chooser, BurnEntry(chooser, "2: German — SRT"));
    EXPECT_EQ(row->source()->planChoices().burn, kGerman);
    const QString burning = PlanLine(*row);
    EXPECT_TRUE(burning.section(" · ", 0, 0).endsWith("→ H.264")) << burning.toStdString();
    EXPECT_TRUE(burning.contains("ger SRT → burned in")) << burning.toStdString();
    EXPECT_NE(Estimate(*row), copyEstimate) << "the picture is now encoded at the setting's rate";
    EXPECT_EQ(Shown(chooser), "2 burned in, the rest kept");
    EXPECT_TRUE(TickedAt(chooser, BurnEntry(chooser, "2: German — SRT")));
    // Burned, it is not kept beside the picture: its keep entry cannot be ticked meanwhile.
    const int keepGerman = chooser->findText("2: German — SRT (burned in)");
    ASSERT_EQ(keepGerman, 3);
    EXPECT_FALSE(TickedAt(chooser, keepGerman));
    EXPECT_FALSE(chooser->model()->flags(chooser->model()->index(keepGerman, 0)) & Qt::ItemIsEnabled);
    row->toggleSubtitleStream(kGerman);
    EXPECT_EQ(row->source()->planChoices().subtitles, PlanChoices::Subtitles::All);

    const BuiltTask burned = TaskOf(*row, setting);
    EXPECT_EQ(burned.burned, kGerman);
    EXPECT_EQ(burned.kinds, QStringList({"video", "audio", "subtitle", "subtitle"}));
    EXPECT_FALSE(burned.subtitleSources.contains(kGerman));

    // "None" takes it back out of the plan and the task.
    ClickEntry(chooser, BurnEntry(chooser, "None"));
    EXPECT_EQ(row->source()->planChoices().burn, -1);
    EXPECT_EQ(PlanLine(*row), copying);
    EXPECT_EQ(Estimate(*row), copyEstimate);
    EXPECT_EQ(TaskOf(*row, setting).burned, -1);
    EXPECT_EQ(Shown(chooser), "All subtitles");
}

TEST_F(RowSubtitlesTest, TheOutputHasTheTrackDrawnInAndTheOthersKept) {
    const OutputSetting setting = CopyingMatroska();
    auto row = Row(Film(), setting);
    ASSERT_TRUE(row->chooseBurnedSubtitle(kEnglish));
    row->toggleSubtitleStream(kPictures);  // the German track alone beside the picture

    ConversionRun run(manager_.get());
    const QString out = media_->path() + "/drawn";
    ASSERT_TRUE(QDir().mkpath(out));
    ASSERT_TRUE(run.prepare(setting, out, 1));
    ASSERT_EQ(run.append(*row->source(), 0), 0);
    run.launch();
    for (int waited = 0; run.unfinishedCount() > 0 && waited < 600; ++waited)
        run.waitForChange(100);
    ASSERT_EQ(run.task(0)->state.load(), TaskFinished) << run.taskLog(0).toStdString();
    const std::string output = run.targetPath(0).toStdString();
    EXPECT_EQ(ProbeValue(output, "s", "stream=codec_name"), "subrip");
    EXPECT_EQ(ProbeValue(output, "s", "stream_tags=language"), "ger");
    EXPECT_EQ(ProbeValue(output, "v", "stream=codec_name"), "h264");
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(output, &errors)) << errors;
    run.finish();
}

TEST_F(RowSubtitlesTest, TracksAreTickedOnAndOffAndNoneKeepsNoSubtitles) {
    const OutputSetting setting = CopyingMatroska();
    auto row = Row(Film(), setting);
    QComboBox* chooser = Chooser(*row);

    ClickEntry(chooser, chooser->findText("1: English, forced — SRT"));
    EXPECT_EQ(row->source()->planChoices().subtitles, PlanChoices::Subtitles::Chosen);
    EXPECT_EQ(row->source()->planChoices().chosenSubtitles, QList<int>({kGerman, kPictures}));
    EXPECT_EQ(Shown(chooser), "2 of 3 subtitles");
    EXPECT_FALSE(PlanLine(*row).contains("eng SRT")) << PlanLine(*row).toStdString();
    EXPECT_EQ(TaskOf(*row, setting).subtitleSources, QList<int>({kGerman, kPictures}));

    ClickEntry(chooser, chooser->findText("No subtitles"));
    EXPECT_EQ(row->source()->planChoices().subtitles, PlanChoices::Subtitles::None);
    EXPECT_EQ(Shown(chooser), "No subtitles");
    EXPECT_FALSE(PlanLine(*row).contains("Subtitles")) << PlanLine(*row).toStdString();
    EXPECT_TRUE(TaskOf(*row, setting).subtitleSources.isEmpty());

    // Burning one with none kept: the track is drawn in and nothing else is written.
    ASSERT_TRUE(row->chooseBurnedSubtitle(kEnglish));
    EXPECT_EQ(Shown(chooser), "1 burned in, none kept");
    const BuiltTask burned = TaskOf(*row, setting);
    EXPECT_EQ(burned.burned, kEnglish);
    EXPECT_EQ(burned.kinds, QStringList({"video", "audio"}));

    // Ticking every track by hand is every track again.
    for (int stream : {kEnglish, kGerman, kPictures})
        row->toggleSubtitleStream(stream);
    EXPECT_EQ(row->source()->planChoices().subtitles, PlanChoices::Subtitles::Chosen)
        << "the burned track's entry is no choice";
    ASSERT_TRUE(row->chooseBurnedSubtitle(-1));
    row->toggleSubtitleStream(kEnglish);
    EXPECT_EQ(row->source()->planChoices().subtitles, PlanChoices::Subtitles::All);
    EXPECT_TRUE(row->source()->planChoices().chosenSubtitles.isEmpty());
    EXPECT_EQ(Shown(chooser), "All subtitles");
}

TEST_F(RowSubtitlesTest, AProfileThatBurnsForcedSubtitlesShowsItsTrackAsTheDefault) {
    OutputSetting setting = CopyingMatroska();
    setting.burnForcedSubtitles = true;
    auto row = Row(Film(), setting);
    QComboBox* chooser = Chooser(*row);
    const int byProfile = BurnEntry(chooser, "Forced track: 1: English, forced — SRT");
    ASSERT_GE(byProfile, 0) << Entries(chooser).join(" | ").toStdString();
    EXPECT_TRUE(TickedAt(chooser, byProfile));
    EXPECT_EQ(Shown(chooser), "1 burned in, the rest kept");
    EXPECT_TRUE(PlanLine(*row).contains("eng SRT → burned in")) << PlanLine(*row).toStdString();
    EXPECT_EQ(TaskOf(*row, setting).burned, kEnglish);

    // The user's track instead of the profile's.
    ClickEntry(chooser, BurnEntry(chooser, "2: German — SRT"));
    EXPECT_EQ(TaskOf(*row, setting).burned, kGerman);
    EXPECT_TRUE(PlanLine(*row).contains("eng SRT → copy")) << PlanLine(*row).toStdString();
    ClickEntry(chooser, byProfile);
    EXPECT_EQ(row->source()->planChoices().burn, -1);
    EXPECT_EQ(TaskOf(*row, setting).burned, kEnglish);

    // Nothing burned, though the profile would: the forced track is kept beside the picture.
    const int nothing = BurnEntry(chooser, "None");
    ASSERT_GT(nothing, byProfile) << Entries(chooser).join(" | ").toStdString();
    ClickEntry(chooser, nothing);
    EXPECT_EQ(row->source()->planChoices().burn, PlanChoices::kBurnNothing);
    EXPECT_TRUE(TickedAt(chooser, nothing));
    EXPECT_FALSE(TickedAt(chooser, byProfile));
    EXPECT_EQ(TaskOf(*row, setting).burned, -1);
    EXPECT_TRUE(PlanLine(*row).contains("eng SRT → copy")) << PlanLine(*row).toStdString();
}

TEST_F(RowSubtitlesTest, TheChooserIsLockedWhileTheRowConverts) {
    auto row = Row(Film(), CopyingMatroska());
    QComboBox* chooser = Chooser(*row);
    EXPECT_TRUE(chooser->isEnabled());
    row->setRunMode(true);
    EXPECT_FALSE(chooser->isEnabled());
    EXPECT_FALSE(row->findChild<QComboBox*>("cbxAudioIndex")->isEnabled());
    row->setRunMode(false);
    EXPECT_TRUE(chooser->isEnabled());
}

TEST_F(RowSubtitlesTest, AChoiceMadeBeforeTheFileIsReadHoldsOnceItIs) {
    // As a restored list hands it over: tracks of the file, and one it does not have.
    SourceFile reading(manager_.get());
    reading.expectNative(QFile::encodeName(Film()));
    QTaskWidget row(&reading);
    row.setTargetInfo(CopyingMatroska());
    row.chooseSubtitles(PlanChoices::Subtitles::Chosen, {kPictures, 9});
    ASSERT_TRUE(row.chooseBurnedSubtitle(kGerman));

    SourceFile probed(manager_.get());
    probed.setWantsThumbnail(false);
    ASSERT_TRUE(probed.probe(Film()));
    reading.takeProbeOf(probed);
    row.showSource();
    EXPECT_EQ(reading.planChoices().chosenSubtitles, QList<int>{kPictures});
    EXPECT_EQ(reading.planChoices().burn, kGerman);
    EXPECT_EQ(Shown(Chooser(row)), "2 burned in, 1 of 2 kept");
    EXPECT_TRUE(row.findChild<QLabel*>("lblPlan")->text().contains("ger SRT → burned in"));

    // A stream that is no subtitle is not burned.
    SourceFile other(manager_.get());
    other.expectNative(QFile::encodeName(Film()));
    QTaskWidget second(&other);
    second.setTargetInfo(CopyingMatroska());
    second.chooseBurnedSubtitle(1);
    SourceFile again(manager_.get());
    again.setWantsThumbnail(false);
    ASSERT_TRUE(again.probe(Film()));
    other.takeProbeOf(again);
    second.showSource();
    EXPECT_EQ(other.planChoices().burn, -1);
}

}  // namespace
