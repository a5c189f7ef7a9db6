#include "readers/OptimFROG.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <array>
#include <cmath>
#include <string_view>

namespace {

// Stream header, little-endian:
//   0  "OFR "               4
//   4  header size          4  the bytes of the fields that follow
//   8  length, low 32 bits  4  samples of all channels
//  12  length, high bits    2
//  14  sample type          1  0 to 10
//  15  channel mode         1  0 mono, 1 stereo
//  16  sample rate          4  signed
//  20  encoder id           2
//  22  compression id       1  mode in bits 7-3
constexpr std::string_view kMarker = "OFR ";

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
    marker_ = false;
    headerAt_ = 0;
    headerFieldBytes_ = 0;
    lengthLow_ = 0;
    lengthHigh_ = 0;
    sampleType_ = 0;
    channelMode_ = 0;
    sampleRate_ = 0;
    encoderID_ = 0;
    compressionID_ = 0;
}

bool TOptimFrog::ReadFromStream(TFileStream& stream) {
    ResetData();
    id3v1_.ReadFromStream(stream);
    id3v2_.ReadFromStream(stream);
    apeTag_.ReadFromStream(stream);

    stream.Seek(0);
    fileSize_ = stream.Size();
    // A header cut short reads as zeros beyond the end of the file.
    std::array<unsigned char, kHeaderSize> bytes{};
    headerAt_ = id3v2_.Exists() ? id3v2_.Size() : 0;
    stream.ReadZeroFilled(headerAt_, bytes.data(), bytes.size());
    TByteReader header(bytes.data(), bytes.size());
    marker_ = header.Expect(kMarker);
    if (!marker_) return false;
    headerFieldBytes_ = header.LE32();
    lengthLow_ = header.LE32();
    lengthHigh_ = header.LE16();
    sampleType_ = header.U8();
    channelMode_ = header.U8();
    sampleRate_ = static_cast<int32_t>(header.LE32());
    encoderID_ = header.LE16();
    compressionID_ = header.U8();
    return !header.Overrun();
}

bool TOptimFrog::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

int32_t TOptimFrog::SampleRate() const { return sampleRate_; }

bool TOptimFrog::Valid() const {
    return marker_ && SampleRate() > 0 &&
           SampleType() < kSampleTypeBits.size() && ChannelMode() < 2 &&
           (CompressionID() >> 3) < int(kCompressionNames.size());
}

// The length field counts the samples of all channels; each half is shifted
// by the channel mode on its own. Only modes 0 and 1 exist; any other byte
// gives no samples (and would be a shift by up to 255 bits).
int64_t TOptimFrog::Samples() const {
    const unsigned mode = ChannelMode();
    if (mode > 1) return 0;
    const uint32_t low = lengthLow_ >> mode;
    const uint32_t high = uint32_t(lengthHigh_) >> mode;
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
