#include "readers/AC3.h"

#include "io/FileStream.h"

#include <array>

namespace {

// Start of an AC-3 frame (ATSC A/52, syncinfo and bsi):
//   0  syncword  0x0B77
//   2  crc1      16 bits
//   4  fscod (2 bits) and frmsizecod (6 bits)
//   5  bsid (5 bits) and bsmod (3 bits)
//   6  acmod (3 bits), then further bsi fields
constexpr std::size_t kHeaderSize = 7;
constexpr unsigned char kSync0 = 0x0B;
constexpr unsigned char kSync1 = 0x77;
constexpr std::size_t kRateByte = 4;
constexpr std::size_t kModeByte = 6;

constexpr std::array<int32_t, 4> kSampleRates = {48000, 44100, 32000, 0};   // by fscod

// kbit/s by frmsizecod / 2; the reserved codes 38 to 63 give 0.
constexpr std::array<uint16_t, 32> kBitRates = {
    32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};

// Full-bandwidth channels by acmod: 1+1 (dual mono), 1/0, 2/0, 3/0, 2/1, 3/1,
// 2/2, 3/2. The low-frequency-effects channel is not counted.
constexpr std::array<int32_t, 8> kChannels = {2, 1, 2, 3, 3, 4, 4, 5};

constexpr int32_t kBitsPerSample = 16;
constexpr double kCanonicalHeaderSize = 44;

} // namespace

void TAC3::ResetData() {
    fileSize_ = 0;
    valid_ = false;
    channels_ = 0;
    bitsPerSample_ = 0;
    sampleRate_ = 0;
    bitRate_ = 0;
    duration_ = 0;
}

bool TAC3::ReadFromStream(TFileStream& stream) {
    ResetData();
    stream.Seek(0);
    // Bytes beyond the end of a short file read as zero.
    std::array<unsigned char, kHeaderSize> header{};
    const std::size_t got = stream.Read(header.data(), header.size());
    if (got < 2 || header[0] != kSync0 || header[1] != kSync1) return false;

    fileSize_ = stream.Size();
    valid_ = true;
    sampleRate_ = kSampleRates[header[kRateByte] >> 6];
    bitRate_ = kBitRates[(header[kRateByte] & 0x3F) >> 1];
    channels_ = kChannels[header[kModeByte] >> 5];
    bitsPerSample_ = kBitsPerSample;
    // A reserved frame-size code leaves no bitrate: the playing time is 0.
    duration_ = bitRate_ > 0 ? static_cast<double>(fileSize_) * 8 / 1000 / bitRate_ : 0;
    return true;
}

bool TAC3::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

double TAC3::Ratio() const {
    if (!valid_) return 0;
    const double pcmBytes = sampleRate_ * duration_ * (channels_ * bitsPerSample_ / 8.0);
    return static_cast<double>(fileSize_) / (pcmBytes + kCanonicalHeaderSize) * 100;
}
