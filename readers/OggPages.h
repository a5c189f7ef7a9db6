// Ogg pages (RFC 3533): the page header layout shared by the Ogg Vorbis and
// Speex readers, and the search for the last page of a file, whose granule
// position tells how many samples per channel the stream holds.
#pragma once

#include <cstddef>
#include <cstdint>

class TFileStream;

// Page header, little-endian. Only the marker, the granule position, the page
// sequence number and the segment count are used; the checksum is not checked.
inline constexpr char kOggPageMarker[4] = {'O', 'g', 'g', 'S'};
inline constexpr std::size_t kOggPageHeaderSize = 27;        // fixed part
inline constexpr std::size_t kOggGranuleOffset = 6;          // 64 bits, low half used
inline constexpr std::size_t kOggSequenceOffset = 18;        // page sequence number
inline constexpr std::size_t kOggSegmentCountOffset = 26;    // lacing values that follow
inline constexpr std::size_t kOggMaxPageHeaderSize = kOggPageHeaderSize + 255;

// True when the four bytes at data are "OggS".
bool IsOggPageMarker(const unsigned char* data);

// Little-endian 32-bit value at data.
uint32_t OggLE32(const unsigned char* data);

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
