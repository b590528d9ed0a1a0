// Track tags a client chooses a sound track by: language, title and the default flag of each
// probed stream, as properties that copies of the description keep; the forced flag, profile
// and level, and attached files with their names, types and bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "../tagged_media.h"
#include "import_test_support.h"
#include "object/media_manager.h"
#include "system/codec_parameters_blob.h"

using namespace MediaBased;
namespace fs = std::filesystem;

namespace {

class TrackTagsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("corvane-track-tags-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Two sine tracks: the first Japanese and not default, the second titled and default.
    std::string TaggedFile(const std::string& name) {
        const std::string path = (dir_ / name).string();
        const CommandResult r = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=1 -f lavfi -i sine=duration=1 "
            "-map 0 -map 1 -c:a libvorbis -metadata:s:a:0 language=jpn "
            "-metadata:s:a:1 'title=Commentary – コメンタリー' -disposition:a:0 0 "
            "-disposition:a:1 default " + ShellQuote(path));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return path;
    }

    fs::path dir_;
};

// The text of a string property, checked to end in its NUL; "<none>" without the property.
std::string Text(IStreamInfo* stream, const char* name) {
    const PropertyBlob* blob = stream->GetProperty(name);
    if (blob == nullptr)
        return "<none>";
    const char* data = static_cast<const char*>(blob->data);
    EXPECT_GT(blob->size, 0u);
    EXPECT_EQ(data[blob->size - 1], '\0') << name << ": the size counts the terminating NUL";
    EXPECT_EQ(std::strlen(data) + 1, blob->size) << name;
    return data;
}

int Flag(IStreamInfo* stream, const char* name) {
    const PropertyBlob* blob = stream->GetProperty(name);
    if (blob == nullptr)
        return -1;
    EXPECT_EQ(blob->size, 1u) << name;
    return *static_cast<const unsigned char*>(blob->data);
}

// An int32 property's value; nothing without the property.
std::optional<int32_t> Int32(IStreamInfo* stream, const char* name) {
    const PropertyBlob* blob = stream->GetProperty(name);
    if (blob == nullptr)
        return std::nullopt;
    EXPECT_EQ(blob->size, sizeof(int32_t)) << name;
    int32_t value = 0;
    std::memcpy(&value, blob->data, sizeof value);
    return value;
}

void ExpectTags(IMediaInfo& info) {
    ASSERT_EQ(info.GetStreamCount(), 2);
    IStreamInfo* first = info.GetStreamInfo(0);
    IStreamInfo* second = info.GetStreamInfo(1);
    EXPECT_EQ(Text(first, "language"), "jpn");
    EXPECT_EQ(Text(first, "title"), "<none>") << "an absent tag gives no property";
    EXPECT_EQ(Flag(first, "default"), 0);
    EXPECT_EQ(Text(second, "language"), "<none>");
    EXPECT_EQ(Text(second, "title"), "Commentary – コメンタリー");
    EXPECT_EQ(Flag(second, "default"), 1);
}

}  // namespace

TEST_F(TrackTagsTest, EachStreamCarriesItsLanguageTitleAndDefaultFlag) {
    const std::string path = TaggedFile("tagged.mkv");
    CMediaManager manager;
    Owned<IMediaImporter> importer(manager.OpenImporter(path.c_str()));
    ASSERT_NE(importer, nullptr);
    ExpectTags(*importer->GetMediaInfo(0));
}

TEST_F(TrackTagsTest, AClonedDescriptionKeepsTheTagsAfterTheImporterIsGone) {
    const std::string path = TaggedFile("tagged.mkv");
    CMediaManager manager;
    Owned<IMediaInfo> clone;
    {
        Owned<IMediaImporter> importer(manager.OpenImporter(path.c_str()));
        ASSERT_NE(importer, nullptr);
        clone.reset(importer->GetMediaInfo(0)->Clone());
    }
    ASSERT_NE(clone, nullptr);
    ExpectTags(*clone);
    Owned<IMediaInfo> cloneOfClone(clone->Clone());
    clone.reset();
    ASSERT_NE(cloneOfClone, nullptr);
    ExpectTags(*cloneOfClone);
}

TEST_F(TrackTagsTest, AReopenedFileIsDescribedAfreshAndUntaggedStreamsHaveOnlyTheFlags) {
    const std::string tagged = TaggedFile("tagged.mkv");
    const std::string plain = (dir_ / "plain.nut").string();
    const CommandResult r = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=64x64:duration=1 -c:v ffv1 "
        "-map_metadata -1 -fflags +bitexact " + ShellQuote(plain));
    ASSERT_EQ(r.exitCode, 0) << r.output;

    CMediaManager manager;
    Owned<IMediaImporter> importer(manager.CreateImporter(""));
    ASSERT_TRUE(importer->Open(tagged.c_str()));
    ExpectTags(*importer->GetMediaInfo(0));
    ASSERT_TRUE(importer->Open(plain.c_str()));
    IMediaInfo* info = importer->GetMediaInfo(0);
    ASSERT_EQ(info->GetStreamCount(), 1);
    EXPECT_EQ(Text(info->GetStreamInfo(0), "language"), "<none>");
    EXPECT_EQ(Text(info->GetStreamInfo(0), "title"), "<none>");
    EXPECT_EQ(Flag(info->GetStreamInfo(0), "default"), 0);
}

