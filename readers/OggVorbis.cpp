#include "readers/OggVorbis.h"

#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/OggPages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

// Leading ID3v2 tag header: "ID3", version (2), flags, 4 size bytes.
constexpr std::size_t kID3v2HeaderSize = 10;
constexpr std::size_t kID3v2Flags = 5;
constexpr uint8_t kID3v2FooterFlag = 0x10;
constexpr std::size_t kID3v2SizeBytes = 6;

// Vorbis identification header (packet type 1), little-endian.
constexpr std::size_t kIdentificationSize = 30;
constexpr char kIdentificationSignature[7] = {0x01, 'v', 'o', 'r', 'b', 'i', 's'};
constexpr std::size_t kIdChannels = 11;         // 1 byte
constexpr std::size_t kIdSampleRate = 12;       // 4 bytes
constexpr std::size_t kIdNominalBitRate = 20;   // 4 bytes, signed bit/s
// 7-10 version, 16-19 maximum and 24-27 minimum bitrate, 28 block sizes,
// 29 framing: not used.

// Vorbis comment header (packet type 3): signature, then length-prefixed
// strings (vendor, field count, fields), little-endian.
constexpr char kCommentSignature[7] = {0x03, 'v', 'o', 'r', 'b', 'i', 's'};
constexpr std::size_t kCommentTextLimit = 250;   // longer strings are cut

// Comment fields the reader keeps.
enum CommentSlot { kTitle, kArtist, kAlbum, kTrackNumber, kDate, kGenre, kComment, kPerformer, kDescription };
constexpr std::array<std::string_view, 9> kCommentSlotNames = {
    "TITLE", "ARTIST", "ALBUM", "TRACKNUMBER", "DATE", "GENRE", "COMMENT", "PERFORMER", "DESCRIPTION"};

struct CommentData {
    std::string vendor;
    std::array<std::string, kCommentSlotNames.size()> slots;
};

constexpr std::pair<std::string_view, std::string_view> kVendorReleases[] = {
    {"Xiphophorus libVorbis I 20000508", "1.0 beta 1 or beta 2"},
    {"Xiphophorus libVorbis I 20001031", "1.0 beta 3"},
    {"Xiphophorus libVorbis I 20010225", "1.0 beta 4"},
    {"Xiphophorus libVorbis I 20010615", "1.0 rc1"},
    {"Xiphophorus libVorbis I 20010813", "1.0 rc2"},
    {"Xiphophorus libVorbis I 20010816 (gtune 1)", "1.0 RC2 GT1"},
    {"Xiphophorus libVorbis I 20011014 (GTune 2)", "1.0 RC2 GT2"},
    {"Xiphophorus libVorbis I 20011217", "1.0 rc3"},
    {"Xiphophorus libVorbis I 20011231", "1.0 rc3"},
    {"Xiph.Org libVorbis I 20020717", "1.0"},
    {"Xiph.Org/Sjeng.Org libVorbis I 20020717 (GTune 3, beta 1)", "1.0 GT3b1"},
    {"Xiph.Org libVorbis I 20030308", "Post 1.0 CVS"},
    {"Xiph.Org libVorbis I 20030909 (1.0.1)", "1.0.1"},
    {"Xiph.Org libVorbis I 20030909", "1.0.1"},
    {"Xiph.Org/Sjeng.Org libVorbis I 20030909 (GTune 3, beta 2) EXPERIMENTAL", "Experimental GT3b2"},
    {"Xiph.Org libVorbis I 20031230 (1.0.1)", "Post 1.0.1 CVS"},
    {"Xiph.Org/Sjeng.Org libVorbis I 20031230 (GTune 3, beta 2)", "GT3b2"},
    {"AO; aoTuV b2 [20040420]  (based on Xiph.Org's 1.0.1)", "1.0.1 aoTuV beta 2"},   // two spaces
    {"Xiph.Org libVorbis I 20040629", "1.1"},
    {"Xiph.Org libVorbis I 20040920", "1.1 with impulse_trigger_profile"},
    {"AO; aoTuV b3 [20041120] (based on Xiph.Org's libVorbis)", "1.1 aoTuV beta 3"},
    {"Xiph.Org libVorbis I 20050304", "1.1.1"},
    {"AO; aoTuV b4 [20050617] (based on Xiph.Org's libVorbis)", "1.1 aoTuV beta 4"},
};

