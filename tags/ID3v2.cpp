// ID3v2 at the start of a file. The 10-byte header gives the version and the
// synch-safe tag size (a footer adds 10 more bytes); the text frames of
// versions 2.2 (3-character ids, 6-byte frame headers) and 2.3/2.4
// (4-character ids, 10-byte frame headers) are read in ISO-8859-1 or UTF-16.
#include "tags/ID3v2.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
#include <array>
#include <exception>

namespace {

// Header: "ID3", major version, revision, flags, synch-safe tag size.
constexpr std::size_t kHeaderSize = 10;
constexpr std::string_view kTagMark = "ID3";
constexpr uint8_t kFooterPresentFlag = 0x10;
constexpr int64_t kFooterSize = 10;

// Frame headers: version 2.2 a 3-character id and a 24-bit size; versions
// 2.3 and 2.4 a 4-character id, a 32-bit size (taken as a plain number in
// both) and two flag bytes, status then format.
constexpr std::size_t kFrameHeaderSizeV3 = 10, kFrameHeaderSizeV2 = 6;
constexpr std::size_t kFrameIdLengthV3 = 4, kFrameIdLengthV2 = 3;
constexpr std::size_t kBodyBufferSize = 500;    // frame bodies are read up to this length
constexpr uint8_t kSkipFrameFlag = 0x80;        // top bit of the format flag byte (2.3: compressed)

enum Slot { kTitle, kArtist, kAlbum, kTrack, kYear, kGenre, kComment, kComposer, kEncoder, kCopyright,
            kLanguage, kLink, kRecordingTime, kOriginalArtist, kContentGroup, kOriginalAlbum, kAudioSize,
            kSlotCount };

constexpr std::array<const char*, kSlotCount> kFrameNamesV3 = {
    "TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM", "TCOM", "TENC", "TCOP", "TLAN", "WXXX",
    "TDRC", "TOPE", "TIT1", "TOAL", "TSIZ"};
constexpr std::array<const char*, kSlotCount> kFrameNamesV2 = {
    "TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM", "TCM", "TEN", "TCR", "TLA", "WXX",
    "TOR", "TOA", "TT1", "TOT", "TSI"};

// Decodes a stored body: encoding 1 is UTF-16 little-endian (a FF FE mark and
// every unit whose low byte is 0xFF are dropped); otherwise the bytes as they
// are. The result is trimmed.
std::string DecodeText(const std::string& body) {
    if (!body.empty() && body[0] == 1) {
        std::string units;
        const std::size_t count = (body.size() - 1) / 2;
        for (std::size_t k = 0; k < count; ++k) {
            const char low = body[1 + 2 * k], high = body[2 + 2 * k];
            if (low == 0 && high == 0) break;
            if (static_cast<unsigned char>(low) == 0xFF) continue;
            units += low;
            units += high;
        }
        return Trim(DecodeUtf16LE(units, false));
    }
    return Trim(body);
}

// COMM and WXXX: skip the encoding byte (and language), then the description
// up to its terminator, and decode the rest with the encoding byte in front.
std::string DecodeDescribedText(const std::string& body, std::size_t languageLength) {
    if (body.empty()) return {};
    const bool utf16 = body[0] == 1;
    std::size_t at = 1 + languageLength;
    if (utf16) {
        while (at + 1 < body.size() && !(body[at] == 0 && body[at + 1] == 0)) at += 2;
        at += 2;
    } else {
        while (at < body.size() && body[at] != 0) ++at;
        at += 1;
    }
    if (at > body.size()) at = body.size();
    return DecodeText(std::string(1, body[0]) + body.substr(at));
}

// Seven bits from each byte, most significant first.
uint32_t SynchSafe(uint32_t stored) {
    return ((stored >> 24) & 0x7F) << 21 | ((stored >> 16) & 0x7F) << 14 | ((stored >> 8) & 0x7F) << 7 |
           (stored & 0x7F);
}

} // namespace

void TID3v2::ResetData() {
    exists_ = false;
    versionID_ = 0;
    size_ = 0;
    title_.clear();
    artist_.clear();
    album_.clear();
    track_ = 0;
    for (std::string* s : {&trackString_, &year_, &genre_, &comment_, &composer_, &encoder_, &copyright_,
                           &language_, &link_, &audioSizeText_})
        s->clear();
}

