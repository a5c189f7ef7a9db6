#include "readers/OggContent.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kPageMarker = "OggS";
constexpr std::size_t kChecksumOffset = 22;

// Leading ID3v2 tag: "ID3", version (2 bytes), flags, 28-bit syncsafe size.
constexpr std::size_t kID3v2HeaderSize = 10;
constexpr uint8_t kID3v2FooterFlag = 0x10;

// First packets of the codecs an Ogg stream may carry.
constexpr std::string_view kVorbisSignature("\x01vorbis", 7);
constexpr std::string_view kOpusSignature = "OpusHead";
constexpr std::string_view kFLACSignature("\x7F" "FLAC", 5);
constexpr std::string_view kSpeexSignature = "Speex   ";
constexpr std::size_t kSignatureBytes = 8;

// The largest page: 27 + 255 header bytes and 255 segments of 255 bytes.
constexpr std::size_t kMaxPageSize = 27 + 255 + 255 * 255;
constexpr std::size_t kLastPageWindow = 128 * 1024;

int64_t ID3v2TagSize(TFileStream& stream) {
    unsigned char bytes[kID3v2HeaderSize] = {};
    if (stream.ReadZeroFilled(0, bytes, sizeof bytes) < sizeof bytes) return 0;
    TByteReader header(bytes, sizeof bytes);
    if (!header.Expect("ID3")) return 0;
    header.Skip(2);   // version
    const uint8_t flags = header.U8();
    const uint32_t syncsafe = header.BE32();
    const int64_t body = ((syncsafe >> 24) & 0x7F) << 21 | ((syncsafe >> 16) & 0x7F) << 14 |
                         ((syncsafe >> 8) & 0x7F) << 7 | (syncsafe & 0x7F);
    return body + kID3v2HeaderSize + ((flags & kID3v2FooterFlag) ? kID3v2HeaderSize : 0);
}

bool StartsWith(const std::string& bytes, std::string_view signature) {
    return bytes.size() >= signature.size() && std::string_view(bytes).substr(0, signature.size()) == signature;
}

} // namespace

std::size_t TOggContentPage::BodySize() const {
    std::size_t size = 0;
    for (std::size_t i = 0; i < SegmentCount; ++i) size += Lacing[i];
    return size;
}

bool ReadOggContentPage(TFileStream& stream, int64_t offset, TOggContentPage& page) {
    unsigned char bytes[TOggContentPage::kFixedSize + 255] = {};
    stream.Seek(offset);
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    TByteReader header(bytes, got);
    page = TOggContentPage{};
    page.Offset = offset;
    if (!header.Expect(kPageMarker)) return false;
    page.Version = header.U8();
    page.Flags = header.U8();
    page.Granule = static_cast<int64_t>(header.LE64());
    page.Serial = header.LE32();
    page.Sequence = header.LE32();
    page.Checksum = header.LE32();
    page.SegmentCount = header.U8();
    for (std::size_t i = 0; i < page.SegmentCount; ++i) page.Lacing[i] = header.U8();
    return !header.Overrun();
}

int64_t OggStreamStart(TFileStream& stream) {
    TOggContentPage page;
    if (ReadOggContentPage(stream, 0, page)) return 0;
    const int64_t behindTag = ID3v2TagSize(stream);
    if (behindTag > 0 && ReadOggContentPage(stream, behindTag, page)) return behindTag;
    return -1;
}

TOggContent IdentifyOggContent(TFileStream& stream) {
    const int64_t start = OggStreamStart(stream);
    if (start < 0) return TOggContent::NotOgg;
    TOggPacketReader packets(stream, start);
    std::string first;
    if (!packets.Next(first, kSignatureBytes)) return TOggContent::Unknown;
    if (StartsWith(first, kVorbisSignature)) return TOggContent::Vorbis;
    if (StartsWith(first, kOpusSignature)) return TOggContent::Opus;
    if (StartsWith(first, kFLACSignature)) return TOggContent::FLAC;
    if (StartsWith(first, kSpeexSignature)) return TOggContent::Speex;
    return TOggContent::Unknown;
}

bool TOggPacketReader::NextPage() {
    // Pages of other logical streams (a multiplexed file) are passed over.
    while (pages_ < kMaxPages) {
        ++pages_;
        TOggContentPage page;
        if (!ReadOggContentPage(stream_, nextPage_, page)) return false;
        nextPage_ = page.End();
        if (!haveSerial_) {
            serial_ = page.Serial;
            haveSerial_ = true;
        }
        if (page.Serial != serial_) continue;
        page_ = page;
        havePage_ = true;
        segment_ = 0;
        body_ = page.Offset + static_cast<int64_t>(page.HeaderSize());
        return true;
    }
    return false;
}

bool TOggPacketReader::Next(std::string& head, std::size_t keep) {
    head.clear();
    for (;;) {
        if (!havePage_ || segment_ >= page_.SegmentCount) {
            if (!NextPage()) return false;
            continue;
        }
        const std::size_t length = page_.Lacing[segment_++];
        const std::size_t wanted = std::min(length, keep - std::min(keep, head.size()));
        if (wanted > 0) {
            const std::size_t at = head.size();
            head.resize(at + wanted);
            stream_.Seek(body_);
            const std::size_t got = stream_.Read(head.data() + at, wanted);
            head.resize(at + got);
            if (got < wanted) return false;   // the file ends inside the packet
        }
        body_ += static_cast<int64_t>(length);
        if (length < 255) {
            // A page may claim more bytes than the file holds.
            endOfLastPacketPage_ = std::min(page_.End(), stream_.Size());
            return true;
        }
    }
}

uint32_t OggContentPageChecksum(const unsigned char* page, std::size_t size) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const bool inChecksumField = i >= kChecksumOffset && i < kChecksumOffset + 4;
        const uint8_t byte = inChecksumField ? 0 : page[i];
        crc = (crc << 8) ^ table[((crc >> 24) ^ byte) & 0xFF];
    }
    return crc;
}

bool FindLastCompleteOggGranule(TFileStream& stream, uint32_t serial, int64_t& granule) {
    static_assert(kLastPageWindow >= 2 * kMaxPageSize);
    const int64_t size = stream.Size();
    const int64_t start = std::max<int64_t>(0, size - static_cast<int64_t>(kLastPageWindow));
    std::vector<unsigned char> tail(static_cast<std::size_t>(size - start));
    stream.Seek(start);
    tail.resize(stream.Read(tail.data(), tail.size()));

    for (std::size_t n = tail.size(); n-- > 0;) {
        if (tail.size() - n < TOggContentPage::kFixedSize) continue;
        TByteReader header(tail.data() + n, tail.size() - n);
        if (!header.Expect(kPageMarker)) continue;
        header.Skip(2);   // version, flags
        const int64_t pageGranule = static_cast<int64_t>(header.LE64());
        const uint32_t pageSerial = header.LE32();
        header.Skip(4);   // sequence
        const uint32_t checksum = header.LE32();
        const uint8_t segments = header.U8();
        std::size_t body = 0;
        for (std::size_t i = 0; i < segments; ++i) body += header.U8();
        if (header.Overrun()) continue;
        const std::size_t pageSize = TOggContentPage::kFixedSize + segments + body;
        if (pageSize > tail.size() - n) continue;   // cut off by the end of the file
        if (pageSerial != serial || pageGranule == -1) continue;
        if (OggContentPageChecksum(tail.data() + n, pageSize) != checksum) continue;
        granule = pageGranule;
        return true;
    }
    return false;
}
