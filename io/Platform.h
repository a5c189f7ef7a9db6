// What the core asks of the operating system beyond the standard library:
// paths for the standard library's file functions, and on Windows the
// conversions between the program's UTF-8 texts and the system's UTF-16 ones.
//
// The program's texts and paths are UTF-8 everywhere. On POSIX those bytes
// are the file names themselves; Windows names files in UTF-16 and would read
// a narrow path in the ANSI code page, so every file name is converted before
// it reaches the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// A UTF-8 path as the standard library's streams and std::filesystem take it.
std::filesystem::path NativePath(const std::string& utf8);

// What tells one version of a file from another without reading it: its
// size, its modification time in nanoseconds since 1970 and its file number
// (inode; on Windows the file index, or 0 where the system gives none).
struct TFileStamp {
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    uint64_t Inode = 0;
    bool operator==(const TFileStamp&) const = default;
};

// The stamp of path, following symbolic links; false when path is no
// regular file or cannot be examined.
bool RegularFileStamp(const std::string& path, TFileStamp& stamp);

// The open file of a stream: a descriptor on POSIX, a HANDLE on Windows.
#ifdef _WIN32
using TFileHandle = void*;
#else
using TFileHandle = int;
#endif

// Reads up to count bytes at offset without moving any shared position (one
// system call: pread, or ReadFile with an offset). Returns the bytes read, 0
// at the end of the file, -1 on an error.
std::ptrdiff_t ReadAt(TFileHandle file, void* buffer, std::size_t count, int64_t offset);

// Asks the system to start reading the first length bytes of path into its
// cache in the background, so that a later open and read finds them there.
// Best effort: does nothing where the system has no such request. Where it
// opens the file for the request, it keeps the file open (a few dozen at
// most, the oldest closed first) for the stream that opens path next, so the
// file is opened once.
void PrefetchFileStart(const std::string& path, int64_t length);

// The file PrefetchFileStart keeps open for path, handed over (the caller
// closes it); false when there is none.
bool TakePrefetchedFile(const std::string& path, TFileHandle& file);

// Closes the files PrefetchFileStart keeps open that no stream took (a scan
// that ended early), so that none stays open after a scan.
void ReleasePrefetchedFiles();

#ifdef _WIN32
// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD rather than being dropped.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

// The system's text for an error code (GetLastError) in UTF-8, without the
// line break and final period Windows puts at its end, like strerror's texts.
std::string SystemErrorMessage(unsigned long code);
#endif

// Full path of the running program, in UTF-8 (/proc/self/exe on Linux,
// GetModuleFileNameW on Windows); empty when the system does not say.
std::string ExecutablePath();
