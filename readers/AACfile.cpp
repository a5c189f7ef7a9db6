#include "readers/AACfile.h"

#include "io/ByteReader.h"
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

// ADIF header (ISO/IEC 13818-7 adif_header): "ADIF", copyright_id_present
// (1) and the 72-bit copyright_id, original_copy (1), home (1),
// bitstream_type (1, 1 = variable rate), bitrate (23),
// num_program_config_elements (4), then per element the 20-bit buffer
// fullness (constant rate only) and the program config element.
constexpr std::size_t kAdifReadSize = 128;
constexpr unsigned kAdifCopyrightIdBits = 72;
constexpr unsigned kAdifBitrateBits = 23;
constexpr unsigned kAdifBufferFullnessBits = 20;

// ADTS header (7 bytes, 9 with a CRC): syncword (12, FFF), ID (1, 1 =
// MPEG-2), layer (2), protection_absent (1), profile (2, profile - 1),
// sampling_frequency_index (4), private (1), channel_configuration (3),
// original/copy, home, copyright id bit and start (4), frame_length (13,
// header included), buffer_fullness (11, 7FF = variable rate),
// number_of_raw_data_blocks (2). The frame length and buffer fullness sit at
// the same place for MPEG-2 and MPEG-4: the two emphasis bits of the first
// MPEG-4 edition were removed from ISO/IEC 14496-3 in 2002, and current
// encoders do not write them.
constexpr std::size_t kAdtsHeaderSize = 7;
constexpr std::size_t kAdtsCrcSize = 2;
constexpr uint32_t kAdtsSyncWord = 0xFFF;
constexpr uint32_t kAdtsVariableFullness = 0x7FF;

// HE-AAC in ADTS: the header announces the core (LC) stream; the SBR data
// rides in a fill element (ID_FIL, 6) at the end of each frame's raw data
// block, before ID_END (7) and the zero bits up to the byte boundary:
// ID_FIL (3), count (4; 15: an 8-bit escape adds count - 1 more), then
// count bytes of extension payload starting with its 4-bit type,
// EXT_SBR_DATA (13) or EXT_SBR_DATA_CRC (14). Fill elements of other types
// (padding) may follow it and are stepped over backwards.
constexpr unsigned kElementIdBits = 3;
constexpr uint32_t kIdFill = 6, kIdEnd = 7;
constexpr uint32_t kExtSbrData = 13, kExtSbrDataCrc = 14, kExtFill = 0, kExtFillData = 1;
constexpr unsigned kMaxFillBytes = 15 + 255 - 1;
// Frames examined and how many must carry SBR data (chance matches in a
// plain LC frame are rare; in three frames they do not happen).
constexpr int kSbrFramesExamined = 8;
constexpr int kSbrFramesNeeded = 3;

const char* const kHeaderTypeNames[] = {"Unknown", "ADIF", "ADTS"};
const char* const kMPEGVersionNames[] = {"Unknown", "MPEG-2", "MPEG-4"};
const char* const kProfileNames[] = {"Unknown", "AAC Main", "AAC LC", "AAC SSR", "AAC LTP", "HE-AAC"};
const char* const kBitRateTypeNames[] = {"Unknown", "CBR", "VBR"};

template <std::size_t N>
std::string NameOf(const char* const (&names)[N], uint8_t value) {
    return value < N ? names[value] : names[0];
}

} // namespace

namespace {

// count bits (at most 32) of a frame from a bit position, most significant
// first; false when the range leaves the frame.
bool BitsAt(const std::string& frame, std::size_t bit, unsigned count, uint32_t& value) {
    TByteReader r(frame);
    r.Seek(bit / 8);
    r.Bits(static_cast<unsigned>(bit % 8));
    value = static_cast<uint32_t>(r.Bits(count));
    return !r.Overrun();
}

// True when the raw data block of an ADTS frame (its bytes after the
// header) ends with a fill element carrying SBR data. Found backwards from
// ID_END: for each possible payload length, the element's ID and count
// must agree with it.
bool EndsWithSbrData(const std::string& block) {
    // Step over the zero bits up to the byte boundary (and any zero bytes).
    std::size_t end = block.size() * 8;
    uint32_t bit = 0;
    while (end > 0 && BitsAt(block, end - 1, 1, bit) && bit == 0) --end;
    uint32_t id = 0;
    if (end < kElementIdBits || !BitsAt(block, end - kElementIdBits, kElementIdBits, id) || id != kIdEnd) return false;
    std::size_t elementEnd = end - kElementIdBits;
    for (int fills = 0; fills < 4; ++fills) {
        bool found = false;
        for (unsigned bytes = 1; bytes <= kMaxFillBytes && !found; ++bytes) {
            const std::size_t lengthBits = 4 + (bytes >= 15 ? 8 : 0);
            const std::size_t elementBits = kElementIdBits + lengthBits + 8 * std::size_t{bytes};
            if (elementBits > elementEnd) break;
            const std::size_t start = elementEnd - elementBits;
            uint32_t elementId = 0, count = 0, escape = 0, type = 0;
            BitsAt(block, start, kElementIdBits, elementId);
            BitsAt(block, start + kElementIdBits, 4, count);
            if (elementId != kIdFill) continue;
            if (bytes >= 15) {
                BitsAt(block, start + kElementIdBits + 4, 8, escape);
                if (count != 15 || 15 + escape - 1 != bytes) continue;
            } else if (count != bytes) {
                continue;
            }
            BitsAt(block, start + kElementIdBits + lengthBits, 4, type);
            if (type == kExtSbrData || type == kExtSbrDataCrc) return true;
            if (type != kExtFill && type != kExtFillData) continue;
            elementEnd = start;   // padding: the SBR element may come before it
            found = true;
        }
        if (!found) return false;
    }
    return false;
}

} // namespace

