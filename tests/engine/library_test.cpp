// The engine as a client sees it: the shared library and its two exports.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "vantrel/owned.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;


TEST(Library, ExportsResolveThroughTheLoader) {
    void* handle = dlopen(VANTREL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr) << "the test links the library, so it is loaded";
    auto getLogger = reinterpret_cast<SystemBased::ISystemLogger* (*)()>(dlsym(handle, "GetSystemLogger"));
    ASSERT_NE(getLogger, nullptr);
    EXPECT_EQ(getLogger(), GetSystemLogger()) << "one process-wide logger";
    EXPECT_NE(dlsym(handle, "CreateMediaManager"), nullptr);
    dlclose(handle);
}

TEST(Library, ManagersAreIndependentAndReservedSlotsAnswerNull) {
    Owned<IMediaManager> first(CreateMediaManager());
    Owned<IMediaManager> second(CreateMediaManager());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
    int key = 0;
    EXPECT_EQ(first->ReservedQuery(&key), nullptr);
    EXPECT_EQ(first->ReservedCreate(&key, &key, &key, &key), nullptr);
    EXPECT_EQ(first->ReservedQuery2(&key), nullptr);
    EXPECT_EQ(first->NamedParameter("R_MediaSourceParamHasAV", nullptr), 0);
}

TEST(Library, MediaInfoCrossesTheBoundaryWithItsErrors) {
    Owned<IMediaManager> manager(CreateMediaManager());
    Owned<IMediaInfo> info(manager->CreateMediaInfo());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetStreamCount(), 0);
    EXPECT_STREQ(info->GetFormatName(), "");
    EXPECT_EQ(info->ReservedQuery(nullptr), nullptr);
    EXPECT_EQ(info->NamedParameter("R_MediaSourceParamHasAV", ""), 0);
    EXPECT_THROW(info->SetFormatName(nullptr), std::invalid_argument);
    EXPECT_THROW(info->AddStream(nullptr), std::invalid_argument);

    char codec[] = "mp2";
    StreamRecord record{};
    record.kind = StreamKindAudio;
    record.codecName = codec;
    info->AddStream(&record);
    Owned<IMediaInfo> copy(info->Clone());
    info.reset();
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetStreamRecord(0)->codecName, "mp2");
}

TEST(Library, LoggerIsSharedAndKeepsEntries) {
    SystemBased::ISystemLogger* logger = GetSystemLogger();
    ASSERT_NE(logger, nullptr);
    EXPECT_TRUE(logger->Log("library test", "1"));
    EXPECT_NE(std::string(logger->GetText()).find("],library test,1\n"), std::string::npos);
}
