// The saved list keeps each file's subtitle choice: the tracks kept and the one burned in.
#include "queue_store.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QueuedFile File(const QString& path) {
    QueuedFile file;
    file.path = path;
    return file;
}

}  // namespace

TEST(QueueStoreSubtitles, EveryChoiceComesBackAsSaved) {
    QTemporaryDir dir;
    const QueueStore store(dir.path() + "/queue.json");
    QueuedFile every = File("/films/every.mkv");
    QueuedFile unburned = File("/films/forced-kept.mkv");
    unburned.burn = PlanChoices::kBurnNothing;
    QueuedFile none = File("/films/none.mkv");
    none.subtitles = PlanChoices::Subtitles::None;
    none.burn = 4;
    QueuedFile some = File("/films/some.mkv");
    some.audio = {2};
    some.subtitles = PlanChoices::Subtitles::Chosen;
    some.chosenSubtitles = {5, 3};
    some.burn = 0;  // stream 0 is a subtitle in a subtitles-only file
    ASSERT_TRUE(store.save({every, none, some, unburned}));

    const QList<QueuedFile> loaded = store.load();
    ASSERT_EQ(loaded.size(), 4);
    EXPECT_EQ(loaded[0].subtitles, PlanChoices::Subtitles::All);
    EXPECT_TRUE(loaded[0].chosenSubtitles.isEmpty());
    EXPECT_EQ(loaded[0].burn, -1);
    EXPECT_EQ(loaded[1].subtitles, PlanChoices::Subtitles::None);
    EXPECT_EQ(loaded[1].burn, 4);
    EXPECT_EQ(loaded[2].audio, QList<int>{2});
    EXPECT_EQ(loaded[2].subtitles, PlanChoices::Subtitles::Chosen);
    EXPECT_EQ(loaded[2].chosenSubtitles, QList<int>({5, 3}));
    EXPECT_EQ(loaded[2].burn, 0);
    EXPECT_EQ(loaded[3].burn, PlanChoices::kBurnNothing) << "nothing burned, not the profile's choice";

    // The defaults are written as nothing, so lists of files without a choice stay as they were.
    QFile saved(store.file());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_EQ(text.count("\"subtitles\""), 2);
    EXPECT_EQ(text.count("\"burn\""), 3);
}

TEST(QueueStoreSubtitles, ListsWithoutOrWithDamagedChoicesKeepTheDefaults) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/queue.json";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"files": [
        {"path": "/a.mkv", "outcome": "waiting"},
        {"path": "/b.mkv", "subtitles": "sometimes", "chosenSubtitles": [3], "burn": -2},
        {"path": "/c.mkv", "subtitles": "chosen", "chosenSubtitles": [3, "x", -1, 3, 4], "burn": "2"}
    ]})");
    file.close();
    const QList<QueuedFile> loaded = QueueStore(path).load();
    ASSERT_EQ(loaded.size(), 3);
    for (int i : {0, 1}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(loaded[i].subtitles, PlanChoices::Subtitles::All);
        EXPECT_TRUE(loaded[i].chosenSubtitles.isEmpty());
        EXPECT_EQ(loaded[i].burn, -1);
    }
    EXPECT_EQ(loaded[2].subtitles, PlanChoices::Subtitles::Chosen);
    EXPECT_EQ(loaded[2].chosenSubtitles, QList<int>({3, 4}));
    EXPECT_EQ(loaded[2].burn, -1);
}
