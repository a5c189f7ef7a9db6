#include "settings/Integration.h"

#include "core/Errors.h"
#include "core/Paths.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

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

std::string FolderCommandExec(const std::string& executable) { return DesktopExecArgument(executable) + " %f"; }

std::string FolderCommandDesktopEntry(const std::string& executable) {
    return std::string("[Desktop Entry]\n") + "Type=Application\n" + "Name=" + kFolderCommandName + "\n" +
           "Exec=" + FolderCommandExec(executable) + "\n" + "MimeType=inode/directory;\n" + "NoDisplay=true\n" +
           "Terminal=false\n";
}

std::string FolderCommandServiceMenu(const std::string& executable) {
    return std::string("[Desktop Entry]\n") + "Type=Service\n" + "MimeType=inode/directory;\n" +
           "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n" + "Actions=viewWithSondaro;\n" + "\n" +
           "[Desktop Action viewWithSondaro]\n" + "Name=" + kFolderCommandName + "\n" +
           "Exec=" + FolderCommandExec(executable) + "\n";
}

std::string FolderCommandEntryPath(const std::string& dataHome) {
    return WithTrailingSeparator(dataHome) + "applications/" + kFolderCommandFile;
}

std::string FolderCommandServiceMenuPath(const std::string& dataHome) {
    return WithTrailingSeparator(dataHome) + "kio/servicemenus/" + kFolderCommandFile;
}

void InstallFolderCommand(const std::string& dataHome, const std::string& executable) {
    WriteTextFile(FolderCommandEntryPath(dataHome), FolderCommandDesktopEntry(executable), false);
    WriteTextFile(FolderCommandServiceMenuPath(dataHome), FolderCommandServiceMenu(executable), true);
}

void RemoveFolderCommand(const std::string& dataHome) {
    std::error_code ec;
    fs::remove(FolderCommandEntryPath(dataHome), ec);
    fs::remove(FolderCommandServiceMenuPath(dataHome), ec);
}

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

std::string WriteAuCDtectScript(const std::string& exeFolder, const std::string& wavPath) {
    const std::string folder = WithTrailingSeparator(exeFolder);
    const std::string path = folder + kAuCDtectScriptName;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out << AuCDtectScript(folder + kAuCDtectName, wavPath);
    out.close();
    if (!out) throw EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(errno ? errno : EIO));
    return path;
}
