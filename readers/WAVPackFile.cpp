#include "readers/WAVPackFile.h"

#include "io/ByteOrder.h"
#include "io/FileStream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

bool Is(const unsigned char* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// Version 4 block header (32 bytes).
constexpr std::size_t kBlockHeaderSize = 32;
// 0: "wvpk", 4: block size (not used)
constexpr std::size_t kBlockVersion = 8;        // 16-bit, format version in the high byte
// 10: track number, 11: index number (not used)
constexpr std::size_t kBlockTotalSamples = 12;  // 32-bit
// 16: block index (not used)
constexpr std::size_t kBlockSamples = 20;       // 32-bit
constexpr std::size_t kBlockFlags = 24;         // 32-bit
// 28: CRC (not used)

// The format marks a total sample count that was not known when the file was
// written (a stream piped through the encoder) as 0xFFFFFFFF.
constexpr uint32_t kUnknownTotalSamples = 0xFFFFFFFF;

// Version 4 flags.
constexpr uint32_t kFlagBytesPerSample = 0x3;   // bytes per sample - 1
constexpr uint32_t kFlagMono = 0x4;
constexpr uint32_t kFlagHybrid = 0x8;
constexpr uint32_t kFlagRateMask = 0x0F800000;
constexpr int kFlagRateShift = 23;
constexpr std::array<int32_t, 15> kSampleRates = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                                  32000, 44100, 48000, 64000, 88200, 96000, 192000};
constexpr int32_t kDefaultSampleRate = 44100;

// Metadata sub-blocks after the block header: an id byte, then a word count
// of 3 bytes when the id has its large flag, else of 1 byte.
constexpr uint8_t kSubBlockLarge = 0x80;
constexpr uint8_t kSubBlockIdMask = 0x1F;
constexpr uint8_t kSubBlockOptional = 0x20;
constexpr uint8_t kSubBlockConfiguration = 0x05;   // with the optional flag

// Old WavPack header (36 bytes at the start of the RIFF "data" chunk).
constexpr std::size_t kOldHeaderSize = 36;
// 0: "wvpk"
constexpr std::size_t kOldChunkSize = 4;      // 32-bit
constexpr std::size_t kOldVersion = 8;        // 16-bit
constexpr std::size_t kOldBits = 10;          // 16-bit, lossy bit budget, 0 = lossless
constexpr std::size_t kOldFlags = 12;         // 16-bit
// 14: shift (not used)
constexpr std::size_t kOldTotalSamples = 16;  // 32-bit
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
constexpr std::size_t kFmtFormatTag = 0;      // 16-bit
constexpr std::size_t kFmtChannels = 2;       // 16-bit
constexpr std::size_t kFmtSampleRate = 4;     // 32-bit
constexpr std::size_t kFmtBytesPerSec = 8;    // 32-bit
// 12: block align (not used)
constexpr std::size_t kFmtBitsPerSample = 14; // 16-bit

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
// first byte, and the extra mode from the low two bits of its third.
std::string ConfigurationText(uint8_t c0, uint8_t c2) {
    std::string text;
    switch (c0 & 0x0F) {
    case 8: text = " high"; break;
    case 0: text = " normal"; break;
    case 2: text = " fast"; break;
    case 6: text = " very fast"; break;
    default: break;
    }
    if ((c2 & 3) == 2) text += ", extra";
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
}

bool TWAVPackfile::ReadFromStream(TFileStream& stream) {
    ResetData();
    apeTag_.ReadFromStream(stream);
    tagSize_ = apeTag_.Size();

    stream.Seek(0);
    fileSize_ = stream.Size();
    unsigned char marker[4] = {};
    stream.Read(marker, sizeof marker);
    stream.Seek(0);

    if (Is(marker, "RIFF")) return ReadOldFile(stream);
    if (Is(marker, "wvpk")) return ReadBlock(stream);
    if (std::memcmp(marker, "MZP", 3) == 0) return FindSelfExtractorBlock(stream);
    return false;
}

bool TWAVPackfile::ReadFromFile(const std::string& path) {
    ResetData();
    // Other programs may go on writing the file meanwhile.
    TFileStream stream(path, TFileStream::Share::ReadWrite);
    return ReadFromStream(stream);
}

