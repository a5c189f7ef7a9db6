#include "readers/OptimFROG.h"

#include "io/ByteOrder.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

// Stream header, little-endian.
constexpr char kMarker[4] = {'O', 'F', 'R', ' '};
// 4-7: header size, not used.
constexpr std::size_t kLengthLow = 8;        // 4 bytes: samples of all channels, low 32 bits
constexpr std::size_t kLengthHigh = 12;      // 2 bytes: high 16 bits
constexpr std::size_t kSampleType = 14;      // 0 to 10
constexpr std::size_t kChannelMode = 15;     // 0 mono, 1 stereo
constexpr std::size_t kSampleRate = 16;      // 4 bytes, signed
constexpr std::size_t kEncoderID = 20;       // 2 bytes
constexpr std::size_t kCompressionID = 22;   // mode in bits 7-3

// Bits per sample by sample type; negative marks floating-point samples.
constexpr std::array<int8_t, 11> kSampleTypeBits = {8, 8, 16, 16, 24, 24, 32, 32, -32, -32, -32};
constexpr std::array<std::string_view, 10> kCompressionNames = {
    "fast", "normal", "high", "extra", "best", "ultra", "insane", "highnew", "extranew", "bestnew"};

} // namespace

void TOptimFrog::ResetData() {
    id3v1_.ResetData();
    id3v2_.ResetData();
    apeTag_.ResetData();
    fileSize_ = 0;
    header_.fill(0);
}

bool TOptimFrog::ReadFromStream(TFileStream& stream) {
    ResetData();
    id3v1_.ReadFromStream(stream);
    id3v2_.ReadFromStream(stream);
    apeTag_.ReadFromStream(stream);

    stream.Seek(0);
    fileSize_ = stream.Size();
    stream.Seek(id3v2_.Exists() ? id3v2_.Size() : 0);
    stream.Read(header_.data(), header_.size());
    return std::memcmp(header_.data(), kMarker, sizeof kMarker) == 0;
}

bool TOptimFrog::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

uint8_t TOptimFrog::SampleType() const { return header_[kSampleType]; }
uint8_t TOptimFrog::ChannelMode() const { return header_[kChannelMode]; }
uint16_t TOptimFrog::EncoderID() const { return LE16(header_.data() + kEncoderID); }
uint8_t TOptimFrog::CompressionID() const { return header_[kCompressionID]; }
int32_t TOptimFrog::SampleRate() const { return static_cast<int32_t>(LE32(header_.data() + kSampleRate)); }

bool TOptimFrog::Valid() const {
    return std::memcmp(header_.data(), kMarker, sizeof kMarker) == 0 && SampleRate() > 0 &&
           SampleType() < kSampleTypeBits.size() && ChannelMode() < 2 &&
           (CompressionID() >> 3) < int(kCompressionNames.size());
}

// The length field counts the samples of all channels; each half is shifted
// by the channel mode on its own.
int64_t TOptimFrog::Samples() const {
    const uint32_t low = LE32(header_.data() + kLengthLow) >> ChannelMode();
    const uint32_t high = uint32_t(LE16(header_.data() + kLengthHigh)) >> ChannelMode();
    return int64_t(high) << 32 | low;
}

double TOptimFrog::Duration() const {
    return SampleRate() > 0 ? double(Samples()) / SampleRate() : 0.0;
}

int32_t TOptimFrog::Channels() const { return ChannelMode() + 1; }

int8_t TOptimFrog::BitsPerSample() const {
    return SampleType() < kSampleTypeBits.size() ? kSampleTypeBits[SampleType()] : 0;
}

// Tags included; 0 when there are no samples or no sample rate.
int32_t TOptimFrog::BitRate() const {
    const double seconds = Duration();
    if (!(seconds > 0)) return 0;
    return static_cast<int32_t>(RoundHalfEven(double(fileSize_) * 8 / (seconds * 1000)));
}

// Against a PCM WAV file (44-byte header) with as many bits per sample.
double TOptimFrog::Ratio() const {
    if (!Valid()) return 0.0;
    const double pcmSize = std::abs(BitsPerSample()) * Channels() / 8.0 * double(Samples()) + 44;
    return double(fileSize_) / pcmSize * 100;
}

std::string TOptimFrog::VersionText() const {
    return FormatFixed(((EncoderID() >> 4) + 4500) / 1000.0, 3);
}

std::string TOptimFrog::CompressionName() const {
    const std::size_t mode = CompressionID() >> 3;
    return mode < kCompressionNames.size() ? std::string(kCompressionNames[mode]) : std::string();
}
