// WAV reader: placeholder until the reader lands.
#pragma once

#include <cstdint>
#include <string>

class TWAVfile {
public:
    TWAVfile() { ResetData(); }
    void ResetData();
    bool ReadFromFile(const std::string& path);
    bool Valid() const { return valid_; }

    int64_t FileSize() const { return fileSize_; }
    double Duration() const { return duration_; }
    int32_t SampleRate() const { return sampleRate_; }
    int32_t Channels() const { return channels_; }
    int32_t BitsPerSample() const { return bitsPerSample_; }
    double BitRate() const { return bitRate_; }
    double Ratio() const { return ratio_; }
    const std::string& FormatName() const { return formatName_; }

private:
    bool valid_ = false;
    int64_t fileSize_ = 0;
    double duration_ = 0;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    double bitRate_ = 0;
    double ratio_ = 0;
    std::string formatName_;
};
