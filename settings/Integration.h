// The bridges to the desktop: the "View with Sondaro" command on folders in
// the file manager, and the script that runs the outside tool auCDtect on a
// WAV file in a console or terminal window.
//
// On Linux the folder command is one file per file manager, each starting
// the executable with the selected folder as its only argument:
// - a freedesktop desktop entry for folders (MimeType inode/directory) in
//   <data home>/applications ("Open with" in any file manager);
// - a Dolphin service menu in <data home>/kio/servicemenus;
// - a GNOME Files script "View with Sondaro" in <data home>/nautilus/scripts;
// - a Nemo action in <data home>/nemo/actions;
// - a Caja script "View with Sondaro" in <config home>/caja/scripts.
// Every file carries the mark kFolderCommandMark; removing the command
// deletes only files that carry it, so a file of the user's own with one of
// these names is never lost. The tool runs from the shell script "Sdro.sh".
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
inline constexpr const char* kNemoActionFile = "sondaro-view-with-sondaro.nemo_action";
inline constexpr const char* kFolderCommandMark = "X-Sondaro-Folder-Command";
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

// The files' texts.
std::string FolderCommandDesktopEntry(const std::string& executable);
std::string FolderCommandServiceMenu(const std::string& executable);
// The GNOME Files and Caja script: starts the executable once for each
// selected folder (the file manager passes them as arguments, relative to
// the current folder, which is the script's working folder), or for the
// current folder when nothing is selected; relative names are made absolute,
// so a name starting with "-" cannot pass for an option.
std::string FolderCommandScript(const std::string& executable);
// The Nemo action, shown for a single selected folder. Nemo puts the path
// in single quotes (Quote=single, a quote in it written ''') in place of %F
// and splits the command line as a shell does.
std::string FolderCommandNemoAction(const std::string& executable);

// The Windows command key's default value: the executable's full path and
// the shell's folder placeholder, each in double quotes:
// "C:\Tools\Sondaro.exe" "%1"
std::string WindowsFolderCommandValue(const std::string& executable);

// Paths of the files under dataHome (the user's XDG data folder) and
// configHome (the user's XDG configuration folder).
std::string FolderCommandEntryPath(const std::string& dataHome);
std::string FolderCommandServiceMenuPath(const std::string& dataHome);
std::string FolderCommandNautilusPath(const std::string& dataHome);
std::string FolderCommandNemoPath(const std::string& dataHome);
std::string FolderCommandCajaPath(const std::string& configHome);

// The user's XDG configuration folder: $XDG_CONFIG_HOME when it is an
// absolute path, else $HOME/.config.
std::string UserConfigHome();

// Writes the folder command with the executable's current path (every file
// above; on Windows the registry key, the folders unused); raises
// EIntegrationError on a failed write. Without configHome, UserConfigHome().
void InstallFolderCommand(const std::string& dataHome, const std::string& configHome, const std::string& executable);
void InstallFolderCommand(const std::string& dataHome, const std::string& executable);
// Deletes the folder command's files, each only when it carries
// kFolderCommandMark (on Windows the key "View with Sondaro" with everything
// below it); a command that is not installed is no error.
void RemoveFolderCommand(const std::string& dataHome, const std::string& configHome);
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
