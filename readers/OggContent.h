// Ogg streams told apart by their content.
//
// An Ogg file (RFC 3533) is a sequence of pages; the first packet of the
// first logical stream names the codec: a Vorbis identification header
// (0x01 "vorbis"), "OpusHead", the Ogg FLAC mapping header (0x7F "FLAC") or a
// Speex header ("Speex   "). A leading ID3v2 tag is skipped. The page and
// packet walk itself is readers/OggPages.
#pragma once

#include <cstdint>

class TFileStream;

enum class TOggContent { NotOgg, Vorbis, Opus, FLAC, Speex, Unknown };

// Which codec the first packet of the file's first Ogg stream holds.
TOggContent IdentifyOggContent(TFileStream& stream);

// Offset of the first Ogg page: 0, or the end of a leading ID3v2 tag when an
// Ogg page follows it there. -1 when neither place holds a page.
int64_t OggStreamStart(TFileStream& stream);
