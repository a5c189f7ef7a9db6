// Ogg Vorbis reader: placeholder until the reader lands.
#pragma once

#include <cstdint>
#include <string>

class TOggVorbis {
public:
    TOggVorbis() { ResetData(); }
    void ResetData();
    bool ReadFromFile(const std::string& path);
    bool Valid() const { return valid_; }

    int64_t FileSize() const { return fileSize_; }
    double Duration() const { return duration_; }
    int32_t SampleRate() const { return sampleRate_; }
    int32_t Channels() const { return channels_; }
    int32_t BitsPerSample() const { return bitsPerSample_; }
    uint16_t BitRate() const { return bitRate_; }
    double Ratio() const { return ratio_; }
    const std::string& EncoderRelease() const { return encoderRelease_; }
    int32_t NominalBitRate() const { return nominalBitRate_; }

private:
    bool valid_ = false;
    int64_t fileSize_ = 0;
    double duration_ = 0;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    uint16_t bitRate_ = 0;
    double ratio_ = 0;
    std::string encoderRelease_;
    int32_t nominalBitRate_ = 0;
};
