// TByteReader: a bounded cursor over bytes already in memory.
//
// A reader takes a header's bytes from the stream once, then parses them in
// file order, one named field per call. A read past the end never touches
// memory outside the span: it yields zero and sets one sticky flag, Overrun(),
// that the reader checks once per structure instead of after every field.
// Bits(n) reads big-endian bit fields (MSB first), as MPEG, AAC, FLAC and
// AC-3 headers lay them out; byte reads after bit reads start at the next
// whole byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TByteReader {
public:
    TByteReader() = default;
    TByteReader(const void* data, std::size_t size)
        : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    TByteReader(std::string_view bytes) : TByteReader(bytes.data(), bytes.size()) {}

    // True once any read or skip ran past the end of the span.
    bool Overrun() const { return overrun_; }
    bool Ok() const { return !overrun_; }
    std::size_t Position() const { return position_; }
    std::size_t Size() const { return size_; }
    std::size_t Remaining() const { return position_ < size_ ? size_ - position_ : 0; }
    const unsigned char* Data() const { return data_; }
    // The bytes from the cursor to the end of the span.
    const unsigned char* Here() const { return data_ + (position_ < size_ ? position_ : size_); }

    // Moves the cursor to an absolute offset; past the end sets the flag.
    void Seek(std::size_t offset) {
        AlignToByte();
        if (offset > size_) {
            overrun_ = true;
            position_ = size_;
        } else {
            position_ = offset;
        }
    }
    void Skip(std::size_t count) {
        AlignToByte();
        if (count > Remaining()) {
            overrun_ = true;
            position_ = size_;
        } else {
            position_ += count;
        }
    }

    uint8_t U8() { return static_cast<uint8_t>(Take(1, false)); }
    uint16_t BE16() { return static_cast<uint16_t>(Take(2, true)); }
    uint32_t BE24() { return static_cast<uint32_t>(Take(3, true)); }
    uint32_t BE32() { return static_cast<uint32_t>(Take(4, true)); }
    uint64_t BE64() { return Take(8, true); }
    uint16_t LE16() { return static_cast<uint16_t>(Take(2, false)); }
    uint32_t LE24() { return static_cast<uint32_t>(Take(3, false)); }
    uint32_t LE32() { return static_cast<uint32_t>(Take(4, false)); }
    uint64_t LE64() { return Take(8, false); }

    // count raw bytes as a string (shorter, with the flag set, at the end).
    std::string Text(std::size_t count) {
        AlignToByte();
        const std::size_t available = count > Remaining() ? Remaining() : count;
        if (available < count) overrun_ = true;
        std::string text(reinterpret_cast<const char*>(Here()), available);
        position_ += available;
        return text;
    }
    // True (and the cursor moved on) when the next bytes equal tag.
    bool Expect(std::string_view tag) {
        AlignToByte();
        if (tag.size() > Remaining()) {
            overrun_ = true;
            return false;
        }
        if (std::string_view(reinterpret_cast<const char*>(Here()), tag.size()) != tag) return false;
        position_ += tag.size();
        return true;
    }

    // The next n bits (n <= 64), most significant bit first.
    uint64_t Bits(unsigned n) {
        uint64_t value = 0;
        for (unsigned i = 0; i < n; ++i) {
            if (position_ >= size_) {
                overrun_ = true;
                return 0;
            }
            const unsigned bit = (data_[position_] >> (7 - bitOffset_)) & 1u;
            value = (value << 1) | bit;
            if (++bitOffset_ == 8) {
                bitOffset_ = 0;
                ++position_;
            }
        }
        return value;
    }
    bool Flag() { return Bits(1) != 0; }
    // Drops the rest of a partly read byte.
    void AlignToByte() {
        if (bitOffset_ != 0) {
            bitOffset_ = 0;
            ++position_;
        }
    }

private:
    uint64_t Take(std::size_t count, bool bigEndian) {
        AlignToByte();
        if (count > Remaining()) {
            overrun_ = true;
            position_ = size_;
            return 0;
        }
        uint64_t value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const uint64_t byte = data_[position_ + i];
            if (bigEndian) value = (value << 8) | byte;
            else value |= byte << (8 * i);
        }
        position_ += count;
        return value;
    }

    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t position_ = 0;
    unsigned bitOffset_ = 0;
    bool overrun_ = false;
};
