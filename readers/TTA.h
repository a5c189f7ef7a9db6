// TTTA: True Audio files (extension TTA), format 1: the "TTA1" header that
// follows any ID3v2 tag gives the audio format, channels, bits per sample,
// sample rate and the sample count per channel.
#pragma once

#include "io/FileStream.h"
#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <cstdint>
#include <string>

class TTTA {
public:
    TTTA() { ResetData(); }

    void ResetData();
    // True when the "TTA1" marker is found; open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    // A file with the marker is valid unless it holds no samples or has no
    // sample rate, which would leave it without a duration.
    bool Valid() const { return valid_; }
    double Ratio() const;

    int64_t FileSize() const { return fileSize_; }
    uint16_t AudioFormat() const { return audioFormat_; }
    uint16_t Channels() const { return channels_; }
    uint16_t BitsPerSample() const { return bitsPerSample_; }
    uint32_t SampleRate() const { return sampleRate_; }
    uint32_t Samples() const { return samples_; }   // per channel
    uint32_t CRC() const { return crc_; }           // not checked
    double BitRate() const { return bitRate_; }     // kbit/s, tags included
    double Duration() const { return duration_; }

    const TID3v1& ID3v1() const { return id3v1_; }
    const TID3v2& ID3v2() const { return id3v2_; }
    const TAPETag& APEtag() const { return apeTag_; }

private:
    TID3v1 id3v1_;
    TID3v2 id3v2_;
    TAPETag apeTag_;
    bool valid_ = false;
    int64_t fileSize_ = 0;
    uint16_t audioFormat_ = 0;
    uint16_t channels_ = 0;
    uint16_t bitsPerSample_ = 0;
    uint32_t sampleRate_ = 0;
    uint32_t samples_ = 0;
    uint32_t crc_ = 0;
    double bitRate_ = 0;
    double duration_ = 0;
};