bool TID3v2::ReadFromStream(TFileStream& stream) {
    ResetData();
    std::array<std::string, kSlotCount> slots;
    try {
        stream.Seek(0);
        std::array<unsigned char, kHeaderSize> headerBytes{};
        if (stream.Read(headerBytes.data(), headerBytes.size()) != headerBytes.size()) return false;
        const int64_t fileSize = stream.Size();
        TByteReader header(headerBytes.data(), headerBytes.size());
        if (!header.Expect(kTagMark)) return true;
        const uint8_t version = header.U8();
        header.Skip(1);   // revision
        const uint8_t flags = header.U8();
        const uint32_t storedSize = SynchSafe(header.BE32());
        if (header.Overrun()) return true;

        exists_ = true;
        versionID_ = version;
        int64_t size = int64_t(storedSize) + int64_t(kHeaderSize);
        if (flags & kFooterPresentFlag) size += kFooterSize;
        size_ = size > fileSize ? 0 : static_cast<int32_t>(size);
        if (versionID_ < 2 || versionID_ > 4 || size_ <= 0) return true;

        const bool v2 = versionID_ == 2;
        const auto& names = v2 ? kFrameNamesV2 : kFrameNamesV3;
        const std::size_t frameHeaderSize = v2 ? kFrameHeaderSizeV2 : kFrameHeaderSizeV3;
        int64_t position = kHeaderSize;
        try {
            while (position < size_ && position < fileSize) {
                std::array<unsigned char, kFrameHeaderSizeV3> frameBytes{};
                stream.Seek(position);
                if (stream.Read(frameBytes.data(), frameHeaderSize) != frameHeaderSize) break;
                TByteReader frame(frameBytes.data(), frameHeaderSize);
                const std::string id = frame.Text(v2 ? kFrameIdLengthV2 : kFrameIdLengthV3);
                const uint32_t bodySize = v2 ? frame.BE24() : frame.BE32();
                if (!v2) frame.Skip(1);   // status flags
                const uint8_t formatFlags = v2 ? 0 : frame.U8();
                if (frame.Overrun() || id[0] < 'A' || id[0] > 'Z') break;
                const int64_t bodyStart = position + int64_t(frameHeaderSize);
                std::string body(kBodyBufferSize, '\0');
                stream.Read(body.data(), std::min<std::size_t>(bodySize, kBodyBufferSize));
                const bool skipped = formatFlags & kSkipFrameFlag;
                if (!skipped && (body[0] == 0 || body[0] == 1)) {
                    for (std::size_t slot = 0; slot < kSlotCount; ++slot)
                        if (id == names[slot]) slots[slot] = body;
                }
                position = bodyStart + int64_t(bodySize);
            }
        } catch (const std::exception&) {
            // A damaged frame ends the frame loop; what was read stays.
        }
    } catch (const std::exception&) {
        return false;
    }

    const auto text = [&](Slot slot) { return DecodeText(slots[slot]); };
    const auto either = [&](Slot main, Slot fallback) {
        std::string value = text(main);
        return value.empty() ? text(fallback) : value;
    };
    title_ = either(kTitle, kContentGroup);
    artist_ = either(kArtist, kOriginalArtist);
    album_ = either(kAlbum, kOriginalAlbum);
    trackString_ = text(kTrack);
    int32_t track = 0;
    track_ = ParseInt32(trackString_.substr(0, trackString_.find('/')), track) ? static_cast<uint16_t>(track) : 0;
    year_ = text(kYear);
    if (year_.empty()) year_ = text(kRecordingTime).substr(0, 4);
    genre_ = text(kGenre);
    if (const auto close = genre_.rfind(')'); close != std::string::npos) genre_ = genre_.substr(close + 1);
    comment_ = DecodeDescribedText(slots[kComment], 3);
    composer_ = text(kComposer);
    encoder_ = text(kEncoder);
    copyright_ = text(kCopyright);
    language_ = text(kLanguage);
    link_ = DecodeDescribedText(slots[kLink], 0);
    audioSizeText_ = text(kAudioSize);
    return true;
}

bool TID3v2::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}
