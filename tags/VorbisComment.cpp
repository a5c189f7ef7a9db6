#include "tags/VorbisComment.h"

#include "io/ByteReader.h"

#include <algorithm>

void TVorbisComment::Clear() {
    runsPast_ = false;
    vendor_.clear();
    vendorLength_ = 0;
    fieldCount_ = 0;
    entries_.clear();
    entryLengths_.clear();
}

void TVorbisComment::Parse(std::span<const uint8_t> packet) {
    if (packet.empty()) return;   // no packet: nothing claimed
    TByteReader r(packet.data(), packet.size());
    vendorLength_ = r.LE32();
    runsPast_ = true;   // until the last stated field is read whole
    if (r.Overrun()) return;
    if (vendorLength_ > r.Remaining()) {
        vendor_ = r.Text(r.Remaining());
        return;
    }
    vendor_ = r.Text(vendorLength_);
    fieldCount_ = r.LE32();
    if (r.Overrun()) return;
    // Each entry takes at least its 4 length bytes, so the packet bounds the loop.
    for (uint32_t i = 0; i < fieldCount_; ++i) {
        const uint32_t length = r.LE32();
        if (r.Overrun()) return;
        entryLengths_.push_back(length);
        const bool whole = length <= r.Remaining();
        entries_.push_back(r.Text(std::min<std::size_t>(length, r.Remaining())));
        if (!whole || (r.Remaining() == 0 && i + 1 < fieldCount_)) return;
    }
    runsPast_ = false;
}