// Size of a leading ID3v2 tag, from its own header: the size bytes are taken
// whole (not as 7-bit syncsafe digits), plus the header and any footer. A
// size beyond the file counts as no tag.
int32_t LeadingID3v2Size(TFileStream& stream) {
    std::array<uint8_t, kID3v2HeaderSize> h{};
    stream.Seek(0);
    stream.Read(h.data(), h.size());
    if (std::memcmp(h.data(), "ID3", 3) != 0) return 0;
    const uint8_t* s = h.data() + kID3v2SizeBytes;
    const int64_t size = int64_t(s[0]) * (1 << 21) + int64_t(s[1]) * (1 << 14) + int64_t(s[2]) * (1 << 7) + s[3] +
                         ((h[kID3v2Flags] & kID3v2FooterFlag) ? 20 : 10);
    return size > stream.Size() ? 0 : static_cast<int32_t>(size);
}

// One comment string: "NAME=value" fills the slot of a known name (a later
// field overwrites an earlier one); a string without "=" is the vendor text
// when none was met yet.
void ParseCommentText(const std::string& text, CommentData& data) {
    const auto equals = text.find('=');
    if (equals == std::string::npos) {
        if (data.vendor.empty()) data.vendor = text;
        return;
    }
    const std::string name = AsciiUpper(std::string_view(text).substr(0, equals));
    for (std::size_t i = 0; i < kCommentSlotNames.size(); ++i) {
        if (kCommentSlotNames[i] == name) {
            data.slots[i] = DecodeUtf8(Trim(std::string_view(text).substr(equals + 1)));
            return;
        }
    }
}

// Reads the strings of a comment header from the stream position: the vendor
// string, the field count N, then N fields. Each string is cut to 250 bytes
// and trimmed. Reading ends at the end of the file whatever N says.
void ReadCommentStrings(TFileStream& stream, CommentData& data) {
    uint32_t fieldCount = 0;
    for (uint32_t i = 0;; ++i) {
        uint8_t lengthBytes[4] = {};
        if (stream.Read(lengthBytes, 4) != 4) return;
        const uint32_t length = OggLE32(lengthBytes);
        const int64_t textStart = stream.Position();
        std::array<char, kCommentTextLimit> text{};
        stream.Read(text.data(), std::min<uint32_t>(length, kCommentTextLimit));
        ParseCommentText(Trim(std::string_view(text.data(), text.size())), data);
        if (textStart + int64_t(length) >= stream.Size()) return;
        stream.Seek(textStart + length);
        if (i == 0) {
            uint8_t countBytes[4] = {};
            if (stream.Read(countBytes, 4) != 4) return;
            fieldCount = OggLE32(countBytes);
        }
        if (i + 1 > fieldCount) return;
    }
}

// Track number from a TRACKNUMBER text such as "3" or "3/12"; 0 when the part
// before the slash is no number. Kept to 8 bits.
uint8_t TrackFromText(const std::string& text) {
    int32_t value = 0;
    if (!ParseInt32(std::string_view(text).substr(0, text.find('/')), value)) return 0;
    return static_cast<uint8_t>(value);
}

} // namespace

void TOggVorbis::ResetData() {
    fileSize_ = 0;
    channels_ = 0;
    sampleRate_ = 0;
    nominalBitRate_ = 0;
    samples_ = 0;
    id3v2Size_ = 0;
    title_.clear();
    artist_.clear();
    album_.clear();
    track_ = 0;
    date_.clear();
    genre_.clear();
    comment_.clear();
    vendor_.clear();
}

