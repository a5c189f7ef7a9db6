#include "readers/WAVfile.h"

#include "io/ByteOrder.h"
#include "io/FileStream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

namespace {

// RIFF header, little-endian:
//   0  "RIFF"
//   4  size of everything after this field (LE32)
//   8  form type "WAVE"
constexpr int64_t kRiffHeaderSize = 12;
constexpr int64_t kRiffSizeOffset = 4;
constexpr int64_t kFormTypeOffset = 8;

// Every chunk: a 4-byte identifier and the LE32 payload size; the payload is
// padded to an even length.
constexpr int64_t kChunkHeaderSize = 8;

// The "fmt " payload fields read (WAVEFORMAT plus wBitsPerSample), 16 bytes:
//   0  wFormatTag       LE16
//   2  nChannels        LE16
//   4  nSamplesPerSec   LE32
//   8  nAvgBytesPerSec  LE32
//  12  nBlockAlign      LE16
//  14  wBitsPerSample   LE16
constexpr std::size_t kFormatFieldsSize = 16;

// The "fact" payload starts with dwSampleLength (LE32), the length in samples
// per channel of a compressed stream.
constexpr uint32_t kFactMinimumSize = 4;

// The canonical header size the ratio compares against.
constexpr double kCanonicalHeaderSize = 44;

// Format codes whose data size divided by the block alignment is the number
// of sample frames. Every other code is a compressed format whose sample
// count comes from the "fact" chunk.
constexpr uint16_t kFormatPCM = 1;
constexpr uint16_t kFormatIEEEFloat = 3;
constexpr uint16_t kFormatALaw = 6;
constexpr uint16_t kFormatMuLaw = 7;
constexpr uint16_t kFormatExtensible = 65534;

struct FormatNameEntry {
    uint16_t tag;
    const char* name;
};
constexpr std::array<FormatNameEntry, 6> kFormatNames = {{
    {1, "Windows PCM"},
    {2, "Microsoft ADPCM"},
    {6, "A-LAW"},
    {7, "MU-LAW"},
    {17, "DVI/IMA ADPCM"},
    {85, "MPEG Layer III"},
}};

bool IsSampleFormat(uint16_t tag) {
    return tag == kFormatPCM || tag == kFormatIEEEFloat || tag == kFormatALaw || tag == kFormatMuLaw ||
           tag == kFormatExtensible;
}

// Where the chunks the reader needs start (the offset of their 8-byte header),
// -1 when the file has none. The first chunk of each kind counts.
struct ChunkPlaces {
    int64_t format = -1;
    uint32_t formatSize = 0;
    int64_t data = -1;
    uint32_t dataSize = 0;
    int64_t fact = -1;
    uint32_t factSize = 0;
};

// Walks the chunks from the end of the RIFF header to the end of the file
// (not only to the end the RIFF size claims: that size is often wrong). Only
// a whole chunk header counts. Every step advances at least 8 bytes, so the
// walk is bounded by the file size.
ChunkPlaces FindChunks(TFileStream& stream) {
    ChunkPlaces places;
    const int64_t size = stream.Size();
    int64_t at = kRiffHeaderSize;
    while (at <= size - kChunkHeaderSize) {
        unsigned char header[kChunkHeaderSize];
        stream.ReadZeroFilled(at, header, sizeof header);
        const uint32_t chunkSize = LE32(header + 4);
        if (places.format < 0 && std::memcmp(header, "fmt ", 4) == 0) {
            places.format = at;
            places.formatSize = chunkSize;
        } else if (places.data < 0 && std::memcmp(header, "data", 4) == 0) {
            places.data = at;
            places.dataSize = chunkSize;
        } else if (places.fact < 0 && std::memcmp(header, "fact", 4) == 0) {
            places.fact = at;
            places.factSize = chunkSize;
        }
        if (places.format >= 0 && places.data >= 0 && places.fact >= 0) break;
        at += kChunkHeaderSize + chunkSize + (chunkSize & 1);
    }
    return places;
}

} // namespace

void TWAVfile::ResetData() {
    valid_ = false;
    formatChunkSize_ = 0;
    formatTag_ = 0;
    channels_ = 0;
    sampleRate_ = 0;
    bytesPerSecond_ = 0;
    blockAlign_ = 0;
    bitsPerSample_ = 0;
    sampleCount_ = 0;
    dataChunkSize_ = 0;
    headerSize_ = 0;
    fileSize_ = 0;
    fileName_.clear();
    bitRate_ = 0;
}

