// The results cache: rows from the cache are the rows from the files, a
// changed file or reader is read again, and a damaged or locked database
// never stops a scan.
#include "TestSupport.h"
#include "cache/ResultCache.h"
#include "core/AudioItemCodec.h"
#include "core/ScanEngine.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& text) { return ShellQuoted(text); }

using CliRun = ShellRun;

// sondaro-cli with its cache folder under cacheHome.
CliRun RunCli(const std::string& cacheHome, const std::string& arguments) {
    return RunSondaroCli(arguments, "XDG_CACHE_HOME=" + Quoted(cacheHome) + " ");
}

struct Messages {
    std::vector<std::string> texts;
    std::function<void(const std::string&)> Sink() {
        return [this](const std::string& text) { texts.push_back(text); };
    }
};

// Scans folder through the engine with the cache; counts the items that came
// from it and stores the others.
std::vector<std::unique_ptr<TAudioItem>> Scan(const std::string& folder, TResultCache& cache, int& fromCache) {
    std::vector<std::unique_ptr<TAudioItem>> items;
    fromCache = 0;
    RunScan(FolderLister(folder, true), 2, [&](TScanOutput& output) {
        if (!output.Item) return;
        if (output.FromStore) ++fromCache;
        else if (output.HasStamp) cache.Store(output.Path, output.Stamp, *output.Item);
        items.push_back(std::move(output.Item));
    }, cache.IsOpen() ? &cache : nullptr);
    cache.Flush();
    return items;
}

void Execute(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

} // namespace

TEST(ResultCache, ItemResultsSurviveTheRoundTripAndCutBytesAreRefused) {
    TAudioItem item;
    item.FileSize = 5'000'000'123;
    item.Duration = 184.0625;
    item.SampleRate = 44100;
    item.Channels = 2;
    item.BitsPerSample = 0;
    item.Ratio = 12.5;
    item.BitRate = -1;
    item.EncoderInfo = "LAME 3.100 \xE2\x80\x94 V2";
    item.EncoderEvidence = "";
    item.EncoderSettings = std::string("a\0b", 3);
    const std::string bytes = EncodeItemResults(item);
    TAudioItem back;
    ASSERT_TRUE(DecodeItemResults(bytes, back));
    EXPECT_EQ(back.FileSize, 5'000'000'123);
    EXPECT_EQ(back.Duration, 184.0625);
    EXPECT_EQ(back.SampleRate, 44100);
    EXPECT_EQ(back.Channels, 2);
    EXPECT_EQ(back.Ratio, 12.5);
    EXPECT_EQ(back.BitRate, -1);
    EXPECT_EQ(back.EncoderInfo, item.EncoderInfo);
    EXPECT_EQ(back.EncoderEvidence, "");
    EXPECT_EQ(back.EncoderSettings, item.EncoderSettings);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        TAudioItem partial;
        EXPECT_FALSE(DecodeItemResults(std::string_view(bytes).substr(0, cut), partial)) << cut;
    }
    EXPECT_FALSE(DecodeItemResults(bytes + "x", back));
}

// Every fixture folder, read from the files and then from the cache: the
// same bytes, and the second run opened no file (its rows are all marked as
// coming from the cache in the engine; here the CLI output must not differ).
TEST(ResultCache, RowsFromTheCacheAreTheRowsFromTheFiles) {
    TempDir home;
    const std::string folders = Quoted(std::string(SONDARO_SOURCE_DIR) + "/tests/files") + " " +
                                Quoted(std::string(SONDARO_SOURCE_DIR) + "/samples");
    const CliRun files = RunCli(home / "none", "--no-cache -r -f json -c all " + folders);
    const CliRun filling = RunCli(home.Path().string(), "--cache -r -f json -c all " + folders);
    const CliRun cached = RunCli(home.Path().string(), "--cache -j 3 -r -f json -c all " + folders);
    EXPECT_FALSE(fs::exists(home / "none"));
    ASSERT_TRUE(fs::exists(home / "sondaro/results.sqlite"));
    EXPECT_GT(files.out.size(), 10000u);
    EXPECT_EQ(filling.out, files.out);
    EXPECT_EQ(cached.out, files.out);
    EXPECT_EQ(cached.err, files.err);
    EXPECT_EQ(cached.status, files.status);
    const CliRun text = RunCli(home.Path().string(), "--cache -r " + folders);
    EXPECT_EQ(text.out, RunCli(home / "none", "-r " + folders).out);

    // In the engine: the second scan takes every item from the cache.
    TResultCache cache;
    ASSERT_TRUE(cache.Open(home / "sondaro/results.sqlite"));
    int fromCache = 0;
    const auto items = Scan(std::string(SONDARO_SOURCE_DIR) + "/samples", cache, fromCache);
    EXPECT_EQ(items.size(), 11u);
    EXPECT_EQ(fromCache, 11);
}

