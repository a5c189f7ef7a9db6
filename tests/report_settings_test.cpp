// The HTML report, the settings file, the settings dialog's column list, the
// folder command files and the auCDtect script.
#include "TestSupport.h"

#include "io/Errors.h"
#include "io/IniFile.h"
#include "report/HtmlReport.h"
#include "settings/ColumnRows.h"
#include "settings/Integration.h"
#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// UTF-16LE bytes of an ASCII text.
std::string Wide(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

struct ReportFixture {
    std::vector<std::string> first{"a.mp3", "MP3", ""};
    std::vector<std::string> second{"R&B <b>\"x\".mp3", "MP3", "LAME 3.100"};
    TReportInput Input(const std::string& folder) const {
        TReportInput input;
        input.Folder = folder;
        input.Columns = {{"File Name", 150}, {"Type", 60}, {"Encoder Info", 80}};
        input.Rows = {&first, &second};
        input.Totals.TotalSize = 13'600'000;
        input.Totals.TotalDuration = 400;
        input.Totals.AverageBitRate = 272;
        input.Totals.BitRateDurationSum = 271;   // as stored by the status bar, not computed again
        return input;
    }
};

} // namespace

TEST(HtmlReport, LinesHeadSummaryAndRows) {
    ReportFixture f;
    const std::vector<std::string> lines = HtmlReportLines(f.Input("/music/Rock & Roll"));
    ASSERT_EQ(lines.size(), 65u + 2 + 3 + 1 + 2 * 5 + 3);
    EXPECT_EQ(lines[0], "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
    EXPECT_EQ(lines[3], "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">");
    EXPECT_EQ(lines[4], "<title>Sondaro - /music/Rock &amp; Roll</title>");
    EXPECT_EQ(lines[8], "\t{");
    EXPECT_EQ(lines[21], "        font-size: 100%;");
    EXPECT_EQ(lines[29], "\tborder-style: solid;");
    EXPECT_EQ(lines[31], "\tborder-style: solid;");
    EXPECT_EQ(lines[47], "<body>");
    EXPECT_EQ(lines[48], "<table border=\"1\" cellspacing=\"0\" align=\"center\">");
    EXPECT_EQ(lines[57], "<td align=\"center\">/music/Rock &amp; Roll</td>");
    EXPECT_EQ(lines[58], "<td align=\"center\">12.97 MB</td>");
    EXPECT_EQ(lines[59], "<td align=\"center\">2</td>");
    EXPECT_EQ(lines[60], "<td align=\"center\">06:40</td>");
    EXPECT_EQ(lines[61], "<td align=\"center\">272/271 kbps</td>");
    EXPECT_EQ(lines[64], "<br>");
    EXPECT_EQ(lines[67], "<th  width = 150>File Name</th>");
    EXPECT_EQ(lines[68], "<th  width = 60>Type</th>");
    EXPECT_EQ(lines[69], "<th  width = 80>Encoder Info</th>");
    EXPECT_EQ(lines[72], "<td 150>a.mp3</td>");
    EXPECT_EQ(lines[74], "<td 80>&nbsp;</td>");   // an empty cell
    // Texts from the list cannot open a tag or an attribute.
    EXPECT_EQ(lines[77], "<td 150>R&amp;B &lt;b&gt;&quot;x&quot;.mp3</td>");
    EXPECT_EQ(lines[lines.size() - 3], "</table>");
    EXPECT_EQ(lines.back(), "</html>");
}

// The encoder evidence, settings and exact length of a row are its title
// (a tooltip); the columns stay as they are. Items without any keep a bare row.
TEST(HtmlReport, RowTitlesCarryWhatTheColumnsDoNot) {
    ReportFixture f;
    TAudioItem plain;
    TAudioItem lame;
    lame.EncoderEvidence = "LAME tag";
    lame.EncoderSettings = "-V 2 -q 0 --lowpass 18.5; method vbr-mtrh; delay 576; padding 1404";
    lame.DurationSamples = 44100;
    TReportInput input = f.Input("/music");
    input.Items = {&plain, &lame};
    const std::vector<std::string> lines = HtmlReportLines(input);
    ASSERT_EQ(lines.size(), 65u + 2 + 3 + 1 + 2 * 5 + 3);
    EXPECT_EQ(lines[71], "<tr>");
    EXPECT_EQ(lines[76], "<tr title=\"Encoder evidence: LAME tag. Settings: -V 2 -q 0 --lowpass 18.5; method vbr-mtrh; "
                         "delay 576; padding 1404. Exact length: 44100 samples.\">");
    EXPECT_EQ(lines[77], "<td 150>R&amp;B &lt;b&gt;&quot;x&quot;.mp3</td>");
    // A text from a tag cannot leave the attribute.
    lame.EncoderEvidence = "ID3v2 TSSE";
    lame.EncoderSettings = "\"><script>";
    lame.DurationSamples = 0;
    EXPECT_EQ(HtmlReportLines(input)[76], "<tr title=\"Encoder evidence: ID3v2 TSSE. Settings: &quot;&gt;&lt;script&gt;.\">");
    EXPECT_EQ(ItemDetailsText(plain), "");
}

TEST(HtmlReport, BytesAreUtf16WithBomAndCrLf) {
    const std::string bytes = EncodeReport({"a", "é€𝄞", ""});
    EXPECT_EQ(bytes, std::string("\xFF\xFE", 2) + Wide("a\r\n") + std::string("\xE9\x00\xAC\x20\x34\xD8\x1E\xDD", 8) +
                         Wide("\r\n") + Wide("\r\n"));
    // A malformed byte becomes U+FFFD instead of being dropped silently.
    EXPECT_EQ(EncodeReport({"\xFF"}), std::string("\xFF\xFE\xFD\xFF", 4) + Wide("\r\n"));
}

TEST(HtmlReport, WriteReplacesAndReportsFailure) {
    TempDir dir;
    ReportFixture f;
    const std::string folder = dir.Folder("album");
    const std::string path = WriteHtmlReport(f.Input(folder));
    EXPECT_EQ(path, folder + "/!Sdro Analysis.html");
    const std::string first = ReadText(path);
    EXPECT_EQ(first, EncodeReport(HtmlReportLines(f.Input(folder))));
    f.first[0] = "z.mp3";
    WriteHtmlReport(f.Input(folder + "/"));   // a trailing separator is not doubled
    EXPECT_NE(ReadText(path), first);

    const std::string missing = dir / "missing";
    try {
        WriteHtmlReport(f.Input(missing));
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + missing + "/!Sdro Analysis.html\". ", 0), 0u);
    }
}