// Reads the stream's headers through the buffered file stream: each header
// is read once (zero-filled beyond the end of the file) and parsed in order.
class AACStreamReader {
public:
    AACStreamReader(TFileStream& stream, TAACfile& file) : s_(stream), f_(file) {}

    uint8_t DetectHeaderType(int64_t start) {
        unsigned char id[4];
        s_.ReadZeroFilled(start, id, sizeof id);
        TByteReader r(id, sizeof id);
        if (r.Expect("ADIF")) return TAACfile::kHeaderADIF;
        if (r.Bits(12) == kAdtsSyncWord) return TAACfile::kHeaderADTS;
        return TAACfile::kHeaderUnknown;
    }

    void ReadADIF(int64_t start) {
        unsigned char bytes[kAdifReadSize];
        s_.ReadZeroFilled(start, bytes, sizeof bytes);
        TByteReader r(bytes, sizeof bytes);
        r.Skip(4);                                       // "ADIF"
        if (r.Flag()) r.Bits(kAdifCopyrightIdBits);      // copyright_id
        r.Bits(1);                                       // original_copy
        r.Bits(1);                                       // home
        const bool variable = r.Flag();                  // bitstream_type
        const auto bitRate = static_cast<int32_t>(r.Bits(kAdifBitrateBits));
        r.Bits(4);                                       // program config elements - 1
        if (!variable) r.Bits(kAdifBufferFullnessBits);
        const TProgramConfig pce = ReadProgramConfig(r);
        f_.bitRateType_ = variable ? TAACfile::kBitRateVBR : TAACfile::kBitRateCBR;
        f_.bitRate_ = bitRate;
        f_.mpegVersion_ = TAACfile::kMPEG4;
        f_.profile_ = static_cast<uint8_t>(pce.objectType + 1);
        f_.sampleRate_ = kSampleRates[pce.samplingIndex & 0xF];
        f_.channels_ = pce.channels;
    }

    // Walks the frames from the first header: a variable-bitrate stream to
    // its end (or to the first place without a sync word, which is counted),
    // a constant-bitrate stream for its first frame only.
    void ReadADTS(int64_t start) {
        uint64_t offset = 0;
        int64_t count = 0;
        do {
            unsigned char bytes[kAdtsHeaderSize];
            s_.ReadZeroFilled(static_cast<int64_t>(uint64_t(start) + offset), bytes, sizeof bytes);
            TByteReader h(bytes, sizeof bytes);
            ++count;
            const auto sync = static_cast<uint32_t>(h.Bits(12));
            const bool mpeg2 = h.Flag();                 // ID
            h.Bits(2);                                   // layer
            h.Bits(1);                                   // protection_absent
            const auto profile = static_cast<uint8_t>(h.Bits(2));
            const auto samplingIndex = static_cast<uint32_t>(h.Bits(4));
            h.Bits(1);                                   // private bit
            const auto channels = static_cast<uint8_t>(h.Bits(3));
            h.Bits(4);                                   // original/copy, home, copyright bits
            const auto frameLength = static_cast<uint32_t>(h.Bits(13));
            const auto fullness = static_cast<uint32_t>(h.Bits(11));
            if (sync != kAdtsSyncWord) break;
            f_.mpegVersion_ = mpeg2 ? TAACfile::kMPEG2 : TAACfile::kMPEG4;
            f_.profile_ = static_cast<uint8_t>(profile + 1);
            f_.sampleRate_ = kSampleRates[samplingIndex];
            f_.channels_ = channels;
            offset += frameLength;
            f_.bitRateType_ = fullness == kAdtsVariableFullness ? TAACfile::kBitRateVBR : TAACfile::kBitRateCBR;
            if (f_.bitRateType_ == TAACfile::kBitRateCBR) break;
            // A frame length of 0 would read the same header for ever.
            if (frameLength == 0) break;
        } while (uint64_t(start) + offset < uint64_t(f_.fileSize_));
        f_.frameCount_ = count;
        const double bitRate = double(offset) * 8 / kSamplesPerFrame / double(count) * f_.sampleRate_;
        f_.bitRate_ = static_cast<int32_t>(std::min<int64_t>(RoundHalfEven(bitRate), std::numeric_limits<int32_t>::max()));
        f_.coreSampleRate_ = f_.sampleRate_;
        if (f_.profile_ == TAACfile::kProfileLC && f_.sampleRate_ > 0 && HasSbrData(start)) {
            f_.profile_ = TAACfile::kProfileHE;
            f_.sampleRate_ *= 2;
        }
    }