// The version 4 block at the stream position, then the configuration
// sub-block that tells the encoder's mode.
bool TWAVPackfile::ReadBlock(TFileStream& stream) {
    unsigned char h[kBlockHeaderSize] = {};
    stream.Read(h, sizeof h);
    if (!Is(h, "wvpk")) return false;

    valid_ = true;
    version_ = LE16(h + kBlockVersion) >> 8;
    const uint32_t totalSamples = LE32(h + kBlockTotalSamples);
    samples_ = totalSamples == kUnknownTotalSamples ? 0 : totalSamples;
    blockSamples_ = LE32(h + kBlockSamples);
    const uint32_t flags = LE32(h + kBlockFlags);
    channels_ = (flags & kFlagMono) ? 1 : 2;
    bitsPerSample_ = static_cast<int32_t>((flags & kFlagBytesPerSample) + 1) * 8;
    const uint32_t rateIndex = (flags & kFlagRateMask) >> kFlagRateShift;
    sampleRate_ = rateIndex < kSampleRates.size() ? kSampleRates[rateIndex] : kDefaultSampleRate;

    modeText_ = (flags & kFlagHybrid) ? "hybrid lossy" : "lossless";
    duration_ = static_cast<double>(samples_) / sampleRate_;
    if (duration_ > 0) bitRate_ = static_cast<double>(fileSize_ - tagSize_) * 8 / duration_ / 1000;

    ReadConfiguration(stream);
    return true;
}

// Walks the metadata sub-blocks from the stream position until the
// configuration sub-block or the end of the file. Every step reads at least
// two bytes, so the walk ends with the file.
void TWAVPackfile::ReadConfiguration(TFileStream& stream) {
    for (;;) {
        uint8_t id = 0;
        if (stream.Read(&id, 1) < 1) return;
        unsigned char count[3] = {};
        const std::size_t countBytes = (id & kSubBlockLarge) ? 3 : 1;
        if (stream.Read(count, countBytes) < countBytes) return;
        const int64_t words = count[0] | count[1] << 8 | count[2] << 16;

        if ((id & kSubBlockIdMask) == kSubBlockConfiguration && (id & kSubBlockOptional)) {
            unsigned char c[3] = {};
            stream.Read(c, sizeof c);
            modeText_ += ConfigurationText(c[0], c[2]);
            return;
        }
        stream.Seek(words * 2, TFileStream::Origin::Current);
    }
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
    unsigned char riff[8] = {};
    unsigned char wave[4] = {};
    if (stream.Read(riff, sizeof riff) < sizeof riff || stream.Read(wave, sizeof wave) < sizeof wave ||
        !Is(wave, "WAVE"))
        return false;

    bool result = false;
    bool formatSeen = false;
    // Every chunk moves the position on by at least its 8-byte header.
    while (stream.Position() < fileSize_) {
        unsigned char chunk[8] = {};
        if (stream.Read(chunk, sizeof chunk) < sizeof chunk) break;
        const uint32_t size = LE32(chunk + 4);
        if (size == 0) break;
        const int64_t dataStart = stream.Position();

        if (Is(chunk, "fmt ")) {
            unsigned char f[kFmtSize] = {};
            if (size < kFmtSize || stream.Read(f, sizeof f) < sizeof f) break;
            formatSeen = true;
            result = true;
            valid_ = true;
            formatTag_ = LE16(f + kFmtFormatTag);
            channels_ = LE16(f + kFmtChannels);
            sampleRate_ = static_cast<int32_t>(LE32(f + kFmtSampleRate));
            bitRate_ = LE32(f + kFmtBytesPerSec) / 125.0;
            bitsPerSample_ = LE16(f + kFmtBitsPerSample);
            stream.Seek(dataStart + size);
            continue;
        }
        if (Is(chunk, "data") && formatSeen) {
            unsigned char h[kOldHeaderSize] = {};
            stream.Read(h, sizeof h);
            if (!Is(h, "wvpk")) break;
            valid_ = true;
            version_ = LE16(h + kOldVersion);
            const uint32_t flags = LE16(h + kOldFlags);
            channels_ = 2 - static_cast<int32_t>(flags & kOldMono);
            samples_ = LE32(h + kOldTotalSamples);
            modeText_ = OldModeText(LE16(h + kOldBits), flags);
            if (sampleRate_ <= 0) sampleRate_ = kDefaultSampleRate;
            duration_ = static_cast<double>(samples_) / sampleRate_;
            if (duration_ > 0)
                bitRate_ = static_cast<double>(fileSize_ - tagSize_ - int64_t(LE32(h + kOldChunkSize))) * 8 /
                           (duration_ * 1000);
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