TEST(HtmlReport, CliWritesTheSameReport) {
    TempDir dir;
    const std::string folder = dir.Folder("x");
    dir.Write("x/a.mp3", std::string(300, '\0'));
    const std::string command =
        std::string(SONDARO_CLI) + " --html '" + folder + "' >/dev/null 2>&1";
    // The file is not recognised (status 1); the report still lists it.
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 1);
    const std::string bytes = ReadText(folder + "/!Sdro Analysis.html");
    ASSERT_GT(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(bytes.find(Wide("<td 175>a.mp3</td>\r\n")), std::string::npos);
    EXPECT_NE(bytes.find(Wide("<td align=\"center\">1</td>\r\n")), std::string::npos);
}

TEST(SettingsFile, DefaultsAndReadRules) {
    TIniFile empty;
    const TSettings s = ReadSettings(empty);
    EXPECT_EQ(s.Position.Left, 0);
    EXPECT_EQ(s.Position.Width, 1120);
    EXPECT_EQ(s.Position.Height, 660);
    EXPECT_FALSE(s.Position.Maximized);
    EXPECT_EQ(s.FolderTree, 190);
    EXPECT_FALSE(s.Integration || s.AlphaBlend || s.RecursiveScanning);
    EXPECT_TRUE(s.RelativePathAuto);
    EXPECT_EQ(s.LastFolder, "");
    TColumnLayout layout = s.Columns;
    EXPECT_EQ(BuildColumns(layout), (std::vector<int>{1, 2, 3, 4, 8, 9, 10, 5, 6, 7, 11}));

    TIniFile ini;
    ini.Parse("[Position]\nMaximized=5\nWidth=1000\n[Columns]\nBitrateVisible=0\nSizePos=9\nBitrate=90\n"
              "RelativePathAuto=0\n[Settings]\nAlphaBlend=1\nRecursiveScanning=x\nLastFolder=/m/Jazz & Blues\n");
    const TSettings read = ReadSettings(ini);
    EXPECT_TRUE(read.Position.Maximized);   // any non-zero value
    // Written before the Health column existed: it comes with its defaults.
    EXPECT_TRUE(read.Columns[kColHealth].Visible);
    EXPECT_EQ(read.Columns[kColHealth].Pos, 11);
    EXPECT_EQ(read.Columns[kColHealth].Width, 150);
    EXPECT_EQ(read.Position.Width, 1000);
    EXPECT_FALSE(read.Columns[kColBitrate].Visible);
    EXPECT_EQ(read.Columns[kColBitrate].Width, 90);
    EXPECT_EQ(read.Columns[kColSize].Pos, 9);
    EXPECT_TRUE(read.AlphaBlend);
    EXPECT_FALSE(read.RecursiveScanning);   // unreadable: the default
    EXPECT_FALSE(read.RelativePathAuto);
    EXPECT_EQ(read.LastFolder, "/m/Jazz & Blues");
}

