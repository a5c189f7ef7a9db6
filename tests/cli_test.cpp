// sondaro-cli run as a script would run it: the built binary, its standard
// output, standard error and exit status.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using RunResult = ShellRun;

std::string Quoted(const std::string& path) { return ShellQuoted(path); }

// Runs the command line through the shell; prefix goes before the program
// (e.g. to run it as another user).
RunResult RunCli(const std::string& arguments, const std::string& prefix = "") {
    return RunSondaroCli(arguments, prefix);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

const std::string kSamples = std::string(SONDARO_SOURCE_DIR) + "/samples";

} // namespace

TEST(Cli, CleanRunIsSilentWithStatusZero) {
    const RunResult run = RunCli(Quoted(kSamples));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("File Count: 11"), std::string::npos) << run.out;
}

TEST(Cli, UnrecognisedEmptyAndMissingFilesAreNamedOnceWithStatusOne) {
    TempDir dir;
    dir.Write("a.flac", "not flac");
    dir.Write("Sub/b.mp3", "not mp3");
    dir.Write("empty.flac", "");
    dir.Write("list.m3u", "a.flac\nmissing.mp3\n");
    const std::string a = dir / "a.flac";

    // The rows are still listed; each bad file is named once on stderr.
    const RunResult flat = RunCli("--columns 'File Name,Type,Encoder Info' " + Quoted(dir.Path().string()));
    EXPECT_EQ(flat.status, 1);
    EXPECT_NE(flat.out.find("File Name   Type  Encoder Info"), std::string::npos) << flat.out;
    EXPECT_NE(flat.out.find("a.flac      FLAC  File could not be scanned"), std::string::npos) << flat.out;
    EXPECT_EQ(flat.out.find("b.mp3"), std::string::npos);
    EXPECT_NE(flat.out.find("empty.flac  FLAC  File could not be scanned"), std::string::npos) << flat.out;
    EXPECT_NE(flat.out.find("File Count: 2"), std::string::npos);
    EXPECT_EQ(flat.err, "sondaro-cli: File \"" + a + "\" could not be scanned: it was not recognised as a valid FLAC file.\n"
                        "sondaro-cli: File \"" + (dir / "empty.flac") + "\" is empty.\n");

    const RunResult csv = RunCli("-r -f csv -c all " + Quoted(dir.Path().string()));
    EXPECT_EQ(csv.status, 1);
    EXPECT_EQ(csv.out,
              "Relative Path,File Name,Type,Size,Length,Sample Rate,Channels,Bits Per Sample,Ratio,Bitrate,Encoder Info,"
              "Health,Lossless Check\r\n"
              ",a.flac,FLAC,0.00 MB,00:00,0,0,0,0.00%,0 kbps,File could not be scanned,Not recognised,\r\n"
              ",empty.flac,FLAC,0.00 MB,00:00,0,0,0,0.00%,0 kbps,File could not be scanned,Empty file,\r\n"
              "Sub/,b.mp3,MP3,0.00 MB,00:00,0,0,0,0.00%,0 kbps,File could not be scanned,Not recognised,\r\n");
    EXPECT_EQ(Lines(csv.err).size(), 3u) << csv.err;

    // An empty file named alone is not dropped without a word.
    const RunResult empty = RunCli("-f json " + Quoted(dir / "empty.flac"));
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "sondaro-cli: File \"" + (dir / "empty.flac") + "\" is empty.\n");
    EXPECT_NE(empty.out.find("\"FileName\": \"empty.flac\", \"FileType\": \"FLAC\", \"FileSize\": 0"), std::string::npos)
        << empty.out;
    EXPECT_NE(empty.out.find("\"Health\": [\"Empty file\"], \"scanned\": false, \"error\": \"File \\\"" +
                             (dir / "empty.flac") + "\\\" is empty.\"}"),
              std::string::npos) << empty.out;
    EXPECT_NE(empty.out.find("\"FileCount\": 1"), std::string::npos);

    // A good and a bad file: "scanned" on each, "error" only on the failure.
    const RunResult json = RunCli("-f json " + Quoted(kSamples + "/Chord.flac") + " " + Quoted(a));
    EXPECT_EQ(json.status, 1);
    EXPECT_NE(json.out.find("\"EncoderInfo\": \"reference libFLAC"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"scanned\": true}"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"scanned\": false, \"error\": \"File \\\"" + a + "\\\" could not be scanned"), std::string::npos);
    EXPECT_NE(json.out.find("\"errors\": [\n    {\"path\": \"" + a + "\", \"folder\": false"), std::string::npos);

    // An MP3 whose LAME tag records its delay and padding: the length exact to
    // the sample (ffmpeg's full decode gives 88,200 samples, 2 s), the mark the
    // encoder name rests on, and the settings.
    const RunResult lame = RunCli("-f json " + Quoted(kSamples + "/Chord (LAME V2).mp3"));
    EXPECT_EQ(lame.status, 0) << lame.err;
    EXPECT_NE(lame.out.find("\"Duration\": 2, "), std::string::npos) << lame.out;
    EXPECT_NE(lame.out.find("\"encoderEvidence\": \"LAME tag\", \"encoderSettings\": \"-V 2 -q 0 --lowpass 18.5; "),
              std::string::npos) << lame.out;
    EXPECT_NE(lame.out.find("\"durationSamples\": 88200}"), std::string::npos) << lame.out;

    // A file of a type no reader knows, named alone.
    dir.Write("notes.txt", "hello");
    const RunResult text = RunCli(Quoted(dir / "notes.txt"));
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.err, "sondaro-cli: File \"" + (dir / "notes.txt") +
                            "\" could not be scanned: Sondaro reads no files with the extension \".txt\".\n");

    // A playlist entry that cannot be opened: named with the system's reason.
    const RunResult playlist = RunCli("-f tsv " + Quoted(dir / "list.m3u"));
    EXPECT_EQ(playlist.status, 1);
    EXPECT_NE(playlist.out.find("a.flac\tFLAC"), std::string::npos);
    EXPECT_NE(playlist.err.find("sondaro-cli: Cannot open file \"" + (dir / "missing.mp3") +
                                "\". No such file or directory.\n"), std::string::npos) << playlist.err;
    EXPECT_EQ(Lines(playlist.err).size(), 2u) << playlist.err;
}

