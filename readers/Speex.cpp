#include "readers/Speex.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/OggPages.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace {

// Speex header (80 bytes, little-endian): marker, version text, version id,
// header size, sample rate, mode, mode bitstream version, channels, then
// bitrate, frame size, VBR, frames per packet, extra headers and two reserved
// words, which are not used.
constexpr std::size_t kSpeexHeaderSize = 80;
constexpr std::string_view kSpeexMarker = "Speex   ";
constexpr std::size_t kSpeexVersionSize = 20;

// Vorbis identification header (as in an Ogg Vorbis file): signature,
// version, channels, sample rate, maximum bitrate, nominal bitrate (signed
// bit/s), then minimum bitrate, block sizes and framing, which are not used.
constexpr std::size_t kVorbisIdSize = 30;
constexpr std::string_view kVorbisIdSignature("\x01vorbis", 7);
constexpr std::string_view kVorbisCommentSignature("\x03vorbis", 7);

// The comment packet is gathered over the pages up to sequence number 9; in a
// well-formed stream those are at most 10 pages, which also bounds a stream
// whose sequence numbers do not advance.
constexpr uint32_t kLastCommentSequence = 9;
constexpr int kMaxCommentPages = 10;

// One page as this walk reads it: the fields of the fixed header it uses and
// the lacing values.
struct OggPage {
    bool marked = false;        // starts with "OggS"
    uint32_t sequence = 0;      // page sequence number
    uint8_t segmentCount = 0;
    std::array<uint8_t, 255> lacing{};

    // Size of the first packet on the page: the lacing values up to and
    // including the first below 255. Without one the packet goes on on the
    // next page (complete = false) and all values count.
    std::size_t FirstPacketSize(bool& complete) const {
        std::size_t size = 0;
        for (std::size_t i = 0; i < segmentCount; ++i) {
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
    std::array<unsigned char, kOggPageHeaderSize> bytes{};
    if (stream.Read(bytes.data(), bytes.size()) != bytes.size()) return false;
    TByteReader header(bytes.data(), bytes.size());
    page.marked = header.Text(sizeof kOggPageMarker) == std::string_view(kOggPageMarker, sizeof kOggPageMarker);
    header.Skip(1);   // version
    header.Skip(1);   // header type
    header.Skip(8);   // granule position
    header.Skip(4);   // serial number
    page.sequence = header.LE32();
    header.Skip(4);   // checksum
    page.segmentCount = header.U8();
    if (header.Overrun()) return false;
    stream.Read(page.lacing.data(), page.segmentCount);
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
    if (!ReadPage(stream, page) || !page.marked) return false;
    bool complete = false;
    std::vector<uint8_t> firstPacket;
    AppendBytes(stream, page.FirstPacketSize(complete), firstPacket);
    const auto head = PacketHead<kSpeexHeaderSize>(firstPacket);
    TByteReader first(head.data(), head.size());
    const bool isVorbis = first.Expect(kVorbisIdSignature);
    const bool isSpeex = !isVorbis && first.Expect(kSpeexMarker);
    if (!isVorbis && !isSpeex) return false;

    uint8_t channels = 0;
    uint32_t sampleRate = 0;
    int32_t nominalBitRate = 0;
    std::string version;
    if (isVorbis) {
        TByteReader id(head.data(), kVorbisIdSize);
        id.Skip(kVorbisIdSignature.size());
        id.Skip(4);   // Vorbis version
        channels = id.U8();
        sampleRate = id.LE32();
        id.Skip(4);   // maximum bitrate
        nominalBitRate = static_cast<int32_t>(id.LE32());
        if (id.Overrun()) return false;
    } else {
        version = first.Text(kSpeexVersionSize);
        first.Skip(4);   // version id
        first.Skip(4);   // header size
        sampleRate = first.LE32();
        first.Skip(4);   // mode
        first.Skip(4);   // mode bitstream version
        channels = static_cast<uint8_t>(first.LE32());
        if (first.Overrun()) return false;
    }

    // The comment packet, gathered across the pages that carry it.
    std::vector<uint8_t> commentPacket;
    ReadPage(stream, page);
    AppendBytes(stream, page.FirstPacketSize(complete), commentPacket);
    for (int pages = 1; !complete && page.sequence <= kLastCommentSequence && pages < kMaxCommentPages; ++pages) {
        if (!ReadPage(stream, page) || !page.marked) break;
        AppendBytes(stream, page.FirstPacketSize(complete), commentPacket);
    }
    std::span<const uint8_t> comment(commentPacket);
    if (isVorbis) {
        // A Vorbis comment packet starts with its signature; a Speex one has none.
        TByteReader signature(comment.data(), comment.size());
        if (signature.Expect(kVorbisCommentSignature)) vorbisComment_.Parse(comment.subspan(signature.Position()));
    } else {
        vorbisComment_.Parse(comment);
    }

    samples_ = FindLastOggPageGranule(stream);
    fileSize_ = stream.Size();
    channels_ = channels;
    sampleRate_ = static_cast<uint16_t>(sampleRate);
    if (isVorbis) {
        nominalBitRate_ = NominalKbps(nominalBitRate);
    } else {
        speexVersion_ = Trim(version);
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
