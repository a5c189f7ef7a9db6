#include "readers/WAVPackFile.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

bool Is(const unsigned char* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// Version 4 block header (32 bytes, little-endian): "wvpk", the block size
// (bytes after this field), version (format version in the high byte), the
// high bytes of block index and total samples (not used), total samples,
// block index, block samples, flags, CRC.
constexpr std::size_t kBlockHeaderSize = 32;
constexpr int64_t kBlockSizeBase = 8;   // the block size counts from byte 8

// The format marks a total sample count that was not known when the file was
// written (a stream piped through the encoder) as 0xFFFFFFFF.
constexpr uint32_t kUnknownTotalSamples = 0xFFFFFFFF;

// Version 4 flags.
constexpr uint32_t kFlagBytesPerSample = 0x3;   // bytes per sample - 1
constexpr uint32_t kFlagMono = 0x4;
constexpr uint32_t kFlagHybrid = 0x8;
constexpr uint32_t kFlagRateMask = 0x0F800000;
constexpr int kFlagRateShift = 23;
constexpr uint32_t kFlagDSD = 0x80000000;       // WavPack 5: 1-bit DSD audio
constexpr std::array<int32_t, 15> kSampleRates = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                                  32000, 44100, 48000, 64000, 88200, 96000, 192000};
constexpr int32_t kDefaultSampleRate = 44100;
// DSD blocks store a byte (8 one-bit samples) per sample.
constexpr int kDSDBitsPerStoredSample = 8;

// Metadata sub-blocks after the block header: an id byte, then a word count
// of 3 bytes when the id has its large flag, else of 1 byte; the data is
// twice the word count long, one byte less with the odd-size flag.
constexpr uint8_t kSubBlockLarge = 0x80;
constexpr uint8_t kSubBlockOddSize = 0x40;
constexpr uint8_t kSubBlockIdMask = 0x3F;       // with the optional-data flag 0x20
constexpr uint8_t kSubBlockChannelInfo = 0x0D;  // channel count, channel mask
constexpr uint8_t kSubBlockDSD = 0x0E;          // rate shift, then the DSD audio
constexpr uint8_t kSubBlockConfiguration = 0x25;
constexpr uint8_t kSubBlockSampleRate = 0x27;   // for rates without an index
constexpr std::size_t kSubBlockDataKept = 8;    // bytes of a sub-block's data read

// Configuration sub-block, first byte: the mode bits of the encoder's
// configuration word shifted down by 8.
constexpr uint8_t kConfigVeryHigh = 0x10;
// Third byte: extra processing.
constexpr uint8_t kConfigExtraMask = 0x03;
constexpr uint8_t kConfigExtra = 0x02;

// The last block of a file whose total is unknown is looked for this far
// back from the end.
constexpr int64_t kLastBlockSearch = 4 << 20;
constexpr int64_t kSearchChunk = 64 * 1024;
constexpr uint16_t kMinBlockVersion = 0x402;
constexpr uint16_t kMaxBlockVersion = 0x410;

struct BlockHeader {
    int64_t offset = 0;
    uint32_t blockSize = 0;
    uint16_t version = 0;
    uint32_t totalSamples = 0;
    uint32_t blockIndex = 0;
    uint32_t blockSamples = 0;
    uint32_t flags = 0;

    int64_t End() const { return offset + kBlockSizeBase + blockSize; }
};

bool ParseBlockHeader(const unsigned char* data, std::size_t size, int64_t offset, BlockHeader& block) {
    TByteReader h(data, size);
    if (!h.Expect("wvpk")) return false;
    block.offset = offset;
    block.blockSize = h.LE32();
    block.version = h.LE16();
    h.Skip(1);                       // block index, bits 32-39
    h.Skip(1);                       // total samples, bits 32-39
    block.totalSamples = h.LE32();
    block.blockIndex = h.LE32();
    block.blockSamples = h.LE32();
    block.flags = h.LE32();
    h.Skip(4);                       // CRC
    return !h.Overrun();
}

