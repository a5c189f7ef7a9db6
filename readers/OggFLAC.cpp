#include "readers/OggFLAC.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/OggContent.h"
#include "readers/OggPages.h"
#include "readers/PcmRatio.h"

#include <algorithm>

namespace {

// Mapping header packet: 0x7F "FLAC", major and minor mapping version,
// header packet count (big-endian 16), "fLaC", then a metadata block header
// and the 34-byte STREAMINFO.
constexpr std::string_view kMappingSignature("\x7F" "FLAC", 5);
constexpr std::string_view kNativeMarker = "fLaC";
constexpr std::size_t kMappingPacketSize = 5 + 2 + 2 + 4 + 4 + 34;
constexpr uint8_t kMappingMajor = 1;

// Metadata block header: last-block flag and 7-bit type, 24-bit length.
constexpr uint8_t kBlockTypeMask = 0x7F;
constexpr uint8_t kLastBlockFlag = 0x80;
constexpr uint8_t kStreamInfoType = 0;
constexpr uint8_t kVorbisCommentType = 4;
constexpr uint8_t kFrameSyncByte = 0xFF;   // first byte of every audio frame

// Header packets looked at when the count is not stated or is implausible.
constexpr int kMaxHeaderPackets = 64;
constexpr std::size_t kVendorLimit = 1024;
constexpr std::size_t kCommentKeep = 4 + 4 + kVendorLimit;


} // namespace

void TOggFLAC::ResetData() {
    fileSize_ = 0;
    mappingMajor_ = 0;
    mappingMinor_ = 0;
    headerPackets_ = 0;
    sampleRate_ = 0;
    channels_ = 0;
    bitsPerSample_ = 0;
    streamInfoSamples_ = 0;
    granule_ = -1;
    streamEnd_ = TOggStreamEnd{};
    audioOffset_ = 0;
    hasComment_ = false;
    vendor_.clear();
}

bool TOggFLAC::ReadFromFile(const std::string& path) {
    TFileStream stream(path);
    return ReadFromStream(stream);
}

bool TOggFLAC::ReadFromStream(TFileStream& stream) {
    ResetData();
    const int64_t start = OggStreamStart(stream);
    if (start < 0) return false;
    TOggPacketReader packets(stream, start);

    std::string packet;
    int64_t packetSize = 0;
    if (!packets.Next(packet, packetSize, kMappingPacketSize)) return false;
    TByteReader mapping(packet);
    if (!mapping.Expect(kMappingSignature)) return false;
    const uint8_t major = mapping.U8();
    const uint8_t minor = mapping.U8();
    const uint16_t headerPackets = mapping.BE16();
    const bool native = mapping.Expect(kNativeMarker);
    const uint8_t blockType = mapping.U8() & kBlockTypeMask;
    mapping.Skip(3);   // block length
    mapping.Skip(2);   // minimum block size
    mapping.Skip(2);   // maximum block size
    mapping.Skip(3);   // minimum frame size
    mapping.Skip(3);   // maximum frame size
    const uint32_t sampleRate = static_cast<uint32_t>(mapping.Bits(20));
    const uint8_t channels = static_cast<uint8_t>(mapping.Bits(3) + 1);
    const uint8_t bitsPerSample = static_cast<uint8_t>(mapping.Bits(5) + 1);
    const uint64_t totalSamples = mapping.Bits(36);
    // The MD5 signature (16 bytes) follows; not used.
    if (mapping.Overrun() || !native || blockType != kStreamInfoType || major != kMappingMajor) return false;

    fileSize_ = stream.Size();
    mappingMajor_ = major;
    mappingMinor_ = minor;
    headerPackets_ = headerPackets;
    sampleRate_ = static_cast<int32_t>(sampleRate);
    channels_ = channels;
    bitsPerSample_ = bitsPerSample;
    streamInfoSamples_ = static_cast<int64_t>(totalSamples);
    audioOffset_ = std::min(packets.PacketPageEnd(), stream.Size());

    // The other metadata blocks, one per packet; the audio pages start after
    // the page on which the last of them ends.
    const int count = headerPackets > 0 ? std::min<int>(headerPackets, kMaxHeaderPackets) : kMaxHeaderPackets;
    for (int i = 0; i < count; ++i) {
        if (!packets.Next(packet, packetSize, kCommentKeep)) break;
        TByteReader block(packet);
        const uint8_t flags = block.U8();
        if (flags == kFrameSyncByte) break;   // an audio frame: the headers are over
        block.Skip(3);   // block length
        if (block.Overrun()) break;
        audioOffset_ = std::min(packets.PacketPageEnd(), stream.Size());
        if ((flags & kBlockTypeMask) == kVorbisCommentType && !hasComment_) {
            const uint32_t vendorLength = block.LE32();
            vendor_ = Trim(block.Text(std::min<std::size_t>(vendorLength, kVendorLimit)));
            hasComment_ = true;
        }
        if (flags & kLastBlockFlag) break;
    }

    const TOggLastPage last = FindLastCompleteOggPage(stream, packets.Serial());
    if (last.Found) granule_ = static_cast<int64_t>(last.Page.Granule);
    streamEnd_ = StreamEndOf(last, packets.ChecksumFailures());
    return true;
}

int64_t TOggFLAC::Samples() const {
    if (streamInfoSamples_ > 0) return streamInfoSamples_;
    return std::max<int64_t>(granule_, 0);
}

double TOggFLAC::Duration() const { return sampleRate_ > 0 ? double(Samples()) / sampleRate_ : 0.0; }

int32_t TOggFLAC::BitRate() const {
    const double duration = Duration();
    if (!(duration > 0)) return 0;
    return static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(double(fileSize_ - audioOffset_) * 8 / duration / 1000), 0, INT32_MAX));
}

bool TOggFLAC::Valid() const { return sampleRate_ > 0 && bitsPerSample_ >= 4 && Samples() > 0; }

// Against the bare samples, as for native FLAC.
double TOggFLAC::Ratio() const {
    if (!Valid()) return 0;
    return PcmRatio(fileSize_, double(Samples()), sampleRate_, channels_, bitsPerSample_, 0);
}
