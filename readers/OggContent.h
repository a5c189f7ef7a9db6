// Ogg streams told apart by their content, and the page and packet walk the
// Opus and Ogg FLAC readers share.
//
// An Ogg file (RFC 3533) is a sequence of pages; the first packet of the
// first logical stream names the codec: a Vorbis identification header
// (0x01 "vorbis"), "OpusHead", the Ogg FLAC mapping header (0x7F "FLAC") or a
// Speex header ("Speex   "). The walk below reads pages of that first
// logical stream only, joins packets across pages and keeps no more of a
// packet than its caller asks for, so a long comment or cover picture costs
// no memory. A leading ID3v2 tag is skipped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TFileStream;

enum class TOggContent { NotOgg, Vorbis, Opus, FLAC, Speex, Unknown };

// Which codec the first packet of the file's first Ogg stream holds.
TOggContent IdentifyOggContent(TFileStream& stream);

// Offset of the first Ogg page: 0, or the end of a leading ID3v2 tag when an
// Ogg page follows it there. -1 when neither place holds a page.
int64_t OggStreamStart(TFileStream& stream);

// One page header with its segment table, as stored (little-endian).
struct TOggContentPage {
    static constexpr std::size_t kFixedSize = 27;
    static constexpr uint8_t kContinuedFlag = 0x01;

    int64_t Offset = 0;          // file offset of "OggS"
    uint8_t Version = 0;
    uint8_t Flags = 0;
    int64_t Granule = 0;         // -1: no packet ends on the page
    uint32_t Serial = 0;
    uint32_t Sequence = 0;
    uint32_t Checksum = 0;
    uint8_t SegmentCount = 0;
    std::array<uint8_t, 255> Lacing{};

    std::size_t HeaderSize() const { return kFixedSize + SegmentCount; }
    std::size_t BodySize() const;
    int64_t End() const { return Offset + static_cast<int64_t>(HeaderSize() + BodySize()); }
};

// Reads the page header at offset; false when there is no "OggS" there or
// the file ends inside the header.
bool ReadOggContentPage(TFileStream& stream, int64_t offset, TOggContentPage& page);

// Packets of the first logical stream, in order, starting at the page at
// start. Bounded: it gives up after kMaxPages pages.
class TOggPacketReader {
public:
    static constexpr int kMaxPages = 1024;

    TOggPacketReader(TFileStream& stream, int64_t start) : stream_(stream), nextPage_(start) {}

    // The next whole packet, of which at most keep bytes are stored in head
    // (the rest is skipped). False when the stream ends or breaks off first.
    bool Next(std::string& head, std::size_t keep);

    uint32_t Serial() const { return serial_; }
    // File offset just after the page on which the last packet ended: where
    // the pages after the header packets begin (at most the file size).
    int64_t EndOfLastPacketPage() const { return endOfLastPacketPage_; }

private:
    bool NextPage();

    TFileStream& stream_;
    TOggContentPage page_;
    bool havePage_ = false;
    bool haveSerial_ = false;
    uint32_t serial_ = 0;
    int64_t nextPage_ = 0;
    int64_t body_ = 0;          // file offset of the next segment's bytes
    std::size_t segment_ = 0;   // next lacing value on the page
    int pages_ = 0;
    int64_t endOfLastPacketPage_ = 0;
};

// Granule position of the last complete page of the logical stream serial:
// searched backwards in the last 128 KiB of the file (twice the largest
// possible page). A page counts when its body lies wholly in the file, its
// checksum is right and a packet ends on it (granule not -1). False when no
// such page is found.
bool FindLastCompleteOggGranule(TFileStream& stream, uint32_t serial, int64_t& granule);

// The Ogg checksum: CRC-32 with polynomial 0x04C11DB7, no reflection, start
// value 0, over the page with its checksum field read as zero.
uint32_t OggContentPageChecksum(const unsigned char* page, std::size_t size);
