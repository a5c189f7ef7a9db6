// The bridges to the desktop: the "View with Sondaro" command on folders in
// the file manager, and the script that runs the outside tool auCDtect on a
// WAV file in a console or terminal window.
//
// On Linux the folder command is a freedesktop desktop entry for folders
// (MimeType inode/directory) in <data home>/applications, plus a Dolphin
// service-menu entry with the same name and command in
// <data home>/kio/servicemenus. Both start the executable with the folder as
// its only argument. The tool runs from the shell script "Sdro.sh".
//
// On Windows the folder command is the registry key
// "Directory\shell\View with Sondaro\command" under HKEY_CLASSES_ROOT, whose
// default value is the command line; the shell shows the key name as the menu
// text. The tool is "auCDtect.exe" and runs from the batch file "Sdro.bat".
// The text builders of both platforms are plain functions available on every
// platform, so that both can be tested anywhere.
#pragma once

#include <stdexcept>
#include <string>

inline constexpr const char* kFolderCommandName = "View with Sondaro";
inline constexpr const char* kFolderCommandFile = "sondaro-view-with-sondaro.desktop";
inline constexpr const char* kFolderCommandKey = "Directory\\shell\\View with Sondaro";
inline constexpr const char* kFolderCommandValueKey = "Directory\\shell\\View with Sondaro\\command";
#ifdef _WIN32
inline constexpr const char* kAuCDtectName = "auCDtect.exe";
inline constexpr const char* kAuCDtectScriptName = "Sdro.bat";
#else
inline constexpr const char* kAuCDtectName = "auCDtect";
inline constexpr const char* kAuCDtectScriptName = "Sdro.sh";
#endif

// A folder command that could not be written: "Failed to set data for '<file>'"
// on Linux; on Windows the registry value's name, which is empty for the key's
// default value: "Failed to set data for ''".
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
// GLib requires the first word of Exec to name an existing program before it
// expands "%%", so a path with "%" is started through "env".
std::string FolderCommandExec(const std::string& executable);

// The two files' texts.
std::string FolderCommandDesktopEntry(const std::string& executable);
std::string FolderCommandServiceMenu(const std::string& executable);

// The Windows command key's default value: the executable's full path and
// the shell's folder placeholder, each in double quotes:
// "C:\Tools\Sondaro.exe" "%1"
std::string WindowsFolderCommandValue(const std::string& executable);

// Paths of the two files under dataHome (the user's XDG data folder).
std::string FolderCommandEntryPath(const std::string& dataHome);
std::string FolderCommandServiceMenuPath(const std::string& dataHome);

// Writes the folder command with the executable's current path (both files
// under dataHome; on Windows the registry key, dataHome unused); raises
// EIntegrationError on a failed write.
void InstallFolderCommand(const std::string& dataHome, const std::string& executable);
// Deletes the folder command (on Windows the key "View with Sondaro" with
// everything below it); a command that is not installed is no error.
void RemoveFolderCommand(const std::string& dataHome);

// A single-quoted shell word: nothing in text can end the quote or run a
// command; a single quote is written '\''.
std::string ShellQuote(const std::string& text);

// The script's two lines (LF ends): the quoted tool path with the quoted WAV
// path, and a pause that waits for a key so the terminal stays open.
std::string AuCDtectScript(const std::string& toolPath, const std::string& wavPath);

// The Windows batch file's two lines, each ending with CR LF: the tool
// "auCDtect.exe" in exeFolder and the WAV path, each in double quotes, then
// "pause" so that the console window stays open.
std::string AuCDtectBatchFile(const std::string& exeFolder, const std::string& wavPath);

// Writes the script for wavPath into exeFolder and returns its path:
// "Sdro.sh" (AuCDtectScript), on Windows "Sdro.bat" (AuCDtectBatchFile, in
// the console's code page). Raises EFCreateError when it cannot be written.
std::string WriteAuCDtectScript(const std::string& exeFolder, const std::string& wavPath);
