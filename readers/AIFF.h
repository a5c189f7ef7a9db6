// TAIFF: Audio Interchange File Format files: Apple AIFF 1.3 (form type
// "AIFF") and AIFF-C (form type "AIFC", draft of 1991), whose "COMM" chunk
// adds a compression type and name after the sample rate. The reader checks
// the FORM header, walks the chunks to the first "COMM" chunk and takes
// channels, sample frames, sample size, the sample rate (an IEEE 754 80-bit
// extended number) and, for AIFF-C, the compression from it; size, playing
// time, bitrate and ratio follow. "NONE", "sowt" (little-endian), "twos",
// "fl32", "fl64" and the other sample codes are PCM; any other compression
// ("alaw", "ulaw", "ima4", ...) is named.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>

class TAIFF {
public:
    TAIFF() { ResetData(); }
    void ResetData();
    // False only when the file cannot be opened or read; a readable file that
    // is not an AIFF file gives true with Valid false.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const { return valid_; }
    const std::string& FileName() const { return fileName_; }
    int64_t FileSize() const { return fileSize_; }          // FORM size + 8, at most the size on disk
    uint8_t Channels() const { return channels_; }          // low byte of the 16-bit field
    uint32_t SampleFrames() const { return sampleFrames_; }
    uint8_t BitsPerSample() const { return bitsPerSample_; } // low byte of the 16-bit field
    int32_t SampleRate() const { return sampleRate_; }
    double BitRate() const { return bitRate_; }             // kbit/s
    double Duration() const { return duration_; }           // seconds
    double Ratio() const { return ratio_; }                 // percent of a canonical PCM file
    bool IsAIFC() const { return aifc_; }
    const std::string& CompressionType() const { return compressionType_; }   // AIFF-C only
    const std::string& CompressionName() const { return compressionName_; }   // AIFF-C only
    uint64_t SampleCount() const { return sampleCount_; }   // samples per channel
    // "AIFF", or "AIFF-C" and the compression name (its code when unnamed).
    std::string FormatName() const;

private:
    bool valid_ = false;
    std::string fileName_;
    int64_t fileSize_ = 0;
    uint8_t channels_ = 0;
    uint32_t sampleFrames_ = 0;
    uint8_t bitsPerSample_ = 0;
    int32_t sampleRate_ = 0;
    double bitRate_ = 0;
    double duration_ = 0;
    double ratio_ = 0;
    bool aifc_ = false;
    std::string compressionType_, compressionName_;
    uint64_t sampleCount_ = 0;
};

// The IEEE 754 80-bit extended number in the 10 big-endian bytes at p,
// rounded to the nearest integer (ties to even). Infinity, NaN and values
// outside the signed 32-bit range give 0.
int32_t ExtendedToInt32(const unsigned char* p);
