// TMonkey: Monkey's Audio files (APE, MAC). The "MAC " header comes in two
// layouts: the old one of format versions below 3.98, where the header
// follows the marker and version directly, and the new one of versions 3.98
// and later, where a descriptor stands between the marker and the header.
#pragma once

#include "io/FileStream.h"
#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <cstdint>
#include <string>

class TFileStream;

// Where the parts of a new-layout file (versions 3.98 and later) lie, as its
// descriptor and header declare them: descriptor, header, seek table, the
// WAV header kept for decoding, the frames, the WAV trailer. Offsets count
// from the file's start (an ID3v2 tag in front included).
struct TMonkeyLayout {
    bool Known = false;             // the new layout was read
    int64_t SeekTableAt = 0;        // 32-bit little-endian frame offsets, from "MAC "
    uint32_t SeekTableBytes = 0;
    int64_t FramesAt = 0;           // the first frame
    uint64_t FrameDataBytes = 0;    // all frames together
    int64_t StartAt = 0;            // "MAC ": where the seek table's offsets count from
    uint32_t BlocksPerFrame = 0;
    uint32_t FinalFrameBlocks = 0;
    uint32_t TotalFrames = 0;
};

class TMonkey {
public:
    TMonkey() { ResetData(); }
    void ResetData();
    // True exactly when the file is Valid afterwards.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const { return valid_; }
    int32_t Version() const { return version_; }                 // 3990 for 3.99
    const std::string& VersionText() const { return versionText_; }   // "3.99"
    int32_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }
    int32_t BitsPerSample() const { return bitsPerSample_; }
    uint32_t PeakLevel() const { return peakLevel_; }
    double PeakRatio() const { return peakRatio_; }              // percent
    uint64_t Samples() const { return samples_; }                // per channel
    double BitRate() const { return bitRate_; }                  // thousandths of bit/s
    double Duration() const { return duration_; }                // seconds
    int32_t CompressionLevel() const { return compressionLevel_; }
    const std::string& CompressionText() const { return compressionText_; }
    uint32_t FormatFlags() const { return formatFlags_; }
    bool HasPeakLevel() const { return hasPeakLevel_; }
    bool HasCRC() const { return hasCRC_; }
    bool HasSeekElements() const { return hasSeekElements_; }
    int64_t FileSize() const { return fileSize_; }

    double Ratio() const;   // percent of the PCM WAV size
    const TMonkeyLayout& Layout() const { return layout_; }

    const TID3v1& ID3v1() const { return id3v1_; }
    const TID3v2& ID3v2() const { return id3v2_; }
    const TAPETag& APEtag() const { return apeTag_; }

private:
    bool ReadOldHeader(TFileStream& stream);
    bool ReadNewHeader(TFileStream& stream, int64_t startAt);

    TID3v1 id3v1_;
    TID3v2 id3v2_;
    TAPETag apeTag_;

    bool valid_ = false;
    int32_t version_ = 0;
    std::string versionText_;
    int32_t channels_ = 0;
    int32_t sampleRate_ = 0;
    int32_t bitsPerSample_ = 0;
    uint32_t peakLevel_ = 0;
    double peakRatio_ = 0;
    uint64_t samples_ = 0;
    double bitRate_ = 0;
    double duration_ = 0;
    int32_t compressionLevel_ = 0;
    std::string compressionText_;
    uint32_t formatFlags_ = 0;
    bool hasPeakLevel_ = false;
    bool hasCRC_ = false;
    bool hasSeekElements_ = false;
    int64_t fileSize_ = 0;
    TMonkeyLayout layout_;
};
