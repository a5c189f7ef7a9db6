#include "readers/FLACfile.h"

#include "io/ByteOrder.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <cstring>

namespace {

// The first 42 bytes of the stream: "fLaC", the first metadata block header
// and the 34-byte STREAMINFO body (big-endian bit fields).
constexpr char kStreamMarker[4] = {'f', 'L', 'a', 'C'};
constexpr std::size_t kFirstBlockFlags = 4;     // bit 7: last metadata block
constexpr std::size_t kSampleRateHigh = 18;     // 20 bits from byte 18 bit 7 on
constexpr std::size_t kSampleRateMid = 19;
constexpr std::size_t kRateChannelsBits = 20;   // rate (4), channels-1 (3), bits-1 high bit
constexpr std::size_t kBitsTotalHigh = 21;      // bits-1 low 4 bits, total samples bits 35-32
constexpr std::size_t kTotalSamplesLow = 22;    // total samples bits 31-0

// Metadata block header: flag and type in byte 0, 24-bit length in bytes 1-3.
constexpr std::size_t kBlockHeaderSize = 4;
constexpr uint8_t kLastBlockFlag = 0x80;
constexpr uint8_t kBlockTypeMask = 0x7F;
constexpr uint8_t kBlockPadding = 1;
constexpr uint8_t kBlockVorbisComment = 4;
constexpr uint8_t kBlockInvalid = 127;          // declared invalid by the format

// Reads a little-endian 32-bit value unless it would cross limit.
bool ReadLE32(TFileStream& stream, int64_t limit, uint32_t& value) {
    if (stream.Position() + 4 > limit) return false;
    uint8_t b[4] = {};
    if (stream.Read(b, 4) != 4) return false;
    value = LE32(b);
    return true;
}

// Reads length bytes unless they would cross limit.
bool ReadText(TFileStream& stream, int64_t limit, uint32_t length, std::string& text) {
    if (stream.Position() + int64_t(length) > limit) return false;
    text.assign(length, '\0');
    return stream.Read(text.data(), length) == length;
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
        for (auto& slot : slots_) slot.clear();
        extraFields_.clear();
    }
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
    if (!(header_[kFirstBlockFlags] & kLastBlockFlag)) WalkMetadataBlocks(stream);

    if (!Valid()) return false;
    audioOffset_ = stream.Position();
    bitRate_ = static_cast<int32_t>(RoundHalfEven(double(fileSize_ - audioOffset_) / 1000 * 8 / Duration()));
    return true;
}

bool TFLACfile::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

void TFLACfile::DecodeStreamInfo() {
    const uint8_t* h = header_.data();
    sampleRate_ = int32_t(h[kSampleRateHigh]) << 12 | int32_t(h[kSampleRateMid]) << 4 | h[kRateChannelsBits] >> 4;
    channels_ = static_cast<uint8_t>(((h[kRateChannelsBits] >> 1) & 7) + 1);
    bitsPerSample_ = static_cast<uint8_t>(((h[kRateChannelsBits] & 1) << 4 | h[kBitsTotalHigh] >> 4) + 1);
    // All 36 bits of the total-samples field, so very long recordings keep their length.
    samples_ = int64_t(h[kBitsTotalHigh] & 0x0F) << 32 | BE32(h + kTotalSamplesLow);
}

// Walks the metadata blocks after STREAMINFO up to the last one. Blocks the
// reader has no use for (PICTURE, APPLICATION, CUESHEET, ...) are stepped over
// by their length. The walk ends at a zero length, at the last-block flag, at
// a header the file no longer holds, and at a block that runs past the end of
// the file; such a file has no audio, so it is marked not valid (Samples 0),
// as is one with the invalid block type 127.
void TFLACfile::WalkMetadataBlocks(TFileStream& stream) {
    bool paddingMet = false;
    int32_t index = 0;
    for (;;) {
        TFLACMetaBlock block;
        if (stream.Read(block.Header.data(), kBlockHeaderSize) != kBlockHeaderSize) return;
        ++index;
        block.Length = uint32_t(block.Header[1]) << 16 | uint32_t(block.Header[2]) << 8 | block.Header[3];
        if (block.Length == 0) return;

        const uint8_t type = block.Header[0] & kBlockTypeMask;
        const bool last = block.Header[0] & kLastBlockFlag;
        const int64_t blockEnd = stream.Position() + block.Length;
        if (type == kBlockInvalid || blockEnd > stream.Size()) {
            samples_ = 0;
            return;
        }

        if (type == kBlockVorbisComment) {
            vorbisCommentOffset_ = stream.Position();
            vorbisCommentSize_ = block.Length;
            vorbisCommentIndex_ = index;
            ReadVorbisComment(stream, blockEnd);
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
        if (last) return;
    }
}

// VORBIS_COMMENT payload (little-endian lengths): vendor length, vendor,
// field count, then per field a length and "NAME=value". Reading never goes
// past the block, whatever its lengths and count claim; the walk goes on
// after the block in any case.
void TFLACfile::ReadVorbisComment(TFileStream& stream, int64_t blockEnd) {
    uint32_t vendorLength = 0;
    if (!ReadLE32(stream, blockEnd, vendorLength)) return;
    std::string vendor;
    if (!ReadText(stream, blockEnd, vendorLength, vendor)) return;
    vendor_ = vendor;   // as it stands, not decoded

    uint32_t count = 0;
    if (!ReadLE32(stream, blockEnd, count)) return;
    const auto fieldCount = static_cast<int32_t>(count);
    hasCommentFields_ = fieldCount > 0;
    // Every field takes at least its 4 length bytes, so the block bounds the loop.
    for (int32_t k = 0; k < fieldCount; ++k) {
        uint32_t length = 0;
        std::string field;
        if (!ReadLE32(stream, blockEnd, length) || !ReadText(stream, blockEnd, length, field)) return;
        StoreCommentField(field);
    }
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
