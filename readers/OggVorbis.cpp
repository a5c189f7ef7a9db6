#include "readers/OggVorbis.h"

#include "io/ByteReader.h"
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
constexpr uint8_t kID3v2FooterFlag = 0x10;

// Vorbis header packets start with their type (1 identification, 3 comment,
// 5 setup) and "vorbis"; audio packets have an even first byte.
constexpr std::size_t kSignatureSize = 7;
constexpr uint8_t kIdentificationType = 0x01;
constexpr uint8_t kCommentType = 0x03;
constexpr uint8_t kSetupType = 0x05;

// Identification header (30 bytes, little-endian).
constexpr std::size_t kIdentificationSize = 30;

// Comment header: signature, then length-prefixed strings (vendor, field
// count, fields), little-endian.
constexpr std::size_t kCommentTextLimit = 250;      // longer strings are cut
constexpr std::size_t kCommentKeep = 256 * 1024;    // bytes of the packet parsed
constexpr int64_t kLastPageSearch = 256 * 1024;     // bytes before the end searched for the last page

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
    {"Xiph.Org libVorbis I 20070622", "1.2.0"},
    {"Xiph.Org libVorbis I 20080501", "1.2.1"},
    {"Xiph.Org libVorbis I 20090604", "1.2.2rc1"},
    {"Xiph.Org libVorbis I 20090624", "1.2.2"},
    {"Xiph.Org libVorbis I 20090709", "1.2.3"},
    {"Xiph.Org libVorbis I 20100325 (Everywhere)", "1.3.1"},
    {"Xiph.Org libVorbis I 20101101 (Schaufenugget)", "1.3.2"},
    {"Xiph.Org libVorbis I 20120203 (Omnipresent)", "1.3.3"},
    {"Xiph.Org libVorbis I 20140122 (Turpak\xC3\xA4r\xC3\xA4jiin)", "1.3.4"},
    {"Xiph.Org libVorbis I 20150105 (\xE2\x9B\x84\xE2\x9B\x84\xE2\x9B\x84\xE2\x9B\x84)", "1.3.5"},
    {"Xiph.Org libVorbis I 20180316 (Now 100% fewer shells)", "1.3.6"},
    {"Xiph.Org libVorbis I 20200704 (Reducing Environment)", "1.3.7"},
};

// The date each libVorbis release writes into its vendor string, for vendor
// strings the table does not know (patched or later builds): the newest
// release of that date or before is named.
struct DatedRelease {
    uint32_t date;   // YYYYMMDD
    std::string_view release;
};
constexpr DatedRelease kReleaseDates[] = {
    {20020717, "1.0"},   {20030909, "1.0.1"}, {20040629, "1.1"},   {20050304, "1.1.1"}, {20070622, "1.2.0"},
    {20080501, "1.2.1"}, {20090624, "1.2.2"}, {20090709, "1.2.3"}, {20100325, "1.3.1"}, {20101101, "1.3.2"},
    {20120203, "1.3.3"}, {20140122, "1.3.4"}, {20150105, "1.3.5"}, {20180316, "1.3.6"}, {20200704, "1.3.7"},
};
constexpr std::string_view kXiphVendorPrefix = "Xiph.Org libVorbis I ";
constexpr std::string_view kAoTuVPrefix = "AO; aoTuV";

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "Xiph.Org libVorbis I YYYYMMDD", alone or followed by a space and more.
std::string XiphReleaseByDate(std::string_view vendor) {
    if (!vendor.starts_with(kXiphVendorPrefix)) return {};
    const std::string_view rest = vendor.substr(kXiphVendorPrefix.size());
    const std::string_view digits = rest.substr(0, 8);
    if (digits.size() != 8 || !AllDigits(digits) || (rest.size() > 8 && rest[8] != ' ')) return {};
    const auto date = static_cast<uint32_t>(std::stoul(std::string(digits)));
    std::string_view newest;
    for (const auto& [releaseDate, release] : kReleaseDates)
        if (releaseDate <= date) newest = release;
    return newest.empty() ? std::string() : std::string(newest) + " or later";
}

// "AO; aoTuV b5 [20061024] (based on ...)": "aoTuV beta 5 [20061024]", with
// the beta number and the bracketed date only when the string has them.
std::string AoTuVRelease(std::string_view vendor) {
    if (!vendor.starts_with(kAoTuVPrefix)) return {};
    std::string text = "aoTuV";
    std::string_view rest = vendor.substr(kAoTuVPrefix.size());
    while (rest.starts_with(' ')) rest.remove_prefix(1);
    if (rest.size() > 1 && rest[0] == 'b' && rest[1] >= '0' && rest[1] <= '9') {
        const std::size_t end = std::min(rest.find(' '), rest.size());
        text += " beta " + std::string(rest.substr(1, end - 1));
        rest.remove_prefix(end);
        while (rest.starts_with(' ')) rest.remove_prefix(1);
    }
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close != std::string_view::npos) text += " " + std::string(rest.substr(0, close + 1));
    }
    return text;
}

// Size of a leading ID3v2 tag, from its own header: the size bytes are taken
// whole (not as 7-bit syncsafe digits), plus the header and any footer. A
// size beyond the file counts as no tag.
int32_t LeadingID3v2Size(TFileStream& stream) {
    std::array<uint8_t, kID3v2HeaderSize> bytes{};
    stream.Seek(0);
    stream.Read(bytes.data(), bytes.size());
    TByteReader h(bytes.data(), bytes.size());
    if (!h.Expect("ID3")) return 0;
    h.Skip(2);                            // version
    const uint8_t flags = h.U8();
    const int64_t size0 = h.U8();
    const int64_t size1 = h.U8();
    const int64_t size2 = h.U8();
    const int64_t size3 = h.U8();
    const int64_t size = (size0 << 21) + (size1 << 14) + (size2 << 7) + size3 + ((flags & kID3v2FooterFlag) ? 20 : 10);
    return size > stream.Size() ? 0 : static_cast<int32_t>(size);
}

