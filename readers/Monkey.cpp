#include "readers/Monkey.h"

#include "io/ByteOrder.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <array>
#include <cstring>
#include <exception>

namespace {

// Common start: "MAC " and the format version (times 1000).
constexpr std::size_t kStartSize = 6;
constexpr std::size_t kStartVersion = 4;
constexpr int32_t kFirstNewLayoutVersion = 3980;

// Old header (versions below 3980), directly after the common start.
constexpr std::size_t kOldHeaderSize = 30;
constexpr std::size_t kOldCompressionLevel = 0;   // 16-bit
constexpr std::size_t kOldFormatFlags = 2;        // 16-bit
constexpr std::size_t kOldChannels = 4;           // 16-bit
constexpr std::size_t kOldSampleRate = 6;         // 32-bit
// 10: WAV header bytes, 14: terminating bytes (not used)
constexpr std::size_t kOldTotalFrames = 18;       // 32-bit
constexpr std::size_t kOldFinalFrameBlocks = 22;  // 32-bit
constexpr std::size_t kOldPeakLevel = 26;         // 32-bit

// Old-layout format flags.
constexpr uint32_t kFlag8Bit = 0x01;
constexpr uint32_t kFlagCRC = 0x04;
constexpr uint32_t kFlag24Bit = 0x08;
constexpr uint32_t kFlagSeekElements = 0x10;
constexpr uint32_t kFlagPeakLevel = 0x20;

// New layout (versions 3980 and later): descriptor after the common start.
constexpr std::size_t kDescriptorSize = 46;
// 0: reserved (16-bit)
constexpr std::size_t kDescDescriptorBytes = 2;   // 32-bit, counted from "MAC "
constexpr std::size_t kDescHeaderBytes = 6;       // 32-bit
// 10: seek table bytes, 14: header data bytes, 18/22: frame data bytes,
// 26: terminating data bytes, 30: MD5 (not used)
constexpr uint32_t kUsualDescriptorBytes = 52;

// New header, at most 24 bytes are read.
constexpr std::size_t kNewHeaderSize = 24;
constexpr std::size_t kNewCompressionLevel = 0;   // 16-bit
constexpr std::size_t kNewFormatFlags = 2;        // 16-bit
constexpr std::size_t kNewBlocksPerFrame = 4;     // 32-bit
constexpr std::size_t kNewFinalFrameBlocks = 8;   // 32-bit
constexpr std::size_t kNewTotalFrames = 12;       // 32-bit
constexpr std::size_t kNewBitsPerSample = 16;     // 16-bit
constexpr std::size_t kNewChannels = 18;          // 16-bit
constexpr std::size_t kNewSampleRate = 20;        // 32-bit

constexpr std::array<const char*, 7> kCompressionNames = {
    "Unknown", "Fast", "Normal", "High", "Extra High", "Insane", "BrainDead"};

// Blocks per frame of the old layout, by version and compression level.
uint64_t OldBlocksPerFrame(int32_t version, int32_t compressionLevel) {
    if (version >= 3950) return 294912;
    if (version >= 3900 || (version >= 3800 && compressionLevel == 4000)) return 73728;
    return 9216;
}

uint64_t TotalSamples(uint64_t blocksPerFrame, uint32_t totalFrames, uint32_t finalFrameBlocks) {
    if (totalFrames == 0) return 0;
    return (totalFrames - 1) * blocksPerFrame + finalFrameBlocks;
}

std::string CompressionTextOf(int32_t level) {
    if (level % 1000 == 0 && level >= 0 && level <= 6000) return kCompressionNames[level / 1000];
    return std::to_string(level);
}

} // namespace

void TMonkey::ResetData() {
    id3v1_.ResetData();
    id3v2_.ResetData();
    apeTag_.ResetData();
    valid_ = false;
    version_ = 0;
    versionText_.clear();
    channels_ = 0;
    sampleRate_ = 0;
    bitsPerSample_ = 0;
    peakLevel_ = 0;
    peakRatio_ = 0;
    samples_ = 0;
    bitRate_ = 0;
    duration_ = 0;
    compressionLevel_ = 0;
    compressionText_.clear();
    formatFlags_ = 0;
    hasPeakLevel_ = false;
    hasCRC_ = false;
    hasSeekElements_ = false;
    fileSize_ = 0;
}

