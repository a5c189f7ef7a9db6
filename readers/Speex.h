// TSpeex: Ogg files with the extension SPX. The first packet is a Speex
// header ("Speex   ", any Speex version) or, for a Vorbis stream under this
// extension, a Vorbis identification header; the second packet, the comment
// header, is gathered across its pages and parsed into a TVorbisComment; the
// granule position of the last page gives the sample count. The Ogg stream
// must start at byte 0.
#pragma once

#include "io/FileStream.h"
#include "tags/VorbisComment.h"

#include <cstdint>
#include <string>

class TSpeex {
public:
    TSpeex() { ResetData(); }

    void ResetData();
    // True when the file starts with an Ogg page whose first packet is a Speex
    // or Vorbis header; the caller still tests Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const;
    double Duration() const;
    uint16_t BitRate() const;   // average, kbit/s
    double Ratio() const;
    // The Speex header's version text, "NA" without a Speex header.
    std::string VersionText() const;

    int64_t FileSize() const { return fileSize_; }
    uint8_t Channels() const { return channels_; }
    uint16_t SampleRate() const { return sampleRate_; }           // low 16 bits of the header value
    uint16_t NominalBitRate() const { return nominalBitRate_; }   // Vorbis only, kbit/s
    int32_t Samples() const { return samples_; }
    const std::string& SpeexVersion() const { return speexVersion_; }
    bool HasSpeexVersion() const { return hasSpeexVersion_; }
    const TVorbisComment& VorbisComment() const { return vorbisComment_; }

private:
    TVorbisComment vorbisComment_;
    int64_t fileSize_ = 0;
    uint8_t channels_ = 0;
    uint16_t sampleRate_ = 0;
    uint16_t nominalBitRate_ = 0;
    int32_t samples_ = 0;
    std::string speexVersion_;
    bool hasSpeexVersion_ = false;
};
