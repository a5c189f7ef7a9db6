// sondaro-cli loads the lossless check as a module only when --check asks
// for it: the same results as the check run in this process, and clear
// refusals (with a working plain scan) when the module is missing, damaged
// or of another build.
#include "TestSupport.h"

#include "check/ItemCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const std::string kSamples = std::string(SONDARO_SOURCE_DIR) + "/samples";
const std::string kModuleName = fs::path(SONDARO_CHECK_MODULE_FILE).filename().string();

// A folder holding a copy of the program alone: it looks for its module
// beside itself and in ../lib/sondaro/, where there is none. module, when
// set, is copied in beside it under the module's name.
class LoneProgram {
public:
    explicit LoneProgram(const std::string& module = "") {
        fs::create_directories(dir_.Path() / "bin");
        fs::copy_file(SONDARO_CLI, program_);
        if (!module.empty()) fs::copy_file(module, dir_.Path() / "bin" / kModuleName);
    }
    ShellRun Run(const std::string& arguments) const { return RunShell(ShellQuoted(program_) + " " + arguments); }
    std::string Folder() const { return (dir_.Path() / "bin").string() + "/"; }

private:
    TempDir dir_;
    std::string program_ = (dir_.Path() / "bin" / "sondaro-cli").string();
};

} // namespace

TEST(CheckModule, MissingModuleStopsOnlyTheCheck) {
    const LoneProgram lone;
    const std::string file = FixturePath("losslesscheck") + "/genuine.flac";
    const ShellRun check = lone.Run("--check " + ShellQuoted(file));
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out, "");   // no half list: the check is refused before the scan
    EXPECT_EQ(check.err, "sondaro-cli: The lossless check module cannot be found (tried \"" + lone.Folder() +
                             kModuleName + "\", \"" + lone.Folder() + "../lib/sondaro/" + kModuleName +
                             "\"). Install it with the program, or build with FFmpeg's libraries and FFTW.\n");

    // Everything else works without it.
    const ShellRun scan = lone.Run(ShellQuoted(kSamples));
    EXPECT_EQ(scan.status, 0) << scan.err;
    EXPECT_EQ(scan.err, "");
    EXPECT_NE(scan.out.find("File Count: 11"), std::string::npos) << scan.out;
    EXPECT_EQ(lone.Run("--version").status, 0);
}

TEST(CheckModule, RefusesWhatIsNotItsModule) {
    const std::string file = ShellQuoted(FixturePath("losslesscheck") + "/genuine.flac");
    {
        // A damaged file: the loader's reason is passed on.
        TempDir junk;
        const LoneProgram lone(junk.Write("junk", std::string(4096, 'x')));
        const ShellRun run = lone.Run("--check " + file);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("sondaro-cli: The lossless check module \"" + lone.Folder() + kModuleName +
                                    "\" cannot be loaded: ",
                                0),
                  0u)
            << run.err;
        EXPECT_NE(run.err.find("invalid ELF header"), std::string::npos) << run.err;
    }
    {
        // A module of an older build: its table is of another interface.
        const LoneProgram lone(SONDARO_FAKE_MODULE_OTHER);
        const ShellRun run = lone.Run("--check " + file);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("sondaro-cli: The lossless check module \"" + lone.Folder() + kModuleName +
                                    "\" belongs to another build of Sondaro (interface ",
                                0),
                  0u)
            << run.err;
        EXPECT_NE(run.err.find("; this program needs interface "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("). Install the module of this program.\n"), std::string::npos) << run.err;
    }
    {
        // A shared library without the entry point.
        const LoneProgram lone(SONDARO_FAKE_MODULE_EMPTY);
        const ShellRun run = lone.Run("--check " + file);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("sondaro-cli: The file \"" + lone.Folder() + kModuleName +
                                    "\" is no lossless check module of Sondaro: ",
                                0),
                  0u)
            << run.err;
        EXPECT_NE(run.err.find("undefined symbol: sondaro_check_module"), std::string::npos) << run.err;
    }
    {
        // The real module beside the copy is found and used.
        const LoneProgram lone(SONDARO_CHECK_MODULE_FILE);
        const ShellRun run = lone.Run("--check -c 'File Name,Lossless Check' " + file);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("genuine.flac  Full band to 22.0 kHz"), std::string::npos) << run.out;
    }
}

// Every fixture of the check, several at once: the rows the program gets
// through the module are the reports of the check run here, file by file,
// and in JSON the verdict and the numbers each item carries.
TEST(CheckModule, GivesTheResultsOfTheCheckItself) {
    const std::string folder = FixturePath("losslesscheck");
    const std::vector<std::string> names{"genuine.flac",   "mp3-128.flac",       "mp3-320.flac",
                                         "mp3-v2.flac",    "aac-128.flac",       "vorbis-q3.flac",
                                         "opus-96.wav",    "upsampled-96k.flac", "padded-24.flac"};
    std::string arguments = "--check -j 3 -f tsv -c 'File Name,Lossless Check'";
    for (const std::string& name : names) arguments += " " + ShellQuoted(folder + "/" + name);
    const ShellRun run = RunSondaroCli(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "File Name\tLossless Check");
    for (const std::string& name : names) {
        ASSERT_TRUE(std::getline(lines, line)) << name;
        const TLosslessReport report = CheckLossless(folder + "/" + name);
        EXPECT_EQ(line, name + "\t" + report.Text);
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;

    const ShellRun json = RunSondaroCli("--check -f json " + ShellQuoted(folder + "/mp3-128.flac"));
    ASSERT_EQ(json.status, 0) << json.err;
    const TOriginCheck check = OriginCheckOf(CheckLossless(folder + "/mp3-128.flac"));
    EXPECT_NE(json.out.find("\"losslessCheck\": {\"verdict\": \"lossy origin\", \"text\": \"" + check.Text + "\""),
              std::string::npos)
        << json.out;
    std::ostringstream bits;
    bits << "\"usedBits\": " << check.UsedBits << ", \"fileBits\": " << check.FileBits;
    EXPECT_NE(json.out.find(bits.str()), std::string::npos) << json.out;
}
