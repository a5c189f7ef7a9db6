#include "tags/VorbisComment.h"

#include <algorithm>

namespace {

// Reads from an in-memory packet; every read is bounded by its end.
class PacketReader {
public:
    explicit PacketReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool ReadLE32(uint32_t& value) {
        if (bytes_.size() - position_ < 4) return false;
        const uint8_t* p = bytes_.data() + position_;
        value = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        position_ += 4;
        return true;
    }

    // Up to length bytes: fewer when the packet ends first.
    std::string ReadText(uint32_t length) {
        const std::size_t take = std::min<std::size_t>(length, bytes_.size() - position_);
        std::string text(reinterpret_cast<const char*>(bytes_.data() + position_), take);
        position_ += take;
        return text;
    }

    bool AtEnd() const { return position_ >= bytes_.size(); }

private:
    std::span<const uint8_t> bytes_;
    std::size_t position_ = 0;
};

} // namespace

void TVorbisComment::Clear() {
    vendor_.clear();
    vendorLength_ = 0;
    fieldCount_ = 0;
    entries_.clear();
    entryLengths_.clear();
}

void TVorbisComment::Parse(std::span<const uint8_t> packet) {
    PacketReader reader(packet);
    if (!reader.ReadLE32(vendorLength_)) return;
    vendor_ = reader.ReadText(vendorLength_);
    if (!reader.ReadLE32(fieldCount_)) return;
    // Each entry takes at least its 4 length bytes, so the packet bounds the loop.
    for (uint32_t i = 0; i < fieldCount_; ++i) {
        uint32_t length = 0;
        if (!reader.ReadLE32(length)) return;
        entryLengths_.push_back(length);
        entries_.push_back(reader.ReadText(length));
        if (reader.AtEnd()) return;
    }
}
