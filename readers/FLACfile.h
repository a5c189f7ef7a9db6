// TFLACfile: native FLAC files (the "fLaC" stream of the FLAC format
// description, any encoder version), optionally behind an ID3v2 tag.
//
// Reads STREAMINFO (sample rate, channels, bits per sample, the 36-bit total
// sample count), walks the other metadata blocks, and parses VORBIS_COMMENT:
// its vendor string names the encoder, its fields fill 28 known slots and a
// list of extra fields. The audio frames are read only when STREAMINFO leaves
// the total sample count unknown (0, as streaming encoders write it): the
// first and the last frame header then give it.
#pragma once

#include "io/FileStream.h"
#include "tags/ID3v2.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The comment field names that have a slot of their own, in the order tried.
inline constexpr std::array<std::string_view, 28> kFLACCommentFieldNames = {
    "TRACKNUMBER", "ARTIST",   "ALBUM",     "TITLE",   "DATE",         "GENRE",       "COMMENT",
    "COMPOSER",    "LANGUAGE", "COPYRIGHT", "URL",     "ENCODER",      "TONES",       "STYLES",
    "MOOD",        "SITUATION", "RATING",   "QUALITY", "TEMPO",        "TYPE",        "LYRICS",
    "PERFORMER",   "LICENSE",  "ORGANIZATION", "DESCRIPTION", "LOCATION", "CONTACT", "ISRC"};

struct TFLACCommentField {
    std::string Name;    // upper-cased
    std::string Value;   // UTF-8-decoded
};

// A metadata block other than STREAMINFO, VORBIS_COMMENT and the first
// PADDING block: its header and payload length (the payload is not kept).
struct TFLACMetaBlock {
    std::array<uint8_t, 4> Header{};
    uint32_t Length = 0;
};

class TFLACfile {
public:
    static constexpr std::size_t kHeaderSize = 42;   // marker, block header, STREAMINFO

    TFLACfile() { ResetData(); }

    // Clears the file half (stream figures, padding, block positions, other
    // blocks) and/or the comment half (vendor, slots, extra fields).
    void ResetData(bool fileHalf = true, bool commentHalf = true);
    // Reads the file; true only when it ends up Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const;
    double Duration() const;
    double Ratio() const;

    const std::array<uint8_t, kHeaderSize>& Header() const { return header_; }
    const std::string& FileName() const { return fileName_; }
    int64_t FileSize() const { return fileSize_; }
    uint8_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }
    uint8_t BitsPerSample() const { return bitsPerSample_; }
    int64_t Samples() const { return samples_; }
    // STREAMINFO left the total unknown and the frame headers gave Samples.
    bool SamplesFromFrames() const { return samplesFromFrames_; }
    uint16_t MinBlockSize() const { return minBlockSize_; }
    uint16_t MaxBlockSize() const { return maxBlockSize_; }
    int64_t AudioOffset() const { return audioOffset_; }
    int32_t BitRate() const { return bitRate_; }
    int32_t PaddingSize() const { return paddingSize_; }
    int32_t PaddingIndex() const { return paddingIndex_; }
    bool PaddingIsLast() const { return paddingIsLast_; }
    bool HasExtraPadding() const { return hasExtraPadding_; }
    int64_t VorbisCommentOffset() const { return vorbisCommentOffset_; }
    uint32_t VorbisCommentSize() const { return vorbisCommentSize_; }
    int32_t VorbisCommentIndex() const { return vorbisCommentIndex_; }
    const std::string& Vendor() const { return vendor_; }
    bool HasCommentFields() const { return hasCommentFields_; }
    // The VORBIS_COMMENT block's lengths or field count claim more than the block holds.
    bool CommentRunsPast() const { return commentRunsPast_; }
    // The slot of a known field name (empty for a name without a slot).
    const std::string& Field(std::string_view name) const;
    const std::array<std::string, kFLACCommentFieldNames.size()>& Slots() const { return slots_; }
    const std::vector<TFLACCommentField>& ExtraFields() const { return extraFields_; }
    const std::vector<TFLACMetaBlock>& OtherBlocks() const { return otherBlocks_; }

private:
    void DecodeStreamInfo();
    bool WalkMetadataBlocks(class TFileStream& stream);
    void ReadVorbisComment(const std::vector<unsigned char>& payload);
    int64_t SamplesFromFrames(class TFileStream& stream, int64_t audioOffset) const;
    void StoreCommentField(std::string_view field);

    TID3v2 id3v2_;
    std::array<uint8_t, kHeaderSize> header_{};
    std::string fileName_;
    int64_t fileSize_ = 0;
    uint8_t channels_ = 0;
    int32_t sampleRate_ = 0;
    uint8_t bitsPerSample_ = 0;
    int64_t samples_ = 0;
    bool samplesFromFrames_ = false;
    uint16_t minBlockSize_ = 0;
    uint16_t maxBlockSize_ = 0;
    int64_t audioOffset_ = 0;
    int32_t bitRate_ = 0;
    int32_t paddingSize_ = 0;
    int32_t paddingIndex_ = 0;
    bool paddingIsLast_ = false;
    bool hasExtraPadding_ = false;
    int64_t vorbisCommentOffset_ = 0;
    uint32_t vorbisCommentSize_ = 0;
    int32_t vorbisCommentIndex_ = 0;
    std::string vendor_;
    bool hasCommentFields_ = false;
    bool commentRunsPast_ = false;
    std::array<std::string, kFLACCommentFieldNames.size()> slots_;
    std::vector<TFLACCommentField> extraFields_;
    std::vector<TFLACMetaBlock> otherBlocks_;
};
