#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

namespace {

struct RunResult {
    int status = -1;
    std::string out;
};

RunResult RunCli(const std::string& arguments) {
    RunResult result;
    const std::string command = std::string(SONDARO_CLI) + " " + arguments + " 2>/dev/null";
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return result;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

} // namespace

TEST(Cli, ExitStatusAndOutputs) {
    TempDir dir;
    dir.Write("a.flac", "not flac");
    dir.Write("Sub/b.mp3", "not mp3");
    dir.Write("list.m3u", "a.flac\nmissing.mp3\n");

    RunResult flat = RunCli("--columns 'File Name,Type,Encoder Info' " + Quoted(dir.Path().string()));
    EXPECT_EQ(flat.status, 0);
    EXPECT_NE(flat.out.find("File Name  Type  Encoder Info"), std::string::npos) << flat.out;
    EXPECT_NE(flat.out.find("a.flac     FLAC  File could not be scanned"), std::string::npos) << flat.out;
    EXPECT_EQ(flat.out.find("b.mp3"), std::string::npos);
    EXPECT_NE(flat.out.find("File Count: 1"), std::string::npos);

    RunResult csv = RunCli("-r -f csv -c all " + Quoted(dir.Path().string()));
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out,
              "Relative Path,File Name,Type,Size,Length,Sample Rate,Channels,Bits Per Sample,Ratio,Bitrate,Encoder Info\r\n"
              ",a.flac,FLAC,0.00 MB,00:00,0,0,0,0.00%,0 kbps,File could not be scanned\r\n"
              "Sub/,b.mp3,MP3,0.00 MB,00:00,0,0,0,0.00%,0 kbps,File could not be scanned\r\n");

    RunResult json = RunCli("-f json " + Quoted(dir / "a.flac"));
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"FileType\": \"FLAC\""), std::string::npos);
    EXPECT_NE(json.out.find("\"FileCount\": 1"), std::string::npos);

    // A playlist entry that cannot be opened: reported, the rest still listed, status 1.
    RunResult playlist = RunCli("-f tsv " + Quoted(dir / "list.m3u"));
    EXPECT_EQ(playlist.status, 1);
    EXPECT_NE(playlist.out.find("a.flac\tFLAC"), std::string::npos);

    EXPECT_EQ(RunCli(Quoted(dir / "nothing-here")).status, 2);
    EXPECT_EQ(RunCli("--format xml " + Quoted(dir.Path().string())).status, 2);
    EXPECT_EQ(RunCli("--columns Nonsense " + Quoted(dir.Path().string())).status, 2);
    EXPECT_EQ(RunCli("").status, 2);
    EXPECT_EQ(RunCli("--help").status, 0);
}
