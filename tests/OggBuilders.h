// Builders for hand-made Ogg streams (Vorbis and Speex test files).
#pragma once

#include "TestSupport.h"

#include <algorithm>
#include <string_view>
#include <vector>

// The Ogg page checksum, bit by bit: CRC-32 with polynomial 0x04C11DB7,
// initial value 0, no reflection, over the page with a zero checksum field.
inline uint32_t OggChecksumOf(const Bytes& page) {
    uint32_t crc = 0;
    for (unsigned char byte : page) {
        crc ^= uint32_t(byte) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

inline void SetOggChecksum(Bytes& page, std::size_t pageOffset = 0, std::size_t pageSize = 0) {
    if (pageSize == 0) pageSize = page.size() - pageOffset;
    Bytes copy(page.begin() + pageOffset, page.begin() + pageOffset + pageSize);
    if (copy.size() >= 26) std::fill(copy.begin() + 22, copy.begin() + 26, 0);
    const uint32_t crc = OggChecksumOf(copy);
    for (int i = 0; i < 4; ++i) page[pageOffset + 22 + i] = static_cast<unsigned char>(crc >> (8 * i));
}

// One Ogg page with the given lacing values and body, with its checksum.
inline Bytes OggPageRaw(uint32_t sequence, int64_t granule, const Bytes& lacing, const Bytes& body,
                        uint32_t serial = 0x50A0D0) {
    Bytes out;
    Append(out, "OggS");
    out.push_back(0);   // version
    out.push_back(0);   // header type
    AppendLE64(out, static_cast<uint64_t>(granule));
    AppendLE32(out, serial);
    AppendLE32(out, sequence);
    AppendLE32(out, 0);          // checksum, set below
    out.push_back(static_cast<unsigned char>(lacing.size()));
    Append(out, lacing);
    Append(out, body);
    SetOggChecksum(out);
    return out;
}

// One Ogg page that holds one whole packet.
inline Bytes OggPage(uint32_t sequence, int64_t granule, const Bytes& packet, uint32_t serial = 0x50A0D0) {
    Bytes lacing(packet.size() / 255, 255);
    lacing.push_back(static_cast<unsigned char>(packet.size() % 255));
    return OggPageRaw(sequence, granule, lacing, packet, serial);
}

inline Bytes VorbisIdentification(uint8_t channels, uint32_t rate, int32_t nominal) {
    Bytes out{0x01};
    Append(out, "vorbis");
    AppendLE32(out, 0);   // version
    out.push_back(channels);
    AppendLE32(out, rate);
    AppendLE32(out, 0);   // maximum bitrate
    AppendLE32(out, static_cast<uint32_t>(nominal));
    AppendLE32(out, 0);   // minimum bitrate
    out.push_back(0xB8);  // block sizes
    out.push_back(0x01);  // framing
    return out;
}

// Vendor length, vendor, count, then length-prefixed fields (no signature).
inline Bytes CommentBody(std::string_view vendor, const std::vector<std::string_view>& fields,
                         int64_t count = -1) {
    Bytes out;
    AppendLE32(out, static_cast<uint32_t>(vendor.size()));
    Append(out, vendor);
    AppendLE32(out, static_cast<uint32_t>(count >= 0 ? count : int64_t(fields.size())));
    for (auto field : fields) {
        AppendLE32(out, static_cast<uint32_t>(field.size()));
        Append(out, field);
    }
    return out;
}

inline Bytes VorbisCommentHeader(std::string_view vendor, const std::vector<std::string_view>& fields,
                                 int64_t count = -1) {
    Bytes out{0x03};
    Append(out, "vorbis");
    Append(out, CommentBody(vendor, fields, count));
    out.push_back(0x01);   // framing
    return out;
}

struct VorbisStream {
    uint8_t channels = 2;
    uint32_t rate = 44100;
    int32_t nominal = 128000;
    std::string vendor = "Xiph.Org libVorbis I 20020717";
    std::vector<std::string_view> fields;
    bool commentHeader = true;
    int64_t granule = 44100;
    std::size_t audioBytes = 16000;
};

// Identification page, comment page, an audio page and a short last page
// that carries the final granule position.
inline Bytes VorbisFile(const VorbisStream& s) {
    Bytes out = OggPage(0, 0, VorbisIdentification(s.channels, s.rate, s.nominal));
    if (s.commentHeader) Append(out, OggPage(1, 0, VorbisCommentHeader(s.vendor, s.fields)));
    Bytes audio(s.audioBytes, 0x11);
    Bytes lacing(audio.size() / 255 + 1, 255);
    lacing.back() = static_cast<unsigned char>(audio.size() - (lacing.size() - 1) * 255);
    Append(out, OggPageRaw(2, s.granule / 2, lacing, audio));
    Append(out, OggPage(3, s.granule, Bytes(100, 0x22)));
    return out;
}
