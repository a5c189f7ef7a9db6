#include "readers/OggPages.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// The backward search of FindLastOggPageGranule.
constexpr int kSearchWindows = 50;
constexpr int64_t kWindowStep = 241;           // distance between window starts
constexpr int64_t kWindowTail = 10;            // the first window ends at the file end
constexpr std::size_t kWindowSize = 251;
constexpr std::size_t kLastMarkerOffset = 241; // highest start offset tried in a window

// The packet reader gives up after this many pages, so a stream of tiny or
// foreign pages cannot keep it walking for the whole file.
constexpr int kMaxPagesWalked = 16384;

// Bytes read at a time by the search for the last complete page (less than a
// stream window, so the page's checksum is then taken from the window), and
// the number of damaged pages it passes over before it gives up (each costs a
// read of up to 64 KiB, so page-like junk cannot make it read without end).
constexpr int64_t kTailChunk = 16 * 1024;
constexpr int kMaxDamagedPages = 32;

// The page checksum (CRC-32, polynomial 0x04C11DB7, most significant bit
// first) eight bytes a step: table k gives a byte's effect k bytes further
// on, so eight look-ups replace eight dependent steps.
using TChecksumTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr TChecksumTables MakeChecksumTables() {
    TChecksumTables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
        tables[0][i] = r;
    }
    for (std::size_t k = 1; k < tables.size(); ++k)
        for (uint32_t i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] << 8) ^ tables[0][tables[k - 1][i] >> 24];
    return tables;
}
constexpr TChecksumTables kChecksumTables = MakeChecksumTables();

uint32_t ChecksumStep(uint32_t crc, const unsigned char* bytes, std::size_t size) {
    const auto& t = kChecksumTables;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const uint32_t high = crc ^ (uint32_t{bytes[i]} << 24 | uint32_t{bytes[i + 1]} << 16 |
                                     uint32_t{bytes[i + 2]} << 8 | bytes[i + 3]);
        crc = t[7][high >> 24] ^ t[6][(high >> 16) & 0xFF] ^ t[5][(high >> 8) & 0xFF] ^ t[4][high & 0xFF] ^
              t[3][bytes[i + 4]] ^ t[2][bytes[i + 5]] ^ t[1][bytes[i + 6]] ^ t[0][bytes[i + 7]];
    }
    for (; i < size; ++i) crc = (crc << 8) ^ t[0][((crc >> 24) ^ bytes[i]) & 0xFF];
    return crc;
}

// True when the four bytes at data are "OggS".
bool IsOggPageMarker(const unsigned char* data) {
    return std::memcmp(data, kOggPageMarker, sizeof kOggPageMarker) == 0;
}

} // namespace

bool ParseOggPageHeader(const unsigned char* data, std::size_t size, int64_t offset, TOggPageHeader& page) {
    page = TOggPageHeader{};
    page.Offset = offset;
    TByteReader r(data, size);
    if (!r.Expect(std::string_view(kOggPageMarker, sizeof kOggPageMarker))) return false;
    page.Version = r.U8();
    page.HeaderType = r.U8();
    page.Granule = r.LE64();
    page.Serial = r.LE32();
    page.Sequence = r.LE32();
    page.Checksum = r.LE32();
    page.SegmentCount = r.U8();
    for (std::size_t i = 0; i < page.SegmentCount; ++i) {
        page.Lacing[i] = r.U8();
        page.BodySize += page.Lacing[i];
    }
    return !r.Overrun();
}

bool ReadOggPageHeader(TFileStream& stream, int64_t offset, TOggPageHeader& page) {
    std::array<unsigned char, kOggMaxPageHeaderSize> bytes{};
    stream.Seek(offset);
    const std::size_t got = stream.Read(bytes.data(), bytes.size());
    return ParseOggPageHeader(bytes.data(), got, offset, page);
}

uint32_t OggPageChecksum(const unsigned char* page, std::size_t size) {
    // The checksum field itself counts as zeros.
    static constexpr unsigned char kZeros[4] = {};
    const std::size_t before = std::min(size, kOggChecksumOffset);
    uint32_t crc = ChecksumStep(0, page, before);
    if (size <= kOggChecksumOffset) return crc;
    const std::size_t field = std::min<std::size_t>(4, size - kOggChecksumOffset);
    crc = ChecksumStep(crc, kZeros, field);
    if (size <= kOggChecksumOffset + 4) return crc;
    return ChecksumStep(crc, page + kOggChecksumOffset + 4, size - kOggChecksumOffset - 4);
}

bool OggPageChecksumMatches(TFileStream& stream, const TOggPageHeader& page) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(page.End() - page.Offset));
    stream.Seek(page.Offset);
    if (stream.Read(bytes.data(), bytes.size()) != bytes.size()) return false;
    return OggPageChecksum(bytes.data(), bytes.size()) == page.Checksum;
}

TOggPacketReader::TOggPacketReader(TFileStream& stream, int64_t start) : stream_(stream), nextPage_(start) {}

bool TOggPacketReader::LoadPage() {
    for (;;) {
        if (++pagesWalked_ > kMaxPagesWalked) return false;
        if (!ReadOggPageHeader(stream_, nextPage_, page_)) return false;
        if (!serialKnown_) {
            serial_ = page_.Serial;
            serialKnown_ = true;
        }
        if (page_.Serial == serial_) break;
        nextPage_ = page_.End();
    }
    havePage_ = true;
    bodyLoaded_ = false;
    segment_ = 0;
    bodyPosition_ = 0;
    return true;
}

