#include "readers/MusepackSV8.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/PcmRatio.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::string_view kMarker = "MPCK";
constexpr std::size_t kKeySize = 2;
constexpr std::size_t kMaxSizeBytes = 9;            // 63 bits of size at most
constexpr std::size_t kPacketHeadRead = 64;         // header packets are far smaller
constexpr uint8_t kStreamVersion = 8;

// Stream header ("SH") payload: CRC-32, version, sample count and beginning
// silence (both in 7-bit groups), then two bytes of bit fields.
constexpr std::array<int32_t, 8> kSampleRates = {44100, 48000, 37800, 32000, 0, 0, 0, 0};

// Packets walked before the stream is taken as damaged.
constexpr int kMaxPackets = 1 << 20;

constexpr int32_t kBitsPerSample = 16;

struct PacketHeader {
    std::string key;
    uint64_t size = 0;          // the whole packet
    std::size_t headerSize = 0; // key and size bytes
};

uint64_t ReadVarSize(TByteReader& r) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < kMaxSizeBytes; ++i) {
        const uint8_t byte = r.U8();
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80)) return value;
    }
    return value;
}

// The packet at offset: its key, size and the first payload bytes.
bool ReadPacket(TFileStream& stream, int64_t offset, PacketHeader& packet, std::string& payload) {
    unsigned char bytes[kPacketHeadRead] = {};
    stream.Seek(offset);
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    TByteReader r(bytes, got);
    packet.key = r.Text(kKeySize);
    packet.size = ReadVarSize(r);
    packet.headerSize = r.Position();
    if (r.Overrun() || packet.size < packet.headerSize) return false;
    const std::size_t inPacket = static_cast<std::size_t>(std::min<uint64_t>(packet.size, got)) - packet.headerSize;
    payload.assign(reinterpret_cast<const char*>(bytes) + packet.headerSize, inPacket);
    return true;
}

// Profile names by the profile in whole steps (quality + 5), as for stream
// version 7.
constexpr std::array<const char*, 16> kProfileNames = {
    "Unknown", "Experimental", "Unknown", "Unknown", "Unknown", "--quality 0", "--quality 1", "Telephone",
    "Thumb", "Radio", "Standard", "Xtreme", "Insane", "BrainDead", "--quality 9", "--quality 10"};

} // namespace

bool IsMusepackSV8(TFileStream& stream) {
    char bytes[4] = {};
    stream.ReadZeroFilled(0, bytes, sizeof bytes);
    return std::string_view(bytes, sizeof bytes) == kMarker;
}

void TMusepackSV8::ResetData() {
    fileSize_ = 0;
    streamVersion_ = 0;
    sampleCount_ = 0;
    beginningSilence_ = 0;
    sampleRate_ = 0;
    channels_ = 0;
    hasEncoderInfo_ = false;
    profile_ = 0;
    pns_ = false;
    versionMajor_ = 0;
    versionMinor_ = 0;
    versionBuild_ = 0;
    audioBytes_ = 0;
    cut_ = false;
    wholeAudioPackets_ = 0;
    packetFramesPower_ = 0;
}

bool TMusepackSV8::ReadFromFile(const std::string& path) {
    TFileStream stream(path);
    return ReadFromStream(stream);
}

