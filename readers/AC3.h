// TAC3: raw AC-3 elementary streams (ATSC A/52). Only the synchronization
// information and the start of the bit stream information of the first frame,
// at the very start of the file, are read; playing time and ratio assume a
// constant bitrate over the whole file.
//
// Enhanced AC-3 (E-AC-3, A/52 Annex E, bit stream id 16) shares the sync
// word and the place of the bit stream id; its frame header states the frame
// size ("frmsiz"), the sample rate and the blocks per frame, from which the
// bitrate follows.
#pragma once

#include "io/FileStream.h"

#include <cstddef>
#include <cstdint>
#include <string>

// E-AC-3 bitrate in kbit/s: frame bytes times frames per second, a frame
// holding blocksPerFrame blocks of 256 samples.
double EAC3BitRate(int32_t frameSize, int32_t sampleRate, int32_t blocksPerFrame);

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
    uint8_t BitStreamId() const { return bitStreamId_; }
    bool IsEAC3() const { return isEAC3_; }          // bit stream id 11 to 16
    int32_t FrameSize() const { return frameSize_; } // E-AC-3: bytes per frame
    int32_t BlocksPerFrame() const { return blocksPerFrame_; }   // E-AC-3: 1, 2, 3 or 6

private:
    int64_t fileSize_ = 0;
    bool valid_ = false;
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    int32_t sampleRate_ = 0;
    uint16_t bitRate_ = 0;
    double duration_ = 0;
    uint8_t bitStreamId_ = 0;
    bool isEAC3_ = false;
    int32_t frameSize_ = 0;
    int32_t blocksPerFrame_ = 0;

    void ReadEAC3Header(const unsigned char* header, std::size_t size);
};