// What the metadata sub-blocks of the first block tell.
struct SubBlockFacts {
    bool haveConfiguration = false;
    uint8_t config0 = 0, config2 = 0;
    int32_t channels = 0;            // 0: no channel-info sub-block
    int32_t sampleRate = 0;          // 0: no sample-rate sub-block
    int rateShift = 0;               // DSD: log2 of the rate multiplier
};

// Walks the metadata sub-blocks from the stream position to the end of the
// block: sub-blocks never run on past it (the audio of the next block or a
// tag follows). A sub-block that would cross the end ends the walk.
SubBlockFacts ReadSubBlocks(TFileStream& stream, int64_t blockEnd) {
    SubBlockFacts facts;
    int64_t position = stream.Position();
    while (position + 2 <= blockEnd) {
        std::array<unsigned char, 4> head{};
        stream.Seek(position);
        stream.Read(head.data(), head.size());
        TByteReader h(head.data(), head.size());
        const uint8_t id = h.U8();
        const uint32_t words = (id & kSubBlockLarge) ? h.LE24() : h.U8();
        const int64_t dataStart = position + int64_t(h.Position());
        const int64_t dataEnd = dataStart + int64_t(words) * 2;
        if (dataEnd > blockEnd) break;
        const int64_t dataSize = int64_t(words) * 2 - ((id & kSubBlockOddSize) ? 1 : 0);

        std::array<unsigned char, kSubBlockDataKept> bytes{};
        const std::size_t kept = static_cast<std::size_t>(std::clamp<int64_t>(dataSize, 0, bytes.size()));
        stream.Seek(dataStart);
        stream.Read(bytes.data(), kept);
        TByteReader data(bytes.data(), kept);
        switch (id & kSubBlockIdMask) {
        case kSubBlockConfiguration:
            if (!facts.haveConfiguration) {
                facts.haveConfiguration = true;
                facts.config0 = data.U8();
                data.Skip(1);
                facts.config2 = data.U8();
            }
            break;
        case kSubBlockChannelInfo:
            // Up to 255 channels: the count, then the channel mask. Beyond:
            // channels - 1 in the low 8 bits, streams - 1, then the high 4
            // bits of both, then the mask.
            if (dataSize >= 6) {
                const uint32_t low = data.U8();
                data.Skip(1);                       // streams - 1, low bits
                const uint32_t high = data.U8() & 0x0F;
                facts.channels = static_cast<int32_t>((high << 8 | low) + 1);
            } else if (dataSize >= 1) {
                facts.channels = data.U8();
            }
            break;
        case kSubBlockSampleRate:
            if (dataSize == 3 || dataSize == 4) {
                facts.sampleRate = static_cast<int32_t>(data.LE24());
                if (dataSize == 4) facts.sampleRate |= int32_t(data.U8() & 0x7F) << 24;
            }
            break;
        case kSubBlockDSD:
            if (dataSize >= 1) facts.rateShift = std::min<int>(data.U8(), 24);
            break;
        default:
            break;
        }
        position = dataEnd;
    }
    return facts;
}

// Old WavPack header (36 bytes at the start of the RIFF "data" chunk).
constexpr std::size_t kOldHeaderSize = 36;
// 0: "wvpk"
// 14: shift (not used)
// 20: CRC, 24: second CRC, 28: extension, 32: extra byte count, 33: extras (not used)

// Old flags.
constexpr uint32_t kOldMono = 0x0001;
constexpr uint32_t kOldLossyFlavour = 0x0012;
constexpr uint32_t kOldHighOrFast = 0x0010;   // lossy: high, lossless: not the fast mode
constexpr uint32_t kOldHybridLossless = 0x0080;
constexpr uint32_t kOldHybrid = 0x0400;
constexpr uint32_t kOldHigh = 0x8000;

// RIFF "fmt " chunk, first 16 bytes.
constexpr std::size_t kFmtSize = 16;
// 12: block align (not used)

// Self-extracting archives: "MZP" at the start, and the first "wvpk" within
// the first 128 KiB.
constexpr std::size_t kSelfExtractorSearch = 0x20000;

