#include "settings/Integration.h"

#include "io/Errors.h"
#include "io/Paths.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "io/Platform.h"
#else
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
#endif

namespace {

#ifdef _WIN32

// The batch file in the code page cmd.exe reads it with: a new console
// starts in the OEM code page, so a path written in the ANSI code page would
// reach the tool with its non-ASCII letters changed. Characters the code page
// lacks become "?" (no look-alike letter that could name another file).
std::string ConsoleCodePageText(const std::string& utf8) {
    const std::wstring wide = WideFromUtf8(utf8);
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    constexpr DWORD kFlags = WC_NO_BEST_FIT_CHARS;
    const int needed = ::WideCharToMultiByte(CP_OEMCP, kFlags, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string text(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_OEMCP, kFlags, wide.data(), length, text.data(), needed, nullptr, nullptr);
    return text;
}

// Creates or replaces path with bytes; raises "Cannot create file" with the
// system's message.
void WriteFileOrRaise(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    const DWORD error = ::GetLastError();
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!ok) throw EFCreateError("Cannot create file \"" + path + "\". " + SystemErrorMessage(error));
}

#else

void WriteTextFile(const std::string& path, const std::string& text, bool executable) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out << text;
    out.close();
    if (!out) throw EIntegrationError("Failed to set data for '" + path + "'");
    if (executable) {
        // Dolphin runs a service menu from the user's folder only when it is executable.
        fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, ec);
    }
}

#endif

// A string value of a GLib key file: a backslash written "\\" and control
// characters as \n, \t, \r, so the file reads back the text unchanged.
std::string KeyFileString(const std::string& text) {
    std::string value;
    for (char c : text) {
        switch (c) {
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\t': value += "\\t"; break;
        case '\r': value += "\\r"; break;
        default: value += c;
        }
    }
    return value;
}

} // namespace

std::string DesktopExecArgument(const std::string& text) {
    std::string quoted;
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    std::string value = "\"";
    for (char c : quoted) {
        switch (c) {
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\t': value += "\\t"; break;
        case '\r': value += "\\r"; break;
        default: value += c;
        }
    }
    return value + "\"";
}

std::string FolderCommandExec(const std::string& executable) {
    const std::string program = DesktopExecArgument(executable) + " %f";
    return executable.find('%') == std::string::npos ? program : "env " + program;
}

std::string FolderCommandDesktopEntry(const std::string& executable) {
    return std::string("[Desktop Entry]\n") + "Type=Application\n" + "Name=" + kFolderCommandName + "\n" +
           "Exec=" + FolderCommandExec(executable) + "\n" + "MimeType=inode/directory;\n" + "NoDisplay=true\n" +
           "Terminal=false\n" + kFolderCommandMark + "=true\n";
}

std::string FolderCommandServiceMenu(const std::string& executable) {
    return std::string("[Desktop Entry]\n") + "Type=Service\n" + "MimeType=inode/directory;\n" +
           "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n" + "Actions=viewWithSondaro;\n" + kFolderCommandMark +
           "=true\n" + "\n" + "[Desktop Action viewWithSondaro]\n" + "Name=" + kFolderCommandName + "\n" +
           "Exec=" + FolderCommandExec(executable) + "\n";
}

std::string FolderCommandScript(const std::string& executable) {
    return std::string("#!/bin/sh\n") + "# " + kFolderCommandName +
           ": starts Sondaro on each selected folder, or on the current one.\n" + "# " + kFolderCommandMark +
           ": written by Sondaro's \"" + kFolderCommandName + "\" setting, which removes it when switched off.\n" +
           "program=" + ShellQuote(executable) + "\n" +
           "[ $# -gt 0 ] || set -- \"$PWD\"\n"
           "for folder in \"$@\"; do\n"
           "    case $folder in\n"
           "        /*) ;;\n"
           "        *) folder=$PWD/$folder ;;\n"
           "    esac\n"
           "    \"$program\" \"$folder\" &\n"
           "done\n";
}

std::string FolderCommandNemoAction(const std::string& executable) {
    return std::string("[Nemo Action]\n") + "Name=" + kFolderCommandName + "\n" +
           "Comment=Show what the audio files in this folder are and how they were encoded\n" +
           "Exec=" + KeyFileString(ShellQuote(executable)) + " %F\n" + "Quote=single\n" + "Selection=s\n" + "Extensions=dir;\n" +
           "Icon-Name=sondaro\n" + kFolderCommandMark + "=true\n";
}

std::string WindowsFolderCommandValue(const std::string& executable) {
    return "\"" + executable + "\" \"%1\"";
}

