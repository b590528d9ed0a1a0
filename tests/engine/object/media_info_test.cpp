#include "object/media_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <type_traits>

#include "vantrel/owned.h"

using namespace MediaBased;

static_assert(!std::is_destructible_v<IMediaInfo>, "only Release may end an engine object");
static_assert(!std::is_destructible_v<IStreamInfo>);
static_assert(!std::is_destructible_v<IMediaFrame>);
static_assert(!std::is_destructible_v<IMediaManager>);

namespace {

using OwnedInfo = Owned<IMediaInfo>;

StreamRecord VideoRecord(char* codecName) {
    StreamRecord record{};
    record.kind = StreamKindVideo;
    record.codecName = codecName;
    record.width = 640;
    record.height = 360;
    record.displayAspect = 16.0 / 9.0;
    return record;
}

PropertyBlob Blob(const char* text) {
    return PropertyBlob{const_cast<char*>(text), static_cast<uint32_t>(std::strlen(text) + 1)};
}

}  // namespace

TEST(MediaInfo, StartsEmpty) {
    OwnedInfo info(new CMediaInfo(true));
    EXPECT_EQ(info->GetStreamCount(), 0);
    EXPECT_STREQ(info->GetFormatName(), "");
    EXPECT_EQ(info->GetStreamRecord(0), nullptr);
    EXPECT_EQ(info->GetStreamInfo(0), nullptr);
    EXPECT_EQ(info->GetStreamRecord(-1), nullptr);
}

TEST(MediaInfo, NullArgumentsRaiseBadPointer) {
    OwnedInfo info(new CMediaInfo(true));
    info->SetFormatName("matroska");
    try {
        info->SetFormatName(nullptr);
        FAIL() << "no error raised";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "Bad pointer");
    }
    EXPECT_THROW(info->AddStream(nullptr), std::invalid_argument);
    EXPECT_STREQ(info->GetFormatName(), "matroska");
    EXPECT_EQ(info->GetStreamCount(), 0);
}

TEST(MediaInfo, AddStreamKeepsItsOwnCopyOfTheTexts) {
    char codec[] = "h264";
    char reserved[] = "note";
    StreamRecord record = VideoRecord(codec);
    record.reservedText2 = reserved;
    OwnedInfo info(new CMediaInfo(true));
    info->AddStream(&record);
    std::strcpy(codec, "vp9!");
    std::strcpy(reserved, "gone");

    const StreamRecord* stored = info->GetStreamRecord(0);
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(stored->codecName, "h264");
    EXPECT_STREQ(stored->reservedText2, "note");
    EXPECT_EQ(stored->reservedText1, nullptr);
    EXPECT_NE(stored->codecName, codec);
    EXPECT_EQ(stored->width, 640);
    EXPECT_EQ(info->GetStreamInfo(0)->GetConstRecord(), stored);
}

TEST(StreamInfo, PropertiesAreCopiedReplacedAndNeverInventedByReads) {
    char codec[] = "aac";
    StreamRecord record{};
    record.codecName = codec;
    CStreamInfoEx stream(record);

    EXPECT_EQ(stream.GetProperty("language"), nullptr);
    EXPECT_EQ(stream.GetProperty("language"), nullptr) << "a read must not add an entry";

    char first[] = "eng";
    PropertyBlob blob = Blob(first);
    EXPECT_TRUE(stream.SetProperty("language", &blob));
    first[0] = 'X';
    EXPECT_TRUE(stream.SetProperty("language", &blob));  // replaces, with the changed bytes
    const PropertyBlob* stored = stream.GetProperty("language");
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(static_cast<const char*>(stored->data), "Xng");
    EXPECT_NE(stored->data, first);

    PropertyBlob empty{nullptr, 12};
    EXPECT_TRUE(stream.SetProperty("cover", &empty));
    stored = stream.GetProperty("cover");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->data, nullptr);
    EXPECT_EQ(stored->size, 0u);

    EXPECT_TRUE(stream.SetProperty(nullptr, &blob));
    EXPECT_TRUE(stream.SetProperty("x", nullptr));
    EXPECT_EQ(stream.GetProperty("x"), nullptr);
}

TEST(MediaInfo, CloneIsDeepAndOutlivesItsOriginal) {
    char codec[] = "h264";
    OwnedInfo clone;
    {
        OwnedInfo original(new CMediaInfo(true));
        original->SetFormatName("matroska,webm");
        StreamRecord video = VideoRecord(codec);
        original->AddStream(&video);
        char audioCodec[] = "opus";
        StreamRecord audio{};
        audio.kind = StreamKindAudio;
        audio.codecName = audioCodec;
        audio.sampleRate = 48000;
        original->AddStream(&audio);
        PropertyBlob blob = Blob("deu");
        original->GetStreamInfo(1)->SetProperty("language", &blob);
        clone.reset(original->Clone());
        ASSERT_NE(clone, nullptr);
        EXPECT_NE(clone->GetStreamRecord(0)->codecName, original->GetStreamRecord(0)->codecName);
    }
    EXPECT_STREQ(clone->GetFormatName(), "matroska,webm");
    ASSERT_EQ(clone->GetStreamCount(), 2);
    EXPECT_STREQ(clone->GetStreamRecord(0)->codecName, "h264");
    EXPECT_STREQ(clone->GetStreamRecord(1)->codecName, "opus");
    EXPECT_EQ(clone->GetStreamRecord(1)->sampleRate, 48000);
    const PropertyBlob* language = clone->GetStreamInfo(1)->GetProperty("language");
    ASSERT_NE(language, nullptr);
    EXPECT_STREQ(static_cast<const char*>(language->data), "deu");
}

TEST(MediaInfo, ReleaseOfABorrowedInfoLeavesItWithItsOwner) {
    auto owned = std::make_unique<CMediaInfo>(false);  // as an importer keeps it
    owned->SetFormatName("mp3");
    IMediaInfo* lent = owned.get();
    lent->Release();
    EXPECT_STREQ(lent->GetFormatName(), "mp3");
    EXPECT_FALSE(owned->callerOwns());
}
