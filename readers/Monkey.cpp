#include "readers/Monkey.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
#include <array>
#include <exception>
#include <string_view>

namespace {

// Common start: "MAC " and the format version (times 1000), 16-bit.
constexpr std::size_t kStartSize = 6;
constexpr std::string_view kMarker = "MAC ";
constexpr int32_t kFirstNewLayoutVersion = 3980;

// Old header (versions below 3980), directly after the common start, 30 bytes:
// compression level 16, format flags 16, channels 16, sample rate 32, WAV
// header bytes 32, terminating bytes 32, total frames 32, final frame blocks
// 32, peak level 32.
constexpr std::size_t kOldHeaderSize = 30;

// Old-layout format flags.
constexpr uint32_t kFlag8Bit = 0x01;
constexpr uint32_t kFlagCRC = 0x04;
constexpr uint32_t kFlag24Bit = 0x08;
constexpr uint32_t kFlagSeekElements = 0x10;
constexpr uint32_t kFlagPeakLevel = 0x20;

// New layout (versions 3980 and later): a 46-byte descriptor after the common
// start: reserved 16, descriptor bytes 32 (counted from "MAC "), header bytes
// 32, seek table bytes 32, header data bytes 32, frame data bytes 32 + 32,
// terminating data bytes 32, MD5 16 bytes.
constexpr std::size_t kDescriptorSize = 46;
constexpr uint32_t kUsualDescriptorBytes = 52;

// New header, of which at most 24 bytes are read: compression level 16,
// format flags 16, blocks per frame 32, final frame blocks 32, total frames
// 32, bits per sample 16, channels 16, sample rate 32.
constexpr std::size_t kNewHeaderSize = 24;

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
    layout_ = {};
}

bool TMonkey::ReadOldHeader(TFileStream& stream) {
    unsigned char bytes[kOldHeaderSize] = {};
    TByteReader h(bytes, stream.Read(bytes, sizeof bytes));
    const uint16_t compressionLevel = h.LE16();
    const uint16_t formatFlags = h.LE16();
    const uint16_t channels = h.LE16();
    const uint32_t sampleRate = h.LE32();
    h.Skip(4);   // WAV header bytes
    h.Skip(4);   // terminating bytes
    const uint32_t totalFrames = h.LE32();
    const uint32_t finalFrameBlocks = h.LE32();
    const uint32_t peakLevel = h.LE32();
    if (h.Overrun()) return false;

    compressionLevel_ = compressionLevel;
    formatFlags_ = formatFlags;
    channels_ = channels;
    sampleRate_ = static_cast<int32_t>(sampleRate);
    bitsPerSample_ = 16;
    if (formatFlags_ & kFlag8Bit) bitsPerSample_ = 8;
    if (formatFlags_ & kFlag24Bit) bitsPerSample_ = 24;
    hasCRC_ = formatFlags_ & kFlagCRC;
    hasSeekElements_ = formatFlags_ & kFlagSeekElements;
    hasPeakLevel_ = formatFlags_ & kFlagPeakLevel;
    if (hasPeakLevel_) {
        peakLevel_ = peakLevel;
        peakRatio_ = peakLevel_ / static_cast<double>(uint64_t(1) << bitsPerSample_) / 2 * 100;
    }
    samples_ = TotalSamples(OldBlocksPerFrame(version_, compressionLevel_), totalFrames, finalFrameBlocks);
    return true;
}

bool TMonkey::ReadNewHeader(TFileStream& stream, int64_t startAt) {
    unsigned char descriptorBytes[kDescriptorSize] = {};
    TByteReader d(descriptorBytes, stream.Read(descriptorBytes, sizeof descriptorBytes));
    d.Skip(2);   // reserved
    const uint32_t descriptorLength = d.LE32();
    const uint32_t headerLength = d.LE32();
    const uint32_t seekTableLength = d.LE32();
    const uint32_t headerDataLength = d.LE32();
    const uint32_t frameDataLow = d.LE32();
    const uint32_t frameDataHigh = d.LE32();
    d.Skip(4);    // terminating data bytes
    d.Skip(16);   // MD5
    if (d.Overrun()) return false;
    // The header follows the descriptor, whose length counts from "MAC ";
    // being unsigned, it can never place the header before the marker.
    if (descriptorLength != kUsualDescriptorBytes)
        stream.Seek(int64_t(descriptorLength) - int64_t(kUsualDescriptorBytes), TFileStream::Origin::Current);

    // Fields beyond a header shorter than 24 bytes read as 0.
    const std::size_t wanted = std::min<uint32_t>(headerLength, kNewHeaderSize);
    unsigned char headerBytes[kNewHeaderSize] = {};
    if (stream.Read(headerBytes, wanted) < wanted) return false;
    TByteReader h(headerBytes, sizeof headerBytes);
    compressionLevel_ = h.LE16();
    formatFlags_ = h.LE16();
    const uint32_t blocksPerFrame = h.LE32();
    const uint32_t finalFrameBlocks = h.LE32();
    const uint32_t totalFrames = h.LE32();
    bitsPerSample_ = h.LE16();
    channels_ = h.LE16();
    sampleRate_ = static_cast<int32_t>(h.LE32());
    if (h.Overrun()) return false;
    samples_ = TotalSamples(blocksPerFrame, totalFrames, finalFrameBlocks);

    layout_.Known = true;
    layout_.StartAt = startAt;
    layout_.SeekTableAt = startAt + int64_t{descriptorLength} + headerLength;
    layout_.SeekTableBytes = seekTableLength;
    layout_.FramesAt = layout_.SeekTableAt + int64_t{seekTableLength} + headerDataLength;
    layout_.FrameDataBytes = uint64_t{frameDataHigh} << 32 | frameDataLow;
    layout_.BlocksPerFrame = blocksPerFrame;
    layout_.FinalFrameBlocks = finalFrameBlocks;
    layout_.TotalFrames = totalFrames;
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
        const int64_t startAt = id3v2_.Exists() ? id3v2_.Size() : 0;
        stream.Seek(startAt);

        unsigned char startBytes[kStartSize] = {};
        TByteReader start(startBytes, stream.Read(startBytes, sizeof startBytes));
        if (!start.Expect(kMarker)) return false;
        version_ = start.LE16();
        if (start.Overrun()) return false;
        versionText_ = FormatFixed(version_ / 1000.0, 2);

        const bool read = version_ < kFirstNewLayoutVersion ? ReadOldHeader(stream) : ReadNewHeader(stream, startAt);
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