bool TOggVorbis::ReadFromStream(TFileStream& stream) {
    ResetData();
    stream.Seek(0);
    const int64_t fileSize = stream.Size();
    const int32_t id3v2Size = LeadingID3v2Size(stream);

    // First page: its only packet is the identification header.
    std::array<uint8_t, kOggMaxPageHeaderSize> firstPage{};
    stream.Seek(id3v2Size);
    stream.Read(firstPage.data(), firstPage.size());
    if (!IsOggPageMarker(firstPage.data())) return false;

    std::array<uint8_t, kIdentificationSize> identification{};
    stream.Seek(id3v2Size + int64_t(kOggPageHeaderSize) + firstPage[kOggSegmentCountOffset]);
    stream.Read(identification.data(), identification.size());
    if (std::memcmp(identification.data(), kIdentificationSignature, sizeof kIdentificationSignature) != 0)
        return false;

    // Second page: the comment header, when it is there.
    CommentData comments;
    const int64_t secondPage = stream.Position();
    std::array<uint8_t, kOggMaxPageHeaderSize> secondHeader{};
    stream.Read(secondHeader.data(), secondHeader.size());
    std::array<uint8_t, sizeof kCommentSignature> signature{};
    stream.Seek(secondPage + int64_t(kOggPageHeaderSize) + secondHeader[kOggSegmentCountOffset]);
    stream.Read(signature.data(), signature.size());
    if (std::memcmp(signature.data(), kCommentSignature, sizeof kCommentSignature) == 0)
        ReadCommentStrings(stream, comments);

    const int32_t lastGranule = FindLastOggPageGranule(stream);

    fileSize_ = fileSize;
    channels_ = identification[kIdChannels];
    sampleRate_ = static_cast<int32_t>(OggLE32(identification.data() + kIdSampleRate));
    // A signed field: encoders write small negative values when it is unset.
    // Truncation toward zero makes those 0; a negative bitrate means nothing,
    // so any negative value reads as 0 too.
    const auto nominal = static_cast<int32_t>(OggLE32(identification.data() + kIdNominalBitRate));
    nominalBitRate_ = static_cast<uint16_t>(std::max(nominal / 1000, 0));
    samples_ = lastGranule;
    id3v2Size_ = id3v2Size;

    const auto& slot = comments.slots;
    title_ = slot[kTitle];
    artist_ = slot[kArtist].empty() ? slot[kPerformer] : slot[kArtist];
    album_ = slot[kAlbum];
    track_ = TrackFromText(slot[kTrackNumber]);
    date_ = slot[kDate];
    genre_ = slot[kGenre];
    comment_ = slot[kComment].empty() ? slot[kDescription] : slot[kComment];
    vendor_ = comments.vendor;
    return true;
}

bool TOggVorbis::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

// From the last granule position, or when there is none an estimate from the
// nominal bitrate.
double TOggVorbis::Duration() const {
    if (samples_ > 0) return sampleRate_ > 0 ? double(samples_) / sampleRate_ : 0.0;
    if (nominalBitRate_ > 0 && channels_ > 0)
        return double(fileSize_ - id3v2Size_) / nominalBitRate_ / channels_ / 125 * 2;
    return 0.0;
}

uint16_t TOggVorbis::BitRate() const {
    const double duration = Duration();
    if (!(duration > 0)) return 0;
    return static_cast<uint16_t>(RoundHalfEven(double(fileSize_ - id3v2Size_) / duration / 125));
}

bool TOggVorbis::Valid() const {
    return (channels_ == 1 || channels_ == 2 || channels_ == 6) && sampleRate_ >= 1 && Duration() > 0.1 &&
           BitRate() != 0;
}

// Against a 16-bit PCM WAV file with a 44-byte header.
double TOggVorbis::Ratio() const {
    if (!Valid()) return 0.0;
    const double pcmSize = double(samples_) * (channels_ * 16 / 8.0) + 44;
    return pcmSize > 0 ? double(fileSize_) / pcmSize * 100 : 0.0;
}

std::string TOggVorbis::EncoderRelease() const { return VorbisEncoderRelease(vendor_); }

std::string VorbisEncoderRelease(const std::string& vendor) {
    for (const auto& [known, release] : kVendorReleases)
        if (vendor == known) return std::string(release);
    return vendor;
}
