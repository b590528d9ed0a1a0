// Every file of the shared corpus either decodes to its end or is refused cleanly, with the
// reason logged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "import_test_support.h"
#include "object/media_manager.h"

using namespace MediaBased;
namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = CORVANE_CORPUS_DIR;
constexpr auto kTimePerFile = std::chrono::seconds(150);

struct CorpusEntry {
    fs::path path;
};

// Names the file relative to the corpus in test listings.
void PrintTo(const CorpusEntry& entry, std::ostream* out) {
    *out << fs::relative(entry.path, kCorpus).string();
}

std::vector<CorpusEntry> CorpusFiles() {
    std::vector<CorpusEntry> files;
    std::error_code error;
    if (!fs::is_directory(kCorpus, error))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(kCorpus, error))
        if (entry.is_regular_file())
            files.push_back({entry.path()});
    std::sort(files.begin(), files.end(),
              [](const CorpusEntry& a, const CorpusEntry& b) { return a.path < b.path; });
    return files;
}

std::string TestName(const ::testing::TestParamInfo<CorpusEntry>& info) {
    std::string name = std::to_string(info.index) + "_";
    for (char c : fs::relative(info.param.path, kCorpus).string())
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

bool LoggedAny(LogCapture& log, std::initializer_list<LogCapture::Entry> reasons) {
    for (const LogCapture::Entry& reason : reasons)
        if (log.Has(reason.first, reason.second))
            return true;
    return false;
}

class CorpusFile : public ::testing::TestWithParam<CorpusEntry> {};

}  // namespace

TEST(Corpus, FolderIsPresent) {
    if (!fs::is_directory(kCorpus))
        GTEST_SKIP() << "no corpus at " << kCorpus;
    EXPECT_FALSE(CorpusFiles().empty());
}

TEST_P(CorpusFile, DecodesThroughTheImporterOrIsRefusedCleanly) {
    const std::string path = GetParam().path.string();
    Watchdog watchdog(kTimePerFile, path);
    CMediaManager manager;
    LogCapture log;
    Owned<IMediaImporter> importer(manager.OpenImporter(path.c_str()));
    if (!importer) {
        EXPECT_TRUE(LoggedAny(log, {{"av_open_input_file error.", "147"},
                                    {"avformat_find_stream_info error", "156"}}));
        return;
    }
    IMediaInfo* info = importer->GetMediaInfo(0);
    ASSERT_NE(info, nullptr);
    int video = -1;
    int audio = -1;
    for (int i = 0; i < info->GetStreamCount(); ++i) {
        const StreamRecord* record = info->GetStreamRecord(i);
        ASSERT_NE(record, nullptr);
        ASSERT_NE(record->codecName, nullptr);
        if (record->kind == StreamKindVideo && video < 0)
            video = i;
        if (record->kind == StreamKindAudio && audio < 0)
            audio = i;
    }
    std::vector<StreamSelection> selections;
    if (video >= 0)
        selections.push_back({video, 0});
    if (audio >= 0)
        selections.push_back({audio, 0});
    Owned<IMediaSource> source(importer->CreateSource(0, selections.data(),
                                                      static_cast<int32_t>(selections.size())));
    if (!source) {
        EXPECT_TRUE(log.Has("avcodec_open error.", "301"));
        return;
    }
    const std::vector<Delivered> frames = ReadAll(source.get(), 1000000, kTimePerFile);
    EXPECT_TRUE(source->IsEndOfStream());
    // To its end: as many pictures and sound blocks as ffprobe decodes.
    for (size_t slot = 0; slot < selections.size(); ++slot)
        EXPECT_EQ(static_cast<long>(OfSlot(frames, static_cast<int32_t>(slot)).size()),
                  ProbeDecodedFrames(path, std::to_string(selections[slot].streamIndex)))
            << "slot " << slot;
}

TEST_P(CorpusFile, DecodesThroughTheWrapperOrIsRefusedCleanly) {
    const std::string path = GetParam().path.string();
    Watchdog watchdog(kTimePerFile, path);
    CMediaManager manager;
    LogCapture log;
    Owned<IMediaSourceEx> source(manager.CreateMediaSource(path.c_str()));
    if (!source) {
        EXPECT_TRUE(LoggedAny(log, {{"can not open file.", "50"},
                                    {"no audio or video.", "72"},
                                    {"create source error.", "89"}}));
        return;
    }
    ReadAll(source.get(), 1000000, kTimePerFile);
    EXPECT_TRUE(source->IsEndOfStream());
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusFile, ::testing::ValuesIn(CorpusFiles()), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusFile);
