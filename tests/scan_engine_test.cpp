#include "TestSupport.h"
#include "core/FolderScan.h"
#include "core/ScanEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A tree of real encoder output from every fixture folder, copied under a
// recursive layout, plus a file no reader accepts and an empty file.
std::string MakeTree(const TempDir& dir) {
    const std::string root = dir.Folder("music");
    int n = 0;
    for (const char* folder : {"mp3", "lossless", "xiph", "wavaiff", "mp4aac"}) {
        for (const auto& entry : fs::directory_iterator(FixturePath(folder))) {
            const std::string name = entry.path().filename().string();
            if (name == "make.sh" || entry.path().extension() == ".txt") continue;
            // Alternate between the root and two levels of subfolders.
            const std::string sub = n % 3 == 0 ? "" : n % 3 == 1 ? "A/" : "A/B/";
            fs::create_directories(root + "/" + sub);
            fs::copy_file(entry.path(), root + "/" + sub + name);
            ++n;
        }
    }
    dir.Write("music/zz unreadable.mp3", std::string(300, '\0'));
    dir.Write("music/A/empty.flac", "");
    return root;
}

struct TRow {
    std::string Path, RelativePath, Encoder;
    int64_t Size;
    double Duration;
    bool operator==(const TRow&) const = default;
};

std::vector<TRow> RowsOf(const std::vector<std::unique_ptr<TAudioItem>>& items) {
    std::vector<TRow> rows;
    for (const auto& item : items)
        rows.push_back({item->FullPath, item->RelativePath, item->EncoderInfo, item->FileSize, item->Duration});
    return rows;
}

// A lister of count files named 0.mp3, 1.mp3, ... in root (they need not exist).
TScanLister CountingLister(const std::string& root, std::size_t count, std::atomic<std::size_t>* listed = nullptr) {
    return [=](const TScanAdd& add) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!add(root, root + std::to_string(i) + ".mp3")) return;
            if (listed) ++*listed;
        }
    };
}

// Waits (at most a few seconds) until condition holds.
template <class F>
bool Eventually(F condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

} // namespace

TEST(ScanEngine, ParallelScanGivesTheSequentialRowsInTheSameOrder) {
    TempDir dir;
    const std::string root = MakeTree(dir);
    TAnalysisList sequential;
    const TScanResult expected = ScanIntoList(sequential, root, true);
    ASSERT_GT(sequential.Items().size(), 40u);
    EXPECT_TRUE(expected.Failures.empty());

    for (unsigned workers : {1u, 2u, 4u, 7u}) {
        std::vector<std::unique_ptr<TAudioItem>> items;
        std::vector<std::size_t> indexes;
        std::size_t outputs = 0;
        RunScan(FolderLister(root, true), workers, [&](TScanOutput& output) {
            indexes.push_back(output.Index);
            ++outputs;
            EXPECT_TRUE(output.Error.empty()) << output.Error;
            if (output.Item) items.push_back(std::move(output.Item));
        });
        EXPECT_EQ(RowsOf(items), RowsOf(sequential.Items())) << workers << " workers";
        // The empty file is delivered with its item too ("Empty file").
        EXPECT_EQ(outputs, items.size());
        for (std::size_t i = 0; i < indexes.size(); ++i) ASSERT_EQ(indexes[i], i);
    }
}

TEST(ScanEngine, FailuresArriveInOrderAndTheScanGoesOn) {
    TempDir dir;
    const std::string good = dir.Write("good.wav", std::string(100, '\0'));
    const std::string missing = dir / "missing.mp3";
    std::vector<std::string> seen;
    RunScan(
        [&](const TScanAdd& add) {
            add(dir.Path().string() + "/", good);
            add(dir.Path().string() + "/", missing);
            add(dir.Path().string() + "/", good);
        },
        3, [&](TScanOutput& output) { seen.push_back(output.Item ? "item" : output.Error); });
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "item");
    EXPECT_EQ(seen[1].rfind("Cannot open file \"" + missing + "\".", 0), 0u) << seen[1];
    EXPECT_EQ(seen[2], "item");
}