// Reads the current page whole, checks its checksum and keeps its body.
bool TOggPacketReader::LoadBody() {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(page_.End() - page_.Offset));
    stream_.Seek(page_.Offset);
    if (stream_.Read(bytes.data(), bytes.size()) != bytes.size()) return false;
    if (OggPageChecksum(bytes.data(), bytes.size()) != page_.Checksum) ++checksumFailures_;
    body_.assign(bytes.begin() + page_.HeaderSize(), bytes.end());
    bodyLoaded_ = true;
    return true;
}

bool TOggPacketReader::Next(std::string& packet, int64_t& size, std::size_t keep) {
    packet.clear();
    size = 0;
    for (;;) {
        if (!havePage_ && !LoadPage()) return false;
        while (segment_ < page_.SegmentCount) {
            const uint8_t lacing = page_.Lacing[segment_++];
            if (lacing > 0 && packet.size() < keep) {
                if (!bodyLoaded_ && !LoadBody()) return false;
                const std::size_t take = std::min<std::size_t>(lacing, keep - packet.size());
                packet.append(reinterpret_cast<const char*>(body_.data() + bodyPosition_), take);
            }
            bodyPosition_ += lacing;
            size += lacing;
            if (lacing < 255) {
                packetPageEnd_ = page_.End();
                if (segment_ == page_.SegmentCount) {
                    havePage_ = false;
                    nextPage_ = page_.End();
                }
                return true;
            }
        }
        // The packet goes on on the next page of the stream.
        havePage_ = false;
        nextPage_ = page_.End();
    }
}

TOggLastPage FindLastCompleteOggPage(TFileStream& stream, uint32_t serial, int64_t searchLimit, bool anySerial) {
    TOggLastPage result;
    const int64_t size = stream.Size();
    const int64_t searchStart = std::max<int64_t>(0, size - searchLimit);
    std::vector<unsigned char> chunk;
    int64_t chunkStart = size;   // file offset of chunk[0]
    for (int64_t p = size - int64_t(sizeof kOggPageMarker); p >= searchStart; --p) {
        if (p < chunkStart) {
            // The next chunk ends where a marker starting at p would end.
            const int64_t chunkEnd = std::min(size, p + int64_t(kOggMaxPageHeaderSize));
            chunkStart = std::max(searchStart, chunkEnd - kTailChunk);
            chunk.resize(static_cast<std::size_t>(chunkEnd - chunkStart));
            stream.Seek(chunkStart);
            chunk.resize(stream.Read(chunk.data(), chunk.size()));
            if (p + int64_t(sizeof kOggPageMarker) > chunkStart + int64_t(chunk.size())) continue;
        }
        const unsigned char* at = chunk.data() + (p - chunkStart);
        if (!IsOggPageMarker(at)) continue;

        TOggPageHeader page;
        const std::size_t available = chunk.size() - static_cast<std::size_t>(p - chunkStart);
        // The chunk holds the longest header a marker at p can start, or
        // everything up to the end of the file: a header it cuts is cut by
        // the end of the file.
        if (!ParseOggPageHeader(at, available, p, page)) {
            result.TailCut = true;
            continue;
        }
        if (page.Version != 0 || (page.Serial != serial && !anySerial)) continue;
        if (page.End() > size) {
            result.TailCut = true;
            continue;
        }
        if (!OggPageChecksumMatches(stream, page)) {
            if (++result.ChecksumFailures >= kMaxDamagedPages) break;
            continue;
        }
        if (!page.GranuleSet()) continue;
        result.Found = true;
        result.Page = page;
        return result;
    }
    return result;
}

int32_t FindLastOggPageGranule(TFileStream& stream) {
    const int64_t size = stream.Size();
    for (int i = 1; i <= kSearchWindows; ++i) {
        int64_t start = size - (kWindowStep * i + kWindowTail);
        const bool reachesFileStart = start <= 0;
        if (reachesFileStart) start = 0;

        std::array<unsigned char, kWindowSize> window{};
        stream.Seek(start);
        stream.Read(window.data(), window.size());
        for (std::size_t n = kLastMarkerOffset + 1; n-- > 0;) {
            if (!IsOggPageMarker(window.data() + n)) continue;
            // A page cut by the end of the file reads as zeros after its end.
            std::array<unsigned char, kOggMaxPageHeaderSize> bytes{};
            stream.Seek(start + static_cast<int64_t>(n));
            stream.Read(bytes.data(), bytes.size());
            TByteReader page(bytes.data(), bytes.size());
            page.Skip(sizeof kOggPageMarker);
            page.Skip(1);   // version
            page.Skip(1);   // header type
            const uint64_t granule = page.LE64();
            return static_cast<int32_t>(static_cast<uint32_t>(granule));
        }
        // Every later window would start at byte 0 as well.
        if (reachesFileStart) break;
    }
    return 0;
}

TOggStreamEnd StreamEndOf(const TOggLastPage& last, int packetChecksumFailures) {
    TOggStreamEnd end;
    end.ChecksumFailures = packetChecksumFailures + last.ChecksumFailures;
    end.LastPageCut = last.TailCut;
    end.EndOfStream = last.Found && (last.Page.HeaderType & kOggLastPage);
    return end;
}