std::string FolderCommandEntryPath(const std::string& dataHome) {
    return WithTrailingSeparator(dataHome) + "applications/" + kFolderCommandFile;
}

std::string FolderCommandServiceMenuPath(const std::string& dataHome) {
    return WithTrailingSeparator(dataHome) + "kio/servicemenus/" + kFolderCommandFile;
}

std::string FolderCommandNautilusPath(const std::string& dataHome) {
    return WithTrailingSeparator(dataHome) + "nautilus/scripts/" + kFolderCommandName;
}

std::string FolderCommandNemoPath(const std::string& dataHome) {
    return WithTrailingSeparator(dataHome) + "nemo/actions/" + kNemoActionFile;
}

std::string FolderCommandCajaPath(const std::string& configHome) {
    return WithTrailingSeparator(configHome) + "caja/scripts/" + kFolderCommandName;
}

std::string UserConfigHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return config;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config";
}

void InstallFolderCommand(const std::string& dataHome, const std::string& executable) {
    InstallFolderCommand(dataHome, UserConfigHome(), executable);
}

void RemoveFolderCommand(const std::string& dataHome) { RemoveFolderCommand(dataHome, UserConfigHome()); }

#ifdef _WIN32

void InstallFolderCommand(const std::string&, const std::string&, const std::string& executable) {
    HKEY key = nullptr;
    const bool opened = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, WideFromUtf8(kFolderCommandValueKey).c_str(), 0,
                                          nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS;
    bool written = false;
    if (opened) {
        const std::wstring value = WideFromUtf8(WindowsFolderCommandValue(executable));
        const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));   // with its final zero
        written = ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
                  ERROR_SUCCESS;
        ::RegCloseKey(key);
    }
    // The default value has the empty name.
    if (!written) throw EIntegrationError("Failed to set data for ''");
}

void RemoveFolderCommand(const std::string&, const std::string&) {
    // A key that is not there (or cannot be removed) leaves nothing to do.
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, WideFromUtf8(kFolderCommandKey).c_str());
}

#else

void InstallFolderCommand(const std::string& dataHome, const std::string& configHome, const std::string& executable) {
    WriteTextFile(FolderCommandEntryPath(dataHome), FolderCommandDesktopEntry(executable), false);
    WriteTextFile(FolderCommandServiceMenuPath(dataHome), FolderCommandServiceMenu(executable), true);
    // The file managers run only executable scripts.
    WriteTextFile(FolderCommandNautilusPath(dataHome), FolderCommandScript(executable), true);
    WriteTextFile(FolderCommandNemoPath(dataHome), FolderCommandNemoAction(executable), false);
    WriteTextFile(FolderCommandCajaPath(configHome), FolderCommandScript(executable), true);
}

void RemoveFolderCommand(const std::string& dataHome, const std::string& configHome) {
    for (const std::string& path : {FolderCommandEntryPath(dataHome), FolderCommandServiceMenuPath(dataHome),
                                    FolderCommandNautilusPath(dataHome), FolderCommandNemoPath(dataHome),
                                    FolderCommandCajaPath(configHome)}) {
        // Only a file this setting wrote: one that carries the mark.
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        if (text.find(kFolderCommandMark) == std::string::npos) continue;
        std::error_code ec;
        fs::remove(path, ec);
    }
}

#endif

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

std::string AuCDtectScript(const std::string& toolPath, const std::string& wavPath) {
    return ShellQuote(toolPath) + " " + ShellQuote(wavPath) + "\n" +
           "read -r -s -n 1 -p 'Press any key to continue . . . '\n";
}

std::string AuCDtectBatchFile(const std::string& exeFolder, const std::string& wavPath) {
    return "\"" + WithTrailingSeparator(exeFolder, PathStyle::Windows) + "auCDtect.exe\" \"" + wavPath + "\"\r\n" +
           "pause\r\n";
}

#ifdef _WIN32

std::string WriteAuCDtectScript(const std::string& exeFolder, const std::string& wavPath) {
    const std::string path = WithTrailingSeparator(exeFolder) + kAuCDtectScriptName;
    WriteFileOrRaise(path, ConsoleCodePageText(AuCDtectBatchFile(exeFolder, wavPath)));
    return path;
}

#else

std::string WriteAuCDtectScript(const std::string& exeFolder, const std::string& wavPath) {
    const std::string folder = WithTrailingSeparator(exeFolder);
    const std::string path = folder + kAuCDtectScriptName;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out << AuCDtectScript(folder + kAuCDtectName, wavPath);
    out.close();
    if (!out) throw EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(errno ? errno : EIO));
    return path;
}

#endif
