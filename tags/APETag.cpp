// APE tag versions 1.0 and 2.0, found by its 32-byte footer at the end of the
// file or just before an ID3v1 tag. Items: value size, flags, a zero-ended
// name and the value bytes.
#include "tags/APETag.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <array>
#include <exception>

namespace {

constexpr int64_t kID3v1Size = 128;
constexpr std::string_view kID3v1Mark = "TAG";
// Footer (little-endian): "APETAGEX", version, size (items + footer), item
// count, flags, 8 reserved bytes.
constexpr std::size_t kFooterSize = 32;
constexpr std::string_view kMarker = "APETAGEX";
constexpr std::size_t kValueBufferSize = 24000;   // item values are kept up to this length
// Item header (little-endian): value size, item flags; the zero-ended name follows.
constexpr std::size_t kItemHeaderSize = 8;

} // namespace

void TAPETag::ResetData() {
    exists_ = false;
    version_ = 0;
    size_ = 0;
    fields_.clear();
}

bool TAPETag::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        stream.Seek(0);
        const int64_t fileSize = stream.Size();
        int64_t id3v1Shift = 0;
        if (fileSize > kID3v1Size) {
            std::array<unsigned char, kID3v1Mark.size()> tag{};
            stream.Seek(fileSize - kID3v1Size);
            TByteReader mark(tag.data(), stream.Read(tag.data(), tag.size()));
            if (mark.Expect(kID3v1Mark)) id3v1Shift = kID3v1Size;
        }
        const int64_t footerAt = fileSize - id3v1Shift - int64_t(kFooterSize);
        if (footerAt <= 0) return false;
        std::array<unsigned char, kFooterSize> footerBytes{};
        stream.Seek(footerAt);
        if (stream.Read(footerBytes.data(), footerBytes.size()) != footerBytes.size()) return false;
        TByteReader footer(footerBytes.data(), footerBytes.size());
        if (!footer.Expect(kMarker)) return true;
        const uint32_t version = footer.LE32();
        const uint32_t tagSize = footer.LE32();
        const uint32_t itemCount = footer.LE32();
        if (footer.Overrun()) return true;

        exists_ = true;
        version_ = static_cast<int32_t>(version);
        size_ = static_cast<int32_t>(tagSize);
        try {
            int64_t position = fileSize - id3v1Shift - size_;
            stream.Seek(position);
            // Each item needs at least its 8-byte header and a name byte, so
            // the bytes before the footer bound the number of items; the list
            // grows as items are read instead of trusting the stored count.
            for (uint32_t k = 0; k < itemCount; ++k) {
                if (position < 0 || position + int64_t(kItemHeaderSize) + 1 > footerAt) break;
                std::array<unsigned char, kItemHeaderSize> itemBytes{};
                stream.Seek(position);
                TByteReader item(itemBytes.data(), stream.Read(itemBytes.data(), itemBytes.size()));
                const uint32_t valueSize = item.LE32();
                item.Skip(4);   // item flags
                if (item.Overrun()) break;
                std::string name;
                char c = 0;
                bool ended = false;
                while (stream.Read(&c, 1) == 1) {
                    if (c == 0) {
                        ended = true;
                        break;
                    }
                    name += c;
                }
                if (!ended) break;   // the name ran to the end of the file
                const int64_t valueStart = stream.Position();
                std::string value(valueSize % kValueBufferSize, '\0');
                stream.Read(value.data(), value.size());
                fields_.push_back({Trim(name), Trim(value)});
                position = valueStart + int64_t(valueSize);
            }
        } catch (const std::exception&) {
            // A damaged item ends the item list silently.
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TAPETag::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}