std::string OldModeText(uint32_t bits, uint32_t flags) {
    if (bits > 0 && (flags & kOldHybrid)) {
        std::string text = "hybrid";
        text += (flags & kOldHybridLossless) ? " lossless" : " lossy";
        if (flags & kOldHigh) text += " (high)";
        return text;
    }
    if (bits > 0) {
        std::string text = std::to_string(bits + 3) + "-bit lossy";
        if (flags & kOldLossyFlavour) text += (flags & kOldHighOrFast) ? " high" : " fast";
        return text;
    }
    if (!(flags & kOldHighOrFast)) return "lossless (fast mode)";
    if (flags & kOldHigh) return "lossless (high mode)";
    return "lossless";
}

// Texts of the configuration sub-block: the mode from the low nibble of its
// first byte (and its very-high bit, which -hh sets beside the high bit), and
// the extra mode from the low two bits of its third.
std::string ConfigurationText(uint8_t c0, uint8_t c2) {
    std::string text;
    switch (c0 & 0x0F) {
    case 8: text = (c0 & kConfigVeryHigh) ? " very high" : " high"; break;
    case 0: text = " normal"; break;
    case 2: text = " fast"; break;
    case 6: text = " very fast"; break;
    default: break;
    }
    if ((c2 & kConfigExtraMask) == kConfigExtra) text += ", extra";
    return text;
}

} // namespace

void TWAVPackfile::ResetData() {
    apeTag_.ResetData();
    fileSize_ = 0;
    valid_ = false;
    formatTag_ = 0;
    version_ = 0;
    channels_ = 0;
    sampleRate_ = 0;
    bitsPerSample_ = 0;
    bitRate_ = 0;
    duration_ = 0;
    modeText_.clear();
    tagSize_ = 0;
    samples_ = 0;
    blockSamples_ = 0;
    samplesFromLastBlock_ = false;
    isDSD_ = false;
}

bool TWAVPackfile::ReadFromFile(const std::string& path) {
    ResetData();
    // Other programs may go on writing the file meanwhile.
    TFileStream stream(path, TFileStream::Share::ReadWrite);
    return ReadFromStream(stream);
}

bool TWAVPackfile::ReadFromStream(TFileStream& stream) {
    ResetData();
    apeTag_.ReadFromStream(stream);
    fileSize_ = stream.Size();
    // A damaged tag can state any size: one larger than the file is no
    // size to take off it.
    tagSize_ = apeTag_.Size() >= 0 && apeTag_.Size() <= fileSize_ ? apeTag_.Size() : 0;

    unsigned char marker[4] = {};
    stream.Seek(0);
    stream.Read(marker, sizeof marker);
    stream.Seek(0);

    if (Is(marker, "RIFF")) return ReadOldFile(stream);
    if (Is(marker, "wvpk")) return ReadBlock(stream);
    if (std::memcmp(marker, "MZP", 3) == 0) return FindSelfExtractorBlock(stream);
    return false;
}

