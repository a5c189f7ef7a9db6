#include "readers/FLACfile.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// The first 42 bytes of the stream: "fLaC", the first metadata block header
// and the 34-byte STREAMINFO body (big-endian bit fields).
constexpr char kStreamMarker[4] = {'f', 'L', 'a', 'C'};
constexpr uint8_t kLastBlockFlag = 0x80;
constexpr uint8_t kBlockTypeMask = 0x7F;

// Metadata block header: flag and type in byte 0, 24-bit length in bytes 1-3.
constexpr std::size_t kBlockHeaderSize = 4;
constexpr uint8_t kBlockPadding = 1;
constexpr uint8_t kBlockVorbisComment = 4;
constexpr uint8_t kBlockInvalid = 127;          // declared invalid by the format

// Audio frame header: a 14-bit sync code, a reserved bit and the blocking
// strategy bit, then block size, sample rate, channel assignment and sample
// size codes, the frame number (fixed block size) or sample number (variable
// block size) in the UTF-8-like coding, optional block size and sample rate
// bytes, and a CRC-8 of everything before it.
constexpr uint32_t kFrameSync = 0x3FFE;
constexpr std::size_t kMaxFrameHeaderSize = 16;
// How far back from the end of the file the last frame header is looked for.
constexpr int64_t kLastFrameSearch = 1 << 20;
constexpr int64_t kSearchChunk = 64 * 1024;

constexpr std::array<uint32_t, 16> kFrameSampleRates = {0,     88200, 176400, 192000, 8000,  16000, 22050, 24000,
                                                        32000, 44100, 48000,  96000,  0,     0,     0,     0};
constexpr std::array<uint8_t, 8> kFrameSampleSizes = {0, 8, 12, 0, 16, 20, 24, 32};

struct FrameHeader {
    bool variableBlockSize = false;
    uint32_t blockSize = 0;
    uint64_t number = 0;       // frame number, or sample number for variable block sizes
    uint32_t sampleRate = 0;   // 0: as in STREAMINFO
    uint8_t channels = 0;
    uint8_t sampleSize = 0;    // 0: as in STREAMINFO
};

uint8_t Crc8(const unsigned char* data, std::size_t size) {
    uint8_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80) ? uint8_t((crc << 1) ^ 0x07) : uint8_t(crc << 1);
    }
    return crc;
}

// The coded frame or sample number: the count of leading one bits of the
// first byte says how many continuation bytes (10xxxxxx) follow.
uint64_t CodedNumber(TByteReader& r, bool& ok) {
    const uint8_t first = r.U8();
    int leadingOnes = 0;
    while (leadingOnes < 8 && (first & (0x80 >> leadingOnes))) ++leadingOnes;
    if (leadingOnes == 0) return first;
    if (leadingOnes == 1 || leadingOnes == 8) {
        ok = false;
        return 0;
    }
    uint64_t value = first & (0x7F >> leadingOnes);
    for (int i = 1; i < leadingOnes; ++i) {
        const uint8_t next = r.U8();
        if ((next & 0xC0) != 0x80) ok = false;
        value = (value << 6) | (next & 0x3F);
    }
    return value;
}