bool IsHeaderPacket(const std::string& packet, uint8_t type) {
    return packet.size() >= kSignatureSize && uint8_t(packet[0]) == type && packet.compare(1, 6, "vorbis") == 0;
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

// The strings of a comment header packet: the vendor string, the field count
// N, then N fields. Each string is cut to 250 bytes and trimmed. Parsing ends
// at the end of the packet bytes whatever the lengths and N say.
void ParseCommentPacket(const std::string& packet, CommentData& data) {
    TByteReader r(packet);
    r.Skip(kSignatureSize);
    uint32_t fieldCount = 0;
    for (uint32_t i = 0;; ++i) {
        const uint32_t length = r.LE32();
        if (r.Overrun()) return;
        const std::size_t kept = std::min<std::size_t>({length, kCommentTextLimit, r.Remaining()});
        ParseCommentText(Trim(std::string_view(reinterpret_cast<const char*>(r.Here()), kept)), data);
        r.Skip(length);
        if (i == 0) fieldCount = r.LE32();
        if (r.Overrun() || i + 1 > fieldCount) return;
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
    headerBytes_ = 0;
    audioBytes_ = 0;
    lastPageCut_ = false;
    checksumFailures_ = 0;
    streamEnd_ = TOggStreamEnd{};
}

bool TOggVorbis::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

bool TOggVorbis::ReadFromStream(TFileStream& stream) {
    ResetData();
    const int64_t fileSize = stream.Size();
    const int32_t id3v2Size = LeadingID3v2Size(stream);

    // First packet: the identification header.
    TOggPacketReader packets(stream, id3v2Size);
    std::string packet;
    int64_t packetSize = 0;
    if (!packets.Next(packet, packetSize, kIdentificationSize)) return false;
    if (!IsHeaderPacket(packet, kIdentificationType)) return false;
    TByteReader id(packet);
    id.Skip(kSignatureSize);
    id.Skip(4);                                  // Vorbis version
    const uint8_t channels = id.U8();
    const uint32_t sampleRate = id.LE32();
    id.Skip(4);                                  // maximum bitrate
    const auto nominal = static_cast<int32_t>(id.LE32());
    // minimum bitrate, block sizes and framing bit are not used; a packet
    // cut short leaves the fields it lacks at 0.
    int64_t headerEnd = packets.PacketPageEnd();

    // Then the comment and setup headers, when they are there. Audio starts
    // on the page after the last header packet.
    CommentData comments;
    if (packets.Next(packet, packetSize, kCommentKeep) && IsHeaderPacket(packet, kCommentType)) {
        ParseCommentPacket(packet, comments);
        headerEnd = packets.PacketPageEnd();
        if (packets.Next(packet, packetSize, kSignatureSize) && IsHeaderPacket(packet, kSetupType))
            headerEnd = packets.PacketPageEnd();
    }

    // The last page of this stream; in a chained file (streams one after the
    // other) the end belongs to the last stream, whose count is taken then.
    TOggLastPage last = FindLastCompleteOggPage(stream, packets.Serial(), kLastPageSearch);
    if (!last.Found) last = FindLastCompleteOggPage(stream, packets.Serial(), kLastPageSearch, true);
    const int64_t audioEnd = last.Found ? last.Page.End() : fileSize;

    fileSize_ = fileSize;
    channels_ = channels;
    sampleRate_ = static_cast<int32_t>(sampleRate);
    // A signed field: encoders write small negative values when it is unset.
    // Truncation toward zero makes those 0; a negative bitrate means nothing,
    // so any negative value reads as 0 too.
    nominalBitRate_ = static_cast<uint16_t>(std::max(nominal / 1000, 0));
    samples_ = last.Found ? static_cast<int64_t>(last.Page.Granule) : 0;
    id3v2Size_ = id3v2Size;
    headerBytes_ = headerEnd - id3v2Size;
    audioBytes_ = std::max<int64_t>(0, audioEnd - headerEnd);
    lastPageCut_ = last.TailCut;
    checksumFailures_ = packets.ChecksumFailures() + last.ChecksumFailures;
    streamEnd_ = StreamEndOf(last, packets.ChecksumFailures());

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

// From the last granule position, or when there is none an estimate from the
// nominal bitrate.
double TOggVorbis::Duration() const {
    if (samples_ > 0) return sampleRate_ > 0 ? double(samples_) / sampleRate_ : 0.0;
    if (nominalBitRate_ > 0 && channels_ > 0)
        return double(fileSize_ - id3v2Size_) / nominalBitRate_ / channels_ / 125 * 2;
    return 0.0;
}

// The audio pages only: the header packets (a comment with cover art can
// fill many pages) are left out, as the other readers leave their tags out.
uint16_t TOggVorbis::BitRate() const {
    const double duration = Duration();
    if (!(duration > 0)) return 0;
    return static_cast<uint16_t>(std::clamp<int64_t>(RoundHalfEven(double(audioBytes_) / duration / 125), 0, 65535));
}

// Vorbis I allows any channel count from 1 to 255.
bool TOggVorbis::Valid() const {
    return channels_ >= 1 && sampleRate_ >= 1 && Duration() > 0.1 && BitRate() != 0;
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
    if (std::string byDate = XiphReleaseByDate(vendor); !byDate.empty()) return byDate;
    if (std::string aoTuV = AoTuVRelease(vendor); !aoTuV.empty()) return aoTuV;
    return vendor;
}
