#include "readers/AC3.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
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

// The bit stream id (top five bits of byte 5 in both kinds of frame): up to
// 10 an AC-3 frame, 11 to 16 an E-AC-3 frame.
constexpr std::size_t kBsidByte = 5;
constexpr uint8_t kLastAC3Bsid = 10;

// E-AC-3 frame header (A/52 Annex E, syncinfo and the start of bsi), bits:
//   syncword 16, strmtyp 2, substreamid 3, frmsiz 11 (words per frame - 1),
//   fscod 2, then fscod2 2 when fscod is 3 (six blocks), else numblkscod 2,
//   acmod 3, lfeon 1, bsid 5.
constexpr std::array<int32_t, 3> kEAC3SampleRates = {48000, 44100, 32000};    // by fscod
constexpr std::array<int32_t, 4> kEAC3HalfRates = {24000, 22050, 16000, 0};   // by fscod2
constexpr std::array<int32_t, 4> kEAC3Blocks = {1, 2, 3, 6};                  // by numblkscod
constexpr int32_t kSamplesPerBlock = 256;
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
    bitStreamId_ = 0;
    isEAC3_ = false;
    frameSize_ = 0;
    blocksPerFrame_ = 0;
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
    bitStreamId_ = header[kBsidByte] >> 3;
    if (bitStreamId_ > kLastAC3Bsid) {
        ReadEAC3Header(header.data(), header.size());
        return true;
    }
    sampleRate_ = kSampleRates[header[kRateByte] >> 6];
    bitRate_ = kBitRates[(header[kRateByte] & 0x3F) >> 1];
    channels_ = kChannels[header[kModeByte] >> 5];
    bitsPerSample_ = kBitsPerSample;
    // A reserved frame-size code leaves no bitrate: the playing time is 0.
    duration_ = bitRate_ > 0 ? static_cast<double>(fileSize_) * 8 / 1000 / bitRate_ : 0;
    return true;
}

void TAC3::ReadEAC3Header(const unsigned char* bytes, std::size_t size) {
    TByteReader header(bytes, size);
    header.Bits(16);   // syncword
    header.Bits(2);    // stream type
    header.Bits(3);    // substream id
    const uint32_t frmsiz = static_cast<uint32_t>(header.Bits(11));
    const uint32_t fscod = static_cast<uint32_t>(header.Bits(2));
    const uint32_t fscod2OrBlocks = static_cast<uint32_t>(header.Bits(2));
    const uint32_t acmod = static_cast<uint32_t>(header.Bits(3));
    header.Bits(1);    // low-frequency effects on
    header.Bits(5);    // bsid
    isEAC3_ = true;
    if (header.Overrun()) return;

    frameSize_ = static_cast<int32_t>((frmsiz + 1) * 2);
    sampleRate_ = fscod == 3 ? kEAC3HalfRates[fscod2OrBlocks] : kEAC3SampleRates[fscod];
    blocksPerFrame_ = fscod == 3 ? 6 : kEAC3Blocks[fscod2OrBlocks];
    channels_ = kChannels[acmod];
    bitsPerSample_ = kBitsPerSample;
    const double kbps = EAC3BitRate(frameSize_, sampleRate_, blocksPerFrame_);
    bitRate_ = static_cast<uint16_t>(std::min(RoundHalfEven(kbps), int64_t{65535}));
    duration_ = kbps > 0 ? static_cast<double>(fileSize_) * 8 / 1000 / kbps : 0;
}

double EAC3BitRate(int32_t frameSize, int32_t sampleRate, int32_t blocksPerFrame) {
    if (blocksPerFrame <= 0) return 0;
    const double framesPerSecond = double(sampleRate) / (blocksPerFrame * kSamplesPerBlock);
    return frameSize * 8 * framesPerSecond / 1000;
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