// A frame header at data, checked against its CRC-8 and the reserved codes.
bool ParseFrameHeader(const unsigned char* data, std::size_t size, FrameHeader& frame) {
    TByteReader r(data, size);
    if (r.Bits(14) != kFrameSync || r.Bits(1) != 0) return false;
    frame.variableBlockSize = r.Flag();
    const auto blockSizeCode = static_cast<uint32_t>(r.Bits(4));
    const auto sampleRateCode = static_cast<uint32_t>(r.Bits(4));
    const auto channelCode = static_cast<uint32_t>(r.Bits(4));
    const auto sampleSizeCode = static_cast<uint32_t>(r.Bits(3));
    const bool reserved = r.Flag();
    bool ok = !reserved && blockSizeCode != 0 && sampleRateCode != 15 && channelCode < 11 && sampleSizeCode != 3;
    frame.number = CodedNumber(r, ok);
    if (blockSizeCode == 0) frame.blockSize = 0;   // reserved
    else if (blockSizeCode == 1) frame.blockSize = 192;
    else if (blockSizeCode <= 5) frame.blockSize = 576u << (blockSizeCode - 2);
    else if (blockSizeCode == 6) frame.blockSize = r.U8() + 1u;
    else if (blockSizeCode == 7) frame.blockSize = r.BE16() + 1u;
    else frame.blockSize = 256u << (blockSizeCode - 8);
    frame.sampleRate = kFrameSampleRates[sampleRateCode];
    if (sampleRateCode == 12) frame.sampleRate = r.U8() * 1000u;
    else if (sampleRateCode == 13) frame.sampleRate = r.BE16();
    else if (sampleRateCode == 14) frame.sampleRate = r.BE16() * 10u;
    frame.channels = static_cast<uint8_t>(channelCode < 8 ? channelCode + 1 : 2);
    frame.sampleSize = kFrameSampleSizes[sampleSizeCode];
    const std::size_t covered = r.Position();
    const uint8_t crc = r.U8();
    return ok && !r.Overrun() && crc == Crc8(data, covered);
}

} // namespace

void TFLACfile::ResetData(bool fileHalf, bool commentHalf) {
    if (fileHalf) {
        fileName_.clear();
        paddingSize_ = 0;
        paddingIsLast_ = false;
        hasExtraPadding_ = false;
        channels_ = 0;
        sampleRate_ = 0;
        bitsPerSample_ = 0;
        fileSize_ = 0;
        samples_ = 0;
        samplesFromFrames_ = false;
        minBlockSize_ = 0;
        maxBlockSize_ = 0;
        vorbisCommentIndex_ = 0;
        paddingIndex_ = 0;
        vorbisCommentOffset_ = 0;
        audioOffset_ = 0;
        bitRate_ = 0;
        otherBlocks_.clear();
    }
    if (commentHalf) {
        vendor_.clear();
        vorbisCommentSize_ = 0;
        hasCommentFields_ = false;
        commentRunsPast_ = false;
        for (auto& slot : slots_) slot.clear();
        extraFields_.clear();
    }
}

bool TFLACfile::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

bool TFLACfile::ReadFromStream(TFileStream& stream) {
    ResetData(true, true);
    id3v2_.ReadFromStream(stream);

    stream.Seek(0);
    fileSize_ = stream.Size();
    fileName_ = stream.Path();
    if (id3v2_.Exists()) stream.Seek(id3v2_.Size());

    header_.fill(0);
    stream.Read(header_.data(), header_.size());
    if (std::memcmp(header_.data(), kStreamMarker, sizeof kStreamMarker) != 0) return false;

    // The first block is taken as STREAMINFO without looking at its type.
    DecodeStreamInfo();
    bool metadataIntact = true;
    if (!(header_[4] & kLastBlockFlag)) metadataIntact = WalkMetadataBlocks(stream);
    const int64_t audioOffset = stream.Position();

    // Streaming encoders that cannot go back to the start leave the total
    // sample count 0 (unknown); the frame headers tell it then.
    if (metadataIntact && samples_ == 0 && sampleRate_ > 0) {
        samples_ = SamplesFromFrames(stream, audioOffset);
        samplesFromFrames_ = samples_ > 0;
    }

    if (!Valid()) return false;
    audioOffset_ = audioOffset;
    bitRate_ = static_cast<int32_t>(RoundHalfEven(double(fileSize_ - audioOffset_) / 1000 * 8 / Duration()));
    return true;
}

