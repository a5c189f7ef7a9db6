// Hostile and damaged input through the real entry points: the command-line
// tool for what reaches the terminal and the report, the playlist loaders for
// what reaches the analysis.
#include "core/Playlists.h"
#include "io/Errors.h"
#include "io/FileStream.h"
#include "settings/Integration.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <chrono>
#include <filesystem>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using CliRun = ShellRun;   // status 124 when it had to be stopped

std::string Quoted(const std::string& text) { return ShellQuoted(text); }

// Runs sondaro-cli with a time limit; standard output and error apart.
CliRun RunCli(const std::string& arguments) {
    return RunSondaroCli(arguments + " </dev/null", "timeout 30 ");
}

TPlaylistResult Load(const std::string& playlist, std::vector<std::string>& seen) {
    return LoadPlaylist(playlist, [&](const std::string&, const std::string& path) { seen.push_back(path); });
}

std::string Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const auto& name : names) joined += name + "|";
    return joined;
}

} // namespace

TEST(HostilePlaylists, PlsVisitsOnlyThePresentKeysInIndexOrder) {
    // One key with the highest index used to make the loader count to it
    // (minutes); with thousands of other keys, hours.
    TempDir dir;
    std::string text = "[playlist]\nNumberOfEntries=2147483647\nFile2147483647=last.mp3\n";
    for (int k = 3000; k < 5000; ++k) text += "Title" + std::to_string(k) + "=x\n";
    text += "File3=c.mp3\nfile1=b.mp3\nFile01=not-a-key.mp3\nFile2=\nFILE0=a.mp3\nFile1=second-file1.mp3\n";
    const std::string pls = dir.Write("x.pls", text);
    std::vector<std::string> seen;
    const TPlaylistResult result = Load(pls, seen);
    EXPECT_TRUE(result.Loaded);
    const std::string folder = dir.Path().string() + "/";
    EXPECT_EQ(seen, (std::vector<std::string>{folder + "a.mp3", folder + "b.mp3", folder + "c.mp3", folder + "last.mp3"}));

    // Keys above NumberOfEntries are not entries; a negative count reads none.
    seen.clear();
    Load(dir.Write("two.pls", "[playlist]\nNumberOfEntries=2\nFile3=c.mp3\nFile2=b.mp3\n"), seen);
    EXPECT_EQ(seen, std::vector<std::string>{folder + "b.mp3"});
    seen.clear();
    Load(dir.Write("neg.pls", "[playlist]\nNumberOfEntries=-1\nFile0=a.mp3\n"), seen);
    EXPECT_TRUE(seen.empty());

    // A .pls over 64 MiB is no playlist: not read, with a note (a sparse file).
    const std::string huge = dir.Write("huge.pls", "[playlist]\nFile0=a.mp3\n");
    fs::resize_file(huge, (int64_t(64) << 20) + 1);
    seen.clear();
    const TPlaylistResult skipped = Load(huge, seen);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(skipped.Notes, std::vector<std::string>{huge + " is larger than 64 MiB and is not read as a playlist"});

    // A large file of distinct keys parses in linear time (the suite's time
    // limit catches a quadratic parse).
    std::string many = "[playlist]\nNumberOfEntries=200000\n";
    for (int k = 1; k <= 200000; ++k) many += "File" + std::to_string(k) + "=\n";
    many += "File200000=z.mp3\n";
    seen.clear();
    Load(dir.Write("many.pls", many), seen);
    EXPECT_TRUE(seen.empty());   // the first File200000 (empty) wins
}

TEST(HostilePlaylists, LoadsStopWhenCancelled) {
    TempDir dir;
    std::string m3u;
    for (int i = 0; i < 1000; ++i) m3u += "#comment\n";
    m3u += "a.mp3\n";
    int asked = 0;
    std::vector<std::string> seen;
    const auto handler = [&](const std::string&, const std::string& path) { seen.push_back(path); };
    // Comment lines call no handler; the check is still asked between lines.
    LoadM3u(dir.Write("x.m3u", m3u), handler, [&] { return ++asked > 10; });
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(asked, 11);

    // An .fpl of nothing but metadata strings: asked during the read.
    Bytes fpl = {0xE1, 0xA0, 0x9C, 0x80};   // bytes adding up to 669
    AppendZeros(fpl, 24);
    for (int i = 0; i < 100000; ++i) AppendLE32(fpl, 0);
    asked = 0;
    const TPlaylistResult result = LoadFpl(dir.Write("x.fpl", fpl), handler, [&] { return ++asked > 2; });
    EXPECT_TRUE(result.Loaded);
    EXPECT_EQ(asked, 3);
}

