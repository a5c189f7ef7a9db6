#include "io/FileStream.h"

#include "io/Errors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "io/Platform.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kProbeWindow = 8 * 1024;

std::atomic<uint64_t> gSystemReads{0};
std::atomic<uint64_t> gBytesRead{0};
std::atomic<uint64_t> gSystemCalls{0};
std::atomic<uint64_t> gOpens{0};

// Counts one system call of a stream (open, size query, seek, read, close).
void CountCall(uint64_t calls = 1) { gSystemCalls.fetch_add(calls, std::memory_order_relaxed); }

[[noreturn]] void RaiseOpenError(const std::string& path, const std::string& message) {
    throw EFOpenError("Cannot open file \"" + path + "\". " + message);
}

} // namespace

TFileStream::TFileStream(const std::string& path, std::size_t bufferSize)
    : TFileStream(path, Share::Read, bufferSize) {}

#ifdef _WIN32

TFileStream::TFileStream(const std::string& path, Share share, std::size_t bufferSize)
    : path_(path), buffer_(std::max<std::size_t>(bufferSize, 16)) {
    // A NUL would end the name the system sees: another file than the one named.
    if (path.find('\0') != std::string::npos) RaiseOpenError(path, "Invalid file name");
    const DWORD shareMode = share == Share::ReadWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
    HANDLE handle = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    gOpens.fetch_add(1, std::memory_order_relaxed);
    CountCall(3);   // open, file type, size
    if (handle == INVALID_HANDLE_VALUE) RaiseOpenError(path, SystemErrorMessage(::GetLastError()));
    // Devices ("CON", "\\.\PhysicalDrive0") and pipes are no audio files.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        RaiseOpenError(path, "Not a regular file");
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        RaiseOpenError(path, SystemErrorMessage(error));
    }
    handle_ = handle;
    size_ = static_cast<int64_t>(size.QuadPart);
}

TFileStream::~TFileStream() {
    if (handle_) {
        ::CloseHandle(static_cast<HANDLE>(handle_));
        CountCall();
    }
}

#else

TFileStream::TFileStream(const std::string& path, Share, std::size_t bufferSize)
    : path_(path), buffer_(std::max<std::size_t>(bufferSize, 16)) {
    // A NUL would end the name the system sees: another file than the one named.
    if (path.find('\0') != std::string::npos) RaiseOpenError(path, "Invalid file name");
    // O_NONBLOCK keeps open() from waiting on a FIFO; the file is rejected below.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    gOpens.fetch_add(1, std::memory_order_relaxed);
    CountCall(2);   // open, fstat
    if (fd_ < 0) RaiseOpenError(path, std::strerror(errno));
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        const int error = errno;
        ::close(fd_);
        RaiseOpenError(path, std::strerror(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd_);
        RaiseOpenError(path, S_ISDIR(info.st_mode) ? "Is a directory" : "Not a regular file");
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    CountCall(2);
    size_ = static_cast<int64_t>(info.st_size);
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) {
        ::close(fd_);
        CountCall();
    }
}

#endif

int64_t TFileStream::Seek(int64_t offset, Origin origin) {
    int64_t base = 0;
    if (origin == Origin::Current) base = position_;
    if (origin == Origin::End) base = size_;
    // Saturate instead of overflowing on hostile offsets.
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : INT64_MAX;
    position_ = std::max<int64_t>(target, 0);
    return position_;
}

bool TFileStream::Fill(int64_t at) {
    // A read that continues the previous one fills the whole buffer; a jump
    // (header probes, tags at the end) fills only a small window.
    const bool sequential = at == bufferStart_ + static_cast<int64_t>(bufferLength_) && bufferLength_ > 0;
    const std::size_t want = sequential ? buffer_.size() : std::min<std::size_t>(buffer_.size(), kProbeWindow);
    bufferStart_ = at;
    bufferLength_ = 0;
    if (at >= size_) return false;
#ifdef _WIN32
    HANDLE handle = static_cast<HANDLE>(handle_);
    LARGE_INTEGER offset{};
    offset.QuadPart = at;
    CountCall();
    if (!::SetFilePointerEx(handle, offset, nullptr, FILE_BEGIN)) return false;
#else
    CountCall();
    if (::lseek(fd_, at, SEEK_SET) < 0) return false;
#endif
    while (bufferLength_ < want) {
        ++systemReads_;
        gSystemReads.fetch_add(1, std::memory_order_relaxed);
        CountCall();
#ifdef _WIN32
        DWORD got = 0;
        const auto ask = static_cast<DWORD>(std::min<std::size_t>(want - bufferLength_, 1u << 30));
        if (!::ReadFile(handle, buffer_.data() + bufferLength_, ask, &got, nullptr) || got == 0) break;
#else
        const auto got = ::read(fd_, buffer_.data() + bufferLength_, static_cast<unsigned>(want - bufferLength_));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
#endif
        bufferLength_ += static_cast<std::size_t>(got);
        gBytesRead.fetch_add(static_cast<uint64_t>(got), std::memory_order_relaxed);
        if (bufferStart_ + static_cast<int64_t>(bufferLength_) >= size_) break;
    }
    return bufferLength_ > 0;
}

std::size_t TFileStream::Read(void* destination, std::size_t count) {
    auto* out = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < count) {
        const int64_t bufferEnd = bufferStart_ + static_cast<int64_t>(bufferLength_);
        if (position_ < bufferStart_ || position_ >= bufferEnd) {
            if (!Fill(position_)) break;
            continue;
        }
        const auto offset = static_cast<std::size_t>(position_ - bufferStart_);
        const std::size_t take = std::min(count - done, bufferLength_ - offset);
        std::memcpy(out + done, buffer_.data() + offset, take);
        done += take;
        position_ += static_cast<int64_t>(take);
    }
    return done;
}

std::size_t TFileStream::ReadZeroFilled(int64_t offset, void* destination, std::size_t count) {
    std::memset(destination, 0, count);
    Seek(offset);
    return Read(destination, count);
}

void TFileStream::ReadExact(void* destination, std::size_t count) {
    if (Read(destination, count) != count) throw EReadError(kUnexpectedEndOfFile);
}

uint64_t TFileStream::TotalSystemReads() { return gSystemReads.load(std::memory_order_relaxed); }
uint64_t TFileStream::TotalBytesRead() { return gBytesRead.load(std::memory_order_relaxed); }
uint64_t TFileStream::TotalSystemCalls() { return gSystemCalls.load(std::memory_order_relaxed); }
uint64_t TFileStream::TotalOpens() { return gOpens.load(std::memory_order_relaxed); }

int64_t FileSizeOf(const std::string& path) {
    TFileStream stream(path, TFileStream::Share::ReadWrite, 16);
    return stream.Size();
}