TEST(Cli, UnreadableFilesAndFoldersGiveStatusOne) {
    TempDir dir;
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);   // reachable by another user
    std::filesystem::copy_file(kSamples + "/Chord.ogg", dir / "good.ogg");
    dir.Write("locked.ogg", "x");
    dir.Write("Closed/inside.ogg", "x");
    ::chmod((dir / "locked.ogg").c_str(), 0);
    ::chmod((dir / "Closed").c_str(), 0);
    // Permissions do not stop root: run the program as "nobody" then.
    std::string prefix;
    if (::geteuid() == 0) {
        if (std::system("setpriv --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "running as root without setpriv";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const RunResult run = RunCli("-r -f tsv -c 'File Name' " + Quoted(dir.Path().string()), prefix);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "File Name\ngood.ogg\n");   // the readable file is still listed
    EXPECT_EQ(run.err, "sondaro-cli: Cannot open file \"" + (dir / "locked.ogg") + "\". Permission denied.\n"
                       "sondaro-cli: Cannot list folder \"" + (dir / "Closed") + "\". Permission denied.\n");
    ::chmod((dir / "Closed").c_str(), 0700);
}

TEST(Cli, UsageErrorsAndMissingPathsGiveStatusTwo) {
    TempDir dir;
    dir.Write("a.flac", "not flac");
    const std::string missing = dir / "nothing-here";
    const RunResult run = RunCli(Quoted(dir / "a.flac") + " " + Quoted(missing));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");   // nothing is analysed when a PATH is missing
    EXPECT_EQ(run.err, "sondaro-cli: Cannot find \"" + missing + "\". No such file or directory.\n");

    for (const std::string arguments :
         {"--format xml .", "--columns Nonsense .", "", "--numbers cooked .", "--frobnicate .", "-f"}) {
        const RunResult usage = RunCli(arguments);
        EXPECT_EQ(usage.status, 2) << arguments;
        EXPECT_NE(usage.err.find("Try 'sondaro-cli --help'"), std::string::npos) << arguments;
    }
    EXPECT_EQ(RunCli("--format xml .").err,
              "sondaro-cli: There is no output format \"xml\"; use text, tsv, csv or json.\n"
              "Try 'sondaro-cli --help' for more information.\n");

    // Output that cannot be written is no clean run.
    if (std::filesystem::exists("/dev/full")) {
        const RunResult full = RunCli(Quoted(kSamples) + " >/dev/full");
        EXPECT_EQ(full.status, 1);
        EXPECT_EQ(full.err, "sondaro-cli: The list could not be written to standard output.\n");
    }

    const RunResult help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos);
    EXPECT_NE(help.out.find("--numbers"), std::string::npos);
    const RunResult version = RunCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("sondaro-cli ", 0), 0u);
    EXPECT_EQ(version.out.find_first_not_of("0123456789.\n", 12), std::string::npos) << version.out;
}