bool TMonkey::ReadOldHeader(TFileStream& stream) {
    unsigned char h[kOldHeaderSize] = {};
    if (stream.Read(h, sizeof h) < sizeof h) return false;
    compressionLevel_ = LE16(h + kOldCompressionLevel);
    formatFlags_ = LE16(h + kOldFormatFlags);
    channels_ = LE16(h + kOldChannels);
    sampleRate_ = static_cast<int32_t>(LE32(h + kOldSampleRate));

    bitsPerSample_ = 16;
    if (formatFlags_ & kFlag8Bit) bitsPerSample_ = 8;
    if (formatFlags_ & kFlag24Bit) bitsPerSample_ = 24;
    hasCRC_ = formatFlags_ & kFlagCRC;
    hasSeekElements_ = formatFlags_ & kFlagSeekElements;
    hasPeakLevel_ = formatFlags_ & kFlagPeakLevel;
    if (hasPeakLevel_) {
        peakLevel_ = LE32(h + kOldPeakLevel);
        peakRatio_ = peakLevel_ / static_cast<double>(uint64_t(1) << bitsPerSample_) / 2 * 100;
    }
    samples_ = TotalSamples(OldBlocksPerFrame(version_, compressionLevel_), LE32(h + kOldTotalFrames),
                            LE32(h + kOldFinalFrameBlocks));
    return true;
}

bool TMonkey::ReadNewHeader(TFileStream& stream) {
    unsigned char d[kDescriptorSize] = {};
    if (stream.Read(d, sizeof d) < sizeof d) return false;
    // The header follows the descriptor, whose length counts from "MAC ";
    // being unsigned, it can never place the header before the marker.
    const uint32_t descriptorBytes = LE32(d + kDescDescriptorBytes);
    if (descriptorBytes != kUsualDescriptorBytes)
        stream.Seek(int64_t(descriptorBytes) - int64_t(kUsualDescriptorBytes), TFileStream::Origin::Current);

    const std::size_t headerBytes = std::min<uint32_t>(LE32(d + kDescHeaderBytes), kNewHeaderSize);
    unsigned char h[kNewHeaderSize] = {};   // fields beyond a shorter header read as 0
    if (stream.Read(h, headerBytes) < headerBytes) return false;

    compressionLevel_ = LE16(h + kNewCompressionLevel);
    formatFlags_ = LE16(h + kNewFormatFlags);
    bitsPerSample_ = LE16(h + kNewBitsPerSample);
    channels_ = LE16(h + kNewChannels);
    sampleRate_ = static_cast<int32_t>(LE32(h + kNewSampleRate));
    samples_ = TotalSamples(LE32(h + kNewBlocksPerFrame), LE32(h + kNewTotalFrames), LE32(h + kNewFinalFrameBlocks));
    return true;
}

bool TMonkey::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        id3v2_.ReadFromStream(stream);
        id3v1_.ReadFromStream(stream);
        apeTag_.ReadFromStream(stream);
        int64_t tagBytes = 0;
        if (id3v1_.Exists()) tagBytes += 128;
        if (id3v2_.Exists()) tagBytes += id3v2_.Size();
        if (apeTag_.Exists()) tagBytes += apeTag_.Size();

        stream.Seek(0);
        fileSize_ = stream.Size();
        if (id3v2_.Exists()) stream.Seek(id3v2_.Size());

        unsigned char start[kStartSize] = {};
        if (stream.Read(start, sizeof start) < sizeof start || std::memcmp(start, "MAC ", 4) != 0) return false;
        version_ = LE16(start + kStartVersion);
        versionText_ = FormatFixed(version_ / 1000.0, 2);

        const bool read = version_ < kFirstNewLayoutVersion ? ReadOldHeader(stream) : ReadNewHeader(stream);
        if (!read) return false;

        compressionText_ = CompressionTextOf(compressionLevel_);
        if (sampleRate_ > 0) duration_ = static_cast<double>(samples_) / sampleRate_;
        if (duration_ > 0) bitRate_ = static_cast<double>(fileSize_ - tagBytes) * 8 / (duration_ / 1000);
        valid_ = bitsPerSample_ > 0 && sampleRate_ > 0 && samples_ > 0 && channels_ > 0;
        return valid_;
    } catch (const std::exception&) {
        return false;
    }
}

bool TMonkey::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

double TMonkey::Ratio() const {
    if (!valid_) return 0;
    // Reference: a PCM WAV file with a 44-byte header.
    const int64_t bitsPerFrame = int64_t(channels_) * bitsPerSample_;
    return static_cast<double>(fileSize_) / (static_cast<double>(samples_) * (bitsPerFrame / 8.0) + 44) * 100;
}
