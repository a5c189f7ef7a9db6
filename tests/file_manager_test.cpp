// The "View with Sondaro" command in each file manager: the files written,
// and the path the program receives when the file manager runs them.
#include "TestSupport.h"

#include "settings/Integration.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Sh(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool IsExecutable(const std::string& path) {
    return (fs::status(path).permissions() & fs::perms::owner_exec) != fs::perms::none;
}

// A stand-in for the program: writes its argument count and arguments, one
// per line, to the file "received" beside it.
class TStubProgram {
public:
    explicit TStubProgram(const std::string& folder) : path_(folder + "/sondaro"), received_(folder + "/received") {
        fs::create_directories(folder);
        std::ofstream(path_) << "#!/bin/sh\n{ echo \"$#\"; printf '%s\\n' \"$@\"; } > " << Sh(received_ + ".part")
                             << " && mv " << Sh(received_ + ".part") << " " << Sh(received_) << "\n";
        fs::permissions(path_, fs::perms::owner_all);
    }
    const std::string& Path() const { return path_; }
    // What the program received; waits for a program started in the background.
    std::string Received() {
        for (int i = 0; i < 100 && !fs::exists(received_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::string text = ReadFileText(received_);
        fs::remove(received_);
        return text;
    }

private:
    std::string path_, received_;
};

// A folder name with blanks, both quotes, shell characters and letters
// outside ASCII, and a leading dash.
const std::string kAwkwardName = "-x Tom's \"Best\" $HOME `id` \\n Ünïcødé 日本 Русский";

} // namespace

TEST(FileManagerActions, ScriptsAndActionCarryTheExactPath) {
    TempDir home;
    const std::string data = home / ".local/share", config = home / ".config";
    TStubProgram program(home / "bin dir/it's \"Sondaro\" é");
    const std::string music = home.Folder("Music");
    const std::string folder = home.Folder("Music/" + kAwkwardName);
    InstallFolderCommand(data, config, program.Path());

    // GNOME Files and Caja: the same script, executable.
    const std::string nautilus = data + "/nautilus/scripts/View with Sondaro";
    const std::string caja = config + "/caja/scripts/View with Sondaro";
    EXPECT_EQ(FolderCommandNautilusPath(data), nautilus);
    EXPECT_EQ(FolderCommandCajaPath(config), caja);
    const std::string script = ReadFileText(nautilus);
    EXPECT_EQ(script,
              "#!/bin/sh\n"
              "# View with Sondaro: starts Sondaro on each selected folder, or on the current one.\n"
              "# X-Sondaro-Folder-Command: written by Sondaro's \"View with Sondaro\" setting, which removes it when "
              "switched off.\n"
              "program='" + home.Path().string() + "/bin dir/it'\\''s \"Sondaro\" é/sondaro'\n"
              "[ $# -gt 0 ] || set -- \"$PWD\"\n"
              "for folder in \"$@\"; do\n"
              "    case $folder in\n"
              "        /*) ;;\n"
              "        *) folder=$PWD/$folder ;;\n"
              "    esac\n"
              "    \"$program\" \"$folder\" &\n"
              "done\n");
    EXPECT_EQ(ReadFileText(caja), script);
    EXPECT_TRUE(IsExecutable(nautilus));
    EXPECT_TRUE(IsExecutable(caja));

    // The file manager runs the script in the current folder with the
    // selected names (relative) as arguments, or with absolute paths.
    ASSERT_EQ(std::system(("cd " + Sh(music) + " && " + Sh(nautilus) + " " + Sh(kAwkwardName)).c_str()), 0);
    EXPECT_EQ(program.Received(), "1\n" + folder + "\n");
    ASSERT_EQ(std::system((Sh(caja) + " " + Sh(folder)).c_str()), 0);
    EXPECT_EQ(program.Received(), "1\n" + folder + "\n");
    // Nothing selected: the current folder.
    ASSERT_EQ(std::system(("cd " + Sh(folder) + " && " + Sh(caja)).c_str()), 0);
    EXPECT_EQ(program.Received(), "1\n" + folder + "\n");

    // Nemo: one selected folder; Nemo writes the path in single quotes in
    // place of %F (a quote in it as '\'') and splits the line as a shell.
    const std::string nemo = data + "/nemo/actions/sondaro-view-with-sondaro.nemo_action";
    EXPECT_EQ(FolderCommandNemoPath(data), nemo);
    const std::string action = ReadFileText(nemo);
    // The line as Nemo reads it; the file doubles its backslash (key file escape).
    const std::string exec = "'" + home.Path().string() + "/bin dir/it'\\''s \"Sondaro\" é/sondaro' %F";
    const std::string execInFile = "'" + home.Path().string() + "/bin dir/it'\\\\''s \"Sondaro\" é/sondaro' %F";
    EXPECT_EQ(action, "[Nemo Action]\n"
                      "Name=View with Sondaro\n"
                      "Comment=Show what the audio files in this folder are and how they were encoded\n"
                      "Exec=" + execInFile + "\n"
                      "Quote=single\n"
                      "Selection=s\n"
                      "Extensions=dir;\n"
                      "Icon-Name=sondaro\n"
                      "X-Sondaro-Folder-Command=true\n");
    std::string line = exec;
    line.replace(line.find("%F"), 2, Sh(folder));
    ASSERT_EQ(std::system(line.c_str()), 0);
    EXPECT_EQ(program.Received(), "1\n" + folder + "\n");
    // A backslash in the program's path is doubled for the key file.
    EXPECT_NE(FolderCommandNemoAction("/opt/a\\b/sondaro").find("Exec='/opt/a\\\\b/sondaro' %F\n"), std::string::npos);

    // Dolphin's service menu and the desktop entry share the Exec line; GLib
    // (gio launch) runs the desktop entry as a file manager would.
    const std::string entry = FolderCommandEntryPath(data);
    EXPECT_EQ(ReadFileText(FolderCommandServiceMenuPath(data)).find("X-Sondaro-Folder-Command=true\n") != std::string::npos,
              true);
    EXPECT_TRUE(IsExecutable(FolderCommandServiceMenuPath(data)));
    if (std::system("command -v gio >/dev/null 2>&1") == 0) {
        ASSERT_EQ(std::system(("gio launch " + Sh(entry) + " " + Sh(folder) + " 2>/dev/null").c_str()), 0);
        EXPECT_EQ(program.Received(), "1\n" + folder + "\n");
    }
}

TEST(FileManagerActions, OffRemovesExactlyWhatWasWritten) {
    TempDir home;
    const std::string data = home / "share", config = home / "config";
    InstallFolderCommand(data, config, "/usr/bin/sondaro");
    const std::vector<std::string> ours = {FolderCommandEntryPath(data), FolderCommandServiceMenuPath(data),
                                           FolderCommandNautilusPath(data), FolderCommandNemoPath(data),
                                           FolderCommandCajaPath(config)};
    for (const std::string& path : ours) EXPECT_TRUE(fs::exists(path)) << path;
    // The user's own scripts and actions beside ours.
    const std::vector<std::string> theirs = {
        home.Write("share/nautilus/scripts/Convert to MP3", "#!/bin/sh\n"),
        home.Write("share/nemo/actions/mine.nemo_action", "[Nemo Action]\n"),
        home.Write("config/caja/scripts/Sondaro helper", "#!/bin/sh\n"),
        home.Write("share/applications/sondaro.desktop", "[Desktop Entry]\n")};

    RemoveFolderCommand(data, config);
    for (const std::string& path : ours) EXPECT_FALSE(fs::exists(path)) << path;
    for (const std::string& path : theirs) EXPECT_TRUE(fs::exists(path)) << path;

    // A file of the user's own under one of our names is not ours to delete.
    const std::string own = home.Write("share/nautilus/scripts/View with Sondaro", "#!/bin/sh\necho mine\n");
    RemoveFolderCommand(data, config);
    EXPECT_EQ(ReadFileText(own), "#!/bin/sh\necho mine\n");
}
