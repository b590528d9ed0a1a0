// Track tags a client chooses a sound track by: language, title and the default flag of each
// probed stream, as properties that copies of the description keep.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "import_test_support.h"
#include "object/media_manager.h"

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

TEST_F(TrackTagsTest, AReopenedFileIsDescribedAfreshAndUntaggedStreamsHaveOnlyTheFlag) {
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