TEST(SettingsFile, WriteMaximizedHiddenWidthAndFailure) {
    TempDir dir;
    const std::string path = dir.Write("Sondaro.ini", std::string_view("[Position]\r\nLeft=7\r\n[Columns]\r\nBitrate=77\r\n"));
    TSettings s;
    s.Position.Left = 100;
    s.Columns[kColBitrate].Visible = false;
    s.Columns[kColBitrate].Width = 5;
    s.Columns[kColFileName].Width = 222;
    s.RecursiveScanning = true;
    SaveSettingsFile(path, s, true);
    TIniFile ini;
    ini.Load(path);
    EXPECT_EQ(ini.ReadInteger("Position", "Maximized", -1), 1);
    EXPECT_EQ(ini.ReadInteger("Position", "Left", -1), 7);   // the last normal placement stays
    EXPECT_EQ(ini.ReadString("Position", "Width", "none"), "none");
    EXPECT_EQ(ini.ReadInteger("Columns", "Bitrate", -1), 77);   // hidden: width left alone
    EXPECT_EQ(ini.ReadString("Columns", "BitrateVisible", ""), "0");
    EXPECT_EQ(ini.ReadInteger("Columns", "FileName", -1), 222);
    EXPECT_EQ(ini.ReadString("Settings", "RecursiveScanning", ""), "1");
    const std::string text = ReadText(path);
    EXPECT_NE(text.find("EncoderInfoPos=7\r\n"), std::string::npos);

    SaveSettingsFile(path, s, false);
    ini.Load(path);
    EXPECT_EQ(ini.ReadInteger("Position", "Left", -1), 100);
    EXPECT_EQ(ini.ReadInteger("Position", "Maximized", -1), 0);

    const std::string bad = dir / "no/such/Sondaro.ini";
    try {
        SaveSettingsFile(bad, s, false);
        FAIL() << "no error";
    } catch (const ESettingsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + bad);
    }
}

TEST(ColumnRows, OrderDragAndApply) {
    TColumnLayout layout = DefaultColumnLayout();
    std::vector<TColumnRow> rows = ColumnRows(layout);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kColumnCount));
    EXPECT_EQ(rows[kColHealth].Caption, "Health");
    EXPECT_TRUE(rows[kColHealth].Checked);
    EXPECT_EQ(rows[0].Caption, "Relative Path");
    EXPECT_FALSE(rows[0].Checked);
    EXPECT_EQ(rows[7].Caption, "Encoder Info");
    EXPECT_EQ(rows[10].Caption, "Bits Per Sample");
    EXPECT_EQ(rows[12].Caption, "Lossless Check");   // hidden until the first check
    EXPECT_FALSE(rows[12].Checked);

    EXPECT_EQ(DropTargetRow(-1, 11), 10);   // below all rows: the last
    EXPECT_EQ(DropTargetRow(3, 11), 3);
    MoveColumnRow(rows, 7, DropTargetRow(-1, 11));   // down: after the target
    EXPECT_EQ(rows[10].Caption, "Encoder Info");
    EXPECT_EQ(rows[7].Caption, "Sample Rate");
    MoveColumnRow(rows, 9, 1);   // up: before the target
    EXPECT_EQ(rows[1].Caption, "Bits Per Sample");
    EXPECT_EQ(rows[2].Caption, "File Name");
    MoveColumnRow(rows, 2, 3);   // down by one: after Type
    EXPECT_EQ(rows[2].Caption, "Type");
    EXPECT_EQ(rows[3].Caption, "File Name");
    MoveColumnRow(rows, 0, kColumnCount);   // out of range: nothing
    EXPECT_EQ(rows[0].Caption, "Relative Path");

    rows[0].Checked = true;
    ApplyColumnRows(layout, rows);
    EXPECT_TRUE(layout[kColRelativePath].Visible);
    EXPECT_EQ(layout[kColEncoderInfo].Pos, 10);
    EXPECT_EQ(layout[kColBitsPerSample].Pos, 1);
    std::vector<bool> seen(kColumnCount);
    for (const TColumnItem& c : layout) seen.at(c.Pos) = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), kColumnCount);

    // A hand-edited file with shared and stray positions still lists them all.
    layout[kColType].Pos = 1;
    layout[kColSize].Pos = 42;
    rows = ColumnRows(layout);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kColumnCount));
    EXPECT_EQ(rows.back().Caption, "Size");
}