void TFLACfile::DecodeStreamInfo() {
    TByteReader r(header_.data(), header_.size());
    r.Skip(sizeof kStreamMarker);
    r.Skip(kBlockHeaderSize);                      // flags, type and length of the first block
    minBlockSize_ = r.BE16();
    maxBlockSize_ = r.BE16();
    r.Skip(3);                                     // minimum frame size
    r.Skip(3);                                     // maximum frame size
    sampleRate_ = static_cast<int32_t>(r.Bits(20));
    channels_ = static_cast<uint8_t>(r.Bits(3) + 1);
    bitsPerSample_ = static_cast<uint8_t>(r.Bits(5) + 1);
    // All 36 bits of the total-samples field, so very long recordings keep their length.
    samples_ = static_cast<int64_t>(r.Bits(36));
    // The MD5 signature (16 bytes) is not used.
}

// The sample count from the last frame header in the file: its sample number
// plus its block size (variable block sizes), or its frame number times the
// block size of the first frame plus its own block size (fixed block sizes,
// where every frame but the last has the first one's size). Frame headers
// are recognised by their sync code, CRC-8 and the stream's sample rate,
// channels and sample size. 0 when no frame is found.
int64_t TFLACfile::SamplesFromFrames(TFileStream& stream, int64_t audioOffset) const {
    std::array<unsigned char, kMaxFrameHeaderSize> bytes{};
    stream.Seek(audioOffset);
    // A frame header agrees with STREAMINFO where it states a value.
    const auto matches = [this](const FrameHeader& frame) {
        return (frame.sampleRate == 0 || frame.sampleRate == uint32_t(sampleRate_)) && frame.channels == channels_ &&
               (frame.sampleSize == 0 || frame.sampleSize == bitsPerSample_);
    };
    FrameHeader first;
    if (!ParseFrameHeader(bytes.data(), stream.Read(bytes.data(), bytes.size()), first) || !matches(first))
        return 0;

    const int64_t searchStart = std::max(audioOffset, fileSize_ - kLastFrameSearch);
    std::vector<unsigned char> chunk;
    int64_t chunkStart = fileSize_;
    for (int64_t p = fileSize_ - 2; p >= searchStart; --p) {
        if (p < chunkStart) {
            const int64_t chunkEnd = std::min(fileSize_, p + int64_t(kMaxFrameHeaderSize));
            chunkStart = std::max(searchStart, chunkEnd - kSearchChunk);
            chunk.resize(static_cast<std::size_t>(chunkEnd - chunkStart));
            stream.Seek(chunkStart);
            chunk.resize(stream.Read(chunk.data(), chunk.size()));
            if (p + 2 > chunkStart + int64_t(chunk.size())) continue;
        }
        const unsigned char* at = chunk.data() + (p - chunkStart);
        if (at[0] != 0xFF || (at[1] & 0xFE) != 0xF8) continue;
        FrameHeader last;
        if (!ParseFrameHeader(at, chunk.size() - static_cast<std::size_t>(p - chunkStart), last) || !matches(last) ||
            last.variableBlockSize != first.variableBlockSize)
            continue;
        if (last.variableBlockSize) return static_cast<int64_t>(last.number + last.blockSize);
        return static_cast<int64_t>(last.number * first.blockSize + last.blockSize);
    }
    return 0;
}