TEST(Cli, RawNumbersForSpreadsheets) {
    // ffprobe: 88244 bytes, 2.000000 s, 22050 Hz mono 16 bit; the PCM of
    // 2 s plus a 44-byte header is 88244 bytes (ratio 100 %), and
    // 22050 * 16 bit/s is 352.8 kbit/s.
    const std::string wav = Quoted(kSamples + "/Chord (mono, 22 kHz).wav");
    const std::string columns = "-c 'File Name,Size,Length,Sample Rate,Channels,Ratio,Bitrate' ";
    const RunResult raw = RunCli("-f csv --numbers raw " + columns + wav);
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.out, "File Name,Size,Length,Sample Rate,Channels,Ratio,Bitrate\r\n"
                       "\"Chord (mono, 22 kHz).wav\",88244,2.000,22050,1,100.00,353\r\n");
    const RunResult list = RunCli("-f tsv " + columns + wav);
    EXPECT_EQ(list.out, "File Name\tSize\tLength\tSample Rate\tChannels\tRatio\tBitrate\n"
                        "Chord (mono, 22 kHz).wav\t0.08 MB\t00:02\t22050\t1\t100.00%\t353 kbps\n");
    // The decimal point stays "." under a locale that writes a comma.
    if (std::system("locale -a 2>/dev/null | grep -qi '^de_DE.utf'") == 0) {
        const RunResult german = RunCli("-f tsv -n raw -c Length " + wav, "LC_ALL=de_DE.UTF-8 ");
        EXPECT_EQ(german.out, "Length\n2.000\n");
    }
}

TEST(Cli, HtmlReportDestinationAndFailure) {
    TempDir dir;
    std::filesystem::copy_file(kSamples + "/Chord.ogg", dir / "a.ogg");
    const std::string report = dir / "out report.html";
    const RunResult written = RunCli("-f tsv --html " + Quoted(report) + " " + Quoted(dir.Path().string()));
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(written.err, "sondaro-cli: The report was written to \"" + report + "\".\n");
    const Bytes bytes = ReadAll(report);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);   // UTF-16LE with its byte-order mark
    EXPECT_EQ(bytes[1], 0xFE);

    const RunResult folder = RunCli("-f tsv --html " + Quoted(dir.Path().string()));
    EXPECT_EQ(folder.status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "!Sdro Analysis.html"));

    // The message says the report was not written, and why.
    const std::string blocked = dir / "no such folder/r.html";
    const RunResult failed = RunCli("-f tsv --html=" + Quoted(blocked) + " " + Quoted(dir.Path().string()));
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find("a.ogg"), std::string::npos);
    EXPECT_EQ(failed.err, "sondaro-cli: The report could not be written. Cannot create file \"" + blocked +
                              "\". No such file or directory.\n");
}

TEST(Cli, TextColumnsAlignByDisplayWidth) {
    TempDir dir;
    // Display widths: CJK ideographs and kana two columns each, Cyrillic one,
    // the emoji two, the combining acute accent none.
    const std::vector<std::pair<std::string, int>> names = {
        {"中文歌曲.mp3", 12}, {"日本語のうた.mp3", 16}, {"Русская песня.mp3", 17},
        {"\xF0\x9F\x8E\xB5 music.mp3", 12}, {"e\xCC\x81te.mp3", 7}, {"plain.mp3", 9}};
    for (const auto& [name, width] : names) dir.Write(name, "not an mp3");
    const RunResult run = RunCli("-c 'File Name,Type,Size' " + Quoted(dir.Path().string()));
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), names.size() + 1);
    EXPECT_EQ(lines[0], "File Name" + std::string(17 - 9, ' ') + "  Type     Size");
    for (const auto& [name, width] : names) {
        const std::string expected = name + std::string(17 - width, ' ') + "  MP3   0.00 MB";
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected << "\n" << run.out;
    }
}

