// TOptimFrog: OptimFROG files (extension OFR), read from the 23-byte "OFR "
// stream header that follows any ID3v2 tag: sample type, channel mode,
// sample rate, sample count, encoder version and compression mode.
#pragma once

#include "io/FileStream.h"
#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <cstdint>
#include <string>

class TOptimFrog {
public:
    static constexpr std::size_t kHeaderSize = 23;

    TOptimFrog() { ResetData(); }

    void ResetData();
    // True when the stream header starts with "OFR "; the caller still tests
    // Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const;
    int64_t Samples() const;   // per channel
    double Duration() const;
    int32_t SampleRate() const;
    int32_t Channels() const;
    int8_t BitsPerSample() const;   // negative for floating-point samples
    int32_t BitRate() const;        // kbit/s
    double Ratio() const;
    std::string VersionText() const;       // encoder version, "4.520"
    std::string CompressionName() const;   // "normal", "extranew", ...

    int64_t FileSize() const { return fileSize_; }
    uint8_t SampleType() const { return sampleType_; }
    uint8_t ChannelMode() const { return channelMode_; }
    uint16_t EncoderID() const { return encoderID_; }
    uint8_t CompressionID() const { return compressionID_; }
    // Where the "OFR " block starts (after any ID3v2 tag) and the size of its
    // fields after the marker and the size itself (15 for the fields above).
    int64_t HeaderAt() const { return headerAt_; }
    uint32_t HeaderFieldBytes() const { return headerFieldBytes_; }

    const TID3v1& ID3v1() const { return id3v1_; }
    const TID3v2& ID3v2() const { return id3v2_; }
    const TAPETag& APEtag() const { return apeTag_; }

private:
    TID3v1 id3v1_;
    TID3v2 id3v2_;
    TAPETag apeTag_;
    int64_t fileSize_ = 0;
    // The stream header's fields.
    bool marker_ = false;
    int64_t headerAt_ = 0;
    uint32_t headerFieldBytes_ = 0;
    uint32_t lengthLow_ = 0;    // samples of all channels, low 32 bits
    uint16_t lengthHigh_ = 0;   // and high 16 bits
    uint8_t sampleType_ = 0;
    uint8_t channelMode_ = 0;
    int32_t sampleRate_ = 0;
    uint16_t encoderID_ = 0;
    uint8_t compressionID_ = 0;
};
