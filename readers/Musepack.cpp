#include "readers/Musepack.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>

namespace {

// The stream header: 32 bytes, little-endian.
//   Versions 7 and 7.1: "MP+" and the version byte (0x07, 0x17), the frame
//   count, the maximum level (2 bytes), a byte with the profile (high nibble)
//   and the sample-rate index (low 2 bits), a byte whose bits 6-0 tell the
//   channel mode, 15 bytes not used here, and the encoder version byte.
//   Versions 4 to 6: one word of bit fields (bitrate in bits 23-31, the
//   stream version from bit 11, the stereo bits in bits 21-22 and the
//   bands in bits 6-10), then the frame count (version 4: its high half).
//   These versions have no sample-rate field and no encoder version: they
//   are 44,100 Hz.
constexpr std::size_t kHeaderSize = 32;

struct StreamHeader {
    uint32_t firstWord = 0;       // marker (7, 7.1) or bit fields (4 to 6)
    uint32_t frameWord = 0;
    uint8_t rateAndProfile = 0;
    uint8_t channelByte = 0;
    uint8_t encoderVersion = 0;
};

StreamHeader ParseStreamHeader(const std::array<unsigned char, kHeaderSize>& bytes) {
    TByteReader r(bytes.data(), bytes.size());
    StreamHeader h;
    h.firstWord = r.LE32();
    h.frameWord = r.LE32();
    r.Skip(2);                          // maximum level
    h.rateAndProfile = r.U8();
    h.channelByte = r.U8();
    r.Skip(15);                         // not used
    h.encoderVersion = r.U8();
    r.Skip(4);                          // not used
    return h;
}

constexpr uint32_t kMarkerSV7 = 0x072B504D;    // "MP+" followed by 0x07
constexpr uint32_t kMarkerSV71 = 0x172B504D;   // "MP+" followed by 0x17
// Versions 4 to 6: the bits of the first word that tell the version (bits
// 9-12), the channel mode (bits 16-22) and the bitrate (bits 23-31).
constexpr int kOldVersionShift = 9;
constexpr uint32_t kOldVersionMask = 0x0F;
constexpr int kOldChannelShift = 16;
constexpr uint32_t kOldChannelMask = 0x7F;
constexpr int kOldBitRateShift = 23;

constexpr int64_t kSamplesPerFrame = 1152;
constexpr std::array<int32_t, 4> kSampleRates = {44100, 48000, 37800, 32000};
constexpr int32_t kOldSampleRate = 44100;

// Profile index by the high nibble of B10 (versions 7 and 7.1), and the
// name of each profile index.
constexpr std::array<uint8_t, 16> kProfileByNibble = {0, 12, 0, 0, 0, 9, 10, 11, 1, 2, 3, 4, 5, 6, 7, 8};
constexpr std::array<const char*, 13> kProfileNames = {
    "Unknown",      // 0
    "Thumb",        // 1
    "Radio",        // 2
    "Standard",     // 3
    "Xtreme",       // 4
    "Insane",       // 5
    "BrainDead",    // 6
    "--quality 9",  // 7
    "--quality 10", // 8
    "--quality 0",  // 9
    "--quality 1",  // 10
    "Telephone",    // 11
    "Experimental", // 12
};

uint8_t StreamVersionOf(const StreamHeader& h) {
    if (h.firstWord == kMarkerSV7) return 7;
    if (h.firstWord == kMarkerSV71) return 71;
    switch ((h.firstWord >> kOldVersionShift) & kOldVersionMask) {
    case 3: return 4;
    case 7: return 5;
    case 11: return 6;
    default: return 0;
    }
}

bool IsVersion7(uint8_t version) { return version == 7 || version == 71; }

uint8_t ChannelModeOf(const StreamHeader& h, uint8_t version) {
    if (IsVersion7(version)) return (h.channelByte & 0x7F) >= 0x40 ? 2 : 1;
    return ((h.firstWord >> kOldChannelShift) & kOldChannelMask) != 0 ? 2 : 1;
}

int32_t FrameCountOf(const StreamHeader& h, uint8_t version) {
    return static_cast<int32_t>(version == 4 ? h.frameWord >> 16 : h.frameWord);
}

uint16_t HeaderBitRateOf(const StreamHeader& h, uint8_t version) {
    return (version == 4 || version == 5) ? static_cast<uint16_t>(h.firstWord >> kOldBitRateShift) : 0;
}

uint8_t ProfileOf(const StreamHeader& h, uint8_t version) {
    return IsVersion7(version) ? kProfileByNibble[h.rateAndProfile >> 4] : 0;
}

// The last decimal digit of the version byte tells the release kind:
// 0 a release, even a beta, odd an alpha.
std::string EncoderVersionTextOf(unsigned v) {
    if (v == 0) return {};
    char text[32];
    const unsigned last = v % 10;
    if (last == 0)
        std::snprintf(text, sizeof text, "%u.%u Release", v / 100, (v / 10) % 10);
    else if (last % 2 == 0)
        std::snprintf(text, sizeof text, "%u.%.2u Beta", v / 100, v % 100);
    else
        std::snprintf(text, sizeof text, "%u.%.2u --Alpha--", v / 100, v % 100);
    return text;
}

} // namespace

