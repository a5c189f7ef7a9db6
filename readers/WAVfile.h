// TWAVfile: RIFF WAVE files (the Microsoft/IBM RIFF multimedia format of
// 1991, with the WAVEFORMATEX and WAVEFORMATEXTENSIBLE format chunks), and
// their 64-bit forms RF64 (EBU Tech 3306) and BW64 (ITU-R BS.2088), whose
// "ds64" chunk holds the RIFF, data and sample counts that do not fit the
// 32-bit size fields. The reader checks the RIFF header, walks the chunks to
// find the "fmt " chunk, the "data" chunk and the "fact" chunk, and derives
// size, playing time, bitrate and compression ratio from them. Any format
// code is accepted; each is named (the encoder info of a WAV row), the
// extensible format by its sub-format GUID.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>

class TWAVfile {
public:
    TWAVfile() { ResetData(); }
    void ResetData();
    // False only when the file cannot be opened or read; a readable file that
    // is not a WAV file gives true with Valid false.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const { return valid_; }
    uint32_t FormatChunkSize() const { return formatChunkSize_; }
    uint16_t FormatTag() const { return formatTag_; }
    uint8_t Channels() const { return channels_; }          // low byte of the 16-bit field
    uint32_t SampleRate() const { return sampleRate_; }
    uint32_t BytesPerSecond() const { return bytesPerSecond_; }
    uint16_t BlockAlign() const { return blockAlign_; }
    uint8_t BitsPerSample() const { return bitsPerSample_; } // low byte of the 16-bit field
    uint64_t SampleCount() const { return sampleCount_; }
    bool Is64Bit() const { return is64Bit_; }              // RF64 or BW64
    uint16_t SubFormatTag() const { return subFormatTag_; } // extensible: the GUID's format code
    int64_t HeaderSize() const { return headerSize_; }      // bytes before the sample data
    uint64_t DataChunkSize() const { return dataChunkSize_; } // as the data chunk declares it; 0 without one
    int64_t FileSize() const { return fileSize_; }          // RIFF size + 8, at most the size on disk
    const std::string& FileName() const { return fileName_; }
    double BitRate() const { return bitRate_; }             // kbit/s

    double Duration() const;       // seconds
    double Ratio() const;          // percent of a canonical PCM file
    std::string FormatName() const;

private:
    bool valid_ = false;
    uint32_t formatChunkSize_ = 0;
    uint16_t formatTag_ = 0;
    uint8_t channels_ = 0;
    uint32_t sampleRate_ = 0;
    uint32_t bytesPerSecond_ = 0;
    uint16_t blockAlign_ = 0;
    uint8_t bitsPerSample_ = 0;
    uint64_t sampleCount_ = 0;
    bool is64Bit_ = false;
    uint16_t subFormatTag_ = 0;
    bool standardSubFormat_ = false;   // the GUID has the KSDATAFORMAT base
    int64_t headerSize_ = 0;
    uint64_t dataChunkSize_ = 0;
    int64_t fileSize_ = 0;
    std::string fileName_;
    double bitRate_ = 0;
};
