// TWideFileStream: the read-only byte stream every reader opens a file with.
//
// Opened by path (UTF-8 on POSIX), it knows its 64-bit size, seeks from the
// start, from the current position and from the end, and Read returns the
// number of bytes it obtained (short at the end of the file, never an error).
// Reads are served from an internal buffer so that readers that take a few
// bytes at a time do not cost a system call each; a seek inside the buffered
// window costs nothing. The bytes a caller sees are exactly the file's bytes.
//
// Only regular files are opened: a FIFO, socket or device raises the open
// error instead of blocking the scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TWideFileStream {
public:
    enum class Origin { Begin, Current, End };

    // Opens path for reading; raises EFOpenError
    // ("Cannot open file "<path>". <system message>") on failure.
    explicit TWideFileStream(const std::string& path, std::size_t bufferSize = 64 * 1024);
    ~TWideFileStream();
    TWideFileStream(const TWideFileStream&) = delete;
    TWideFileStream& operator=(const TWideFileStream&) = delete;

    int64_t Size() const { return size_; }
    int64_t Position() const { return position_; }

    // Moves the position; a target before 0 clamps to 0. Returns the new position.
    // Seeking past the end is allowed; reads there return 0 bytes.
    int64_t Seek(int64_t offset, Origin origin = Origin::Begin);

    // Reads up to count bytes at the position; returns the count obtained.
    std::size_t Read(void* buffer, std::size_t count);

    // Reads exactly count bytes or raises EReadError("Unexpected End Of File.").
    void ReadExact(void* buffer, std::size_t count);

    // Number of system read calls made so far by this stream.
    uint64_t SystemReads() const { return systemReads_; }

    // Process-wide counters of system reads and bytes read from disk, for
    // the benchmarks.
    static uint64_t TotalSystemReads();
    static uint64_t TotalBytesRead();

private:
    bool Fill(int64_t at);

    int fd_ = -1;
    int64_t size_ = 0;
    int64_t position_ = 0;
    std::vector<unsigned char> buffer_;
    int64_t bufferStart_ = 0;   // file offset of buffer_[0]
    std::size_t bufferLength_ = 0;
    uint64_t systemReads_ = 0;
};

// Size of a file in bytes via the stream (raises the stream's open error).
int64_t FileSizeOf(const std::string& path);
