#include "readers/OggContent.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "readers/OggPages.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

// Leading ID3v2 tag: "ID3", version (2 bytes), flags, 28-bit syncsafe size.
constexpr std::size_t kID3v2HeaderSize = 10;
constexpr uint8_t kID3v2FooterFlag = 0x10;

// First packets of the codecs an Ogg stream may carry.
constexpr std::string_view kVorbisSignature("\x01vorbis", 7);
constexpr std::string_view kOpusSignature = "OpusHead";
constexpr std::string_view kFLACSignature("\x7F" "FLAC", 5);
constexpr std::string_view kSpeexSignature = "Speex   ";
constexpr std::size_t kSignatureBytes = 8;

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

int64_t OggStreamStart(TFileStream& stream) {
    TOggPageHeader page;
    if (ReadOggPageHeader(stream, 0, page)) return 0;
    const int64_t behindTag = ID3v2TagSize(stream);
    if (behindTag > 0 && ReadOggPageHeader(stream, behindTag, page)) return behindTag;
    return -1;
}

TOggContent IdentifyOggContent(TFileStream& stream) {
    const int64_t start = OggStreamStart(stream);
    if (start < 0) return TOggContent::NotOgg;
    TOggPacketReader packets(stream, start);
    std::string first;
    int64_t size = 0;
    if (!packets.Next(first, size, kSignatureBytes)) return TOggContent::Unknown;
    if (StartsWith(first, kVorbisSignature)) return TOggContent::Vorbis;
    if (StartsWith(first, kOpusSignature)) return TOggContent::Opus;
    if (StartsWith(first, kFLACSignature)) return TOggContent::FLAC;
    if (StartsWith(first, kSpeexSignature)) return TOggContent::Speex;
    return TOggContent::Unknown;
}
