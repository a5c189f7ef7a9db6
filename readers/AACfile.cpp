#include "readers/AACfile.h"

#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

// Sampling-frequency index to Hz; indices 12 to 15 are reserved.
constexpr std::array<int32_t, 16> kSampleRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                                  16000, 12000, 11025, 8000,  0,     0,     0,     0};

constexpr int64_t kSamplesPerFrame = 1024;

// ADIF header, bit offsets from the start of the stream (ISO/IEC 13818-7,
// adif_header and program_config_element).
constexpr uint64_t kAdifCopyrightIdPresent = 32;   // after the 32-bit "ADIF" id
constexpr uint64_t kAdifCopyrightIdBits = 72;
constexpr uint64_t kAdifBitstreamTypeNoId = 35;    // id, that flag, original_copy, home
constexpr unsigned kAdifBitrateBits = 23;
// From the bitstream-type bit to the PCE's object type: bitstream type (1),
// bitrate (23), element count (4), [buffer fullness (20) for CBR only],
// element instance tag (4).
constexpr uint64_t kAdifObjectTypeCBR = 52;
constexpr uint64_t kAdifObjectTypeVBR = 32;
// Within the program config element, from its object type.
constexpr uint64_t kPceSamplingIndex = 2;
constexpr uint64_t kPceFrontElements = 6;
constexpr uint64_t kPceSideElements = 10;
constexpr uint64_t kPceBackElements = 14;
constexpr uint64_t kPceLfeElements = 18;

// ADTS fixed and variable header, bit offsets from the frame start. The
// frame length and buffer fullness sit at the same place for MPEG-2 and
// MPEG-4: the two emphasis bits of the first MPEG-4 edition were removed
// from ISO/IEC 14496-3 in 2002, and current encoders do not write them.
constexpr uint64_t kAdtsSync = 0;                  // 12 bits, FFF
constexpr uint64_t kAdtsId = 12;                   // 1 = MPEG-2, 0 = MPEG-4
constexpr uint64_t kAdtsProfile = 16;              // 2 bits, profile - 1
constexpr uint64_t kAdtsSamplingIndex = 18;        // 4 bits
constexpr uint64_t kAdtsChannelConfig = 23;        // 3 bits
constexpr uint64_t kAdtsFrameLength = 30;          // 13 bits, header included
constexpr uint64_t kAdtsBufferFullness = 43;       // 11 bits, 7FF = variable bitrate
constexpr uint32_t kAdtsSyncWord = 0xFFF;
constexpr uint32_t kAdtsVariableFullness = 0x7FF;

const char* const kHeaderTypeNames[] = {"Unknown", "ADIF", "ADTS"};
const char* const kMPEGVersionNames[] = {"Unknown", "MPEG-2", "MPEG-4"};
const char* const kProfileNames[] = {"Unknown", "AAC Main", "AAC LC", "AAC SSR", "AAC LTP"};
const char* const kBitRateTypeNames[] = {"Unknown", "CBR", "VBR"};

template <std::size_t N>
std::string NameOf(const char* const (&names)[N], uint8_t value) {
    return value < N ? names[value] : names[0];
}

} // namespace

// Reads fields of up to 25 bits at any bit position, most significant bit
// first. Each field is a seek and a 4-byte read on the buffered stream, so it
// costs no system call while the stream's window covers it. Bits beyond the
// end of the file read as zero.
class AACStreamReader {
public:
    AACStreamReader(TFileStream& stream, TAACfile& file) : s_(stream), f_(file) {}

    uint32_t ReadBits(uint64_t position, unsigned count) {
        unsigned char bytes[4] = {0, 0, 0, 0};
        s_.Seek(static_cast<int64_t>(position / 8));
        s_.Read(bytes, sizeof bytes);
        uint32_t value = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
        value <<= position % 8;
        return value >> (32 - count);
    }

    uint8_t DetectHeaderType(int64_t start) {
        unsigned char id[4] = {0, 0, 0, 0};
        s_.Seek(start);
        s_.Read(id, sizeof id);
        if (std::memcmp(id, "ADIF", 4) == 0) return TAACfile::kHeaderADIF;
        if (id[0] == 0xFF && (id[1] & 0xF0) == 0xF0) return TAACfile::kHeaderADTS;
        return TAACfile::kHeaderUnknown;
    }

    void ReadADIF(int64_t start) {
        const uint64_t b = uint64_t(start) * 8;
        const uint64_t q = ReadBits(b + kAdifCopyrightIdPresent, 1)
                               ? b + kAdifBitstreamTypeNoId + kAdifCopyrightIdBits
                               : b + kAdifBitstreamTypeNoId;
        f_.bitRateType_ = ReadBits(q, 1) ? TAACfile::kBitRateVBR : TAACfile::kBitRateCBR;
        f_.bitRate_ = static_cast<int32_t>(ReadBits(q + 1, kAdifBitrateBits));
        const uint64_t r = q + (f_.bitRateType_ == TAACfile::kBitRateCBR ? kAdifObjectTypeCBR : kAdifObjectTypeVBR);
        f_.mpegVersion_ = TAACfile::kMPEG4;
        f_.profile_ = static_cast<uint8_t>(ReadBits(r, 2) + 1);
        f_.sampleRate_ = kSampleRates[ReadBits(r + kPceSamplingIndex, 4)];
        f_.channels_ = static_cast<uint8_t>(ReadBits(r + kPceFrontElements, 4) + ReadBits(r + kPceSideElements, 4) +
                                            ReadBits(r + kPceBackElements, 4) + ReadBits(r + kPceLfeElements, 2));
    }

