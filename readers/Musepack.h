// TMPEGplus: Musepack files (MPC, MP+, MPP) of stream versions 4, 5, 6, 7 and
// 7.1, read from the fixed 32-byte stream header at the start of the file or
// directly after an ID3v2 tag. Versions before 7 are always 44,100 Hz and
// name no encoder version. Stream version 8 ("MPCK" packets) is not read
// and leaves the file not Valid.
#pragma once

#include "io/FileStream.h"
#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <cstdint>
#include <string>

class TMPEGplus {
public:
    TMPEGplus() { ResetData(); }
    void ResetData();
    // False when the file cannot be opened or holds fewer than 32 header
    // bytes; a header of no known stream version reads true but not Valid.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const { return valid_; }
    uint8_t ChannelMode() const { return channelMode_; }       // 1 or 2
    int64_t FileSize() const { return fileSize_; }              // bytes, tags included
    int32_t FrameCount() const { return frameCount_; }          // frames of 1152 samples
    int32_t SampleRate() const { return sampleRate_; }          // Hz
    uint16_t HeaderBitRate() const { return headerBitRate_; }   // kbit/s, versions 4 and 5 only
    uint8_t StreamVersion() const { return streamVersion_; }    // 4, 5, 6, 7, 71; 0 = unknown
    uint8_t Profile() const { return profile_; }
    const std::string& EncoderVersionText() const { return encoderVersionText_; }

    double Duration() const;                  // seconds
    uint16_t BitRate() const;                 // kbit/s
    double Ratio() const;                     // percent of 16-bit stereo PCM
    std::string StreamVersionText() const;    // "7.1", "4.0" ...
    std::string ProfileName() const;

    const TID3v1& ID3v1() const { return id3v1_; }
    const TID3v2& ID3v2() const { return id3v2_; }
    const TAPETag& APEtag() const { return apeTag_; }

private:
    TID3v1 id3v1_;
    TID3v2 id3v2_;
    TAPETag apeTag_;

    bool valid_ = false;
    uint8_t channelMode_ = 0;
    int64_t fileSize_ = 0;
    int32_t frameCount_ = 0;
    int32_t sampleRate_ = 0;
    uint16_t headerBitRate_ = 0;
    uint8_t streamVersion_ = 0;
    uint8_t profile_ = 0;
    std::string encoderVersionText_;
};
