// TDSF: DSD Stream File (.dsf, Sony's format version 1): one-bit DSD audio
// at 2.8224 MHz (DSD64) and multiples, in little-endian chunks.
//
// The "DSD " chunk gives the file size and the metadata (ID3v2) offset, the
// "fmt " chunk the channel count, the DSD sampling frequency, the bit order
// (1 or 8 bits per sample) and the sample count per channel; the "data"
// chunk holds the samples in blocks of 4096 bytes per channel, the last
// block padded.
#pragma once

#include <cstdint>
#include <string>

class TFileStream;

// "DSD64", "DSD128", "DSD256", "DSD512" ... by the rate as a multiple of
// 44.1 kHz (or 48 kHz) times 64; "DSD" for a rate that is neither.
std::string DsdRateName(int64_t sampleRate);

class TDSF {
public:
    static constexpr int32_t kBitsPerSample = 1;

    TDSF() { ResetData(); }
    void ResetData();
    // True when the file starts with a "DSD " chunk followed by "fmt "; the
    // caller still tests Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);

    bool Valid() const;
    int64_t Samples() const;    // per channel: the stated count, else as the data chunk holds
    double Duration() const;    // seconds
    int32_t BitRate() const;    // kbit/s over the data chunk
    double Ratio() const;       // percent of one-bit PCM of the same length

    int64_t FileSize() const { return fileSize_; }
    uint32_t FormatVersion() const { return formatVersion_; }
    uint32_t FormatId() const { return formatId_; }       // 0: DSD raw
    uint32_t ChannelType() const { return channelType_; }
    int32_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }
    uint32_t StoredBitsPerSample() const { return storedBits_; }   // 1 (LSB first) or 8 (MSB first)
    uint64_t SampleCount() const { return sampleCount_; }           // as stated
    uint32_t BlockSize() const { return blockSize_; }
    int64_t DataSize() const { return dataSize_; }                  // sample bytes in the file

private:
    int64_t fileSize_ = 0;
    uint32_t formatVersion_ = 0;
    uint32_t formatId_ = 0;
    uint32_t channelType_ = 0;
    int32_t channels_ = 0;
    int32_t sampleRate_ = 0;
    uint32_t storedBits_ = 0;
    uint64_t sampleCount_ = 0;
    uint32_t blockSize_ = 0;
    int64_t dataSize_ = 0;
};
