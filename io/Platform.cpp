#include "io/Platform.h"

#include <algorithm>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <climits>
#include <vector>
#else
#include <atomic>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

#ifdef _WIN32

std::filesystem::path NativePath(const std::string& utf8) { return std::filesystem::path(WideFromUtf8(utf8)); }

std::wstring WideFromUtf8(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return {};
    const int length = static_cast<int>(utf8.size());
    const int needed = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), needed);
    return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
    if (wide.empty() || wide.size() > INT_MAX) return {};
    const int length = static_cast<int>(wide.size());
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

std::string SystemErrorMessage(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length > 0 && buffer) text.assign(buffer, length);
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
    if (text.empty()) return "System error " + std::to_string(code);
    return Utf8FromWide(text);
}

std::string ExecutablePath() {
    // The path may be longer than MAX_PATH; grow until it fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return Utf8FromWide(std::wstring_view(buffer.data(), length));
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool RegularFileStamp(const std::string& path, TFileStamp& stamp) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
    stamp.Size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    // 100-ns intervals since 1601 to nanoseconds since 1970.
    const uint64_t ticks =
        (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    stamp.ModifiedNs = (static_cast<int64_t>(ticks) - 116444736000000000LL) * 100;
    stamp.Inode = 0;   // the file index needs an open handle; size and time decide alone
    return true;
}

std::ptrdiff_t ReadAt(TFileHandle file, void* buffer, std::size_t count, int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD got = 0;
    const auto ask = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    if (!::ReadFile(static_cast<HANDLE>(file), buffer, ask, &got, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<std::ptrdiff_t>(got);
}

// Windows has no request to prefetch a closed file's pages; its cache
// manager reads ahead on its own once the file is read.
void PrefetchFileStart(const std::string&, int64_t) {}

bool TakePrefetchedFile(const std::string&, TFileHandle&) { return false; }

void ReleasePrefetchedFiles() {}

#else

std::filesystem::path NativePath(const std::string& utf8) { return std::filesystem::path(utf8); }

bool RegularFileStamp(const std::string& path, TFileStamp& stamp) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    stamp.Size = static_cast<int64_t>(info.st_size);
    stamp.ModifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    stamp.Inode = static_cast<uint64_t>(info.st_ino);
    return true;
}

std::ptrdiff_t ReadAt(TFileHandle file, void* buffer, std::size_t count, int64_t offset) {
    for (;;) {
        const ssize_t got = ::pread(file, buffer, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

namespace {

// The files PrefetchFileStart opened, oldest first, until a stream takes them.
struct TKeptFile {
    std::string Path;
    int Fd = -1;
};
constexpr std::size_t kMaxKeptFiles = 64;
std::mutex gKeptMutex;
std::deque<TKeptFile> gKept;
std::atomic<std::size_t> gKeptCount{0};

} // namespace

void PrefetchFileStart(const std::string& path, int64_t length) {
    // O_NONBLOCK: a FIFO named like an audio file must not stop the prefetch
    // (the stream that takes the file rejects what is no regular file).
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return;
    ::posix_fadvise(fd, 0, static_cast<off_t>(length), POSIX_FADV_WILLNEED);
    int oldest = -1;
    {
        const std::lock_guard<std::mutex> lock(gKeptMutex);
        if (gKept.size() >= kMaxKeptFiles) {
            oldest = gKept.front().Fd;
            gKept.pop_front();
        }
        gKept.push_back({path, fd});
        gKeptCount.store(gKept.size(), std::memory_order_relaxed);
    }
    if (oldest >= 0) ::close(oldest);
}

bool TakePrefetchedFile(const std::string& path, TFileHandle& file) {
    if (gKeptCount.load(std::memory_order_relaxed) == 0) return false;
    const std::lock_guard<std::mutex> lock(gKeptMutex);
    for (auto kept = gKept.begin(); kept != gKept.end(); ++kept) {
        if (kept->Path != path) continue;
        file = kept->Fd;
        gKept.erase(kept);
        gKeptCount.store(gKept.size(), std::memory_order_relaxed);
        return true;
    }
    return false;
}

void ReleasePrefetchedFiles() {
    std::deque<TKeptFile> kept;
    {
        const std::lock_guard<std::mutex> lock(gKeptMutex);
        kept.swap(gKept);
        gKeptCount.store(0, std::memory_order_relaxed);
    }
    for (const TKeptFile& file : kept) ::close(file.Fd);
}

std::string ExecutablePath() {
    // The link's target may be longer than a first guess; grow until it fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        const auto used = static_cast<std::size_t>(length);
        if (used < buffer.size()) return std::string(buffer.data(), used);
        if (buffer.size() >= 65536) return {};
        buffer.resize(buffer.size() * 2);
    }
}

#endif
