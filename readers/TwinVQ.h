// TTwinVQ: TwinVQ files (VQF): the 40-byte header made of the "TWIN" file
// header and the "COMM" chunk, and the text chunks that follow it up to the
// "DATA" chunk.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>

class TTwinVQ {
public:
    TTwinVQ() { ResetData(); }
    void ResetData();
    // True when the 40 header bytes could be read; the caller tests Valid.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const { return valid_; }
    uint8_t Channels() const { return channels_; }      // 1, 2, or 0 for an unknown mode
    uint8_t BitRate() const { return bitRate_; }        // kbit/s, low 8 bits of the header value
    uint16_t SampleRate() const { return sampleRate_; } // Hz
    int64_t FileSize() const { return fileSize_; }
    double Duration() const { return duration_; }       // seconds, estimated from the size
    const std::string& Title() const { return title_; }
    const std::string& Comment() const { return comment_; }
    const std::string& Author() const { return author_; }
    const std::string& Copyright() const { return copyright_; }
    const std::string& SourceFileName() const { return sourceFileName_; }
    const std::string& Album() const { return album_; }

    double Ratio() const;   // percent of 16-bit PCM WAV size

private:
    void ReadTextChunks(TFileStream& stream);
    std::string* TextOf(const std::string& id);

    bool valid_ = false;
    uint8_t channels_ = 0;
    uint8_t bitRate_ = 0;
    uint16_t sampleRate_ = 0;
    int64_t fileSize_ = 0;
    double duration_ = 0;
    std::string title_, comment_, author_, copyright_, sourceFileName_, album_;
};
