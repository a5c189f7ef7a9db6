#include "readers/AIFF.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <cstring>
#include <exception>

namespace {

// FORM header, big-endian: "FORM" (not checked), the size of everything
// after the size field (BE32), the form type "AIFF" or "AIFC".
constexpr std::size_t kFormHeaderSize = 12;

// Every chunk: a 4-byte identifier and the BE32 payload size; the payload is
// padded to an even length.
constexpr int64_t kChunkHeaderSize = 8;

// The "COMM" payload: numChannels (BE16), numSampleFrames (BE32),
// sampleSize (BE16), sampleRate (80-bit extended, 10 bytes); AIFF-C adds
// compressionType (4) and compressionName (a Pascal string: length byte and
// text). 18 + 4 + 256 bytes hold the longest.
constexpr std::size_t kCommonFieldsSize = 18;
constexpr std::size_t kCommonReadSize = kCommonFieldsSize + 4 + 256;
constexpr std::size_t kExtendedSize = 10;

// The "SSND" payload starts with offset and block size (BE32 each).
constexpr int64_t kSoundDataFieldsSize = 8;

// 80-bit extended: sign bit, 15-bit exponent biased by 16383, 64-bit
// significand with an explicit integer bit.
constexpr int kExtendedBias = 16383;
constexpr int kSignificandBits = 63;
constexpr int kExtendedMaxExponent = 0x7FFF;   // infinity and NaN

// The canonical header size the ratio compares against.
constexpr double kCanonicalHeaderSize = 54;

// AIFF-C compression types that store plain samples; their bitrate follows
// from the rate, sample size and channels.
constexpr std::array<std::string_view, 10> kSampleCompressions = {
    "NONE", "sowt", "twos", "fl32", "FL32", "fl64", "FL64", "in24", "in32", "raw "};
// IMA ADPCM ("ima4") counts packets of 64 samples in numSampleFrames.
constexpr std::string_view kIma4 = "ima4";
constexpr uint64_t kIma4SamplesPerPacket = 64;

struct ChunkPlaces {
    int64_t common = -1;          // offset of the first "COMM" chunk's header
    int64_t soundData = -1;       // the same for "SSND"
    uint32_t soundDataSize = 0;
};

// The walk goes to the end of the file (not only to the end the FORM size
// claims) and needs a whole chunk header; every step advances at least 8
// bytes.
ChunkPlaces FindChunks(TFileStream& stream) {
    ChunkPlaces places;
    const int64_t size = stream.Size();
    int64_t at = kFormHeaderSize;
    while (at <= size - kChunkHeaderSize && (places.common < 0 || places.soundData < 0)) {
        unsigned char header[kChunkHeaderSize];
        stream.ReadZeroFilled(at, header, sizeof header);
        TByteReader r(header, sizeof header);
        const std::string id = r.Text(4);
        const uint32_t chunkSize = r.BE32();
        if (places.common < 0 && id == "COMM") places.common = at;
        if (places.soundData < 0 && id == "SSND") {
            places.soundData = at;
            places.soundDataSize = chunkSize;
        }
        at += kChunkHeaderSize + chunkSize + (chunkSize & 1);
    }
    return places;
}

} // namespace

int32_t ExtendedToInt32(const unsigned char* p) {
    TByteReader r(p, kExtendedSize);
    const uint16_t signAndExponent = r.BE16();
    const uint64_t significand = r.BE64();
    const bool negative = (signAndExponent & 0x8000) != 0;
    const int exponent = signAndExponent & 0x7FFF;
    if (exponent == kExtendedMaxExponent || significand == 0) return 0;

    // value = significand x 2^shift; rounded exactly in integers.
    const int shift = exponent - kExtendedBias - kSignificandBits;
    constexpr uint64_t kLimit = uint64_t{1} << 31;   // |INT32_MIN|
    uint64_t magnitude;
    if (shift >= 0) {
        if (shift > 31 || significand > (kLimit >> shift)) return 0;
        magnitude = significand << shift;
    } else if (-shift > 64) {
        magnitude = 0;   // below one half
    } else if (-shift == 64) {
        magnitude = significand > (uint64_t{1} << 63) ? 1 : 0;   // exactly one half goes to 0
    } else {
        const int right = -shift;
        magnitude = significand >> right;
        const uint64_t rest = significand & ((uint64_t{1} << right) - 1);
        const uint64_t half = uint64_t{1} << (right - 1);
        if (rest > half || (rest == half && (magnitude & 1) != 0)) ++magnitude;
    }
    if (magnitude > (negative ? kLimit : kLimit - 1)) return 0;
    return static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude));
}

