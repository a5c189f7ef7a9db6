// Verify mode: reads every byte of a file's audio for the damage a normal
// scan cannot see, and adds what it finds to the item's health:
//   MPEG  the whole frame walk (each place where the frame chain breaks and
//         has to be found again is one bad stretch) and the LAME tag's music
//         CRC over the audio frames ("Audio changed after encoding")
//   Ogg   every page's checksum, and a last page cut short
//   FLAC  every frame header's CRC-8, the frame sequence and each frame's CRC-16
//   WavPack the last whole block, however far from the end
//   Musepack SV7 every frame's length against the bytes there
// Qt-free; the desktop program and sondaro-cli --verify both call it.
#pragma once

#include "core/AudioItem.h"
#include "core/FormatReaders.h"
#include "io/FileStream.h"

#include <cstddef>
#include <cstdint>

// Verifies item (analysed already; item.FullPath names it) on its open
// stream. Formats without a verify pass are left as they are.
void VerifyItem(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
// The same, opening item.FullPath (raises the open error).
void VerifyItem(TFormatReaders& readers, TAudioItem& item);

// The passes over a file's bytes, for tests and fuzzing. Each reads the
// stream forwards in windows of windowBytes (at least what one frame or page
// needs), so a file of any size costs that much memory.
inline constexpr std::size_t kVerifyWindowBytes = 1024 * 1024;

struct TMpegVerifyResult {
    int32_t BadStretches = 0;
    bool MusicCrcChecked = false;
    bool MusicCrcMatches = false;
};
TMpegVerifyResult VerifyMpegFrames(TFileStream& stream, int64_t audioStart, int64_t audioEnd,
                                   std::size_t windowBytes = kVerifyWindowBytes);
// Bad pages (checksum failing or lost between pages) of an Ogg file.
int32_t VerifyOggPages(TFileStream& stream, std::size_t windowBytes = kVerifyWindowBytes);
// Bad frames (CRC-16, or a gap in the sequence) of a FLAC file's audio.
int32_t VerifyFlacFrames(TFileStream& stream, int64_t audioOffset, const uint8_t* streamInfo,
                         std::size_t windowBytes = kVerifyWindowBytes);
