// TOggVorbis: Ogg Vorbis files (Vorbis I in an Ogg stream), optionally behind
// an ID3v2 tag.
//
// The first page carries the identification header (channels, sample rate,
// nominal bitrate), the second the comment header (vendor string and tag
// fields); the granule position of the last page gives the sample count. The
// vendor string is turned into a libVorbis release name by a fixed table.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>

class TOggVorbis {
public:
    TOggVorbis() { ResetData(); }

    void ResetData();
    // True when the first page is an Ogg page holding a Vorbis identification
    // header; the caller still tests Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const;
    double Duration() const;
    uint16_t BitRate() const;   // average, kbit/s
    double Ratio() const;
    std::string EncoderRelease() const;

    int64_t FileSize() const { return fileSize_; }
    uint8_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }
    uint16_t NominalBitRate() const { return nominalBitRate_; }   // kbit/s
    int32_t Samples() const { return samples_; }
    int32_t ID3v2Size() const { return id3v2Size_; }
    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    uint8_t Track() const { return track_; }
    const std::string& Date() const { return date_; }
    const std::string& Genre() const { return genre_; }
    const std::string& Comment() const { return comment_; }
    const std::string& Vendor() const { return vendor_; }

private:
    int64_t fileSize_ = 0;
    uint8_t channels_ = 0;
    int32_t sampleRate_ = 0;
    uint16_t nominalBitRate_ = 0;
    int32_t samples_ = 0;
    int32_t id3v2Size_ = 0;
    std::string title_, artist_, album_;
    uint8_t track_ = 0;
    std::string date_, genre_, comment_, vendor_;
};

// The libVorbis release that wrote a vendor string; the vendor string itself
// when the table does not know it.
std::string VorbisEncoderRelease(const std::string& vendor);