    // Looks at the first frames (one raw data block each) for SBR data.
    bool HasSbrData(int64_t start) {
        int64_t at = start;
        int examined = 0, found = 0;
        while (examined < kSbrFramesExamined && at < f_.fileSize_) {
            unsigned char bytes[kAdtsHeaderSize];
            s_.ReadZeroFilled(at, bytes, sizeof bytes);
            TByteReader h(bytes, sizeof bytes);
            const auto sync = h.Bits(12);
            h.Bits(3);                                   // ID, layer
            const bool noCrc = h.Flag();
            h.Bits(14);                                  // profile to the copyright bits
            const auto frameLength = static_cast<uint32_t>(h.Bits(13));
            h.Bits(11);                                  // buffer fullness
            const auto blocks = h.Bits(2);
            const std::size_t headerSize = kAdtsHeaderSize + (noCrc ? 0 : kAdtsCrcSize);
            if (sync != kAdtsSyncWord || frameLength <= headerSize || at + frameLength > f_.fileSize_) break;
            ++examined;
            if (blocks == 0) {
                std::string block(frameLength - headerSize, '\0');
                s_.ReadZeroFilled(at + static_cast<int64_t>(headerSize), block.data(), block.size());
                if (EndsWithSbrData(block)) ++found;
            }
            at += frameLength;
        }
        return examined > 0 && found >= std::min(examined, kSbrFramesNeeded);
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
    coreSampleRate_ = 0;
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
    // An HE-AAC frame gives 2048 output samples.
    const int64_t samplesPerFrame = profile_ == kProfileHE ? 2 * kSamplesPerFrame : kSamplesPerFrame;
    const double samples = framesCounted ? double(frameCount_) * samplesPerFrame : Duration() * sampleRate_;
    return double(fileSize_) / (samples * (channels_ * 16 / 8) + 44) * 100;
}

std::string TAACfile::HeaderTypeName() const { return NameOf(kHeaderTypeNames, headerType_); }
std::string TAACfile::MPEGVersionName() const { return NameOf(kMPEGVersionNames, mpegVersion_); }
std::string TAACfile::ProfileName() const { return NameOf(kProfileNames, profile_); }
std::string TAACfile::BitRateTypeName() const { return NameOf(kBitRateTypeNames, bitRateType_); }

TProgramConfig ReadProgramConfig(TByteReader& r) {
    TProgramConfig pce;
    r.Bits(4);                                   // element instance tag
    pce.objectType = static_cast<uint8_t>(r.Bits(2));
    pce.samplingIndex = static_cast<uint8_t>(r.Bits(4));
    const auto front = static_cast<unsigned>(r.Bits(4));
    const auto side = static_cast<unsigned>(r.Bits(4));
    const auto back = static_cast<unsigned>(r.Bits(4));
    const auto lfe = static_cast<unsigned>(r.Bits(2));
    r.Bits(3);                                   // associated data elements
    r.Bits(4);                                   // valid coupling channel elements
    if (r.Flag()) r.Bits(4);                     // mono mixdown element number
    if (r.Flag()) r.Bits(4);                     // stereo mixdown element number
    if (r.Flag()) r.Bits(3);                     // matrix mixdown index, pseudo surround
    unsigned channels = lfe;
    for (unsigned i = 0; i < front + side + back; ++i) {
        const bool pair = r.Flag();              // is_cpe
        r.Bits(4);                               // element tag
        channels += pair ? 2 : 1;
    }
    pce.channels = r.Overrun() ? 0 : static_cast<uint8_t>(channels);
    return pce;
}
