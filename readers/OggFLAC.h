// TOggFLAC: FLAC audio in an Ogg stream (the Ogg FLAC mapping 1.0), as
// written by "flac --ogg" and by ffmpeg's Ogg muxer.
//
// The first packet is 0x7F "FLAC", the mapping version, the number of header
// packets that follow, "fLaC" and the STREAMINFO block (rate, channels, bits,
// total samples). The header packets after it are metadata blocks, the
// VORBIS_COMMENT among them naming the encoder in its vendor string. When
// STREAMINFO leaves the total sample count 0, the granule position of the
// last complete page gives it.
#pragma once

#include "readers/OggPages.h"

#include <cstdint>
#include <string>

class TFileStream;

class TOggFLAC {
public:
    TOggFLAC() { ResetData(); }
    void ResetData();
    // True when the first Ogg packet is an Ogg FLAC mapping header with a
    // STREAMINFO block; the caller still tests Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);

    bool Valid() const;
    double Duration() const;   // seconds
    int32_t BitRate() const;   // kbit/s over the audio pages
    double Ratio() const;      // percent of PCM with the stream's bits

    int64_t FileSize() const { return fileSize_; }
    uint8_t MappingMajor() const { return mappingMajor_; }
    uint8_t MappingMinor() const { return mappingMinor_; }
    uint16_t HeaderPackets() const { return headerPackets_; }   // as stated, 0 = not stated
    int32_t SampleRate() const { return sampleRate_; }
    uint8_t Channels() const { return channels_; }
    uint8_t BitsPerSample() const { return bitsPerSample_; }
    int64_t StreamInfoSamples() const { return streamInfoSamples_; }
    // The checksums of the pages read, and how the stream ends.
    const TOggStreamEnd& StreamEnd() const { return streamEnd_; }
    int64_t Granule() const { return granule_; }   // of the last complete page, -1 without one
    int64_t Samples() const;                       // STREAMINFO's total, else the last granule
    int64_t AudioOffset() const { return audioOffset_; }
    bool HasComment() const { return hasComment_; }
    const std::string& Vendor() const { return vendor_; }

private:
    int64_t fileSize_ = 0;
    uint8_t mappingMajor_ = 0;
    uint8_t mappingMinor_ = 0;
    uint16_t headerPackets_ = 0;
    int32_t sampleRate_ = 0;
    uint8_t channels_ = 0;
    uint8_t bitsPerSample_ = 0;
    int64_t streamInfoSamples_ = 0;
    int64_t granule_ = -1;
    TOggStreamEnd streamEnd_;
    int64_t audioOffset_ = 0;
    bool hasComment_ = false;
    std::string vendor_;
};
