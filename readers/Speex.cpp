#include "readers/Speex.h"

#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/OggPages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// Speex header (80 bytes, little-endian). Used: the marker, the version text,
// the sample rate and the channel count. Version id, header size, mode, mode
// bitstream version, bitrate, frame size, VBR, frames per packet, extra
// headers and the reserved words are not.
constexpr std::size_t kSpeexHeaderSize = 80;
constexpr char kSpeexMarker[8] = {'S', 'p', 'e', 'e', 'x', ' ', ' ', ' '};
constexpr std::size_t kSpeexVersion = 8;       // 20 bytes of text
constexpr std::size_t kSpeexVersionSize = 20;
constexpr std::size_t kSpeexSampleRate = 36;   // 4 bytes
constexpr std::size_t kSpeexChannels = 48;     // 4 bytes

// Vorbis identification and comment headers (as in an Ogg Vorbis file).
constexpr std::size_t kVorbisIdSize = 30;
constexpr char kVorbisIdSignature[7] = {0x01, 'v', 'o', 'r', 'b', 'i', 's'};
constexpr std::size_t kVorbisChannels = 11;
constexpr std::size_t kVorbisSampleRate = 12;
constexpr std::size_t kVorbisNominalBitRate = 20;   // signed bit/s
constexpr char kVorbisCommentSignature[7] = {0x03, 'v', 'o', 'r', 'b', 'i', 's'};

// The comment packet is gathered over the pages up to sequence number 9; in a
// well-formed stream those are at most 10 pages, which also bounds a stream
// whose sequence numbers do not advance.
constexpr uint32_t kLastCommentSequence = 9;
constexpr int kMaxCommentPages = 10;

struct OggPage {
    std::array<uint8_t, kOggPageHeaderSize> header{};
    std::array<uint8_t, 255> lacing{};

    uint8_t SegmentCount() const { return header[kOggSegmentCountOffset]; }
    uint32_t Sequence() const { return OggLE32(header.data() + kOggSequenceOffset); }

    // Size of the first packet on the page: the lacing values up to and
    // including the first below 255. Without one the packet goes on on the
    // next page (complete = false) and all values count.
    std::size_t FirstPacketSize(bool& complete) const {
        std::size_t size = 0;
        for (std::size_t i = 0; i < SegmentCount(); ++i) {
            size += lacing[i];
            if (lacing[i] < 255) {
                complete = true;
                return size;
            }
        }
        complete = false;
        return size;
    }
};

// Reads a page header and its segment table; false when the file ends
// inside the fixed header. A short segment table reads as zeros.
bool ReadPage(TFileStream& stream, OggPage& page) {
    page = OggPage{};
    if (stream.Read(page.header.data(), page.header.size()) != page.header.size()) return false;
    stream.Read(page.lacing.data(), page.SegmentCount());
    return true;
}

// Appends up to count bytes from the stream (fewer at the end of the file).
void AppendBytes(TFileStream& stream, std::size_t count, std::vector<uint8_t>& out) {
    const std::size_t start = out.size();
    out.resize(start + count);
    out.resize(start + stream.Read(out.data() + start, count));
}

// The first bytes of a packet, zero-padded when the packet is shorter.
template <std::size_t N>
std::array<uint8_t, N> PacketHead(const std::vector<uint8_t>& packet) {
    std::array<uint8_t, N> head{};
    std::copy_n(packet.begin(), std::min(N, packet.size()), head.begin());
    return head;
}

uint16_t NominalKbps(int32_t bitsPerSecond) {
    // Signed: encoders write small negative values when the field is unset;
    // a negative bitrate means nothing and reads as 0.
    return static_cast<uint16_t>(std::max<int64_t>(RoundHalfEven(bitsPerSecond / 1000.0), 0));
}

} // namespace

void TSpeex::ResetData() {
    vorbisComment_.Clear();
    fileSize_ = 0;
    channels_ = 0;
    sampleRate_ = 0;
    nominalBitRate_ = 0;
    samples_ = 0;
    speexVersion_.clear();
    hasSpeexVersion_ = false;
}

