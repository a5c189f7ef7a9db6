// TOpus: Opus audio in an Ogg stream (RFC 7845), under .opus, .ogg or .oga.
//
// The first packet, "OpusHead" (version 0.x), gives the channel count, the
// pre-skip and the input sample rate; the second, "OpusTags", a vendor
// string in the Vorbis comment layout. Every Opus stream plays at 48 kHz
// whatever rate the encoder was fed, so the length is the granule position
// of the last complete page, less the pre-skip, over 48,000.
#pragma once

#include "readers/OggPages.h"

#include <cstdint>
#include <string>

class TFileStream;

class TOpus {
public:
    static constexpr int32_t kPlaybackRate = 48000;

    TOpus() { ResetData(); }
    void ResetData();
    // True when the file's first Ogg packet is an OpusHead of a version this
    // reader knows; the caller still tests Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);

    bool Valid() const;
    double Duration() const;   // seconds
    int32_t BitRate() const;   // kbit/s over the audio pages
    double Ratio() const;      // percent of 16-bit PCM of the same length

    int64_t FileSize() const { return fileSize_; }
    int32_t SampleRate() const { return kPlaybackRate; }
    uint8_t Channels() const { return channels_; }
    uint8_t Version() const { return version_; }
    uint16_t PreSkip() const { return preSkip_; }
    uint32_t InputSampleRate() const { return inputSampleRate_; }   // the encoder's input, informative
    int16_t OutputGain() const { return outputGain_; }              // Q7.8 dB
    uint8_t MappingFamily() const { return mappingFamily_; }
    // The checksums of the pages read, and how the stream ends.
    const TOggStreamEnd& StreamEnd() const { return streamEnd_; }
    int64_t Granule() const { return granule_; }     // of the last complete page, -1 without one
    int64_t Samples() const;                         // per channel at 48 kHz, pre-skip removed
    int64_t AudioOffset() const { return audioOffset_; }   // where the pages after OpusTags begin
    bool HasTags() const { return hasTags_; }
    const std::string& Vendor() const { return vendor_; }

private:
    int64_t fileSize_ = 0;
    uint8_t channels_ = 0;
    uint8_t version_ = 0;
    uint16_t preSkip_ = 0;
    uint32_t inputSampleRate_ = 0;
    int16_t outputGain_ = 0;
    uint8_t mappingFamily_ = 0;
    int64_t granule_ = -1;
    TOggStreamEnd streamEnd_;
    int64_t audioOffset_ = 0;
    bool hasTags_ = false;
    std::string vendor_;
};
