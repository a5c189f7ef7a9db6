// TFileStream: the read-only byte stream every reader opens a file with.
//
// Opened by a UTF-8 path (converted to UTF-16 on Windows), it knows its 64-bit size, seeks from the
// start, from the current position and from the end, and Read returns the
// number of bytes it obtained (short at the end of the file, never an error).
// Reads are served from two buffered windows so that readers that take a few
// bytes at a time do not cost a system call each: reading on fills the
// window in use, a jump (a header probe, the tags at the end) fills the
// other, so a reader that goes back and forth between the start and the end
// of a file reads each once. A seek inside either window costs nothing, and
// every fill is one positioned read (no separate seek). A jump reads what the
// caller asks for (at least 8 KiB, at most a window), ending at the end of the
// file when it would run past it, so the tags before the end are read once.
// A file no larger than a window is read whole by its first fill; a read of at least a window's
// size goes straight into the caller's memory. Buffers of the default size
// are reused by the thread's next stream, so a scan does not allocate (or
// clear) them per file. The bytes a caller sees are exactly the file's bytes.
//
// Only regular files are opened: a FIFO, socket or device raises the open
// error instead of blocking the scan.
//
// On Windows the file is opened with a share mode: other programs may read it
// while it is open but not write it, unless the stream is opened with
// Share::ReadWrite. POSIX has no share modes; there the choice has no effect.
#pragma once

#include "io/Platform.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TFileStream {
public:
    enum class Origin { Begin, Current, End };
    // What other programs may do with the file while the stream holds it open.
    enum class Share { Read, ReadWrite };

    // Opens path for reading; raises EFOpenError
    // ("Cannot open file "<path>". <system message>") on failure.
    explicit TFileStream(const std::string& path, std::size_t bufferSize = 64 * 1024);
    TFileStream(const std::string& path, Share share, std::size_t bufferSize = 64 * 1024);
    ~TFileStream();
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Size() const { return size_; }
    // The path the stream was opened with.
    const std::string& Path() const { return path_; }
    int64_t Position() const { return position_; }
    // Size, modification time and file number of the open file (POSIX; on
    // Windows the size alone).
    const TFileStamp& Stamp() const { return stamp_; }

    // Moves the position; a target before 0 clamps to 0. Returns the new position.
    // Seeking past the end is allowed; reads there return 0 bytes.
    int64_t Seek(int64_t offset, Origin origin = Origin::Begin);

    // Reads up to count bytes at the position; returns the count obtained.
    std::size_t Read(void* buffer, std::size_t count);

    // Reads count bytes at offset; bytes beyond the end of the file read as
    // zero. Returns the count obtained from the file.
    std::size_t ReadZeroFilled(int64_t offset, void* buffer, std::size_t count);

    // Reads exactly count bytes or raises EReadError("Unexpected End Of File.").
    void ReadExact(void* buffer, std::size_t count);

    // Number of system read calls made so far by this stream.
    uint64_t SystemReads() const { return systemReads_; }

    // Process-wide counters of system reads and bytes read from disk, for
    // the benchmarks.
    static uint64_t TotalSystemReads();
    static uint64_t TotalBytesRead();
    // Every system call the streams made (open, size query, seek, read,
    // close), and the opens alone.
    static uint64_t TotalSystemCalls();
    static uint64_t TotalOpens();

private:
    bool Fill(int64_t at, std::size_t wanted);

#ifdef _WIN32
    void* handle_ = nullptr;   // the file's HANDLE
#else
    int fd_ = -1;
#endif
    std::string path_;
    int64_t size_ = 0;
    TFileStamp stamp_;
    int64_t position_ = 0;
    // A buffered part of the file: Length bytes from file offset Start.
    struct TWindow {
        std::unique_ptr<unsigned char[]> Data;   // taken when first filled
        int64_t Start = 0;
        std::size_t Length = 0;
        bool Holds(int64_t offset) const { return offset >= Start && offset - Start < static_cast<int64_t>(Length); }
    };
    bool ReadInto(unsigned char* destination, std::size_t count, int64_t at, std::size_t& got);
    TWindow windows_[2];
    int current_ = 0;           // the window read last
    std::size_t bufferSize_ = 0;
    int64_t readEnd_ = -1;      // file offset where the last system read ended
    uint64_t systemReads_ = 0;
};

// Size of a file in bytes via the stream (raises the stream's open error).
// Other programs may go on writing the file meanwhile.
int64_t FileSizeOf(const std::string& path);
