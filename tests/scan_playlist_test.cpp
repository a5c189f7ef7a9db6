#include "TestSupport.h"
#include "core/FPLfile.h"
#include "core/FolderScan.h"
#include "io/IniFile.h"
#include "core/Playlists.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::vector<std::string>& paths, const std::string& root) {
    std::vector<std::string> out;
    for (const auto& p : paths) out.push_back(p.substr(root.size()));
    return out;
}

// Records each analysed path; throws for paths containing "bad".
struct Recorder {
    std::vector<std::string> roots, paths;
    void operator()(const std::string& root, const std::string& path) {
        roots.push_back(root);
        paths.push_back(path);
        if (path.find("bad") != std::string::npos) throw std::runtime_error("cannot read " + path);
    }
};

} // namespace

TEST(FolderScan, ListsSupportedFilesInNameOrderAndSkipsHidden) {
    TempDir dir;
    for (const char* name : {"b.MP3", "a.flac", "B2.wav", "x.mp3.bak", "mp3", "notes.txt", ".hidden.mp3", "c.mp+",
                             "a10.ogg", "a9.ogg"})
        dir.Write(name, "x");
    dir.Folder("Sub");
    dir.Folder(".hiddenfolder");
    ::mkfifo((dir / "pipe.mp3").c_str(), 0600);   // never opened: it would block
    std::vector<std::string> files;
    std::deque<std::string> folders;
    const std::string root = dir.Path().string() + "/";
    ListFolder(root, files, folders);
    EXPECT_EQ(Names(files, root), (std::vector<std::string>{"a.flac", "a10.ogg", "a9.ogg", "b.MP3", "B2.wav", "c.mp+"}));
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0], root + "Sub");
    EXPECT_TRUE(FolderNameLess("a", "B"));
    EXPECT_TRUE(FolderNameLess("B", "b"));   // equal upper-cased: by code point
    EXPECT_TRUE(FolderNameLess("a", "ab"));
}

// Names whose order needs the whole rule: case pairs, accented letters
// upper-cased in the UTF-8 locale, a prefix against a longer name, a stray
// byte, links to a file, to a folder and to an unsupported file.
TEST(FolderScan, TrickyNamesKeepTheirOrder) {
    const std::string previous = std::setlocale(LC_CTYPE, nullptr);
    if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
    TempDir dir;
    for (const char* name : {"a.mp3", "A.mp3", "ab.mp3", "ab c.mp3", "Z.mp3", "e3.mp3", "\xC3\xA9" "2.mp3",
                             "\xC3\x89" "1.mp3", "\xC3\x9F.mp3", "\xE4\xB8\xAD.mp3", "\xFF.mp3", "_x.mp3", "1.mp3"})
        dir.Write(name, "x");
    dir.Write("target.txt", "x");
    fs::create_symlink(dir.Path() / "a.mp3", dir.Path() / "link.mp3");
    fs::create_symlink(dir.Path() / "target.txt", dir.Path() / "text.mp3.txt");
    dir.Folder("m");
    fs::create_directory_symlink(dir.Path() / "m", dir.Path() / "L");
    std::vector<std::string> files;
    std::deque<std::string> folders;
    const std::string root = dir.Path().string() + "/";
    ListFolder(root, files, folders);
    std::setlocale(LC_CTYPE, previous.c_str());
    // By upper-cased code point: "1" 0x31, "A" 0x41 (A before a), "AB " before
    // "AB.", "E" 0x45, "L" (link.mp3), "Z", "_" 0x5F, U+00C9 twice (1 before 2),
    // U+00DF, U+4E2D; the stray byte 0xFF is taken as itself with what follows.
    EXPECT_EQ(Names(files, root),
              (std::vector<std::string>{"1.mp3", "A.mp3", "a.mp3", "ab c.mp3", "ab.mp3", "e3.mp3", "link.mp3", "Z.mp3",
                                        "_x.mp3", "\xC3\x89" "1.mp3", "\xC3\xA9" "2.mp3", "\xC3\x9F.mp3",
                                        "\xE4\xB8\xAD.mp3", "\xFF.mp3"}));
    EXPECT_EQ(Names(std::vector<std::string>(folders.begin(), folders.end()), root),
              (std::vector<std::string>{"L", "m"}));
}