bool TWAVfile::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        stream.Seek(0);
        const int64_t sizeOnDisk = stream.Size();

        unsigned char riff[kRiffHeaderSize];
        stream.ReadZeroFilled(0, riff, sizeof riff);
        if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + kFormTypeOffset, "WAVE", 4) != 0)
            return true;
        const ChunkPlaces places = FindChunks(stream);
        if (places.format < 0) return true;

        unsigned char format[kFormatFieldsSize];
        stream.ReadZeroFilled(places.format + kChunkHeaderSize, format, sizeof format);
        const uint16_t channels = LE16(format + 2);
        if (channels == 0) return true;

        valid_ = true;
        formatChunkSize_ = places.formatSize;
        formatTag_ = LE16(format + 0);
        channels_ = static_cast<uint8_t>(channels & 0xFF);
        sampleRate_ = LE32(format + 4);
        bytesPerSecond_ = LE32(format + 8);
        blockAlign_ = LE16(format + 12);
        bitsPerSample_ = static_cast<uint8_t>(LE16(format + 14) & 0xFF);

        // A RIFF size that claims more than the file holds (0xFFFFFFFF from a
        // pipe, a cut-off download) gives way to the size on disk.
        fileSize_ = std::min<int64_t>(int64_t{LE32(riff + kRiffSizeOffset)} + 8, sizeOnDisk);

        // The data size never counts more bytes than follow the data header.
        // Without a data chunk the header is taken to end where a data
        // chunk's payload right after the format chunk would begin.
        int64_t dataSize = 0;
        if (places.data >= 0) {
            headerSize_ = places.data + kChunkHeaderSize;
            dataChunkSize_ = places.dataSize;
            dataSize = std::min<int64_t>(places.dataSize, sizeOnDisk - headerSize_);
        } else {
            headerSize_ = places.format + kChunkHeaderSize + places.formatSize + kChunkHeaderSize;
        }
        if (fileSize_ < headerSize_) headerSize_ = fileSize_;

        if (IsSampleFormat(formatTag_)) {
            sampleCount_ = blockAlign_ > 0 ? static_cast<uint32_t>(dataSize / blockAlign_) : 0;
        } else if (places.fact >= 0 && places.factSize >= kFactMinimumSize) {
            // The data size of a compressed format counts blocks, not samples.
            unsigned char fact[kFactMinimumSize];
            stream.ReadZeroFilled(places.fact + kChunkHeaderSize, fact, sizeof fact);
            sampleCount_ = LE32(fact);
        }

        fileName_ = stream.Path();
        bitRate_ = static_cast<double>(uint64_t{bytesPerSecond_} * 8) / 1000.0;
        return true;
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

bool TWAVfile::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

// Without a sample count the playing time follows from the byte rate and the
// bytes after the header. Every zero divisor gives 0.
double TWAVfile::Duration() const {
    if (!valid_) return 0;
    if (sampleCount_ > 0) return sampleRate_ > 0 ? static_cast<double>(sampleCount_) / sampleRate_ : 0;
    if (bytesPerSecond_ == 0) return 0;
    return static_cast<double>(fileSize_ - headerSize_) / bytesPerSecond_;
}

// The file size against a canonical PCM file of the same length: sample
// frames of Channels x BitsPerSample / 8 bytes (0.5 for 4-bit mono) and a
// 44-byte header. A zero byte rate without a sample count gives 0.
double TWAVfile::Ratio() const {
    if (!valid_) return 0;
    const double bytesPerFrame = channels_ * bitsPerSample_ / 8.0;
    const auto size = static_cast<double>(fileSize_);
    if (sampleCount_ > 0) return size / (sampleCount_ * bytesPerFrame + kCanonicalHeaderSize) * 100;
    if (bytesPerSecond_ == 0) return 0;
    const double seconds = static_cast<double>(fileSize_ - headerSize_) / bytesPerSecond_;
    return size / (seconds * sampleRate_ * bytesPerFrame + kCanonicalHeaderSize) * 100;
}

std::string TWAVfile::FormatName() const {
    for (const FormatNameEntry& entry : kFormatNames)
        if (entry.tag == formatTag_) return entry.name;
    return {};
}
