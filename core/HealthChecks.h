// Health checks that need a look at the file beyond what the readers keep:
// each reads at most a small window of bytes, so the scan stays cheap.
#pragma once

#include "io/FileStream.h"
#include "readers/Monkey.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// How much of a FLAC stream's audio its file holds, from the frame headers
// (sync, valid codes, CRC-8 correct) in the last window of the file: the
// header promising the furthest end is the last frame; when its bytes run to
// the end of the file (its CRC-16 closes there, or before a trailing tag or
// zeros) the audio runs to that end, otherwise only to the frame's start.
// -1 when the window holds no frame header and does not reach back to the
// audio; 0 when it does and holds none. streamInfo holds the 34 bytes of
// STREAMINFO (its block sizes number fixed-size frames).
int64_t FlacSamplesPresent(TFileStream& stream, int64_t audioOffset, std::span<const uint8_t> streamInfo);

// One FLAC frame header at bytes (size bytes available): its first sample
// and block size. False when it is no valid header (codes reserved, CRC-8
// wrong, too short).
struct TFlacFrameHeader {
    int64_t FirstSample = 0;
    int64_t BlockSize = 0;
    int32_t Length = 0;   // header bytes, CRC-8 included
};
bool ParseFlacFrameHeader(const uint8_t* bytes, std::size_t size, int32_t fixedBlockSize, TFlacFrameHeader& header);

// CRC-8 of FLAC frame headers (polynomial x^8 + x^2 + x + 1, initial 0).
uint8_t FlacCrc8(const uint8_t* bytes, std::size_t size);
// One step of the CRC-16 of FLAC frames (polynomial 0x8005, initial 0).
uint16_t FlacCrc16Step(uint16_t crc, uint8_t byte);
// The same over size bytes, continuing from crc.
uint16_t FlacCrc16(const uint8_t* bytes, std::size_t size, uint16_t crc = 0);

// The end of an Ogg file: the last page whose bytes are all there and whose
// checksum holds, whether it closes the stream (end-of-stream flag), and
// whether a page after it is cut off or fails its checksum.
struct TOggTail {
    bool Found = false;            // a whole page with a valid checksum
    int64_t Granule = 0;           // its granule position
    bool EndOfStream = false;      // its end-of-stream flag
    bool CutPage = false;          // a page after it runs past the end of the file
    int32_t BadPages = 0;          // pages after the last good one whose checksum fails
    std::size_t NextPageAt = 0;    // where the page after the last whole one begins in the window
};
TOggTail ReadOggTail(TFileStream& stream);


// Reads one Ogg page at bytes: its whole length when header, lacing values
// and body are all within size, 0 when it runs past size, -1 when bytes
// hold no page header.
int64_t OggPageLength(const uint8_t* bytes, std::size_t size);

// The samples per channel of a TTA1 stream whose frames all end before
// audioEnd (the file's end before any trailing tags), by its seek table;
// samples when every frame is there, -1 when the header gives no frames.
int64_t TtaSamplesPresent(TFileStream& stream, int64_t headerAt, int64_t samples, int64_t sampleRate,
                          int64_t audioEnd);

// Monkey's Audio (the layout of versions 3.98 and later): when the frames
// the descriptor declares run past audioEnd (the file's end before any
// trailing tags), the samples per channel of the frames whose bytes all lie
// before it, from the seek table; -1 when every frame is there or the
// layout is not known.
int64_t MonkeySamplesPresent(TFileStream& stream, const TMonkeyLayout& layout, int64_t audioEnd);

// Musepack SV7: the frames whose bits all lie before audioEnd, found by the
// 20-bit length in front of each frame (the frames are packed bit after bit
// into 32-bit little-endian words); frames when every frame is there. -1
// when the walk cannot tell: it would read past walkLimit bytes after the
// header, or meets a length no frame can have (damage rather than a cut).
int64_t MusepackSV7FramesPresent(TFileStream& stream, int64_t headerAt, int64_t frames, int64_t audioEnd,
                                 int64_t walkLimit);