TEST(FolderCommand, ExecQuotingAndFiles) {
    EXPECT_EQ(DesktopExecArgument("/opt/sondaro"), "\"/opt/sondaro\"");
    // ", `, $ and \ get a backslash, which the string escapes double again.
    EXPECT_EQ(DesktopExecArgument("/a \"b\" `c` $d \\e 100%"),
              "\"/a \\\\\"b\\\\\" \\\\`c\\\\` \\\\$d \\\\\\\\e 100%%\"");
    EXPECT_EQ(DesktopExecArgument("a\nb"), "\"a\\nb\"");
    EXPECT_EQ(FolderCommandExec("/opt/my app/sondaro"), "\"/opt/my app/sondaro\" %f");
    EXPECT_EQ(FolderCommandExec("/opt/100%/sondaro"), "env \"/opt/100%%/sondaro\" %f");

    TempDir dir;
    const std::string data = dir.Folder("share");
    const std::string config = dir.Folder("config");
    InstallFolderCommand(data, config, "/opt/sondaro");
    const std::string entry = ReadText(data + "/applications/" + kFolderCommandFile);
    EXPECT_NE(entry.find("Name=View with Sondaro\n"), std::string::npos);
    EXPECT_NE(entry.find("Exec=\"/opt/sondaro\" %f\n"), std::string::npos);
    EXPECT_NE(entry.find("MimeType=inode/directory;\n"), std::string::npos);
    const std::string menu = ReadText(data + "/kio/servicemenus/" + kFolderCommandFile);
    EXPECT_NE(menu.find("Name=View with Sondaro\n"), std::string::npos);
    EXPECT_NE(menu.find("Exec=\"/opt/sondaro\" %f\n"), std::string::npos);
    InstallFolderCommand(data, config, "/new/place/sondaro");   // a moved program rewrites the command
    EXPECT_NE(ReadText(data + "/applications/" + kFolderCommandFile).find("/new/place/sondaro"), std::string::npos);
    RemoveFolderCommand(data, config);
    EXPECT_FALSE(std::filesystem::exists(data + "/applications/" + kFolderCommandFile));
    EXPECT_FALSE(std::filesystem::exists(data + "/kio/servicemenus/" + kFolderCommandFile));
    RemoveFolderCommand(data, config);   // not installed: nothing happens

    const std::string blocked = dir.Write("file", std::string_view("x"));   // a file where a folder must go
    try {
        InstallFolderCommand(blocked, config, "/opt/sondaro");
        FAIL() << "no error";
    } catch (const EIntegrationError& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to set data for '" + blocked + "/applications/" +
                                             kFolderCommandFile + "'");
    }
}

TEST(AuCDtectScript, QuotesEveryName) {
    EXPECT_EQ(ShellQuote("it's"), "'it'\\''s'");
    EXPECT_EQ(AuCDtectScript("/opt/auCDtect", "/m/a.wav"),
              "'/opt/auCDtect' '/m/a.wav'\nread -r -s -n 1 -p 'Press any key to continue . . . '\n");

    // Run the script with a stand-in tool: the name arrives as one argument
    // and nothing in it runs.
    TempDir dir;
    const std::string bin = dir.Folder("bin");
    const std::string args = dir / "args";
    dir.Write("bin/auCDtect", "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" + args + "'\n");
    std::filesystem::permissions(bin + "/auCDtect", std::filesystem::perms::owner_all);
    const std::string wav = dir / "it's $(touch pwned) `touch pwned2`; \"x\" \n.wav";
    const std::string script = WriteAuCDtectScript(bin, wav);
    EXPECT_EQ(script, bin + "/Sdro.sh");
    const std::string command = "cd '" + dir.Path().string() + "' && bash '" + script + "' </dev/null >/dev/null 2>&1";
    std::system(command.c_str());
    EXPECT_EQ(ReadText(args), "1|" + wav + "|");
    EXPECT_FALSE(std::filesystem::exists(dir / "pwned"));
    EXPECT_FALSE(std::filesystem::exists(dir / "pwned2"));

    try {
        WriteAuCDtectScript(dir / "missing", wav);
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + dir / "missing/Sdro.sh\". ", 0), 0u);
    }
}
