// MPEG audio stream reader: placeholder until the reader lands.
#pragma once

#include <cstdint>
#include <string>

class TMPEGaudio {
public:
    TMPEGaudio() { ResetData(); }
    void ResetData();
    bool ReadFromFile(const std::string& path);
    bool Valid() const { return valid_; }

    int64_t FileSize() const { return fileSize_; }
    double Duration() const { return duration_; }
    uint16_t SampleRate() const { return sampleRate_; }
    uint16_t BitRate() const { return bitRate_; }
    double Ratio() const { return ratio_; }
    const std::string& ChannelMode() const { return channelMode_; }

private:
    bool valid_ = false;
    int64_t fileSize_ = 0;
    double duration_ = 0;
    uint16_t sampleRate_ = 0;
    uint16_t bitRate_ = 0;
    double ratio_ = 0;
    std::string channelMode_;
};
