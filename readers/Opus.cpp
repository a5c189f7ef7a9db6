#include "readers/Opus.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/OggContent.h"
#include "readers/OggPages.h"
#include "readers/PcmRatio.h"

#include <algorithm>

namespace {

// "OpusHead" identification header (little-endian); the channel mapping
// table that follows for mapping families other than 0 is not needed.
constexpr std::string_view kHeadSignature = "OpusHead";
constexpr std::size_t kHeadSize = 19;
constexpr uint8_t kMajorVersionMask = 0xF0;   // 0x0? versions are readable

// "OpusTags": signature, then vendor length and vendor (then the fields).
constexpr std::string_view kTagsSignature = "OpusTags";
constexpr std::size_t kVendorLimit = 1024;   // longer vendor strings are cut
constexpr std::size_t kTagsKeep = kTagsSignature.size() + 4 + kVendorLimit;

constexpr int32_t kBitsPerSample = 16;

} // namespace

void TOpus::ResetData() {
    fileSize_ = 0;
    channels_ = 0;
    version_ = 0;
    preSkip_ = 0;
    inputSampleRate_ = 0;
    outputGain_ = 0;
    mappingFamily_ = 0;
    granule_ = -1;
    streamEnd_ = TOggStreamEnd{};
    audioOffset_ = 0;
    hasTags_ = false;
    vendor_.clear();
}

bool TOpus::ReadFromFile(const std::string& path) {
    TFileStream stream(path);
    return ReadFromStream(stream);
}

bool TOpus::ReadFromStream(TFileStream& stream) {
    ResetData();
    const int64_t start = OggStreamStart(stream);
    if (start < 0) return false;
    TOggPacketReader packets(stream, start);

    std::string packet;
    int64_t packetSize = 0;
    if (!packets.Next(packet, packetSize, kHeadSize)) return false;
    TByteReader head(packet);
    if (!head.Expect(kHeadSignature)) return false;
    const uint8_t version = head.U8();
    const uint8_t channels = head.U8();
    const uint16_t preSkip = head.LE16();
    const uint32_t inputSampleRate = head.LE32();
    const int16_t outputGain = static_cast<int16_t>(head.LE16());
    const uint8_t mappingFamily = head.U8();
    if (head.Overrun() || (version & kMajorVersionMask) != 0) return false;

    fileSize_ = stream.Size();
    version_ = version;
    channels_ = channels;
    preSkip_ = preSkip;
    inputSampleRate_ = inputSampleRate;
    outputGain_ = outputGain;
    mappingFamily_ = mappingFamily;
    audioOffset_ = std::min(packets.PacketPageEnd(), stream.Size());

    // The comment packet; without it the audio starts after the first page.
    if (packets.Next(packet, packetSize, kTagsKeep)) {
        TByteReader tags(packet);
        if (tags.Expect(kTagsSignature)) {
            const uint32_t vendorLength = tags.LE32();
            vendor_ = Trim(tags.Text(std::min<std::size_t>(vendorLength, kVendorLimit)));
            hasTags_ = true;
            audioOffset_ = std::min(packets.PacketPageEnd(), stream.Size());
        }
    }

    const TOggLastPage last = FindLastCompleteOggPage(stream, packets.Serial());
    if (last.Found) granule_ = static_cast<int64_t>(last.Page.Granule);
    streamEnd_ = StreamEndOf(last, packets.ChecksumFailures());
    return true;
}

int64_t TOpus::Samples() const { return std::max<int64_t>(granule_ - preSkip_, 0); }

double TOpus::Duration() const { return double(Samples()) / kPlaybackRate; }

int32_t TOpus::BitRate() const {
    const double duration = Duration();
    if (!(duration > 0)) return 0;
    return static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(double(fileSize_ - audioOffset_) * 8 / duration / 1000), 0, INT32_MAX));
}

bool TOpus::Valid() const { return channels_ >= 1 && Samples() > 0; }

double TOpus::Ratio() const {
    if (!Valid()) return 0;
    return PcmRatio(fileSize_, double(Samples()), kPlaybackRate, channels_, kBitsPerSample, kCanonicalWavHeaderBytes);
}
