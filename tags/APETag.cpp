// APE tag versions 1.0 and 2.0, found by its 32-byte footer at the end of the
// file or just before an ID3v1 tag. Items: value size, flags, a zero-ended
// name and the value bytes.
#include "tags/APETag.h"

#include "io/ByteOrder.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <array>
#include <cstring>
#include <exception>

namespace {

constexpr int64_t kID3v1Size = 128;
constexpr std::size_t kFooterSize = 32;
constexpr std::string_view kMarker = "APETAGEX";
// Footer layout (little-endian).
constexpr std::size_t kVersionAt = 8, kSizeAt = 12, kItemCountAt = 16;
constexpr std::size_t kValueBufferSize = 24000;   // item values are kept up to this length
constexpr std::size_t kItemHeaderSize = 8;        // value size + item flags

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
            char tag[3] = {};
            stream.Seek(fileSize - kID3v1Size);
            if (stream.Read(tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0) id3v1Shift = kID3v1Size;
        }
        const int64_t footerAt = fileSize - id3v1Shift - int64_t(kFooterSize);
        if (footerAt <= 0) return false;
        std::array<unsigned char, kFooterSize> footer{};
        stream.Seek(footerAt);
        if (stream.Read(footer.data(), footer.size()) != footer.size()) return false;
        if (std::memcmp(footer.data(), kMarker.data(), kMarker.size()) != 0) return true;

        exists_ = true;
        version_ = static_cast<int32_t>(LE32(footer.data() + kVersionAt));
        size_ = static_cast<int32_t>(LE32(footer.data() + kSizeAt));
        const uint32_t itemCount = LE32(footer.data() + kItemCountAt);
        try {
            int64_t position = fileSize - id3v1Shift - size_;
            stream.Seek(position);
            // Each item needs at least its 8-byte header and a name byte, so
            // the bytes before the footer bound the number of items; the list
            // grows as items are read instead of trusting the stored count.
            for (uint32_t k = 0; k < itemCount; ++k) {
                if (position < 0 || position + int64_t(kItemHeaderSize) + 1 > footerAt) break;
                std::array<unsigned char, kItemHeaderSize> itemHeader{};
                stream.Seek(position);
                if (stream.Read(itemHeader.data(), itemHeader.size()) != itemHeader.size()) break;
                const uint32_t valueSize = LE32(itemHeader.data());
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
                std::string value(kValueBufferSize, '\0');
                stream.Read(value.data(), valueSize % kValueBufferSize);
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