void TAIFF::ResetData() {
    valid_ = false;
    fileName_.clear();
    fileSize_ = 0;
    channels_ = 0;
    sampleFrames_ = 0;
    bitsPerSample_ = 0;
    sampleRate_ = 0;
    bitRate_ = 0;
    duration_ = 0;
    ratio_ = 0;
    aifc_ = false;
    compressionType_.clear();
    compressionName_.clear();
    sampleCount_ = 0;
}

bool TAIFF::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        stream.Seek(0);
        const int64_t sizeOnDisk = stream.Size();

        unsigned char formBytes[kFormHeaderSize];
        stream.ReadZeroFilled(0, formBytes, sizeof formBytes);
        TByteReader form(formBytes, sizeof formBytes);
        form.Skip(4);                                   // "FORM"
        const uint32_t formSize = form.BE32();
        const std::string formType = form.Text(4);
        if (formType != "AIFF" && formType != "AIFC") return true;
        const bool aifc = formType == "AIFC";

        // Without a COMM chunk every field stays 0; one cut short reads as zeros.
        const ChunkPlaces places = FindChunks(stream);
        unsigned char commonBytes[kCommonReadSize] = {};
        uint32_t commonSize = 0;
        if (places.common >= 0) {
            unsigned char size[4];
            stream.ReadZeroFilled(places.common + 4, size, sizeof size);
            commonSize = TByteReader(size, sizeof size).BE32();
            stream.ReadZeroFilled(places.common + kChunkHeaderSize, commonBytes, sizeof commonBytes);
        }
        TByteReader common(commonBytes, std::min<std::size_t>(sizeof commonBytes, std::max<uint32_t>(commonSize, kCommonFieldsSize)));
        const uint16_t channels = common.BE16();
        const uint32_t frames = common.BE32();
        const uint16_t sampleSize = common.BE16();
        const unsigned char* rate = common.Here();
        common.Skip(kExtendedSize);
        std::string compressionType, compressionName;
        if (aifc) {
            compressionType = common.Text(4);
            const uint8_t nameLength = common.U8();
            compressionName = common.Text(nameLength);
            // A chunk too short for the compression fields: uncompressed.
            if (common.Overrun()) {
                compressionType = "NONE";
                compressionName.clear();
            }
        }

        valid_ = true;
        aifc_ = aifc;
        fileName_ = stream.Path();
        // A FORM size that claims more than the file holds gives way to the
        // size on disk.
        fileSize_ = std::min<int64_t>(int64_t{formSize} + 8, sizeOnDisk);
        channels_ = static_cast<uint8_t>(channels & 0xFF);
        sampleFrames_ = frames;
        bitsPerSample_ = static_cast<uint8_t>(sampleSize & 0xFF);
        sampleRate_ = ExtendedToInt32(rate);
        compressionType_ = compressionType;
        compressionName_ = Trim(compressionName);
        sampleCount_ = compressionType_ == kIma4 ? uint64_t{frames} * kIma4SamplesPerPacket : frames;

        // Derived values; the product is formed in 64 bits and a zero sample
        // rate gives a playing time of 0. A compressed AIFF-C stream's
        // bitrate comes from its sound data.
        duration_ = sampleRate_ > 0 ? static_cast<double>(sampleCount_) / sampleRate_ : 0;
        const bool samples = !aifc || std::find(kSampleCompressions.begin(), kSampleCompressions.end(),
                                                compressionType_) != kSampleCompressions.end();
        if (samples || places.soundData < 0) {
            bitRate_ = static_cast<double>(int64_t{sampleRate_} * bitsPerSample_ * channels_) / 1000.0;
        } else if (duration_ > 0) {
            const int64_t soundBytes = std::clamp<int64_t>(int64_t{places.soundDataSize} - kSoundDataFieldsSize, 0,
                                                           sizeOnDisk);
            bitRate_ = static_cast<double>(soundBytes) * 8 / duration_ / 1000.0;
        }
        const double bytesPerFrame = channels_ * bitsPerSample_ / 8.0;
        ratio_ = static_cast<double>(fileSize_) / (sampleCount_ * bytesPerFrame + kCanonicalHeaderSize) * 100;
        return true;
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

bool TAIFF::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

std::string TAIFF::FormatName() const {
    if (!aifc_) return "AIFF";
    return "AIFF-C " + (compressionName_.empty() ? compressionType_ : compressionName_);
}
