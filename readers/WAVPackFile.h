// TWAVPackfile: WavPack files (WV) in three shapes: the old format versions 1
// to 3, whose "wvpk" header sits at the start of the "data" chunk of a RIFF
// WAVE file; files made of version 4 "wvpk" blocks; and self-extracting
// archives, an executable stub followed by version 4 blocks.
#pragma once

#include "io/FileStream.h"
#include "tags/APETag.h"

#include <cstdint>
#include <string>


class TWAVPackfile {
public:
    TWAVPackfile() { ResetData(); }
    void ResetData();
    // True when a header was read; the caller also tests Valid. An open error
    // of the file stream is not caught: it reaches the caller.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    int64_t FileSize() const { return fileSize_; }
    bool Valid() const { return valid_; }
    uint32_t FormatTag() const { return formatTag_; }   // WAVE format tag, old files only
    int32_t Version() const { return version_; }
    // From the channel-info sub-block of multichannel files, else 1 or 2.
    int32_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }
    int32_t BitsPerSample() const { return bitsPerSample_; }
    double BitRate() const { return bitRate_; }          // kbit/s
    double Duration() const { return duration_; }        // seconds
    const std::string& ModeText() const { return modeText_; }
    int32_t TagSize() const { return tagSize_; }         // APE tag bytes, 0 without one
    uint64_t Samples() const { return samples_; }        // per channel
    uint64_t BlockSamples() const { return blockSamples_; }
    // The first block left the total unknown; the last block gave Samples.
    bool SamplesFromLastBlock() const { return samplesFromLastBlock_; }
    // 1-bit DSD audio: SampleRate and Samples count the one-bit samples.
    bool IsDSD() const { return isDSD_; }

    double Ratio() const;   // percent of the PCM WAV size

    // Block index plus block samples of the last whole version 4 block near
    // the end of the file (stored samples, before any DSD multiplier); 0
    // when none is found. Fewer than Samples: the file was cut.
    uint64_t SamplesUpToLastBlock(TFileStream& stream) const;

    // The block header nearest the end of the file within its last window
    // bytes, for a cheap look at whether the file was cut: where its samples
    // end (stored samples) and whether the block runs past the end.
    struct TTailBlock {
        bool Found = false;
        uint64_t SamplesEnd = 0;
        bool RunsPast = false;
    };
    TTailBlock BlockNearEnd(TFileStream& stream, int64_t window) const;

    const TAPETag& APEtag() const { return apeTag_; }

private:
    bool ReadOldFile(TFileStream& stream);
    bool ReadBlock(TFileStream& stream);
    bool FindSelfExtractorBlock(TFileStream& stream);

    TAPETag apeTag_;

    int64_t fileSize_ = 0;
    bool valid_ = false;
    uint32_t formatTag_ = 0;
    int32_t version_ = 0;
    int32_t channels_ = 0;
    int32_t sampleRate_ = 0;
    int32_t bitsPerSample_ = 0;
    double bitRate_ = 0;
    double duration_ = 0;
    std::string modeText_;
    int32_t tagSize_ = 0;
    uint64_t samples_ = 0;
    uint64_t blockSamples_ = 0;
    bool samplesFromLastBlock_ = false;
    bool isDSD_ = false;
};