TEST(FolderScan, RecursiveScanIsBreadthFirstAndFlatScanStaysInTheRoot) {
    TempDir dir;
    dir.Write("a1.mp3", "x");
    dir.Write("a2.mp3", "x");
    dir.Write("C/D/d1.mp3", "x");
    dir.Write("B/b1.mp3", "x");
    dir.Write("B/.h/h.mp3", "x");
    fs::create_directory_symlink(dir.Path(), dir.Path() / "C" / "loop");   // points back up
    Recorder recorder;
    TScanCallbacks callbacks;
    callbacks.AnalyseFile = std::ref(recorder);
    const std::string root = dir.Path().string() + "/";
    TScanResult result = ScanFolder(dir.Path().string(), true, callbacks);
    EXPECT_TRUE(result.Scanned);
    EXPECT_EQ(result.Root, root);
    EXPECT_EQ(Names(recorder.paths, root), (std::vector<std::string>{"a1.mp3", "a2.mp3", "B/b1.mp3", "C/D/d1.mp3"}));
    for (const auto& r : recorder.roots) EXPECT_EQ(r, root);

    Recorder flat;
    callbacks.AnalyseFile = std::ref(flat);
    ScanFolder(root, false, callbacks);
    EXPECT_EQ(Names(flat.paths, root), (std::vector<std::string>{"a1.mp3", "a2.mp3"}));

    // Pending after the first folder ends a recursive scan there.
    Recorder pending;
    callbacks.AnalyseFile = std::ref(pending);
    callbacks.Pending = [] { return true; };
    ScanFolder(root, true, callbacks);
    EXPECT_EQ(pending.paths.size(), 2u);

    EXPECT_FALSE(ScanFolder(dir / "missing", true, callbacks).Scanned);
}

TEST(FolderScan, AFailedFileIsReportedAndTheScanGoesOn) {
    TempDir dir;
    dir.Write("a.mp3", "x");
    dir.Write("bad.mp3", "x");
    dir.Write("c.mp3", "x");
    Recorder recorder;
    int afterFile = 0;
    TScanCallbacks callbacks;
    callbacks.AnalyseFile = std::ref(recorder);
    callbacks.AfterFile = [&] { ++afterFile; };
    const TScanResult result = ScanFolder(dir.Path().string(), false, callbacks);
    EXPECT_EQ(recorder.paths.size(), 3u);
    EXPECT_EQ(afterFile, 3);
    ASSERT_EQ(result.Failures.size(), 1u);
    EXPECT_EQ(result.Failures[0].Path, dir / "bad.mp3");
}

TEST(FolderScan, AnalysisListRowsAndTotals) {
    TempDir dir;
    dir.Write("empty.flac", "");
    dir.Write("Sub/x.flac", "not a flac file");
    TAnalysisList list;
    const TScanResult result = ScanIntoList(list, dir.Path().string(), true);
    EXPECT_TRUE(result.Failures.empty());
    ASSERT_EQ(list.Rows().size(), 1u);   // the empty file gives no row
    const TListRow& row = list.Rows()[0];
    EXPECT_EQ(row.Item->RelativePath, "Sub/");
    EXPECT_EQ(row.Item->FileType, "FLAC");
    EXPECT_EQ(row.Texts[0], "x.flac");
    EXPECT_EQ(row.Texts[6], "File could not be scanned");
    EXPECT_EQ(list.ShowTotals()[kPanelFileCount], "File Count: 1");
    EXPECT_THROW(list.AnalyseFile("/", dir / "missing.flac"), std::exception);
    EXPECT_EQ(list.Rows().size(), 1u);
}

TEST(StartTarget, FolderFileAndPlaylistArguments) {
    TempDir dir;
    const std::string file = dir.Write("a.mp3", "x");
    const std::string playlist = dir.Write("list.M3U", "a.mp3\n");
    EXPECT_EQ(ResolveStartTarget("").Folder, "/");
    EXPECT_EQ(ResolveStartTarget(file).Folder, dir.Path().string() + "/");
    EXPECT_FALSE(ResolveStartTarget(file).IsPlaylist);
    EXPECT_EQ(ResolveStartTarget(dir.Path().string()).Folder, dir.Path().string());
    const TStartTarget list = ResolveStartTarget(playlist);
    EXPECT_TRUE(list.IsPlaylist);
    EXPECT_EQ(list.Folder, dir.Path().string() + "/");
}

