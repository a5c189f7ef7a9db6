// TDSDIFF: DSD Interchange File Format (.dff, Philips' format 1.5): one-bit
// DSD audio, plain or DST-compressed, in big-endian chunks with 64-bit sizes.
//
// The file is one "FRM8" chunk of form type "DSD ". Inside it the "PROP"
// chunk (property type "SND ") holds "FS  " (the DSD sampling frequency),
// "CHNL" (the channel count) and "CMPR" (compression "DSD " or "DST "); the
// sound data follows as a "DSD " chunk or, compressed, as a "DST " chunk whose
// "FRTE" chunk gives the frame count and frame rate.
#pragma once

#include <cstdint>
#include <string>

class TFileStream;

class TDSDIFF {
public:
    static constexpr int32_t kBitsPerSample = 1;

    TDSDIFF() { ResetData(); }
    void ResetData();
    // True when the file is a "FRM8" chunk of form "DSD "; the caller still
    // tests Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);

    bool Valid() const;
    double Duration() const;    // seconds
    int32_t BitRate() const;    // kbit/s over the sound data chunk
    double Ratio() const;       // percent of one-bit PCM of the same length

    int64_t FileSize() const { return fileSize_; }
    uint32_t FormatVersion() const { return formatVersion_; }   // "FVER", 0x01050000 for 1.5
    int32_t SampleRate() const { return sampleRate_; }
    int32_t Channels() const { return channels_; }
    const std::string& CompressionType() const { return compressionType_; }   // "DSD " or "DST "
    bool IsDST() const { return isDST_; }
    int64_t SoundDataSize() const { return soundDataSize_; }
    uint32_t DSTFrames() const { return dstFrames_; }
    uint16_t DSTFrameRate() const { return dstFrameRate_; }

private:
    void ReadProperties(TFileStream& stream, int64_t start, int64_t end);
    void ReadDSTInfo(TFileStream& stream, int64_t start, int64_t end);

    int64_t fileSize_ = 0;
    uint32_t formatVersion_ = 0;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    std::string compressionType_;
    bool isDST_ = false;
    bool haveSoundData_ = false;
    int64_t soundDataSize_ = 0;
    uint32_t dstFrames_ = 0;
    uint16_t dstFrameRate_ = 0;
};
