// DTS reader: placeholder until the reader lands.
#pragma once

#include <cstdint>
#include <string>

class TDTS {
public:
    TDTS() { ResetData(); }
    void ResetData();
    bool ReadFromFile(const std::string& path);
    bool Valid() const { return valid_; }

    int64_t FileSize() const { return fileSize_; }
    double Duration() const { return duration_; }
    int32_t SampleRate() const { return sampleRate_; }
    int32_t Channels() const { return channels_; }
    int32_t BitsPerSample() const { return bitsPerSample_; }
    int32_t BitRate() const { return bitRate_; }
    double Ratio() const { return ratio_; }

private:
    bool valid_ = false;
    int64_t fileSize_ = 0;
    double duration_ = 0;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    int32_t bitRate_ = 0;
    double ratio_ = 0;
};
