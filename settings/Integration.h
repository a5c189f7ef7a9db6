// The bridges to the desktop: the "View with Sondaro" command on folders in
// the file manager, and the script that runs the outside tool auCDtect on a
// WAV file in a terminal window.
//
// On Linux the folder command is a freedesktop desktop entry for folders
// (MimeType inode/directory) in <data home>/applications, plus a Dolphin
// service-menu entry with the same name and command in
// <data home>/kio/servicemenus. Both start the executable with the folder as
// its only argument.
#pragma once

#include <stdexcept>
#include <string>

inline constexpr const char* kFolderCommandName = "View with Sondaro";
inline constexpr const char* kFolderCommandFile = "sondaro-view-with-sondaro.desktop";
inline constexpr const char* kAuCDtectName = "auCDtect";
inline constexpr const char* kAuCDtectScriptName = "Sdro.sh";

// A folder-command file that could not be written: "Failed to set data for '<file>'".
class EIntegrationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One argument of a desktop entry's Exec key: double-quoted, with ", `, $
// and \ escaped by a backslash, "%" written "%%", and then the string
// escapes of the key's value (a backslash doubled again, control characters
// as \n, \t, \r), so any path reaches the program unchanged.
std::string DesktopExecArgument(const std::string& text);

// The Exec value: the quoted executable path and the folder field code.
std::string FolderCommandExec(const std::string& executable);

// The two files' texts.
std::string FolderCommandDesktopEntry(const std::string& executable);
std::string FolderCommandServiceMenu(const std::string& executable);

// Paths of the two files under dataHome (the user's XDG data folder).
std::string FolderCommandEntryPath(const std::string& dataHome);
std::string FolderCommandServiceMenuPath(const std::string& dataHome);

// Writes both files with the executable's current path; raises
// EIntegrationError on a failed write.
void InstallFolderCommand(const std::string& dataHome, const std::string& executable);
// Deletes both files; a command that is not installed is no error.
void RemoveFolderCommand(const std::string& dataHome);

// A single-quoted shell word: nothing in text can end the quote or run a
// command; a single quote is written '\''.
std::string ShellQuote(const std::string& text);

// The script's two lines (LF ends): the quoted tool path with the quoted WAV
// path, and a pause that waits for a key so the terminal stays open.
std::string AuCDtectScript(const std::string& toolPath, const std::string& wavPath);

// Writes <exeFolder>/Sdro.sh for wavPath and returns its path. Raises
// EFCreateError when it cannot be written.
std::string WriteAuCDtectScript(const std::string& exeFolder, const std::string& wavPath);