void TMPEGplus::ResetData() {
    id3v1_.ResetData();
    id3v2_.ResetData();
    apeTag_.ResetData();
    valid_ = false;
    channelMode_ = 0;
    fileSize_ = 0;
    frameCount_ = 0;
    sampleRate_ = 0;
    headerBitRate_ = 0;
    streamVersion_ = 0;
    profile_ = 0;
    encoderVersionText_.clear();
}

bool TMPEGplus::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        int64_t headerOffset = 0;
        if (id3v2_.ReadFromStream(stream)) headerOffset = id3v2_.Size();

        std::array<unsigned char, kHeaderSize> bytes{};
        stream.Seek(headerOffset);
        if (stream.Read(bytes.data(), kHeaderSize) < kHeaderSize) return false;
        const int64_t fileSize = stream.Size();
        const StreamHeader header = ParseStreamHeader(bytes);

        const uint8_t version = StreamVersionOf(header);
        if (fileSize <= 0 || version == 0) return true;

        valid_ = true;
        sampleRate_ = IsVersion7(version) ? kSampleRates[header.rateAndProfile & 3] : kOldSampleRate;
        channelMode_ = ChannelModeOf(header, version);
        fileSize_ = fileSize;
        frameCount_ = FrameCountOf(header, version);
        headerBitRate_ = HeaderBitRateOf(header, version);
        streamVersion_ = version;
        profile_ = ProfileOf(header, version);
        encoderVersionText_ = IsVersion7(version) ? EncoderVersionTextOf(header.encoderVersion) : std::string();

        // The trailing tags are needed by BitRate.
        id3v1_.ReadFromStream(stream);
        apeTag_.ReadFromStream(stream);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TMPEGplus::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

// The frame count is a signed 32-bit header field: a damaged header may hold
// a negative count, which gives no duration and no ratio. The products are
// formed in 64 bits, so files of any length give their true duration.
double TMPEGplus::Duration() const {
    if (sampleRate_ <= 0 || frameCount_ <= 0) return 0;
    return static_cast<double>(frameCount_ * kSamplesPerFrame) / sampleRate_;
}

// Bitrate of the audio data: the header's value when it has one, otherwise the
// stream bytes (file minus tags) over the playing time. A damaged header can
// make that figure fall outside 16 bits; it is held to 0..65535 instead of
// wrapping around.
uint16_t TMPEGplus::BitRate() const {
    if (headerBitRate_ != 0 || frameCount_ <= 0) return headerBitRate_;
    int64_t compressed = fileSize_ - id3v2_.Size() - apeTag_.Size();
    if (id3v1_.Exists()) compressed -= 128;
    const double kbps = static_cast<double>(compressed) * 8 * (sampleRate_ / 1000.0) / frameCount_ /
                        static_cast<double>(kSamplesPerFrame);
    return static_cast<uint16_t>(std::clamp<int64_t>(RoundHalfEven(kbps), 0, 65535));
}

double TMPEGplus::Ratio() const {
    if (!valid_ || (channelMode_ != 1 && channelMode_ != 2) || frameCount_ < 0) return 0;
    // Reference: a 16-bit stereo PCM WAV file with a 44-byte header.
    const int64_t pcmSize = frameCount_ * kSamplesPerFrame * 4 + 44;
    return static_cast<double>(fileSize_) / static_cast<double>(pcmSize) * 100;
}

std::string TMPEGplus::StreamVersionText() const {
    switch (streamVersion_) {
    case 4: return "4.0";
    case 5: return "5.0";
    case 6: return "6.0";
    case 7: return "7.0";
    case 71: return "7.1";
    default: return std::to_string(streamVersion_);
    }
}

std::string TMPEGplus::ProfileName() const {
    return profile_ < kProfileNames.size() ? kProfileNames[profile_] : std::to_string(profile_);
}