    // Walks the frames from the first header: a variable-bitrate stream to
    // its end (or to the first place without a sync word, which is counted),
    // a constant-bitrate stream for its first frame only.
    void ReadADTS(int64_t start) {
        uint64_t offset = 0;
        int64_t count = 0;
        do {
            const uint64_t c = (uint64_t(start) + offset) * 8;
            ++count;
            if (ReadBits(c + kAdtsSync, 12) != kAdtsSyncWord) break;
            f_.mpegVersion_ = ReadBits(c + kAdtsId, 1) ? TAACfile::kMPEG2 : TAACfile::kMPEG4;
            f_.profile_ = static_cast<uint8_t>(ReadBits(c + kAdtsProfile, 2) + 1);
            f_.sampleRate_ = kSampleRates[ReadBits(c + kAdtsSamplingIndex, 4)];
            f_.channels_ = static_cast<uint8_t>(ReadBits(c + kAdtsChannelConfig, 3));
            const uint32_t frameLength = ReadBits(c + kAdtsFrameLength, 13);
            offset += frameLength;
            f_.bitRateType_ = ReadBits(c + kAdtsBufferFullness, 11) == kAdtsVariableFullness ? TAACfile::kBitRateVBR
                                                                                              : TAACfile::kBitRateCBR;
            if (f_.bitRateType_ == TAACfile::kBitRateCBR) break;
            // A frame length of 0 would read the same header for ever.
            if (frameLength == 0) break;
        } while (uint64_t(start) + offset < uint64_t(f_.fileSize_));
        f_.frameCount_ = count;
        const double bitRate = double(offset) * 8 / kSamplesPerFrame / double(count) * f_.sampleRate_;
        f_.bitRate_ = static_cast<int32_t>(std::min<int64_t>(RoundHalfEven(bitRate), std::numeric_limits<int32_t>::max()));
    }

private:
    TFileStream& s_;
    TAACfile& f_;
};

void TAACfile::ResetData() {
    fileSize_ = 0;
    headerType_ = kHeaderUnknown;
    mpegVersion_ = kMPEGUnknown;
    profile_ = kProfileUnknown;
    channels_ = 0;
    sampleRate_ = 0;
    bitRate_ = 0;
    bitRateType_ = kBitRateUnknown;
    frameCount_ = 0;
    id3v1_.ResetData();
    id3v2_.ResetData();
    apeTag_.ResetData();
}

bool TAACfile::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        if (!id3v2_.ReadFromStream(stream) || !id3v1_.ReadFromStream(stream) || !apeTag_.ReadFromStream(stream)) return false;
        stream.Seek(0);
        fileSize_ = stream.Size();
        AACStreamReader reader(stream, *this);
        const int64_t start = std::max<int32_t>(0, id3v2_.Size());
        headerType_ = reader.DetectHeaderType(start);
        if (headerType_ == kHeaderADIF) reader.ReadADIF(start);
        else if (headerType_ == kHeaderADTS) reader.ReadADTS(start);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TAACfile::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

bool TAACfile::Valid() const { return headerType_ != kHeaderUnknown && channels_ != 0 && sampleRate_ > 0 && bitRate_ > 0; }

// Stream bytes (all after the ID3v2 tag) over the bitrate.
double TAACfile::Duration() const {
    if (bitRate_ == 0) return 0;
    return double(fileSize_ - std::max<int32_t>(0, id3v2_.Size())) * 8 / bitRate_;
}

// File size against a canonical 16-bit PCM WAV file (44-byte header). A
// variable-bitrate ADTS stream was walked frame by frame, so its frames give
// the sample count (1024 each); ADIF and constant-bitrate ADTS streams are
// not walked, and their sample count comes from the playing time.
double TAACfile::Ratio() const {
    if (!Valid()) return 0;
    const bool framesCounted = headerType_ == kHeaderADTS && bitRateType_ == kBitRateVBR;
    const double samples = framesCounted ? double(frameCount_) * kSamplesPerFrame : Duration() * sampleRate_;
    return double(fileSize_) / (samples * (channels_ * 16 / 8) + 44) * 100;
}

std::string TAACfile::HeaderTypeName() const { return NameOf(kHeaderTypeNames, headerType_); }
std::string TAACfile::MPEGVersionName() const { return NameOf(kMPEGVersionNames, mpegVersion_); }
std::string TAACfile::ProfileName() const { return NameOf(kProfileNames, profile_); }
std::string TAACfile::BitRateTypeName() const { return NameOf(kBitRateTypeNames, bitRateType_); }
