#include "readers/DSF.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/PcmRatio.h"

#include <algorithm>

namespace {

// Chunk sizes count the 12-byte chunk header (ID and 64-bit size).
constexpr std::size_t kChunkHeaderSize = 12;
constexpr std::size_t kDsdChunkSize = 28;    // header, file size, metadata offset
constexpr std::size_t kFmtChunkSize = 52;
constexpr std::size_t kHeadRead = kDsdChunkSize + kFmtChunkSize + kChunkHeaderSize;
constexpr int32_t kMaxChannels = 6;          // mono to 5.1

constexpr int64_t kDsd64Rate44 = 44100 * 64;
constexpr int64_t kDsd64Rate48 = 48000 * 64;

} // namespace

std::string DsdRateName(int64_t sampleRate) {
    for (const int64_t base : {kDsd64Rate44, kDsd64Rate48}) {
        if (sampleRate >= base && sampleRate % base == 0) return "DSD" + std::to_string(sampleRate / base * 64);
    }
    return "DSD";
}

void TDSF::ResetData() {
    fileSize_ = 0;
    formatVersion_ = 0;
    formatId_ = 0;
    channelType_ = 0;
    channels_ = 0;
    sampleRate_ = 0;
    storedBits_ = 0;
    sampleCount_ = 0;
    blockSize_ = 0;
    dataSize_ = 0;
}

bool TDSF::ReadFromFile(const std::string& path) {
    TFileStream stream(path);
    return ReadFromStream(stream);
}

bool TDSF::ReadFromStream(TFileStream& stream) {
    ResetData();
    unsigned char bytes[kHeadRead] = {};
    const std::size_t got = stream.ReadZeroFilled(0, bytes, sizeof bytes);

    TByteReader dsd(bytes, got);
    if (!dsd.Expect("DSD ")) return false;
    const uint64_t dsdChunkSize = dsd.LE64();
    dsd.Skip(8);   // total file size as stated
    dsd.Skip(8);   // offset of the ID3v2 metadata, 0 without
    if (dsd.Overrun() || dsdChunkSize != kDsdChunkSize) return false;

    TByteReader fmt(bytes + kDsdChunkSize, got - std::min(got, kDsdChunkSize));
    if (!fmt.Expect("fmt ")) return false;
    const uint64_t fmtChunkSize = fmt.LE64();
    const uint32_t formatVersion = fmt.LE32();
    const uint32_t formatId = fmt.LE32();
    const uint32_t channelType = fmt.LE32();
    const uint32_t channels = fmt.LE32();
    const uint32_t sampleRate = fmt.LE32();
    const uint32_t storedBits = fmt.LE32();
    const uint64_t sampleCount = fmt.LE64();
    const uint32_t blockSize = fmt.LE32();
    fmt.Skip(4);   // reserved
    if (fmt.Overrun()) return false;

    fileSize_ = stream.Size();
    formatVersion_ = formatVersion;
    formatId_ = formatId;
    channelType_ = channelType;
    channels_ = static_cast<int32_t>(std::min<uint32_t>(channels, INT32_MAX));
    sampleRate_ = static_cast<int32_t>(std::min<uint32_t>(sampleRate, INT32_MAX));
    storedBits_ = storedBits;
    sampleCount_ = sampleCount;
    blockSize_ = blockSize;

    // The data chunk follows the fmt chunk; its size is held to the file.
    const int64_t dataAt = static_cast<int64_t>(kDsdChunkSize + std::min<uint64_t>(fmtChunkSize, fileSize_));
    unsigned char dataHeader[kChunkHeaderSize] = {};
    stream.ReadZeroFilled(dataAt, dataHeader, sizeof dataHeader);
    TByteReader data(dataHeader, sizeof dataHeader);
    if (data.Expect("data")) {
        const uint64_t dataChunkSize = data.LE64();
        const int64_t available = std::max<int64_t>(fileSize_ - dataAt - int64_t(kChunkHeaderSize), 0);
        dataSize_ = static_cast<int64_t>(
            std::min<uint64_t>(dataChunkSize - std::min<uint64_t>(dataChunkSize, kChunkHeaderSize), available));
    }
    return true;
}

// A zero count (a writer that never came back to fill it in) is taken from
// the data chunk: eight samples per byte and channel, the padding of the
// last block included.
int64_t TDSF::Samples() const {
    if (sampleCount_ > 0) return static_cast<int64_t>(std::min<uint64_t>(sampleCount_, INT64_MAX / 8));
    return channels_ > 0 ? dataSize_ * 8 / channels_ : 0;
}

double TDSF::Duration() const { return sampleRate_ > 0 ? double(Samples()) / sampleRate_ : 0.0; }

// Over the sample bytes, without the padding of the last block.
int32_t TDSF::BitRate() const {
    const double duration = Duration();
    if (!(duration > 0)) return 0;
    const double audioBytes = std::min(double(dataSize_), double(Samples()) * channels_ / 8);
    return static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(audioBytes * 8 / duration / 1000), 0, INT32_MAX));
}

bool TDSF::Valid() const {
    return channels_ >= 1 && channels_ <= kMaxChannels && (storedBits_ == 1 || storedBits_ == 8) && Duration() > 0;
}

double TDSF::Ratio() const {
    if (!Valid()) return 0;
    return PcmRatio(fileSize_, double(Samples()), sampleRate_, channels_, kBitsPerSample, kCanonicalWavHeaderBytes);
}
