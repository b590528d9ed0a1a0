// File names reach the file system with the bytes they were given, UTF-8 or not.
#include "native_arguments.h"

#include <gtest/gtest.h>

#include <random>

TEST(NativeArguments, TextAndStrayBytesComeBackExactly) {
    const QByteArray samples[] = {
        "plain.mkv",
        "\xc3\x9c" "berraschung \xe2\x80\x93 "
        "\xd0\xb2\xd0\xb8\xd0\xb4\xd0\xb5\xd0\xbe \xe6\x98\xa0\xe7\x94\xbb.mkv",
        "caf\xe9.mkv",                  // Latin-1
        "\xf0\x9f\x8e\xac film.mkv",    // outside the basic plane: a surrogate pair in a QString
        "\xf0\x9f\x8e\xac\xe9",         // a pair right before a kept byte
        "\xc0\xaf overlong",            // overlong "/"
        "\xed\xa0\x80 surrogate",       // an encoded surrogate is no character
        "cut \xe2\x80",                 // sequence cut short at the end
        "\xf4\x90\x80\x80 past U+10FFFF",
        "\x80\xbf\xff\xfe",
    };
    for (const QByteArray& bytes : samples) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const QString argument = decodeArgument(bytes);
        EXPECT_EQ(argumentBytes(argument), bytes);
        EXPECT_EQ(shownArgument(argument), QString::fromUtf8(bytes)) << "shown as Qt shows file names";
    }
    EXPECT_EQ(decodeArgument("caf\xc3\xa9"), QStringLiteral("caf\u00e9")) << "UTF-8 decodes as usual";
    EXPECT_EQ(decodeArgument("caf\xe9").size(), 4);
}

TEST(NativeArguments, AnyBytesSurviveTheRoundTrip) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(1, 255);  // argv strings end at their first NUL
    std::uniform_int_distribution<int> length(0, 24);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes;
        for (int n = length(random); n > 0; --n)
            bytes += static_cast<char>(byte(random));
        const QString argument = decodeArgument(bytes);
        ASSERT_EQ(argumentBytes(argument), bytes) << bytes.toHex().toStdString();
        ASSERT_EQ(shownArgument(argument), QString::fromUtf8(bytes)) << bytes.toHex().toStdString();
    }
}

TEST(NativeArguments, ArgvIsDecodedInOrder) {
    const char* argv[] = {"corvane-cli", "--output", "out\xe9", "a.mkv"};
    const QStringList arguments = decodeArguments(4, argv);
    ASSERT_EQ(arguments.size(), 4);
    EXPECT_EQ(arguments[1], "--output");
    EXPECT_EQ(argumentBytes(arguments[2]), QByteArray("out\xe9"));
    EXPECT_EQ(arguments[3], "a.mkv");
}
