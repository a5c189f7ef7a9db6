// Ogg pages (RFC 3533): the page header layout shared by the Ogg readers, the
// page checksum, a packet reader that reassembles the packets of one logical
// stream from its pages, and the searches for the last page of a file, whose
// granule position tells how many samples per channel the stream holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TFileStream;

// Page header, little-endian: "OggS", version, header type, granule position
// (64 bits), serial number, page sequence number, checksum, segment count,
// then one lacing value per segment.
inline constexpr char kOggPageMarker[4] = {'O', 'g', 'g', 'S'};
inline constexpr std::size_t kOggPageHeaderSize = 27;        // fixed part
inline constexpr std::size_t kOggChecksumOffset = 22;        // CRC-32 of the page
inline constexpr std::size_t kOggMaxPageHeaderSize = kOggPageHeaderSize + 255;
// A granule position of all ones: no packet ends on the page.
inline constexpr uint64_t kOggGranuleUnset = ~uint64_t(0);
// Header-type flags.
inline constexpr uint8_t kOggContinuedPacket = 0x01;
inline constexpr uint8_t kOggFirstPage = 0x02;
inline constexpr uint8_t kOggLastPage = 0x04;

// One page header as it stands in the file.
struct TOggPageHeader {
    int64_t Offset = 0;          // file position of "OggS"
    uint8_t Version = 0;
    uint8_t HeaderType = 0;
    uint64_t Granule = 0;
    uint32_t Serial = 0;
    uint32_t Sequence = 0;
    uint32_t Checksum = 0;
    uint8_t SegmentCount = 0;
    std::array<uint8_t, 255> Lacing{};
    int64_t BodySize = 0;        // sum of the lacing values

    int64_t HeaderSize() const { return int64_t(kOggPageHeaderSize) + SegmentCount; }
    int64_t End() const { return Offset + HeaderSize() + BodySize; }
    bool GranuleSet() const { return Granule != kOggGranuleUnset; }
};

// Parses a page header from bytes in memory (at least the 27-byte fixed part
// and the lacing values). False when the marker is missing or the bytes end
// inside the header.
bool ParseOggPageHeader(const unsigned char* data, std::size_t size, int64_t offset, TOggPageHeader& page);

// Reads and parses the page header at offset.
bool ReadOggPageHeader(TFileStream& stream, int64_t offset, TOggPageHeader& page);

// The checksum a page must carry: CRC-32 (polynomial 0x04C11DB7, initial value
// 0, most significant bit first) over the whole page with its checksum field
// taken as zero.
uint32_t OggPageChecksum(const unsigned char* page, std::size_t size);

// Reads the whole page (header and body) and tells whether its checksum
// matches. False as well when the file ends inside the page.
bool OggPageChecksumMatches(TFileStream& stream, const TOggPageHeader& page);

// The packets of one logical stream (the serial number of the page at the
// start offset), read page by page from the start offset on. Pages of other
// streams are stepped over. Every page whose body the reader takes whole is
// checked against its checksum; pages that only hold bytes beyond what the
// caller keeps of a packet are stepped over unread.
class TOggPacketReader {
public:
    TOggPacketReader(TFileStream& stream, int64_t start);

    // The next packet: at most keep of its bytes in packet, its full length
    // in size. False when the stream ends first: no page where one should be
    // (the end of the file, a cut or damaged page), or too many pages walked.
    bool Next(std::string& packet, int64_t& size, std::size_t keep);

    // File position after the page on which the last packet returned ended.
    int64_t PacketPageEnd() const { return packetPageEnd_; }
    // The serial number of the stream (of the first page), once one was read.
    uint32_t Serial() const { return serial_; }
    bool StartedOnPage() const { return serialKnown_; }
    // Pages read whole whose checksum did not match.
    int ChecksumFailures() const { return checksumFailures_; }

private:
    bool LoadPage();
    bool LoadBody();

    TFileStream& stream_;
    int64_t nextPage_;
    TOggPageHeader page_;
    bool havePage_ = false;
    bool bodyLoaded_ = false;
    std::vector<unsigned char> body_;
    std::size_t segment_ = 0;
    int64_t bodyPosition_ = 0;
    int64_t packetPageEnd_ = 0;
    uint32_t serial_ = 0;
    bool serialKnown_ = false;
    int pagesWalked_ = 0;
    int checksumFailures_ = 0;
};

// The last page near the end of the file that ends a packet of the stream
// with the given serial number.
struct TOggLastPage {
    bool Found = false;
    TOggPageHeader Page;          // the page found
    bool TailCut = false;         // a later page of the stream is cut by the end of the file
    int ChecksumFailures = 0;     // pages of the stream met whose checksum failed
};

// Searches backwards from the end of the file, at most searchLimit bytes, for
// the last page of the stream whose header and body are complete, whose
// checksum matches and whose granule position is set. Pages cut by the end of
// the file, damaged pages and pages of other streams are passed over; after
// 32 damaged pages the search gives up. With anySerial, pages of every stream
// count (the end of a chained file belongs to its last link).
TOggLastPage FindLastCompleteOggPage(TFileStream& stream, uint32_t serial, int64_t searchLimit = 256 * 1024,
                                     bool anySerial = false);

// Granule position (low 32 bits, as a signed number) of the last Ogg page in
// the final 12,060 bytes of the file, or 0 when none is found there.
//
// The file is searched backwards in up to 50 windows of 251 bytes that start
// 241 bytes apart, the first at size - 251; within a window the start offsets
// 241 down to 0 are tried, and the first "OggS" wins. A window that would
// begin before byte 0 is read from byte 0 instead, so the start of a small
// file is searched too, and the search stops after that window. The stream
// is left wherever the search ended.
int32_t FindLastOggPageGranule(TFileStream& stream);