// The version 4 block at the stream position, then its metadata sub-blocks:
// the configuration (the encoder's mode), the channel count of multichannel
// files, a sample rate without an index, and the rate shift of DSD audio.
bool TWAVPackfile::ReadBlock(TFileStream& stream) {
    std::array<unsigned char, kBlockHeaderSize> bytes{};
    const int64_t start = stream.Position();
    BlockHeader block;
    if (!ParseBlockHeader(bytes.data(), stream.Read(bytes.data(), bytes.size()), start, block)) return false;

    valid_ = true;
    version_ = block.version >> 8;
    blockSamples_ = block.blockSamples;
    const uint32_t flags = block.flags;
    bitsPerSample_ = static_cast<int32_t>((flags & kFlagBytesPerSample) + 1) * 8;
    const uint32_t rateIndex = (flags & kFlagRateMask) >> kFlagRateShift;
    sampleRate_ = rateIndex < kSampleRates.size() ? kSampleRates[rateIndex] : kDefaultSampleRate;
    modeText_ = (flags & kFlagHybrid) ? "hybrid lossy" : "lossless";

    const SubBlockFacts facts = ReadSubBlocks(stream, std::min(block.End(), fileSize_));
    channels_ = facts.channels > 0 ? facts.channels : (flags & kFlagMono) ? 1 : 2;
    if (rateIndex >= kSampleRates.size() && facts.sampleRate > 0) sampleRate_ = facts.sampleRate;
    if (facts.haveConfiguration) modeText_ += ConfigurationText(facts.config0, facts.config2);

    // A stream piped through the encoder leaves the total unknown: the last
    // block in the file tells how far the samples go.
    uint64_t samples = block.totalSamples;
    if (block.totalSamples == kUnknownTotalSamples) {
        samples = SamplesUpToLastBlock(stream);
        samplesFromLastBlock_ = samples > 0;
    }
    // DSD audio plays at the stored rate times the rate multiplier times the
    // 8 one-bit samples each stored sample holds.
    if (flags & kFlagDSD) {
        const int64_t dsdRate = int64_t(sampleRate_) << facts.rateShift;
        sampleRate_ = static_cast<int32_t>(std::min<int64_t>(dsdRate * kDSDBitsPerStoredSample, INT32_MAX));
        samples *= kDSDBitsPerStoredSample;
        bitsPerSample_ = 1;
        isDSD_ = true;
    }
    samples_ = samples;

    duration_ = sampleRate_ > 0 ? static_cast<double>(samples_) / sampleRate_ : 0;
    if (duration_ > 0) bitRate_ = static_cast<double>(fileSize_ - tagSize_) * 8 / duration_ / 1000;
    return true;
}

// Block index plus block samples of the last block with audio near the end
// of the file; 0 when none is found. Blocks are recognised by their marker,
// a known version and a size that ends inside the file.
TWAVPackfile::TTailBlock TWAVPackfile::BlockNearEnd(TFileStream& stream, int64_t window) const {
    TTailBlock tail;
    const int64_t from = std::max<int64_t>(0, fileSize_ - std::max<int64_t>(window, 0));
    std::vector<unsigned char> bytes(static_cast<std::size_t>(fileSize_ - from));
    stream.Seek(from);
    bytes.resize(stream.Read(bytes.data(), bytes.size()));
    // Forwards with a fast search, keeping the last header that parses.
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (std::size_t k = view.find("wvpk"); k != std::string_view::npos; k = view.find("wvpk", k + 1)) {
        BlockHeader block;
        if (!ParseBlockHeader(bytes.data() + k, bytes.size() - k, from + int64_t(k), block)) continue;
        if (block.version < kMinBlockVersion || block.version > kMaxBlockVersion || block.blockSamples == 0) continue;
        tail.Found = true;
        tail.SamplesEnd = uint64_t(block.blockIndex) + block.blockSamples;
        tail.RunsPast = block.End() > fileSize_;
    }
    return tail;
}

uint64_t TWAVPackfile::SamplesUpToLastBlock(TFileStream& stream) const {
    const int64_t searchStart = std::max<int64_t>(0, fileSize_ - kLastBlockSearch);
    std::vector<unsigned char> chunk;
    int64_t chunkStart = fileSize_;
    for (int64_t p = fileSize_ - int64_t(kBlockHeaderSize); p >= searchStart; --p) {
        if (p < chunkStart) {
            const int64_t chunkEnd = std::min(fileSize_, p + int64_t(kBlockHeaderSize));
            chunkStart = std::max(searchStart, chunkEnd - kSearchChunk);
            chunk.resize(static_cast<std::size_t>(chunkEnd - chunkStart));
            stream.Seek(chunkStart);
            chunk.resize(stream.Read(chunk.data(), chunk.size()));
            if (p + int64_t(kBlockHeaderSize) > chunkStart + int64_t(chunk.size())) continue;
        }
        const unsigned char* at = chunk.data() + (p - chunkStart);
        BlockHeader block;
        if (at[0] != 'w' || !ParseBlockHeader(at, kBlockHeaderSize, p, block)) continue;
        if (block.version < kMinBlockVersion || block.version > kMaxBlockVersion || block.End() > fileSize_ ||
            block.blockSamples == 0)
            continue;
        return uint64_t(block.blockIndex) + block.blockSamples;
    }
    return 0;
}