TEST(HostilePlaylists, M3uLinesThatAreNoPaths) {
    TempDir dir;
    dir.Write("a.mp3", "not audio");
    // A 100 KB line, a line with a NUL byte (which would open "a.mp3" and
    // show another name), then a proper entry.
    std::string text(100 * 1024, 'x');
    text += "\r\n";
    text += std::string("a.mp3\0.flac", 11) + "\n";
    text += "a.mp3";
    const std::string m3u = dir.Write("x.m3u", text);
    std::vector<std::string> seen;
    const TPlaylistResult result = Load(m3u, seen);
    EXPECT_EQ(seen, std::vector<std::string>{dir.Path().string() + "/a.mp3"});
    ASSERT_EQ(result.Notes.size(), 2u);
    EXPECT_EQ(result.Notes[0], m3u + ": line 1 is longer than 65536 bytes and is not taken as a path");
    EXPECT_EQ(result.Notes[1], m3u + ": line 2 holds a NUL byte and is not taken as a path");

    // The command line says so on standard error and lists the proper entry.
    const CliRun run = RunCli("-f tsv " + Quoted(m3u));
    EXPECT_EQ(run.status, 1) << run.err;   // a.mp3 is not a real MP3: not recognised
    EXPECT_NE(run.err.find("line 1 is longer than 65536 bytes"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("line 2 holds a NUL byte"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("\na.mp3\tMP3"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(".flac"), std::string::npos) << run.out;

    // A path with a NUL never reaches the system as a shorter name.
    EXPECT_THROW(TFileStream(dir.Path().string() + std::string("/a.mp3\0.flac", 12)), EFOpenError);
}

TEST(HostileReport, PlantedLinkOrFifoIsRefused) {
    TempDir dir;
    const std::string folder = dir.Folder("music");
    dir.Write("music/a.flac", "not flac");
    const std::string victim = dir.Write("victim.txt", "precious");
    const std::string report = folder + "/!Sdro Analysis.html";

    // A link under the report's name: refused, its target untouched.
    fs::create_symlink(victim, report);
    CliRun run = RunCli("--html " + Quoted(folder));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Cannot create file \"" + report + "\". It exists and is not a regular file"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("report written"), std::string::npos) << run.err;
    const Bytes kept = ReadAll(victim);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious");
    EXPECT_TRUE(fs::is_symlink(report));

    // A FIFO: refused at once instead of blocking on open.
    fs::remove(report);
    ASSERT_EQ(::mkfifo(report.c_str(), 0600), 0);
    run = RunCli("--html " + Quoted(folder));
    EXPECT_EQ(run.status, 1) << "124 means it hung";
    EXPECT_NE(run.err.find("It exists and is not a regular file"), std::string::npos) << run.err;

    // A regular file is replaced, keeps its permissions, and no temporary
    // file is left behind.
    fs::remove(report);
    dir.Write("music/!Sdro Analysis.html", "old report");
    ::chmod(report.c_str(), 0640);
    run = RunCli("--html " + Quoted(folder));
    EXPECT_EQ(run.status, 1) << run.err;   // a.flac is not recognised; the report is written
    EXPECT_NE(run.err.find("The report was written to"), std::string::npos) << run.err;
    const Bytes written = ReadAll(report);
    ASSERT_GE(written.size(), 2u);
    EXPECT_EQ(written[0], 0xFF);
    EXPECT_EQ(written[1], 0xFE);
    struct stat info {};
    ASSERT_EQ(::lstat(report.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(folder), "!Sdro Analysis.html|a.flac|");
}

TEST(HostileOutput, ControlCharactersNeverReachTheTerminalRaw) {
    TempDir dir;
    // Escape sequences that would retitle and clear a terminal, a bell, a C1
    // CSI, a stray byte, and a tab and newline that would split a row.
    const std::string name = std::string("a\x1b]0;owned\x07\x1b[2J") + "\xC2\x9B" + "\xFF" + "\tb\nc.flac";
    dir.Write(name, "not flac");
    const std::string folder = dir.Path().string();

    const CliRun text = RunCli("-c 'File Name,Type' " + Quoted(folder));
    EXPECT_EQ(text.status, 1);   // not recognised as FLAC
    EXPECT_EQ(text.err.find('\x1b'), std::string::npos);   // the name on stderr is shown visibly too
    EXPECT_NE(text.out.find("a\\x1b]0;owned\\x07\\x1b[2J\\u009b\\xff\\x09b\\x0ac.flac  FLAC"), std::string::npos)
        << text.out;
    const CliRun tsv = RunCli("-f tsv -c 'File Name,Type' " + Quoted(folder));
    EXPECT_EQ(tsv.out, "File Name\tType\na\\x1b]0;owned\\x07\\x1b[2J\\u009b\\xff\\tb\\nc.flac\tFLAC\n");
    const CliRun csv = RunCli("-f csv -c 'File Name,Type' " + Quoted(folder));
    EXPECT_EQ(csv.out, "File Name,Type\r\n\"a\\x1b]0;owned\\x07\\x1b[2J\\u009b\\xff\tb\nc.flac\",FLAC\r\n");
    for (const CliRun* run : {&text, &tsv, &csv}) {
        EXPECT_EQ(run->out.find('\x1b'), std::string::npos);
        EXPECT_EQ(run->out.find('\x07'), std::string::npos);
        EXPECT_EQ(run->out.find("\xC2\x9B"), std::string::npos);
    }
    // JSON escapes them its own way.
    const CliRun json = RunCli("-f json " + Quoted(folder));
    EXPECT_NE(json.out.find("a\\u001b]0;owned\\u0007"), std::string::npos) << json.out;
}

TEST(HostileOutput, EveryFailureNamesItsFile) {
    // Two MPEG-2.5 Layer III frames of 72 bytes (8 kbit/s, 8 kHz): a stream
    // too short for a LAME tag. The MPEG reader takes the tag from the frames
    // it has read, so this is a row, not a failure.
    Bytes frame = {0xFF, 0xE3, 0x18, 0x40};
    frame.resize(72, 0x55);
    Bytes damaged = frame;
    Append(damaged, frame);
    TempDir dir;
    for (int i = 0; i < 11; ++i) dir.Write("f" + std::to_string(i) + ".flac", "not flac");
    dir.Write("damaged.mp3", damaged);
    const CliRun run = RunCli(Quoted(dir.Path().string()));
    EXPECT_EQ(run.err.find("damaged.mp3"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("MPEG 2.5 Layer III FhG?"), std::string::npos) << run.out;

    // The open error already names the file; it is not named twice.
    const std::string m3u = dir.Write("x.m3u", "missing.mp3\n");
    const CliRun missing = RunCli(Quoted(m3u));
    EXPECT_NE(missing.err.find("sondaro-cli: Cannot open file \"" + dir.Path().string() + "/missing.mp3\". "),
              std::string::npos)
        << missing.err;
}

TEST(HostileIntegration, ProgramPathWithPercentStartsThroughGLib) {
    // GLib is the real reader of the folder command's desktop entry.
    if (std::system("command -v gio >/dev/null 2>&1") != 0) GTEST_SKIP() << "gio (GLib) is not installed";
    TempDir dir;
    const std::string ran = dir / "ran.txt";
    const std::string program = dir.Write("100% sure/sondaro", "#!/bin/sh\nprintf '%s\\n' \"$@\" >" + Quoted(ran + ".part") + " && mv " +
                                                               Quoted(ran + ".part") + " " + Quoted(ran) + "\n");
    fs::permissions(program, fs::perms::owner_all);
    const std::string entry = dir.Write("view.desktop", FolderCommandDesktopEntry(program));
    const std::string folder = dir.Folder("some folder");
    ASSERT_EQ(std::system(("gio launch " + Quoted(entry) + " " + Quoted(folder) + " 2>&1").c_str()), 0);
    for (int i = 0; i < 100 && !fs::exists(ran); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const Bytes args = ReadAll(ran);
    EXPECT_EQ(std::string(args.begin(), args.end()), folder + "\n");
}
