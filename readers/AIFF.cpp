#include "readers/AIFF.h"

#include "io/ByteOrder.h"
#include "io/FileStream.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

// FORM header, big-endian:
//   0  "FORM" (not checked)
//   4  size of everything after this field (BE32)
//   8  form type "AIFF"
constexpr int64_t kFormHeaderSize = 12;
constexpr int64_t kFormSizeOffset = 4;
constexpr int64_t kFormTypeOffset = 8;

// Every chunk: a 4-byte identifier and the BE32 payload size; the payload is
// padded to an even length.
constexpr int64_t kChunkHeaderSize = 8;

// The "COMM" payload, 18 bytes:
//   0  numChannels      BE16
//   2  numSampleFrames  BE32
//   6  sampleSize       BE16
//   8  sampleRate       80-bit extended, big-endian
constexpr std::size_t kCommonFieldsSize = 18;

// 80-bit extended: sign bit, 15-bit exponent biased by 16383, 64-bit
// significand with an explicit integer bit.
constexpr int kExtendedBias = 16383;
constexpr int kSignificandBits = 63;
constexpr int kExtendedMaxExponent = 0x7FFF;   // infinity and NaN

// The canonical header size the ratio compares against.
constexpr double kCanonicalHeaderSize = 54;

// Offset of the first "COMM" chunk's header, -1 when there is none. The walk
// goes to the end of the file (not only to the end the FORM size claims) and
// needs a whole chunk header; every step advances at least 8 bytes.
int64_t FindCommonChunk(TFileStream& stream) {
    const int64_t size = stream.Size();
    int64_t at = kFormHeaderSize;
    while (at <= size - kChunkHeaderSize) {
        unsigned char header[kChunkHeaderSize];
        stream.ReadZeroFilled(at, header, sizeof header);
        if (std::memcmp(header, "COMM", 4) == 0) return at;
        const uint32_t chunkSize = BE32(header + 4);
        at += kChunkHeaderSize + chunkSize + (chunkSize & 1);
    }
    return -1;
}

} // namespace

int32_t ExtendedToInt32(const unsigned char* p) {
    const bool negative = (p[0] & 0x80) != 0;
    const int exponent = ((p[0] & 0x7F) << 8) | p[1];
    const uint64_t significand = BE64(p + 2);
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
}

bool TAIFF::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        stream.Seek(0);
        const int64_t sizeOnDisk = stream.Size();

        unsigned char form[kFormHeaderSize];
        stream.ReadZeroFilled(0, form, sizeof form);
        if (std::memcmp(form + kFormTypeOffset, "AIFF", 4) != 0) return true;

        // Without a COMM chunk every field stays 0.
        unsigned char common[kCommonFieldsSize] = {};
        const int64_t commonChunk = FindCommonChunk(stream);
        if (commonChunk >= 0) stream.ReadZeroFilled(commonChunk + kChunkHeaderSize, common, sizeof common);

        valid_ = true;
        fileName_ = stream.Path();
        // A FORM size that claims more than the file holds gives way to the
        // size on disk.
        fileSize_ = std::min<int64_t>(int64_t{BE32(form + kFormSizeOffset)} + 8, sizeOnDisk);
        channels_ = static_cast<uint8_t>(BE16(common + 0) & 0xFF);
        sampleFrames_ = BE32(common + 2);
        bitsPerSample_ = static_cast<uint8_t>(BE16(common + 6) & 0xFF);
        sampleRate_ = ExtendedToInt32(common + 8);

        // Derived values; the product is formed in 64 bits and a zero sample
        // rate gives a playing time of 0.
        bitRate_ = static_cast<double>(int64_t{sampleRate_} * bitsPerSample_ * channels_) / 1000.0;
        duration_ = sampleRate_ != 0 ? static_cast<double>(sampleFrames_) / sampleRate_ : 0;
        const double bytesPerFrame = channels_ * bitsPerSample_ / 8.0;
        ratio_ = static_cast<double>(fileSize_) / (sampleFrames_ * bytesPerFrame + kCanonicalHeaderSize) * 100;
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
