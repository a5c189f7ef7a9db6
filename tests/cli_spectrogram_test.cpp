// sondaro-cli --spectrogram OUT.png FILE: the desktop program's picture,
// written by its tool, whose messages and exit status come through.
#include "TestSupport.h"
#include "io/ByteReader.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

const std::string kGenuine = FixturePath("losslesscheck") + "/genuine.flac";

} // namespace

TEST(CliSpectrogram, TakesOneFileAndNothingElse) {
    const std::string file = ShellQuoted(kGenuine);
    TempDir dir;
    const std::string out = ShellQuoted(dir / "s.png");
    const ShellRun two = RunSondaroCli("--spectrogram " + out + " " + file + " " + file);
    EXPECT_EQ(two.status, 2);
    EXPECT_NE(two.err.find("The option --spectrogram takes exactly one FILE."), std::string::npos) << two.err;
    EXPECT_EQ(RunSondaroCli("--spectrogram " + out + " --check " + file).status, 2);
    EXPECT_EQ(RunSondaroCli("--spectrogram= " + file).status, 2);
    const ShellRun folder = RunSondaroCli("--spectrogram " + out + " " + ShellQuoted(dir.Path().string()));
    EXPECT_EQ(folder.status, 2);
    EXPECT_NE(folder.err.find("The option --spectrogram needs a FILE; \"" + dir.Path().string() + "\" is not one."),
              std::string::npos)
        << folder.err;
    EXPECT_FALSE(fs::exists(dir / "s.png"));
}

TEST(CliSpectrogram, SaysWhenTheToolIsNotInstalled) {
    // A copy of the program alone, and a PATH without the tool.
    TempDir dir;
    const std::string program = dir / "sondaro-cli";
    fs::copy_file(SONDARO_CLI, program);
    const ShellRun run =
        RunShell("PATH=" + ShellQuoted((dir.Path() / "none").string()) + " " + ShellQuoted(program) +
                 " --spectrogram " + ShellQuoted(dir / "s.png") + " " + ShellQuoted(kGenuine));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "sondaro-cli: The spectrogram needs the desktop program's tool sondaro-spectrogram, which is not "
              "installed (looked beside this program and on the PATH). Install Sondaro's desktop program, or "
              "build with Qt 6.\n");
    EXPECT_FALSE(fs::exists(dir / "s.png"));
}

#ifdef SONDARO_SPECTROGRAM_TOOL
TEST(CliSpectrogram, WritesTheDesktopPicture) {
    TempDir dir;
    const ShellRun run = RunSondaroCli("--spectrogram " + ShellQuoted(dir / "cli.png") + " " + ShellQuoted(kGenuine));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const Bytes png = ReadAll(dir / "cli.png");
    ASSERT_GT(png.size(), 33u);
    // The PNG signature, then the IHDR chunk with the picture's size.
    const Bytes signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), png.begin()));
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    TByteReader size(png.data() + 16, 8);
    EXPECT_GE(size.BE32(), 400u);   // width
    EXPECT_GE(size.BE32(), 200u);   // height
    EXPECT_GT(png.size(), 10000u);           // a picture, not a blank page

    // The same picture as the desktop program's tool draws.
    const ShellRun tool = RunShell(ShellQuoted(SONDARO_SPECTROGRAM_TOOL) + " " + ShellQuoted(dir / "tool.png") + " " +
                                   ShellQuoted(kGenuine));
    ASSERT_EQ(tool.status, 0) << tool.err;
    EXPECT_EQ(ReadAll(dir / "tool.png"), png);
}

TEST(CliSpectrogram, PassesOnTheToolsFailure) {
    TempDir dir;
    const std::string text = dir.Write("not-audio.flac", "no audio in here");
    const ShellRun run = RunSondaroCli("--spectrogram " + ShellQuoted(dir / "s.png") + " " + ShellQuoted(text));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("sondaro-spectrogram: " + text + ": Cannot decode: "), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "s.png"));
    // A picture that cannot be written is said too.
    const ShellRun unwritable =
        RunSondaroCli("--spectrogram " + ShellQuoted(dir / "missing/s.png") + " " + ShellQuoted(kGenuine));
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("Cannot create file"), std::string::npos) << unwritable.err;
}
#endif
