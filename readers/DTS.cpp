#include "readers/DTS.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"

#include <array>

namespace {

// DTS core frame header, bit positions from the most significant bit of
// byte 0 (ETSI TS 102 114, 5.3.1):
//    0  SYNC    32  0x7FFE8001
//   32  FTYPE    1
//   33  SHORT    5
//   38  CPF      1  header CRC present
//   39  NBLKS    7
//   46  FSIZE   14
//   60  AMODE    6  channel arrangement
//   66  SFREQ    4  sample-rate code
//   70  RATE     5  bitrate code
//   75  MIX, DYNF, TIMEF, AUXF, HDCD, EXT_AUDIO_ID, EXT_AUDIO, ASPF, LFF, HFLAG
//   88  HCRC    16  only when CPF is set
//   then FILTS 1, VERNUM 4, CHIST 2, PCMR 3 (source resolution): PCMR lies at
//   bit 111 with the CRC and at bit 95 without it.
constexpr std::size_t kHeaderSize = 15;
constexpr uint32_t kSync = 0x7FFE8001;
constexpr unsigned kFlagsBits = 13;   // MIX to HFLAG

// Channels by AMODE 0 to 15 (16 and above are user defined: 0). The
// low-frequency-effects channel is not counted.
constexpr std::array<int32_t, 16> kChannels = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};

// Hz by SFREQ; the invalid codes give 0.
constexpr std::array<int32_t, 16> kSampleRates = {
    0, 8000, 16000, 32000, 0, 0, 11025, 22050, 44100, 0, 0, 12000, 24000, 48000, 0, 0};

// kbit/s by RATE: the nominal rate shown, and the rate the frames really use
// (768 and 1536 stand for 754.5 and 1509.75). Codes 29 (open), 30 (variable)
// and 31 (lossless) carry no rate and are kept as 0, -1 and 1.
constexpr std::array<int32_t, 32> kBitRates = {
    32,   56,   64,   96,   112,  128,  192,  224,  256,  320,  384,
    448,  512,  576,  640,  768,  960,  1024, 1152, 1280, 1344, 1408,
    1411, 1472, 1536, 1920, 2048, 3072, 3840, 0,    -1,   1};
constexpr std::array<double, 32> kExactBitRates = {
    32,   56,   64,   96,   112,  128,  192,  224,  256,  320,  384,
    448,  512,  576,  640,  754.5, 960, 1024, 1152, 1280, 1344, 1408,
    1411, 1472, 1509.75, 1920, 2048, 3072, 3840, 0, -1, 1};

// Bits per sample by PCMR: 16, 16 (ES), 20, 20 (ES), 24, 24 (ES), and the
// invalid codes 6 and 7 as 16.
constexpr std::array<int32_t, 8> kBitsPerSample = {16, 16, 20, 20, 24, 24, 16, 16};

constexpr double kCanonicalHeaderSize = 44;

} // namespace

void TDTS::ResetData() {
    fileSize_ = 0;
    valid_ = false;
    channels_ = 0;
    bitsPerSample_ = 0;
    sampleRate_ = 0;
    bitRate_ = 0;
    exactBitRate_ = 0;
    duration_ = 0;
}

bool TDTS::ReadFromStream(TFileStream& stream) {
    ResetData();
    stream.Seek(0);
    // Bytes beyond the end of a short file read as zero.
    std::array<unsigned char, kHeaderSize> bytes{};
    const std::size_t got = stream.Read(bytes.data(), bytes.size());
    TByteReader h(bytes.data(), bytes.size());
    if (got < 4 || h.BE32() != kSync) return false;
    h.Bits(1);   // FTYPE
    h.Bits(5);   // SHORT
    const bool hasCrc = h.Flag();   // CPF
    h.Bits(7);   // NBLKS
    h.Bits(14);   // FSIZE
    const unsigned amode = static_cast<unsigned>(h.Bits(6));
    const unsigned sfreq = static_cast<unsigned>(h.Bits(4));
    const unsigned rate = static_cast<unsigned>(h.Bits(5));
    h.Bits(kFlagsBits);
    if (hasCrc) h.Bits(16);   // HCRC
    h.Bits(1);   // FILTS
    h.Bits(4);   // VERNUM
    h.Bits(2);   // CHIST
    const unsigned pcmr = static_cast<unsigned>(h.Bits(3));
    if (h.Overrun()) return false;
    fileSize_ = stream.Size();
    valid_ = true;
    channels_ = amode < kChannels.size() ? kChannels[amode] : 0;
    sampleRate_ = kSampleRates[sfreq];
    bitRate_ = kBitRates[rate];
    exactBitRate_ = kExactBitRates[rate];
    bitsPerSample_ = kBitsPerSample[pcmr];
    // The open rate (0) and the negative marker leave no playing time.
    duration_ = exactBitRate_ > 0 ? static_cast<double>(fileSize_) * 8 / 1000 / exactBitRate_ : 0;
    return true;
}

bool TDTS::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

double TDTS::Ratio() const {
    if (!valid_) return 0;
    const double pcmBytes = sampleRate_ * duration_ * (channels_ * bitsPerSample_ / 8.0);
    return static_cast<double>(fileSize_) / (pcmBytes + kCanonicalHeaderSize) * 100;
}
