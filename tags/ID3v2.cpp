// ID3v2 at the start of a file. The 10-byte header gives the version and the
// synch-safe tag size (a footer adds 10 more bytes); the text frames of
// versions 2.2 (3-character ids, 6-byte frame headers) and 2.3/2.4
// (4-character ids, 10-byte frame headers) are read in ISO-8859-1 or UTF-16.
#include "tags/ID3v2.h"

#include "io/FileStream.h"
#include "io/Text.h"

#include <array>
#include <cstring>
#include <exception>

namespace {

// Header layout.
constexpr std::size_t kHeaderSize = 10;
constexpr std::size_t kVersionAt = 3, kFlagsAt = 5, kSizeAt = 6;
constexpr unsigned char kFooterPresentFlag = 0x10;
constexpr int64_t kFooterSize = 10;

constexpr std::size_t kFrameHeaderSizeV3 = 10, kFrameHeaderSizeV2 = 6;
constexpr std::size_t kBodyBufferSize = 500;    // frame bodies are read up to this length
constexpr uint16_t kSkipFrameFlag = 0x8000;     // top bit of the second flag byte

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

uint32_t SynchSafe(const unsigned char* b) {
    return (uint32_t(b[0] & 0x7F) << 21) | (uint32_t(b[1] & 0x7F) << 14) | (uint32_t(b[2] & 0x7F) << 7) |
           uint32_t(b[3] & 0x7F);
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
        std::array<unsigned char, kHeaderSize> header{};
        if (stream.Read(header.data(), header.size()) != header.size()) return false;
        const int64_t fileSize = stream.Size();
        if (std::memcmp(header.data(), "ID3", 3) != 0) return true;

        exists_ = true;
        versionID_ = header[kVersionAt];
        int64_t size = int64_t(SynchSafe(header.data() + kSizeAt)) + int64_t(kHeaderSize);
        if (header[kFlagsAt] & kFooterPresentFlag) size += kFooterSize;
        size_ = size > fileSize ? 0 : static_cast<int32_t>(size);
        if (versionID_ < 2 || versionID_ > 4 || size_ <= 0) return true;

        const bool v2 = versionID_ == 2;
        const auto& names = v2 ? kFrameNamesV2 : kFrameNamesV3;
        const std::size_t idLength = v2 ? 3 : 4;
        int64_t position = kHeaderSize;
        try {
            while (position < size_ && position < fileSize) {
                std::array<unsigned char, kFrameHeaderSizeV3> frame{};
                const std::size_t frameHeaderSize = v2 ? kFrameHeaderSizeV2 : kFrameHeaderSizeV3;
                stream.Seek(position);
                if (stream.Read(frame.data(), frameHeaderSize) != frameHeaderSize) break;
                if (frame[0] < 'A' || frame[0] > 'Z') break;
                const std::string id(reinterpret_cast<const char*>(frame.data()), idLength);
                uint32_t bodySize;
                uint16_t flags = 0;
                if (v2) {
                    bodySize = (uint32_t(frame[3]) << 16) | (uint32_t(frame[4]) << 8) | frame[5];
                } else {
                    bodySize = (uint32_t(frame[4]) << 24) | (uint32_t(frame[5]) << 16) | (uint32_t(frame[6]) << 8) |
                               frame[7];
                    flags = static_cast<uint16_t>(frame[8] | (frame[9] << 8));
                }
                const int64_t bodyStart = position + int64_t(frameHeaderSize);
                std::string body(kBodyBufferSize, '\0');
                stream.Read(body.data(), std::min<std::size_t>(bodySize, kBodyBufferSize));
                const bool skipped = !v2 && (flags & kSkipFrameFlag);
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
