#include "tags/VorbisComment.h"

#include "io/ByteReader.h"

#include <algorithm>

void TVorbisComment::Clear() {
    vendor_.clear();
    vendorLength_ = 0;
    fieldCount_ = 0;
    entries_.clear();
    entryLengths_.clear();
}

void TVorbisComment::Parse(std::span<const uint8_t> packet) {
    TByteReader r(packet.data(), packet.size());
    vendorLength_ = r.LE32();
    if (r.Overrun()) return;
    vendor_ = r.Text(std::min<std::size_t>(vendorLength_, r.Remaining()));
    fieldCount_ = r.LE32();
    if (r.Overrun()) return;
    // Each entry takes at least its 4 length bytes, so the packet bounds the loop.
    for (uint32_t i = 0; i < fieldCount_; ++i) {
        const uint32_t length = r.LE32();
        if (r.Overrun()) return;
        entryLengths_.push_back(length);
        entries_.push_back(r.Text(std::min<std::size_t>(length, r.Remaining())));
        if (r.Remaining() == 0) return;
    }
}
