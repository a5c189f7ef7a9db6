// The Windows texts of the desktop bridges and the start-up drive root. They
// are plain functions, so they are checked on every platform.
#include "io/Paths.h"
#include "settings/Integration.h"

#include <gtest/gtest.h>

TEST(WindowsFolderCommand, QuotedProgramAndFolderPlaceholder) {
    EXPECT_EQ(WindowsFolderCommandValue("C:\\Tools\\Sondaro.exe"), "\"C:\\Tools\\Sondaro.exe\" \"%1\"");
    // Spaces stay inside the quotes; the shell hands the folder over as one argument.
    EXPECT_EQ(WindowsFolderCommandValue("C:\\Program Files\\Sondaro\\Sondaro.exe"),
              "\"C:\\Program Files\\Sondaro\\Sondaro.exe\" \"%1\"");
    EXPECT_STREQ(kFolderCommandKey, "Directory\\shell\\View with Sondaro");
    EXPECT_STREQ(kFolderCommandValueKey, "Directory\\shell\\View with Sondaro\\command");
}

TEST(WindowsAuCDtectBatch, ToolBesideProgramThenPause) {
    const std::string expected = "\"C:\\Tools\\auCDtect.exe\" \"D:\\Music\\Live 1994\\01 Intro.wav\"\r\npause\r\n";
    EXPECT_EQ(AuCDtectBatchFile("C:\\Tools\\", "D:\\Music\\Live 1994\\01 Intro.wav"), expected);
    // The folder gets its backslash when it comes without one.
    EXPECT_EQ(AuCDtectBatchFile("C:\\Tools", "D:\\Music\\Live 1994\\01 Intro.wav"), expected);
    EXPECT_EQ(AuCDtectBatchFile("E:\\", "E:\\a.wav"), "\"E:\\auCDtect.exe\" \"E:\\a.wav\"\r\npause\r\n");
}

TEST(Paths, DriveRootOfTheProgram) {
    EXPECT_EQ(DriveRootOf("D:\\Tools\\Sondaro.exe", PathStyle::Windows), "D:\\");
    EXPECT_EQ(DriveRootOf("c:\\Sondaro.exe", PathStyle::Windows), "c:\\");
    EXPECT_EQ(DriveRootOf("\\\\server\\share\\Tools\\Sondaro.exe", PathStyle::Windows), "\\\\server\\share\\");
    EXPECT_EQ(DriveRootOf("Sondaro.exe", PathStyle::Windows), "");
    EXPECT_EQ(DriveRootOf("/opt/sondaro/sondaro", PathStyle::Posix), "/");
}
