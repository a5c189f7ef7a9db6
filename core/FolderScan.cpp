#include "core/FolderScan.h"

#include "core/FormatRegistry.h"
#include "io/Paths.h"
#include "io/Text.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <exception>
#include <set>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "io/Platform.h"
#else
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
#endif

namespace {

// Decodes UTF-8 leniently into code points (a stray byte is taken as itself).
std::u32string CodePoints(const std::string& text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (lead >= 0x80 && lead < 0xC0) length = 1;
        if (i + length > text.size()) length = 1;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
        out += cp;
        i += length;
    }
    return out;
}

// A folder's identity on its file system, to notice a folder reached twice.
using TFolderIdentity = std::pair<uint64_t, uint64_t>;

bool IsSupportedFileName(const std::string& name) {
    const std::string extension = ExtensionOf(name);
    return extension.size() > 1 && IsSupportedExtension(extension.substr(1));
}

#ifdef _WIN32

// The volume's serial number and the folder's file index. A folder whose
// identity cannot be read gets an identity of its own, so it is still scanned.
TFolderIdentity FolderIdentity(const std::string& folder) {
    static uint64_t unknown = 0;
    HANDLE handle = ::CreateFileW(WideFromUtf8(folder).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = handle != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(handle, &info);
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    if (!known) return {UINT64_MAX, unknown++};
    return {info.dwVolumeSerialNumber, (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

DWORD Attributes(const std::string& path) { return ::GetFileAttributesW(WideFromUtf8(path).c_str()); }

#else

struct StatInfo {
    bool exists = false;
    bool isFolder = false;
    bool isRegular = false;
    dev_t device = 0;
    ino_t inode = 0;
};

StatInfo StatFollowingLinks(const std::string& path) {
    StatInfo info;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return info;
    info.exists = true;
    info.isFolder = S_ISDIR(st.st_mode);
    info.isRegular = S_ISREG(st.st_mode);
    info.device = st.st_dev;
    info.inode = st.st_ino;
    return info;
}

TFolderIdentity FolderIdentity(const std::string& folder) {
    const StatInfo info = StatFollowingLinks(folder);
    return {static_cast<uint64_t>(info.device), static_cast<uint64_t>(info.inode)};
}

#endif

} // namespace

bool IsSupportedExtension(const std::string& extensionWithoutDot) {
    return FindFormat(extensionWithoutDot) != nullptr;
}

namespace {

// What FolderNameLess compares first: the name's characters upper-cased.
std::u32string UpperKey(const std::string& name) {
    std::u32string key = CodePoints(name);
    for (char32_t& c : key) c = static_cast<char32_t>(std::towupper(static_cast<wint_t>(c)));
    return key;
}

} // namespace

bool FolderNameLess(const std::string& a, const std::string& b) {
    const std::u32string ka = UpperKey(a), kb = UpperKey(b);
    // The upper-cased characters by code point, a shorter name first when it
    // is the start of the other; ties by the raw name.
    if (ka != kb) return ka < kb;
    return a < b;
}

#ifdef _WIN32

// The file system's own order is kept: NTFS returns the names of a folder
// sorted already, which is the order a user expects.
bool ListFolder(const std::string& folder, std::vector<std::string>& files, std::deque<std::string>& folders,
                std::string* error) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = ::FindFirstFileW(WideFromUtf8(folder + "*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        // An empty drive root has no "." entry: nothing found is no error.
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return true;
        if (error) *error = SystemErrorMessage(code);
        return false;
    }
    do {
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        const std::wstring_view wideName(entry.cFileName);
        if (wideName == L"." || wideName == L"..") continue;
        const std::string name = Utf8FromWide(wideName);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders.push_back(folder + name);
        } else if (IsSupportedFileName(name)) {
            files.push_back(folder + name);
        }
    } while (::FindNextFileW(find, &entry));
    const DWORD code = ::GetLastError();
    ::FindClose(find);
    if (code == ERROR_NO_MORE_FILES) return true;
    if (error) *error = SystemErrorMessage(code);
    return false;
}

#else

bool ListFolder(const std::string& folder, std::vector<std::string>& files, std::deque<std::string>& folders,
                std::string* error) {
    // Each supported file and each folder with its sort key, made once per
    // name rather than at every comparison.
    struct TEntry {
        std::u32string Key;
        std::string Name;
        fs::file_type Type;
    };
    std::vector<TEntry> entries;
    std::error_code code;
    // A folder that cannot be read is an error to report, not an empty folder.
    fs::directory_iterator it(folder, code);
    if (code) {
        if (error) *error = code.message();
        return false;
    }
    for (const fs::directory_iterator end; it != end; it.increment(code)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;   // hidden, "." and ".."
        // The type comes from the directory entry; only a link (followed) or
        // an entry of unknown type costs a stat.
        std::error_code typeCode;
        fs::file_type type = fs::file_type::none;
        if (IsSupportedFileName(name) && it->is_regular_file(typeCode)) type = fs::file_type::regular;
        else if (it->is_directory(typeCode)) type = fs::file_type::directory;
        else continue;
        entries.push_back({UpperKey(name), std::move(name), type});
    }
    if (code && error) *error = code.message();
    std::sort(entries.begin(), entries.end(), [](const TEntry& a, const TEntry& b) {
        if (a.Key != b.Key) return a.Key < b.Key;
        return a.Name < b.Name;
    });
    for (TEntry& entry : entries) {
        std::string full = folder + entry.Name;
        if (entry.Type == fs::file_type::regular) files.push_back(std::move(full));
        else folders.push_back(std::move(full));
    }
    return !code;
}

#endif

TScanResult ScanFolder(const std::string& path, bool recursive, const TScanCallbacks& callbacks) {
    TScanResult result;
    result.Root = WithTrailingSeparator(path);
    if (!FolderExists(result.Root)) return result;
    result.Scanned = true;

    std::set<TFolderIdentity> visited;
    std::deque<std::string> queue{result.Root};
    std::vector<std::string> files;
    while (!queue.empty()) {
        const std::string folder = WithTrailingSeparator(queue.front());
        queue.pop_front();
        if (!visited.insert(FolderIdentity(folder)).second) continue;   // reached again through a link
        std::string reason;
        if (!ListFolder(folder, files, queue, &reason)) {
            const std::string shown = folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
            result.Failures.push_back({shown, "Cannot list folder \"" + shown + "\". " + reason});
        }
        for (const std::string& file : files) {
            try {
                if (callbacks.AnalyseFile) callbacks.AnalyseFile(result.Root, file);
            } catch (const std::exception& e) {
                result.Failures.push_back(FailureOf(file, e.what()));
            }
            if (callbacks.AfterFile) callbacks.AfterFile();
        }
        files.clear();
        if (!recursive || (callbacks.Pending && callbacks.Pending())) break;
    }
    return result;
}

TScanResult ScanIntoList(TAnalysisList& list, const std::string& path, bool recursive,
                         const std::function<void()>& afterFile) {
    if (!FolderExists(WithTrailingSeparator(path))) return {};
    list.Clear();
    TScanCallbacks callbacks;
    callbacks.AnalyseFile = [&](const std::string& root, const std::string& file) { list.AnalyseFile(root, file); };
    callbacks.AfterFile = afterFile;
    return ScanFolder(path, recursive, callbacks);
}

TStartTarget ResolveStartTarget(const std::string& argument) {
    TStartTarget target;
    if (argument.empty()) {
#ifdef _WIN32
        // The root of the drive the program was started from, such as "D:\".
        target.Folder = DriveRootOf(ExecutablePath());
        if (target.Folder.empty()) target.Folder = "C:\\";
#else
        target.Folder = std::string(1, PathSeparator());
#endif
    } else if (RegularFileExists(argument)) {
        target.Folder = FolderOf(argument);
    } else {
        target.Folder = argument;
    }
    const std::string extension = AsciiLower(ExtensionOf(argument));
    if (extension == ".m3u" || extension == ".pls" || extension == ".fpl") {
        target.IsPlaylist = true;
        target.Playlist = argument;
    }
    return target;
}

#ifdef _WIN32

bool FolderExists(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RegularFileExists(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

#else

bool FolderExists(const std::string& path) { return StatFollowingLinks(path).isFolder; }

bool RegularFileExists(const std::string& path) {
    const StatInfo info = StatFollowingLinks(path);
    return info.exists && !info.isFolder;
}

#endif