// Walks the metadata blocks after STREAMINFO up to the last one. Blocks the
// reader has no use for (PICTURE, APPLICATION, CUESHEET, ...) are stepped over
// by their length. The walk ends at a zero length, at the last-block flag, at
// a header the file no longer holds, and at a block that runs past the end of
// the file; such a file has no audio, so it is marked not valid (Samples 0),
// as is one with the invalid block type 127. False for those two.
bool TFLACfile::WalkMetadataBlocks(TFileStream& stream) {
    bool paddingMet = false;
    int32_t index = 0;
    for (;;) {
        TFLACMetaBlock block;
        if (stream.Read(block.Header.data(), kBlockHeaderSize) != kBlockHeaderSize) return true;
        ++index;
        TByteReader h(block.Header.data(), block.Header.size());
        const uint8_t flagsAndType = h.U8();
        block.Length = h.BE24();
        if (block.Length == 0) return true;

        const uint8_t type = flagsAndType & kBlockTypeMask;
        const bool last = flagsAndType & kLastBlockFlag;
        const int64_t blockEnd = stream.Position() + block.Length;
        if (type == kBlockInvalid || blockEnd > stream.Size()) {
            samples_ = 0;
            return false;
        }

        if (type == kBlockVorbisComment) {
            vorbisCommentOffset_ = stream.Position();
            vorbisCommentSize_ = block.Length;
            vorbisCommentIndex_ = index;
            std::vector<unsigned char> payload(block.Length);
            stream.Read(payload.data(), payload.size());
            ReadVorbisComment(payload);
        } else if (type == kBlockPadding && !paddingMet) {
            paddingMet = true;
            paddingSize_ = static_cast<int32_t>(block.Length);
            paddingIsLast_ = last;
            paddingIndex_ = index;
        } else {
            if (type == kBlockPadding) hasExtraPadding_ = true;
            otherBlocks_.push_back(block);
        }
        stream.Seek(blockEnd);
        if (last) return true;
    }
}

// VORBIS_COMMENT payload (little-endian lengths): vendor length, vendor,
// field count, then per field a length and "NAME=value". A string that the
// block does not hold whole ends the reading, whatever the lengths and count
// claim.
void TFLACfile::ReadVorbisComment(const std::vector<unsigned char>& payload) {
    TByteReader r(payload.data(), payload.size());
    commentRunsPast_ = true;   // until the last stated field is read whole
    const uint32_t vendorLength = r.LE32();
    if (r.Overrun() || vendorLength > r.Remaining()) return;
    vendor_ = r.Text(vendorLength);   // as it stands, not decoded

    const auto fieldCount = static_cast<int32_t>(r.LE32());
    if (r.Overrun()) return;
    hasCommentFields_ = fieldCount > 0;
    // Every field takes at least its 4 length bytes, so the block bounds the loop.
    for (int32_t k = 0; k < fieldCount; ++k) {
        const uint32_t length = r.LE32();
        if (r.Overrun() || length > r.Remaining()) return;
        StoreCommentField(r.Text(length));
    }
    commentRunsPast_ = false;
}

// A field goes to the slot of its name while that slot is empty, otherwise
// to ExtraFields. A field without "=" is skipped.
void TFLACfile::StoreCommentField(std::string_view field) {
    const auto equals = field.find('=');
    if (equals == std::string_view::npos) return;
    std::string name = AsciiUpper(field.substr(0, equals));
    std::string value = DecodeUtf8(field.substr(equals + 1));
    for (std::size_t i = 0; i < kFLACCommentFieldNames.size(); ++i) {
        if (kFLACCommentFieldNames[i] == name && slots_[i].empty()) {
            slots_[i] = std::move(value);
            return;
        }
    }
    extraFields_.push_back({std::move(name), std::move(value)});
}

const std::string& TFLACfile::Field(std::string_view name) const {
    static const std::string none;
    for (std::size_t i = 0; i < kFLACCommentFieldNames.size(); ++i)
        if (kFLACCommentFieldNames[i] == name) return slots_[i];
    return none;
}

bool TFLACfile::Valid() const {
    return std::memcmp(header_.data(), kStreamMarker, sizeof kStreamMarker) == 0 && channels_ > 0 &&
           sampleRate_ > 0 && bitsPerSample_ > 0 && samples_ > 0;
}

double TFLACfile::Duration() const {
    return Valid() && sampleRate_ > 0 ? double(samples_) / sampleRate_ : 0.0;
}

// File size (tags and metadata included) against PCM of the same length.
double TFLACfile::Ratio() const {
    if (!Valid()) return 0.0;
    const int64_t pcmBits = samples_ * channels_ * bitsPerSample_;
    return double(fileSize_) / (double(pcmBits) / 8) * 100;
}
