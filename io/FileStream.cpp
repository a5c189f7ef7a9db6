#include "io/FileStream.h"

#include "io/Errors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
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

constexpr std::size_t kDefaultBufferSize = 64 * 1024;
constexpr std::size_t kPooledBuffers = 4;

// Buffers of the default size left by the thread's closed streams. The
// bytes are not cleared: a buffer is only read where a fill wrote it.
thread_local std::vector<std::unique_ptr<unsigned char[]>> tFreeBuffers;

std::unique_ptr<unsigned char[]> TakeBuffer(std::size_t size) {
    if (size == kDefaultBufferSize && !tFreeBuffers.empty()) {
        std::unique_ptr<unsigned char[]> buffer = std::move(tFreeBuffers.back());
        tFreeBuffers.pop_back();
        return buffer;
    }
    return std::unique_ptr<unsigned char[]>(new unsigned char[size]);
}

void ReturnBuffer(std::unique_ptr<unsigned char[]> buffer, std::size_t size) {
    if (buffer && size == kDefaultBufferSize && tFreeBuffers.size() < kPooledBuffers)
        tFreeBuffers.push_back(std::move(buffer));
}

[[noreturn]] void RaiseOpenError(const std::string& path, const std::string& message) {
    throw EFOpenError("Cannot open file \"" + path + "\". " + message);
}

} // namespace

TFileStream::TFileStream(const std::string& path, std::size_t bufferSize)
    : TFileStream(path, Share::Read, bufferSize) {}

#ifdef _WIN32

TFileStream::TFileStream(const std::string& path, Share share, std::size_t bufferSize)
    : path_(path), bufferSize_(std::max<std::size_t>(bufferSize, 16)) {
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
    stamp_.Size = size_;
}

TFileStream::~TFileStream() {
    if (handle_) {
        ::CloseHandle(static_cast<HANDLE>(handle_));
        CountCall();
    }
    for (TWindow& window : windows_) ReturnBuffer(std::move(window.Data), bufferSize_);
}

#else

TFileStream::TFileStream(const std::string& path, Share, std::size_t bufferSize)
    : path_(path), bufferSize_(std::max<std::size_t>(bufferSize, 16)) {
    // A NUL would end the name the system sees: another file than the one named.
    if (path.find('\0') != std::string::npos) RaiseOpenError(path, "Invalid file name");
    // O_NONBLOCK keeps open() from waiting on a FIFO; the file is rejected
    // below. It stays set: reads of a regular file ignore it, which saves the
    // two fcntl calls that would clear it.
    // A file a scan prefetched is open already.
    if (!TakePrefetchedFile(path, fd_)) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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
    size_ = static_cast<int64_t>(info.st_size);
    stamp_.Size = size_;
    stamp_.ModifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    stamp_.Inode = static_cast<uint64_t>(info.st_ino);
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) {
        ::close(fd_);
        CountCall();
    }
    for (TWindow& window : windows_) ReturnBuffer(std::move(window.Data), bufferSize_);
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

// One system read after another until count bytes from at are in
// destination, the file ends or a read fails; got is the count obtained.
bool TFileStream::ReadInto(unsigned char* destination, std::size_t count, int64_t at, std::size_t& got) {
#ifdef _WIN32
    const TFileHandle file = handle_;
#else
    const TFileHandle file = fd_;
#endif
    got = 0;
    while (got < count) {
        ++systemReads_;
        gSystemReads.fetch_add(1, std::memory_order_relaxed);
        CountCall();
        const std::ptrdiff_t read = ReadAt(file, destination + got, count - got, at + static_cast<int64_t>(got));
        if (read <= 0) break;
        got += static_cast<std::size_t>(read);
        gBytesRead.fetch_add(static_cast<uint64_t>(read), std::memory_order_relaxed);
        if (at + static_cast<int64_t>(got) >= size_) break;
    }
    readEnd_ = at + static_cast<int64_t>(got);
    return got > 0;
}

bool TFileStream::Fill(int64_t at, std::size_t wanted) {
    if (at >= size_) return false;
    // Reading on from the last system read refills the window in use with
    // what the caller asks for and at least twice its last fill, up to a
    // whole buffer (a reader that reads on far soon reads whole buffers, one
    // that stops after a few KiB has not read 64); a jump fills the other
    // window with a probe of what the caller asks for (at least
    // kProbeWindow), or with the whole file when it fits. A probe that would
    // run past the end of the file ends there and starts earlier instead, so
    // the tags and trailers readers look for before the end are in the same
    // window.
    const bool sequential = at == readEnd_;
    if (!sequential) current_ = 1 - current_;
    TWindow& window = windows_[current_];
    const std::size_t least = sequential ? std::max(kProbeWindow, 2 * window.Length) : kProbeWindow;
    std::size_t want = std::min(bufferSize_, std::max(wanted, least));
    window.Start = at;
    window.Length = 0;
    if (!sequential && size_ <= static_cast<int64_t>(bufferSize_)) {
        window.Start = 0;
        want = static_cast<std::size_t>(size_);
    } else if (!sequential && at + static_cast<int64_t>(want) > size_) {
        window.Start = size_ - static_cast<int64_t>(want);
    }
    if (!window.Data) window.Data = TakeBuffer(bufferSize_);
    ReadInto(window.Data.get(), want, window.Start, window.Length);
    // A file cut short since it was opened may end before the position asked for.
    return window.Holds(at);
}

std::size_t TFileStream::Read(void* destination, std::size_t count) {
    auto* out = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < count) {
        if (!windows_[current_].Holds(position_)) {
            if (windows_[1 - current_].Holds(position_)) {
                current_ = 1 - current_;
            } else if (count - done >= bufferSize_) {
                // A large read goes straight to the caller.
                if (position_ >= size_) break;
                std::size_t got = 0;
                ReadInto(out + done, count - done, position_, got);
                done += got;
                position_ += static_cast<int64_t>(got);
                if (got == 0 || position_ >= size_) break;
                continue;
            } else if (!Fill(position_, count - done)) {
                break;
            }
            continue;
        }
        const TWindow& window = windows_[current_];
        const auto offset = static_cast<std::size_t>(position_ - window.Start);
        const std::size_t take = std::min(count - done, window.Length - offset);
        std::memcpy(out + done, window.Data.get() + offset, take);
        done += take;
        position_ += static_cast<int64_t>(take);
    }
    return done;
}

std::size_t TFileStream::ReadZeroFilled(int64_t offset, void* destination, std::size_t count) {
    Seek(offset);
    const std::size_t got = Read(destination, count);
    std::memset(static_cast<unsigned char*>(destination) + got, 0, count - got);
    return got;
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
