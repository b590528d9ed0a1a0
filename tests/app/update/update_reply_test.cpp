#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "CheckUpdate.h"

TEST(VersionTest, PartsCompareAsNumbersAndOnlyFourNumbersCount) {
    EXPECT_EQ(CCheckUpdate::fullVersion(), "1.0.1.121");
    const struct {
        const char* version;
        bool newer;
    } cases[] = {
        {"1.0.2.100", true},  {"1.0.1.122", true},   {"2.0.0.0", true},    {"01.0.1.122", true},
        {"1.0.1.99999999999999999999", true},       {"1.0.1.121", false}, {"1.0.1.0121", false},
        {"1.0.0.200", false}, {"1.0.1.99", false},   {"2.0", false},       {"1.0.1.122.1", false},
        {"1.0.a.200", false}, {"1..1.200", false},   {"", false},          {"+2.0.0.0", false},
        {" 2.0.0.0", false},  {"-1.0.2.0", false},   {"2.0.0.", false},    {"١.0.2.0", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CCheckUpdate::isNewerVersion(QString::fromUtf8(c.version)), c.newer) << c.version;
    EXPECT_TRUE(isNewerVersion("1.0.10.0", "1.0.9.0"));
    EXPECT_FALSE(isNewerVersion("9.9.9.9", "1.0"));
}

TEST(UpdateReplyTest, ReadsTheFirstInfoAsLatin1) {
    const UpdateReply reply = parseUpdateReply(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<U><Other/>"
        "<Info version=\"1.0.2.130\" download_url=\"https://example.org/\xc3\xa9?a=1&amp;b=2\"/>"
        "<Info version=\"9.9.9.9\" download_url=\"https://example.org/other\"/></U>");
    EXPECT_EQ(reply.version, "1.0.2.130");
    EXPECT_EQ(reply.url, QString::fromLatin1("https://example.org/\xc3\xa9?a=1&b=2"));
    EXPECT_TRUE(reply.error.isEmpty());
}

// The server tests cover malformed XML, a missing Info and ftp: or javascript: links.
TEST(UpdateReplyTest, IncompleteRepliesAreErrors) {
    for (const char* info : {"download_url=\"http://example.org/\"", "version=\"1.0.2.0\"",
                             "version=\"1.0.2.0\" download_url=\"file:///etc/passwd\"",
                             "version=\"1.0.2.0\" download_url=\"http://\"",
                             "version=\"1.0.2.0\" download_url=\"/relative/page\""}) {
        const UpdateReply reply = parseUpdateReply(QByteArray("<U><Info ") + info + "/></U>");
        EXPECT_EQ(reply.error, "ERROR") << info;
        EXPECT_TRUE(reply.version.isEmpty() && reply.url.isEmpty()) << info;
    }
}

// Random damage to a good reply gives either an error or a usable web link, never anything in
// between, and never crashes the parser.
TEST(UpdateReplyTest, DamagedRepliesNeverYieldAnUnusableAnswer) {
    const QByteArray good =
        "<?xml version=\"1.0\"?><Update><Info version=\"1.0.2.130\" "
        "download_url=\"https://example.org/download/\"/></Update>";
    const char alphabet[] = "<>/=\"'&;:.!?[]- aAIzZ0129\x80\xff\n";
    QRandomGenerator random(20240307);
    int answers = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray body = good;
        for (int edits = 1 + random.bounded(4); edits > 0; --edits) {
            const int at = random.bounded(static_cast<int>(body.size()) + 1);
            const char c = alphabet[random.bounded(static_cast<int>(sizeof alphabet) - 1)];
            switch (random.bounded(3)) {
            case 0: body.insert(at, c); break;
            case 1: if (at < body.size()) body.remove(at, 1 + random.bounded(8)); break;
            default: if (at < body.size()) body[at] = c; break;
            }
        }
        const UpdateReply reply = parseUpdateReply(body);
        if (reply.error.isEmpty()) {
            ++answers;
            EXPECT_FALSE(reply.version.isEmpty()) << body.constData();
            EXPECT_TRUE(isWebUrl(QUrl(reply.url, QUrl::StrictMode))) << body.constData();
        } else {
            EXPECT_EQ(reply.error, "ERROR");
            EXPECT_TRUE(reply.version.isEmpty() && reply.url.isEmpty());
        }
    }
    EXPECT_GT(answers, 0);  // harmless damage (inside the link, say) still gives answers
}