TEST(Playlists, M3uLinesResolvedInOrderSkippingCommentsAndEmptyLines) {
    TempDir dir;
    const std::string playlist =
        dir.Write("x.m3u", "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:1,Title\r\n/abs/a.mp3\r\n\r\nsub/c.mp3\rbad.mp3\nlast.ogg");
    Recorder recorder;
    const TPlaylistResult result = LoadM3u(playlist, std::ref(recorder));
    EXPECT_TRUE(result.Loaded);
    const std::string folder = dir.Path().string() + "/";
    EXPECT_EQ(recorder.paths, (std::vector<std::string>{"/abs/a.mp3", folder + "sub/c.mp3", folder + "bad.mp3",
                                                        folder + "last.ogg"}));
    EXPECT_EQ(recorder.roots[0], folder);   // entries are placed relative to the playlist's folder
    ASSERT_EQ(result.Failures.size(), 1u);    // the failing entry did not stop the load
    EXPECT_FALSE(LoadM3u(dir / "missing.m3u", std::ref(recorder)).Loaded);
}

TEST(Playlists, PlsEntriesFromZeroToTheCount) {
    TempDir dir;
    const std::string playlist = dir.Write(
        "x.pls", "[Playlist]\r\nnumberofentries=3\r\nFile1=one.mp3\r\nfile2 = /abs/two.mp3\r\nFile3=\r\nFile4=four.mp3\r\n");
    Recorder recorder;
    EXPECT_TRUE(LoadPls(playlist, std::ref(recorder)).Loaded);
    const std::string folder = dir.Path().string() + "/";
    EXPECT_EQ(recorder.paths, (std::vector<std::string>{folder + "one.mp3", "/abs/two.mp3"}));

    // A huge count costs nothing; a missing section or file finds nothing.
    Recorder huge;
    LoadPls(dir.Write("huge.pls", "[playlist]\nNumberOfEntries=2147483647\nFile0=zero.mp3\n"), std::ref(huge));
    EXPECT_EQ(huge.paths, (std::vector<std::string>{folder + "zero.mp3"}));
    Recorder none;
    LoadPls(dir.Write("none.pls", "[other]\nFile1=a.mp3\n"), std::ref(none));
    LoadPls(dir / "missing.pls", std::ref(none));
    Recorder negative;
    LoadPls(dir.Write("neg.pls", "[playlist]\nNumberOfEntries=-1\nFile0=a.mp3\n"), std::ref(negative));
    EXPECT_TRUE(none.paths.empty());
    EXPECT_TRUE(negative.paths.empty());
}

TEST(IniFile, PrivateProfileManners) {
    TIniFile ini;
    ini.Parse("; comment\n[Position]\nLeft = 12\nMaximized=5\nBad=x\n[position]\nTop=3\n[Columns]\nName=\"quoted\"\n");
    EXPECT_EQ(ini.ReadInteger("POSITION", "left", 0), 12);
    EXPECT_TRUE(ini.ReadBool("Position", "Maximized", false));
    EXPECT_EQ(ini.ReadInteger("Position", "Bad", 7), 7);
    EXPECT_EQ(ini.ReadInteger("Position", "Top", 0), 3);
    EXPECT_EQ(ini.ReadInteger("Position", "Missing", 939), 939);
    EXPECT_EQ(ini.ReadString("Columns", "Name", ""), "quoted");
    ini.WriteBool("Settings", "AlphaBlend", true);
    ini.WriteInteger("Position", "Left", -4);
    EXPECT_NE(ini.Text().find("[Settings]\r\nAlphaBlend=1\r\n"), std::string::npos);
    EXPECT_NE(ini.Text().find("Left=-4\r\n"), std::string::npos);
}

namespace {

void AppendString(Bytes& out, std::string_view text) {
    AppendLE32(out, static_cast<uint32_t>(text.size()));
    Append(out, text);
}

// A binary playlist: header (sum 669), then per track "file://" + path, 28
// bytes of track data, a key/value count (a zero count is followed by a
// second one) and that many pairs, then the count of the next block (0).
Bytes Fpl(int32_t count, const std::vector<std::pair<std::string, std::vector<std::string>>>& tracks,
          unsigned char first = 0xE1) {
    Bytes out{first, 0xA0, 0x9C, 0x00};   // 225 + 160 + 156 + ... adjusted below
    out[3] = static_cast<unsigned char>(669 - out[0] - out[1] - out[2]);
    AppendZeros(out, 16);
    AppendLE32(out, static_cast<uint32_t>(count));
    AppendZeros(out, 4);
    for (const auto& [path, keyValues] : tracks) {
        AppendString(out, "file://" + path);
        AppendZeros(out, 28);
        AppendLE32(out, static_cast<uint32_t>(keyValues.size() / 2));
        if (keyValues.empty()) AppendLE32(out, 0);   // a zero count is followed by a second one
        for (const auto& s : keyValues) AppendString(out, s);
        if (!keyValues.empty()) AppendLE32(out, 0);   // the next block is empty
    }
    return out;
}

} // namespace

