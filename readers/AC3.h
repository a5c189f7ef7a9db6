// TAC3: raw AC-3 elementary streams (ATSC A/52). Only the synchronization
// information and the start of the bit stream information of the first frame,
// at the very start of the file, are read; playing time and ratio assume a
// constant bitrate over the whole file.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>

class TAC3 {
public:
    TAC3() { ResetData(); }
    void ResetData();
    // True exactly when the file starts with the AC-3 sync word. Errors from
    // opening or reading the file are not caught.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    int64_t FileSize() const { return fileSize_; }
    bool Valid() const { return valid_; }
    int32_t Channels() const { return channels_; }   // without the low-frequency-effects channel
    int32_t BitsPerSample() const { return bitsPerSample_; }
    int32_t SampleRate() const { return sampleRate_; }
    uint16_t BitRate() const { return bitRate_; }    // kbit/s
    double Duration() const { return duration_; }    // seconds
    double Ratio() const;                            // percent of a canonical PCM file

private:
    int64_t fileSize_ = 0;
    bool valid_ = false;
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    int32_t sampleRate_ = 0;
    uint16_t bitRate_ = 0;
    double duration_ = 0;
};
