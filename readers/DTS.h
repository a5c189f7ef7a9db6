// TDTS: raw DTS Coherent Acoustics core streams (ETSI TS 102 114) in the
// 16-bit big-endian form. Only the frame header of the first frame, at the
// very start of the file, is read; playing time and ratio assume a constant
// bitrate over the whole file.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>

class TDTS {
public:
    TDTS() { ResetData(); }
    void ResetData();
    // True exactly when the file starts with the DTS core sync word. Errors
    // from opening or reading the file are not caught.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    int64_t FileSize() const { return fileSize_; }
    bool Valid() const { return valid_; }
    int32_t Channels() const { return channels_; }   // without the low-frequency-effects channel
    int32_t BitsPerSample() const { return bitsPerSample_; }
    int32_t SampleRate() const { return sampleRate_; }
    int32_t BitRate() const { return bitRate_; }          // kbit/s, the nominal rate shown
    double ExactBitRate() const { return exactBitRate_; } // kbit/s, used for the playing time
    double Duration() const { return duration_; }         // seconds
    double Ratio() const;                                 // percent of a canonical PCM file

private:
    int64_t fileSize_ = 0;
    bool valid_ = false;
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    int32_t sampleRate_ = 0;
    int32_t bitRate_ = 0;
    double exactBitRate_ = 0;
    double duration_ = 0;
};