// A self-extracting archive: the first "wvpk" in the first 128 KiB that a
// byte other than w, v, p or k precedes. A running text collects those four
// letters (at most four of them) and any other byte empties it.
bool TWAVPackfile::FindSelfExtractorBlock(TFileStream& stream) {
    std::vector<unsigned char> head(static_cast<std::size_t>(
        std::min<int64_t>(fileSize_, static_cast<int64_t>(kSelfExtractorSearch))));
    head.resize(stream.Read(head.data(), head.size()));

    std::string text;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const char c = static_cast<char>(head[i]);
        if (c == 'w' || c == 'v' || c == 'p' || c == 'k') {
            if (text.size() < 4) text += c;
        } else {
            text.clear();
        }
        if (text == "wvpk") {
            stream.Seek(static_cast<int64_t>(i) - 3);
            const bool result = ReadBlock(stream);
            modeText_ += ", sfx";
            return result;
        }
    }
    return false;
}

// An old file: a RIFF WAVE file whose "data" chunk starts with the WavPack
// header. The format chunk alone already makes the file Valid.
bool TWAVPackfile::ReadOldFile(TFileStream& stream) {
    std::array<unsigned char, 12> riff{};
    if (stream.Read(riff.data(), riff.size()) < riff.size() || !Is(riff.data() + 8, "WAVE")) return false;

    bool result = false;
    bool formatSeen = false;
    // Every chunk moves the position on by at least its 8-byte header.
    while (stream.Position() < fileSize_) {
        std::array<unsigned char, 8> chunk{};
        if (stream.Read(chunk.data(), chunk.size()) < chunk.size()) break;
        TByteReader c(chunk.data(), chunk.size());
        const std::string id = c.Text(4);
        const uint32_t size = c.LE32();
        if (size == 0) break;
        const int64_t dataStart = stream.Position();

        if (id == "fmt ") {
            std::array<unsigned char, kFmtSize> bytes{};
            if (size < kFmtSize || stream.Read(bytes.data(), bytes.size()) < bytes.size()) break;
            TByteReader f(bytes.data(), bytes.size());
            formatSeen = true;
            result = true;
            valid_ = true;
            formatTag_ = f.LE16();
            channels_ = f.LE16();
            sampleRate_ = static_cast<int32_t>(f.LE32());
            bitRate_ = f.LE32() / 125.0;    // bytes per second
            f.Skip(2);                      // block align
            bitsPerSample_ = f.LE16();
            stream.Seek(dataStart + size);
            continue;
        }
        if (id == "data" && formatSeen) {
            std::array<unsigned char, kOldHeaderSize> bytes{};
            stream.Read(bytes.data(), bytes.size());
            TByteReader h(bytes.data(), bytes.size());
            if (!h.Expect("wvpk")) break;
            const uint32_t chunkSize = h.LE32();
            const uint16_t version = h.LE16();
            const uint16_t bits = h.LE16();
            const uint16_t flags = h.LE16();
            h.Skip(2);                      // shift
            const uint32_t totalSamples = h.LE32();
            // CRC, second CRC, extension, extra byte count and extras are not used.
            valid_ = true;
            version_ = version;
            channels_ = 2 - static_cast<int32_t>(flags & kOldMono);
            samples_ = totalSamples;
            modeText_ = OldModeText(bits, flags);
            if (sampleRate_ <= 0) sampleRate_ = kDefaultSampleRate;
            duration_ = static_cast<double>(samples_) / sampleRate_;
            if (duration_ > 0)
                bitRate_ = static_cast<double>(fileSize_ - tagSize_ - int64_t(chunkSize)) * 8 / (duration_ * 1000);
        }
        break;   // "data" ends the walk; so does any other chunk
    }
    return result;
}

double TWAVPackfile::Ratio() const {
    if (!valid_) return 0;
    // Reference: a PCM WAV file with a 44-byte header.
    const int64_t bitsPerFrame = int64_t(channels_) * bitsPerSample_;
    return static_cast<double>(fileSize_) / (static_cast<double>(samples_) * (bitsPerFrame / 8.0) + 44) * 100;
}