bool TMusepackSV8::ReadFromStream(TFileStream& stream) {
    ResetData();
    if (!IsMusepackSV8(stream)) return false;
    const int64_t size = stream.Size();

    bool haveHeader = false;
    int64_t firstAudio = -1;
    int64_t seekTable = -1;
    int64_t offset = static_cast<int64_t>(kMarker.size());
    PacketHeader packet;
    std::string payload;
    for (int n = 0; n < kMaxPackets && offset < size; ++n) {
        if (!ReadPacket(stream, offset, packet, payload)) break;
        TByteReader r(payload);
        if (packet.key == "SH" && !haveHeader) {
            r.Skip(4);   // CRC-32 of the rest
            const uint8_t version = r.U8();
            const uint64_t sampleCount = ReadVarSize(r);
            const uint64_t beginningSilence = ReadVarSize(r);
            const uint8_t rateIndex = static_cast<uint8_t>(r.Bits(3));
            r.Bits(5);   // maximum band used
            const uint8_t channels = static_cast<uint8_t>(r.Bits(4) + 1);
            r.Bits(1);   // mid/side stereo
            const uint8_t framesPower = static_cast<uint8_t>(r.Bits(3));   // frames per audio packet, as a power of 4
            if (r.Overrun()) break;
            packetFramesPower_ = framesPower;
            streamVersion_ = version;
            sampleCount_ = sampleCount;
            beginningSilence_ = beginningSilence;
            sampleRate_ = kSampleRates[rateIndex];
            channels_ = channels;
            haveHeader = true;
        } else if (packet.key == "EI" && !hasEncoderInfo_) {
            const uint8_t profile = static_cast<uint8_t>(r.Bits(7));
            const bool pns = r.Flag();
            const uint8_t major = r.U8();
            const uint8_t minor = r.U8();
            const uint8_t build = r.U8();
            if (!r.Overrun()) {
                profile_ = profile;
                pns_ = pns;
                versionMajor_ = major;
                versionMinor_ = minor;
                versionBuild_ = build;
                hasEncoderInfo_ = true;
            }
        } else if (packet.key == "SO") {
            const uint64_t distance = ReadVarSize(r);
            if (!r.Overrun()) seekTable = offset + static_cast<int64_t>(std::min<uint64_t>(distance, size));
            if (!r.Overrun() && distance >= static_cast<uint64_t>(size - offset)) cut_ = true;
        } else if (packet.key == "AP") {
            // The audio runs from here to the seek table when the stream says
            // where that is; otherwise the packets are walked to the end.
            if (firstAudio < 0) firstAudio = offset;
            if (seekTable > offset) {
                PacketHeader table;
                if (ReadPacket(stream, seekTable, table, payload) && table.key == "ST") {
                    audioBytes_ = seekTable - firstAudio;
                    break;
                }
                seekTable = -1;
            }
            audioBytes_ += static_cast<int64_t>(std::min<uint64_t>(packet.size, size - offset));
            if (packet.size > static_cast<uint64_t>(size - offset)) cut_ = true;
            else ++wholeAudioPackets_;
        } else if (packet.key == "SE") {
            break;
        }
        if (packet.size == 0) break;
        offset += static_cast<int64_t>(std::min<uint64_t>(packet.size, size));
    }
    if (!haveHeader) return false;
    fileSize_ = size;
    return true;
}

double TMusepackSV8::Duration() const {
    if (sampleRate_ <= 0 || sampleCount_ <= beginningSilence_) return 0;
    return double(sampleCount_ - beginningSilence_) / sampleRate_;
}

int32_t TMusepackSV8::BitRate() const {
    const double duration = Duration();
    if (!(duration > 0)) return 0;
    return static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(double(audioBytes_) * 8 / duration / 1000), 0, INT32_MAX));
}

bool TMusepackSV8::Valid() const { return streamVersion_ == kStreamVersion && channels_ >= 1 && Duration() > 0; }

double TMusepackSV8::Ratio() const {
    if (!Valid()) return 0;
    return PcmRatio(fileSize_, double(sampleCount_ - beginningSilence_), sampleRate_, channels_, kBitsPerSample,
                    kCanonicalWavHeaderBytes);
}

std::string TMusepackSV8::EncoderVersionText() const {
    if (!hasEncoderInfo_) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u", versionMajor_, versionMinor_, versionBuild_);
    return text;
}

// The profile is stored in eighths; whole values have the version 7 names,
// the others read as the mpcenc quality they stand for.
std::string TMusepackSV8::ProfileName() const {
    if (profile_ % 8 == 0 || profile_ < 5 * 8) return kProfileNames[profile_ / 8];
    char text[24];
    std::snprintf(text, sizeof text, "--quality %g", profile_ / 8.0 - 5);
    return text;
}

uint64_t TMusepackSV8::SamplesPresent() const {
    constexpr uint64_t kSamplesPerFrame = 1152;
    const uint64_t perPacket = kSamplesPerFrame << (2 * packetFramesPower_);
    // At most 2^20 packets of at most 1152 x 4^7 samples: no overflow. The
    // last packet may hold fewer frames: never more than the stream's count.
    return std::min(wholeAudioPackets_ * perPacket, sampleCount_);
}
