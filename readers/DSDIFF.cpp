#include "readers/DSDIFF.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/PcmRatio.h"

#include <algorithm>

namespace {

// Chunk header: 4-byte ID and 64-bit big-endian size of the data after it;
// the data is padded to an even length.
constexpr std::size_t kChunkHeaderSize = 12;
constexpr std::size_t kFormTypeSize = 4;
constexpr std::size_t kPropertyRead = 16;   // the fields used in one property chunk
constexpr int kMaxChunks = 256;             // per level; real files have a handful
constexpr int32_t kMaxChannels = 6;

struct Chunk {
    std::string id;
    int64_t dataStart = 0;
    int64_t dataSize = 0;   // held to the space left in the parent
    int64_t Next() const { return dataStart + dataSize + (dataSize & 1); }
};

// The chunk at offset, its size held to end. False when no header fits.
bool ReadChunk(TFileStream& stream, int64_t offset, int64_t end, Chunk& chunk) {
    if (end - offset < int64_t(kChunkHeaderSize)) return false;
    unsigned char bytes[kChunkHeaderSize] = {};
    stream.ReadZeroFilled(offset, bytes, sizeof bytes);
    TByteReader header(bytes, sizeof bytes);
    chunk.id = header.Text(4);
    const uint64_t size = header.BE64();
    chunk.dataStart = offset + int64_t(kChunkHeaderSize);
    chunk.dataSize = static_cast<int64_t>(std::min<uint64_t>(size, uint64_t(end - chunk.dataStart)));
    return !header.Overrun();
}

// The first bytes of a chunk's data (zero beyond the file).
TByteReader ChunkData(TFileStream& stream, const Chunk& chunk, unsigned char (&bytes)[kPropertyRead]) {
    stream.ReadZeroFilled(chunk.dataStart, bytes, kPropertyRead);
    return TByteReader(bytes, static_cast<std::size_t>(std::min<int64_t>(chunk.dataSize, kPropertyRead)));
}

} // namespace

void TDSDIFF::ResetData() {
    fileSize_ = 0;
    formatVersion_ = 0;
    sampleRate_ = 0;
    channels_ = 0;
    compressionType_.clear();
    isDST_ = false;
    haveSoundData_ = false;
    soundDataSize_ = 0;
    dstFrames_ = 0;
    dstFrameRate_ = 0;
}

bool TDSDIFF::ReadFromFile(const std::string& path) {
    TFileStream stream(path);
    return ReadFromStream(stream);
}

bool TDSDIFF::ReadFromStream(TFileStream& stream) {
    ResetData();
    const int64_t size = stream.Size();
    Chunk form;
    if (!ReadChunk(stream, 0, size, form) || form.id != "FRM8") return false;
    char formType[kFormTypeSize] = {};
    stream.ReadZeroFilled(form.dataStart, formType, sizeof formType);
    if (std::string_view(formType, sizeof formType) != "DSD ") return false;
    fileSize_ = size;

    const int64_t end = form.dataStart + form.dataSize;
    int64_t offset = form.dataStart + int64_t(kFormTypeSize);
    Chunk chunk;
    for (int n = 0; n < kMaxChunks && ReadChunk(stream, offset, end, chunk); ++n) {
        unsigned char bytes[kPropertyRead];
        if (chunk.id == "FVER") {
            TByteReader data = ChunkData(stream, chunk, bytes);
            const uint32_t version = data.BE32();
            if (!data.Overrun()) formatVersion_ = version;
        } else if (chunk.id == "PROP") {
            ReadProperties(stream, chunk.dataStart, chunk.dataStart + chunk.dataSize);
        } else if ((chunk.id == "DSD " || chunk.id == "DST ") && !haveSoundData_) {
            haveSoundData_ = true;
            soundDataSize_ = chunk.dataSize;
            if (chunk.id == "DST ") {
                isDST_ = true;
                ReadDSTInfo(stream, chunk.dataStart, chunk.dataStart + chunk.dataSize);
            }
        }
        offset = chunk.Next();
    }
    return true;
}

// "PROP": property type "SND ", then the property chunks.
void TDSDIFF::ReadProperties(TFileStream& stream, int64_t start, int64_t end) {
    char propertyType[kFormTypeSize] = {};
    stream.ReadZeroFilled(start, propertyType, sizeof propertyType);
    if (std::string_view(propertyType, sizeof propertyType) != "SND ") return;
    int64_t offset = start + int64_t(kFormTypeSize);
    Chunk chunk;
    for (int n = 0; n < kMaxChunks && ReadChunk(stream, offset, end, chunk); ++n) {
        unsigned char bytes[kPropertyRead];
        TByteReader data = ChunkData(stream, chunk, bytes);
        if (chunk.id == "FS  ") {
            const uint32_t sampleRate = data.BE32();
            if (!data.Overrun()) sampleRate_ = static_cast<int32_t>(std::min<uint32_t>(sampleRate, INT32_MAX));
        } else if (chunk.id == "CHNL") {
            const uint16_t channels = data.BE16();   // the channel IDs follow
            if (!data.Overrun()) channels_ = channels;
        } else if (chunk.id == "CMPR") {
            const std::string type = data.Text(4);   // a count and a name follow
            if (!data.Overrun()) compressionType_ = type;
        }
        offset = chunk.Next();
    }
}

// "DST ": the "FRTE" chunk (frame count, frame rate), then the frames.
void TDSDIFF::ReadDSTInfo(TFileStream& stream, int64_t start, int64_t end) {
    Chunk chunk;
    if (!ReadChunk(stream, start, end, chunk) || chunk.id != "FRTE") return;
    unsigned char bytes[kPropertyRead];
    TByteReader data = ChunkData(stream, chunk, bytes);
    const uint32_t frames = data.BE32();
    const uint16_t frameRate = data.BE16();
    if (data.Overrun()) return;
    dstFrames_ = frames;
    dstFrameRate_ = frameRate;
}

// Plain DSD: eight samples per byte and channel. DST: frames over the frame
// rate (75 per second).
double TDSDIFF::Duration() const {
    if (isDST_) return dstFrameRate_ > 0 ? double(dstFrames_) / dstFrameRate_ : 0.0;
    if (sampleRate_ <= 0 || channels_ <= 0) return 0;
    return double(soundDataSize_) * 8 / channels_ / sampleRate_;
}

int32_t TDSDIFF::BitRate() const {
    const double duration = Duration();
    if (!(duration > 0)) return 0;
    return static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(double(soundDataSize_) * 8 / duration / 1000), 0, INT32_MAX));
}

bool TDSDIFF::Valid() const {
    return channels_ >= 1 && channels_ <= kMaxChannels && sampleRate_ > 0 && haveSoundData_ && Duration() > 0;
}

double TDSDIFF::Ratio() const {
    if (!Valid()) return 0;
    return PcmRatio(fileSize_, Duration() * sampleRate_, sampleRate_, channels_, kBitsPerSample, kCanonicalWavHeaderBytes);
}