TEST(FplFile, TracksRelativeAbsoluteAndMetadata) {
    TempDir dir;
    const std::string path =
        dir.Write("x.fpl", Fpl(3, {{"song.ogg", {"Artist", "Someone", "Title", "T\xC3\xADtle"}},
                                    {"/music/a.flac", {}},
                                    {"sub/b.mp3", {"codec", "MP3"}}}));
    TFPLfile fpl;
    ASSERT_TRUE(fpl.Open(path));
    EXPECT_EQ(fpl.TrackCount(), 3);
    const std::string folder = dir.Path().string() + "/";
    EXPECT_EQ(fpl.TrackPath(1), folder + "song.ogg");
    EXPECT_EQ(fpl.TrackPath(2), "/music/a.flac");
    EXPECT_EQ(fpl.TrackPath(3), folder + "sub/b.mp3");
    EXPECT_EQ(fpl.Tracks()[0].Artist, "Someone");
    EXPECT_EQ(fpl.Tracks()[0].Title, "T\xC3\xADtle");
    EXPECT_EQ(fpl.Tracks()[2].Codec, "MP3");

    Recorder recorder;
    EXPECT_TRUE(LoadFpl(path, std::ref(recorder)).Loaded);
    EXPECT_EQ(recorder.paths.size(), 3u);
}

TEST(FplFile, DamagedFilesNeitherOverflowNorReadEmptySlots) {
    TempDir dir;
    TFPLfile fpl;
    // Header sum 668.
    Bytes wrong = Fpl(1, {{"a.mp3", {}}});
    wrong[3] -= 1;
    EXPECT_FALSE(fpl.Open(dir.Write("wrong.fpl", wrong)));
    EXPECT_FALSE(fpl.Open(dir / "missing.fpl"));
    // More tracks than the count: the extra ones have no slot.
    ASSERT_TRUE(fpl.Open(dir.Write("more.fpl", Fpl(1, {{"a.mp3", {}}, {"b.mp3", {}}}))));
    EXPECT_EQ(fpl.Tracks().size(), 1u);
    // Fewer: the empty slots are never handed out.
    Recorder recorder;
    LoadFpl(dir.Write("fewer.fpl", Fpl(5, {{"a.mp3", {}}})), std::ref(recorder));
    EXPECT_EQ(recorder.paths.size(), 1u);
    // A negative count, a huge count, a truncated file, a negative length.
    ASSERT_TRUE(fpl.Open(dir.Write("neg.fpl", Fpl(-3, {{"a.mp3", {}}}))));
    EXPECT_TRUE(fpl.Tracks().empty());
    ASSERT_TRUE(fpl.Open(dir.Write("huge.fpl", Fpl(0x7FFFFFFF, {{"a.mp3", {}}}))));
    EXPECT_EQ(fpl.Tracks().size(), 1u);
    Bytes cut = Fpl(2, {{"a.mp3", {"Artist", "x"}}, {"b.mp3", {}}});
    cut.resize(cut.size() - 20);
    ASSERT_TRUE(fpl.Open(dir.Write("cut.fpl", cut)));
    EXPECT_EQ(fpl.Tracks().size(), 2u);
    Bytes negative = Fpl(1, {});
    AppendLE32(negative, 0xFFFFFFF0u);
    Append(negative, "file://x");
    ASSERT_TRUE(fpl.Open(dir.Write("neglen.fpl", negative)));
    EXPECT_TRUE(fpl.Tracks().empty());
    // A header-only file shorter than 28 bytes.
    Bytes tiny = Fpl(1, {});
    tiny.resize(6);
    EXPECT_TRUE(fpl.Open(dir.Write("tiny.fpl", tiny)));
}