#ifdef SONDARO_CHECK
// --check decodes every listed file: the Lossless Check column joins the
// default columns, JSON carries the cutoff, levels and verdict, and a file
// that cannot be decoded is named and makes the exit status 1.
TEST(Cli, CheckFillsTheColumnAndTheJson) {
    const std::string folder = FixturePath("losslesscheck");
    const RunResult text = RunCli("--check -c 'File Name,Lossless Check' " + Quoted(folder + "/genuine.flac") + " " +
                                  Quoted(folder + "/mp3-128.flac"));
    EXPECT_EQ(text.status, 0) << text.err;
    const std::vector<std::string> lines = Lines(text.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "File Name     Lossless Check");
    EXPECT_EQ(lines[1], "genuine.flac  Full band to 22.0 kHz");
    EXPECT_EQ(lines[2], "mp3-128.flac  Lossy origin likely: cutoff 16.6 kHz, typical of MP3 at 128 kbps or -V5; MP3 frame grid found");

    const RunResult json = RunCli("--check -f json " + Quoted(folder + "/upsampled-96k.flac"));
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"losslessCheck\": {\"verdict\": \"upsampled\", \"text\": \"Upsampled from 44.1 kHz\""),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"upsampledFromHz\": 44100, \"usedBits\": 24, \"fileBits\": 24, \"clippingRuns\": 0, "
                            "\"frameGrid\": {\"codec\": \"\", \"offset\": "),
              std::string::npos)
        << json.out;

    // The default columns gain the check's column; without --check they do not.
    EXPECT_NE(RunCli("--check " + Quoted(folder + "/padded-24.flac")).out.find("16-bit audio in a 24-bit file"),
              std::string::npos);
    EXPECT_EQ(RunCli(Quoted(folder + "/padded-24.flac")).out.find("Lossless Check"), std::string::npos);

    // A WAV whose header the reader accepts but whose data FFmpeg cannot decode.
    TempDir dir;
    Bytes wav;
    Append(wav, "RIFF");
    AppendLE32(wav, 36 + 8);
    Append(wav, "WAVEfmt ");
    AppendLE32(wav, 16);
    AppendLE16(wav, 0x1234);   // a format tag nobody decodes
    AppendLE16(wav, 2);
    AppendLE32(wav, 44100);
    AppendLE32(wav, 176400);
    AppendLE16(wav, 4);
    AppendLE16(wav, 16);
    Append(wav, "data");
    AppendLE32(wav, 8);
    AppendZeros(wav, 8);
    const std::string odd = dir.Write("odd.wav", wav);
    const RunResult failed = RunCli("--check -c 'File Name,Lossless Check' " + Quoted(odd));
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find("odd.wav    Cannot decode: "), std::string::npos) << failed.out;
    EXPECT_EQ(failed.err.rfind("sondaro-cli: Cannot check \"" + odd + "\". Cannot decode: ", 0), 0u) << failed.err;
}
#endif
// The rows, their order, the totals and the messages do not depend on how
// many files are analysed at once: one worker and four give the same bytes on
// every fixture folder, with failures of every kind among the files.
TEST(Cli, OneJobAndFourJobsGiveTheSameOutput) {
    TempDir dir;
    dir.Write("a.flac", "not flac");
    dir.Write("empty.flac", "");
    dir.Write("list.m3u", "a.flac\nmissing.mp3\n" + kSamples + "/Chord.flac\n");
    dir.Write("Sub/b.mp3", "not mp3");
    std::filesystem::copy(kSamples, dir / "Sub/Samples");
    const std::string everything = Quoted(std::string(SONDARO_SOURCE_DIR) + "/tests/files") + " " + Quoted(kSamples) +
                                   " " + Quoted(dir.Path().string()) + " " + Quoted(dir / "list.m3u") + " " +
                                   Quoted(kSamples + "/Chord.wv") + " " + Quoted(dir / "a.flac");
    for (const char* options : {"-r -f json -c all", "-r", "-f tsv -n raw"}) {
        const RunResult one = RunCli(std::string("-j 1 ") + options + " " + everything);
        const RunResult four = RunCli(std::string("-j4 ") + options + " " + everything);
        EXPECT_EQ(one.status, 1) << options;
        EXPECT_EQ(four.status, one.status) << options;
        EXPECT_EQ(four.out, one.out) << options;
        EXPECT_EQ(four.err, one.err) << options;
        EXPECT_GT(Lines(one.out).size(), 15u) << options;
    }
    // The errors come in listing order: the playlist's entries where they stand.
    const RunResult playlist = RunCli("-j 3 -f tsv " + Quoted(dir / "list.m3u") + " " + Quoted(dir / "a.flac"));
    EXPECT_EQ(playlist.err, "sondaro-cli: File \"" + (dir / "a.flac") +
                                "\" could not be scanned: it was not recognised as a valid FLAC file.\n"
                                "sondaro-cli: Cannot open file \"" + (dir / "missing.mp3") +
                                "\". No such file or directory.\n"
                                "sondaro-cli: File \"" + (dir / "a.flac") +
                                "\" could not be scanned: it was not recognised as a valid FLAC file.\n");
    EXPECT_EQ(RunCli("-j 0 " + Quoted(kSamples)).status, 2);
    EXPECT_EQ(RunCli("--jobs=x " + Quoted(kSamples)).status, 2);
}