TEST(ResultCache, ChangedSizeTimeOrReaderVersionReadsTheFileAgain) {
    TempDir dir;
    const std::string folder = dir.Folder("music");
    for (const char* name : {"Chord.flac", "Chord.wv", "Chord (LAME V2).mp3"})
        fs::copy_file(std::string(SONDARO_SOURCE_DIR) + "/samples/" + name, folder + "/" + name);
    const std::string database = dir / "cache/results.sqlite";
    int fromCache = 0;
    {
        TResultCache cache;
        ASSERT_TRUE(cache.Open(database));
        EXPECT_EQ(Scan(folder, cache, fromCache).size(), 3u);
        EXPECT_EQ(fromCache, 0);
        EXPECT_EQ(Scan(folder, cache, fromCache).size(), 3u);
        EXPECT_EQ(fromCache, 3);
    }
    // A new modification time (same size and inode) for the FLAC file.
    const std::string flac = folder + "/Chord.flac";
    struct stat before {};
    ASSERT_EQ(::stat(flac.c_str(), &before), 0);
    const struct timespec times[2] = {before.st_atim, {before.st_mtim.tv_sec, before.st_mtim.tv_nsec ^ 1}};
    ASSERT_EQ(::utimensat(AT_FDCWD, flac.c_str(), times, 0), 0);
    // One byte more at the end of the WavPack file, its time set back.
    const std::string wv = folder + "/Chord.wv";
    struct stat wvBefore {};
    ASSERT_EQ(::stat(wv.c_str(), &wvBefore), 0);
    std::ofstream(wv, std::ios::app | std::ios::binary) << 'x';
    const struct timespec wvTimes[2] = {wvBefore.st_atim, wvBefore.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, wv.c_str(), wvTimes, 0), 0);
    {
        TResultCache cache;
        ASSERT_TRUE(cache.Open(database));
        const auto items = Scan(folder, cache, fromCache);
        EXPECT_EQ(fromCache, 1);   // the MP3 file alone
        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(items[2]->FileSize, wvBefore.st_size + 1);
    }
    // A row written by another reader version (as after a version bump) is stale.
    Execute(database, "UPDATE results SET version = version + 1 WHERE hex(path) LIKE '%" +
                          std::string("2E6D7033") + "'");   // ".mp3"
    {
        TResultCache cache;
        ASSERT_TRUE(cache.Open(database));
        Scan(folder, cache, fromCache);
        EXPECT_EQ(fromCache, 2);
        Scan(folder, cache, fromCache);
        EXPECT_EQ(fromCache, 3);
    }
    // Another schema version: the table is made anew, without a word.
    Execute(database, "PRAGMA user_version = 1");
    Messages messages;
    TResultCache cache(messages.Sink());
    ASSERT_TRUE(cache.Open(database));
    Scan(folder, cache, fromCache);
    EXPECT_EQ(fromCache, 0);
    EXPECT_TRUE(messages.texts.empty());
}

TEST(ResultCache, DamagedOrLockedDatabaseNeverStopsTheScan) {
    TempDir dir;
    const std::string folder = std::string(SONDARO_SOURCE_DIR) + "/samples";
    const std::string database = dir / "sondaro/results.sqlite";
    dir.Write("sondaro/results.sqlite", std::string(5000, 'x'));
    int fromCache = 0;
    {
        Messages messages;
        TResultCache cache(messages.Sink());
        ASSERT_TRUE(cache.Open(database));
        ASSERT_EQ(messages.texts.size(), 1u);
        EXPECT_NE(messages.texts[0].find("could not be read (file is not a database) and was made anew"),
                  std::string::npos) << messages.texts[0];
        EXPECT_EQ(Scan(folder, cache, fromCache).size(), 11u);
    }
    // Pages overwritten in the middle of a database full of rows.
    {
        std::fstream file(database, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(4096);
        const std::string junk(4096 * 3, '\xA5');
        file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    for (int run = 0; run < 2; ++run) {
        Messages messages;
        TResultCache cache(messages.Sink());
        cache.Open(database);
        EXPECT_EQ(Scan(folder, cache, fromCache).size(), 11u);
    }
    // The command line says so on stderr and lists every row.
    dir.Write("sondaro/results.sqlite", std::string(100, '\0') + "junk");
    const CliRun run = RunCli(dir.Path().string(), "--cache -f tsv " + Quoted(folder));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 12);
    EXPECT_NE(run.err.find("sondaro-cli: The results cache \"" + database + "\" could not be read"), std::string::npos)
        << run.err;
    // A cache folder that cannot be made: scanning without the cache.
    dir.Write("blocked", "a file where the folder should be");
    const CliRun blocked = RunCli(dir / "blocked", "--cache -f tsv " + Quoted(folder));
    EXPECT_EQ(blocked.status, 0);
    EXPECT_EQ(std::count(blocked.out.begin(), blocked.out.end(), '\n'), 12);
    EXPECT_NE(blocked.err.find("cannot be used"), std::string::npos) << blocked.err;

    // Another program holding the database locked: the rows still come.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        Messages messages;
        TResultCache cache(messages.Sink());
        if (cache.Open(database)) {
            TempDir copy;
            fs::copy_file(folder + "/Chord.flac", copy / "Chord.flac");
            EXPECT_EQ(Scan(copy.Path().string(), cache, fromCache).size(), 1u);
        }
        ASSERT_FALSE(messages.texts.empty());
        EXPECT_NE(messages.texts.back().find("locked"), std::string::npos) << messages.texts.back();
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}
