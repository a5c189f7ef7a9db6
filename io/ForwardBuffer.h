// A buffer for passes that read a file forwards in large pieces: bytes it
// holds already are never read again. Asked for bytes from a position within
// what it holds, it moves those to its front and reads only the rest.
#pragma once

#include "io/FileStream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TForwardBuffer {
public:
    // Makes sure the bytes at..at+count of the stream's file are held (fewer
    // at the end of the file) and returns how many of them there are. When
    // they are not all held, it reads on so that it holds fill bytes from at
    // (at least count). A position before what it holds is read again.
    std::size_t Need(TFileStream& stream, int64_t at, std::size_t count, std::size_t fill);

    // The byte at the file offset at, which a Need call has brought in.
    const uint8_t* At(int64_t at) const { return bytes_.data() + (at - start_); }
    // The file offset after the last byte held.
    int64_t End() const { return start_ + static_cast<int64_t>(length_); }

    // Holds nothing (the memory stays for the next file).
    void Forget() {
        start_ = 0;
        length_ = 0;
    }

private:
    std::vector<uint8_t> bytes_;
    int64_t start_ = 0;        // file offset of bytes_[0]
    std::size_t length_ = 0;   // bytes of the file held
};