bool TSpeex::ReadFromStream(TFileStream& stream) {
    ResetData();
    stream.Seek(0);

    // First page: its first packet says which kind of stream this is.
    OggPage page;
    if (!ReadPage(stream, page) || !IsOggPageMarker(page.header.data())) return false;
    bool complete = false;
    std::vector<uint8_t> firstPacket;
    AppendBytes(stream, page.FirstPacketSize(complete), firstPacket);
    const auto vorbisId = PacketHead<kVorbisIdSize>(firstPacket);
    const auto speexHeader = PacketHead<kSpeexHeaderSize>(firstPacket);
    const bool isVorbis = std::memcmp(vorbisId.data(), kVorbisIdSignature, sizeof kVorbisIdSignature) == 0;
    const bool isSpeex = !isVorbis && std::memcmp(speexHeader.data(), kSpeexMarker, sizeof kSpeexMarker) == 0;
    if (!isVorbis && !isSpeex) return false;

    // The comment packet, gathered across the pages that carry it.
    std::vector<uint8_t> commentPacket;
    ReadPage(stream, page);
    AppendBytes(stream, page.FirstPacketSize(complete), commentPacket);
    for (int pages = 1; !complete && page.Sequence() <= kLastCommentSequence && pages < kMaxCommentPages; ++pages) {
        if (!ReadPage(stream, page) || !IsOggPageMarker(page.header.data())) break;
        AppendBytes(stream, page.FirstPacketSize(complete), commentPacket);
    }
    std::span<const uint8_t> comment(commentPacket);
    if (isVorbis) {
        // A Vorbis comment packet starts with its signature; a Speex one has none.
        if (comment.size() >= sizeof kVorbisCommentSignature &&
            std::memcmp(comment.data(), kVorbisCommentSignature, sizeof kVorbisCommentSignature) == 0)
            vorbisComment_.Parse(comment.subspan(sizeof kVorbisCommentSignature));
    } else {
        vorbisComment_.Parse(comment);
    }

    samples_ = FindLastOggPageGranule(stream);
    fileSize_ = stream.Size();
    if (isVorbis) {
        channels_ = vorbisId[kVorbisChannels];
        sampleRate_ = static_cast<uint16_t>(OggLE32(vorbisId.data() + kVorbisSampleRate));
        nominalBitRate_ = NominalKbps(static_cast<int32_t>(OggLE32(vorbisId.data() + kVorbisNominalBitRate)));
    } else {
        channels_ = static_cast<uint8_t>(OggLE32(speexHeader.data() + kSpeexChannels));
        sampleRate_ = static_cast<uint16_t>(OggLE32(speexHeader.data() + kSpeexSampleRate));
        speexVersion_ = Trim(std::string_view(reinterpret_cast<const char*>(speexHeader.data() + kSpeexVersion),
                                              kSpeexVersionSize));
        hasSpeexVersion_ = true;
    }
    return true;
}

bool TSpeex::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

// From the last granule position, or when there is none an estimate from the
// nominal bitrate (Vorbis streams only).
double TSpeex::Duration() const {
    if (samples_ > 0) return sampleRate_ != 0 ? double(samples_) / sampleRate_ : 0.0;
    if (nominalBitRate_ != 0 && channels_ != 0) return double(fileSize_) / nominalBitRate_ / channels_ / 125 * 2;
    return 0.0;
}

uint16_t TSpeex::BitRate() const {
    const double duration = Duration();
    if (!(duration > 0)) return 0;
    return static_cast<uint16_t>(RoundHalfEven(double(fileSize_) / duration / 125));
}

bool TSpeex::Valid() const {
    return (channels_ == 1 || channels_ == 2) && sampleRate_ > 0 && Duration() > 0.1 && BitRate() > 0;
}

// Against a 16-bit PCM WAV file with a 44-byte header.
double TSpeex::Ratio() const {
    if (!Valid()) return 0.0;
    const double pcmSize = double(samples_) * (channels_ * 16 / 8.0) + 44;
    return pcmSize > 0 ? double(fileSize_) / pcmSize * 100 : 0.0;
}

std::string TSpeex::VersionText() const { return hasSpeexVersion_ ? speexVersion_ : std::string("NA"); }
