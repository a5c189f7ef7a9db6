// TWMAfile: Windows Media Audio in the Advanced Systems Format (ASF)
// container. Reads the header object only: file properties, stream
// properties (the audio format record), content description and extended
// content description. Codec names cover WMA 7/8/9 Standard, 9 Professional,
// 9 Lossless and GSM-AMR.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>

class TWMAfile {
public:
    TWMAfile() { ResetData(); }
    void ResetData();
    // The path is the system's 8-bit path (UTF-8 here). True when the file
    // could be opened and its header walked, even if it is not ASF at all;
    // false when a read comes up short or the header is damaged.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const;
    double Ratio() const;   // percent

    int64_t FileSize() const { return fileSize_; }
    uint16_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }
    double Duration() const { return duration_; }            // seconds
    int32_t BitRate() const { return bitRate_; }             // kbit/s, truncated
    int32_t MaxBitRate() const { return maxBitRate_; }       // bit/s
    int32_t BytesPerSecond() const { return bytesPerSecond_; }
    int64_t PlayDuration() const { return playDuration_; }   // 100-nanosecond units
    int64_t Preroll() const { return preroll_; }             // milliseconds
    uint16_t FormatTag() const { return formatTag_; }
    const std::string& CodecName() const { return codecName_; }
    uint16_t BitsPerSample() const { return bitsPerSample_; }
    uint64_t HeaderSize() const { return headerSize_; }

    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    const std::string& Track() const { return track_; }
    const std::string& Year() const { return year_; }
    const std::string& Genre() const { return genre_; }
    const std::string& Comment() const { return comment_; }
    const std::string& Copyright() const { return copyright_; }
    const std::string& Rating() const { return rating_; }

private:
    friend class ASFHeaderReader;

    int64_t fileSize_ = 0;
    uint16_t channels_ = 0;
    int32_t sampleRate_ = 0;
    double duration_ = 0;
    int32_t bitRate_ = 0;
    int32_t maxBitRate_ = 0;
    int32_t bytesPerSecond_ = 0;
    int64_t playDuration_ = 0;
    int64_t preroll_ = 0;
    uint16_t formatTag_ = 0;
    std::string codecName_;
    uint16_t bitsPerSample_ = 0;
    uint64_t headerSize_ = 0;
    std::string title_, artist_, album_, track_, year_, genre_, comment_, copyright_, rating_;
};