TEST_F(TrackTagsTest, ForcedFlagsProfilesLevelsAndAttachedFilesAreDescribed) {
    const std::string path = tagged::TaggedSource(dir_);
    CMediaManager manager;
    Owned<IMediaImporter> importer(manager.OpenImporter(path.c_str()));
    ASSERT_NE(importer, nullptr);
    IMediaInfo& info = *importer->GetMediaInfo(0);
    ASSERT_EQ(info.GetStreamCount(), 6);
    IStreamInfo* video = info.GetStreamInfo(tagged::kVideo);
    IStreamInfo* aac = info.GetStreamInfo(tagged::kEnglishAac);
    IStreamInfo* srt = info.GetStreamInfo(tagged::kEnglishSrt);
    IStreamInfo* ass = info.GetStreamInfo(tagged::kJapaneseAss);
    IStreamInfo* font = info.GetStreamInfo(tagged::kFont);

    EXPECT_EQ(Flag(srt, "forced"), 1);
    EXPECT_EQ(Flag(srt, "default"), 0);
    EXPECT_EQ(Flag(ass, "forced"), 0);
    EXPECT_EQ(Flag(aac, "forced"), 0);
    EXPECT_EQ(Flag(aac, "default"), 1);

    EXPECT_EQ(Int32(video, "level"), std::stoi(ProbeValue(path, "v:0", "stream=level")));
    EXPECT_EQ(Int32(video, "profile"), FF_PROFILE_H264_CONSTRAINED_BASELINE);
    EXPECT_EQ(Int32(aac, "profile"), FF_PROFILE_AAC_LOW);
    EXPECT_EQ(Int32(aac, "level"), std::nullopt) << "an unknown level gives no property";
    EXPECT_EQ(Int32(srt, "profile"), std::nullopt);

    for (int stream = tagged::kVideo; stream < tagged::kFont; ++stream) {
        EXPECT_EQ(Flag(info.GetStreamInfo(stream), "attachment"), -1) << stream;
        EXPECT_EQ(Text(info.GetStreamInfo(stream), "filename"), "<none>") << stream;
    }
    EXPECT_EQ(Flag(font, "attachment"), 1);
    EXPECT_EQ(Text(font, "filename"), fs::path(tagged::FontPath()).filename().string());
    EXPECT_EQ(Text(font, "mimetype"), "application/x-truetype-font");
    const PropertyBlob* described = font->GetProperty("codec_parameters");
    ASSERT_NE(described, nullptr);
    SystemBased::CodecParametersPtr parameters(avcodec_parameters_alloc());
    SystemBased::StreamTiming timing;
    ASSERT_TRUE(SystemBased::ReadCodecParameters(described->data, described->size, *parameters, timing));
    EXPECT_EQ(parameters->codec_type, AVMEDIA_TYPE_ATTACHMENT);
    const std::string bytes(reinterpret_cast<const char*>(parameters->extradata),
                            static_cast<size_t>(parameters->extradata_size));
    EXPECT_EQ(bytes, tagged::ReadBytes(tagged::FontPath())) << "the attached file's bytes travel whole";
}

TEST_F(TrackTagsTest, SelectingAnAttachedFileLeavesTheOtherStreamsReadable) {
    const std::string path = tagged::TaggedSource(dir_);
    CMediaManager manager;
    Owned<IMediaImporter> importer(manager.OpenImporter(path.c_str()));
    ASSERT_NE(importer, nullptr);
    // A copied attached file is passed through and has no packets: its slot stays silent while
    // the streams around it are read to their end.
    const StreamSelection selections[] = {{tagged::kEnglishSrt, 1}, {tagged::kFont, 1}, {tagged::kEnglishAac, 0}};
    Owned<IMediaSource> source(importer->CreateSource(0, selections, 3));
    ASSERT_NE(source, nullptr);
    const std::vector<Delivered> frames = ReadAll(source.get());
    EXPECT_TRUE(source->IsEndOfStream());
    EXPECT_EQ(OfSlot(frames, 0).size(), 2u);
    EXPECT_TRUE(OfSlot(frames, 1).empty());
    const std::vector<Delivered> sound = OfSlot(frames, 2);
    ASSERT_FALSE(sound.empty());
    EXPECT_NEAR(sound.back().end / 1e7, 4.0, 0.1) << "the sound is read to its end";
}