TEST(ScanEngine, ListerStaysWithinTheWindowUntilResultsAreTaken) {
    TempDir dir;
    for (int i = 0; i < 40; ++i) dir.Write(std::to_string(i) + ".mp3", "x");
    const std::string root = dir.Path().string() + "/";
    TScanEngine engine(2, 8);
    std::atomic<std::size_t> listed{0};
    engine.Start(CountingLister(root, 40, &listed));
    ASSERT_TRUE(Eventually([&] { return engine.Progress().Analysed == 8; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(engine.Progress().Listed, 8u);
    EXPECT_EQ(engine.Progress().Analysed, 8u);

    std::size_t taken = 0;
    for (;;) {
        TScanBatch batch = engine.WaitReady(5);
        EXPECT_LE(batch.Outputs.size(), 5u);
        for (const TScanOutput& output : batch.Outputs) EXPECT_EQ(output.Index, taken++);
        if (batch.Finished) break;
    }
    EXPECT_EQ(taken, 40u);
    EXPECT_EQ(listed.load(), 40u);
    const TScanProgress progress = engine.Progress();
    EXPECT_TRUE(progress.ListingDone);
    EXPECT_EQ(progress.Delivered, 40u);
    EXPECT_EQ(progress.Folder, root);
}

TEST(ScanEngine, CancelStopsListingAndDeliveryAtOnce) {
    TempDir dir;
    dir.Write("0.mp3", "x");
    const std::string root = dir.Path().string() + "/";
    std::atomic<int> readyCalls{0};
    std::atomic<std::size_t> listed{0};
    auto engine = std::make_unique<TScanEngine>(2, 16);
    // A lister that would never end on its own.
    engine->Start(CountingLister(root, SIZE_MAX, &listed), [&] { ++readyCalls; });
    ASSERT_TRUE(Eventually([&] { return readyCalls > 0; }));
    TScanBatch first = engine->TakeReady();
    ASSERT_FALSE(first.Outputs.empty());
    EXPECT_FALSE(first.Finished);
    for (std::size_t i = 0; i < first.Outputs.size(); ++i) EXPECT_EQ(first.Outputs[i].Index, i);

    engine->Cancel();
    const int callsAtCancel = readyCalls;
    TScanBatch after = engine->TakeReady();
    EXPECT_TRUE(after.Outputs.empty());
    EXPECT_TRUE(after.Finished);
    EXPECT_TRUE(engine->WaitReady().Finished);   // does not block
    const std::size_t listedAtCancel = listed;
    ASSERT_TRUE(Eventually([&] { return engine->Stopped(); }));   // every thread has ended
    engine.reset();
    EXPECT_LE(listed.load(), listedAtCancel + 1);
    EXPECT_LE(readyCalls.load(), callsAtCancel + 1);
}

TEST(ScanEngine, EmptyScanFinishesAndSaysSoOnce) {
    TempDir dir;
    std::atomic<int> readyCalls{0};
    TScanEngine engine(3);
    EXPECT_EQ(engine.Workers(), 3u);
    engine.Start(FolderLister(dir.Path().string(), true), [&] { ++readyCalls; });
    ASSERT_TRUE(Eventually([&] { return readyCalls == 1; }));
    TScanBatch batch = engine.TakeReady();
    EXPECT_TRUE(batch.Outputs.empty());
    EXPECT_TRUE(batch.Finished);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(readyCalls.load(), 1);
    EXPECT_GE(TScanEngine::DefaultWorkers(), 1u);
}

TEST(ScanEngine, PlaylistListerResolvesEntriesInOrder) {
    TempDir dir;
    dir.Write("b.wav", std::string(64, '\0'));
    dir.Write("Sub/c.mp3", std::string(64, '\0'));
    const std::string list = dir.Write("list.m3u", "#EXTM3U\nSub/c.mp3\n" + (dir / "b.wav") + "\n");
    std::vector<std::string> paths;
    RunScan(PlaylistLister(list), 2, [&](TScanOutput& output) { paths.push_back(output.Path); });
    EXPECT_EQ(paths, (std::vector<std::string>{dir.Path().string() + "/Sub/c.mp3", dir / "b.wav"}));
}
