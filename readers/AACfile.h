// TAACfile: raw AAC streams (ISO/IEC 13818-7 and 14496-3) in either of their
// self-describing forms: ADIF (one header at the start of the stream) and
// ADTS (a header on every frame), MPEG-2 and MPEG-4, profiles Main, LC, SSR
// and LTP. An ADTS stream whose frames end with spectral band replication
// data (HE-AAC, signalled only inside the frames) is named HE-AAC and shows
// its output rate, twice the core rate of the header. Tags around the
// stream (ID3v2 in front, ID3v1 and APE behind) are detected and stepped
// over.
#pragma once

#include "io/FileStream.h"
#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <cstdint>
#include <string>

class TByteReader;

class TAACfile {
public:
    // HeaderType values.
    static constexpr uint8_t kHeaderUnknown = 0, kHeaderADIF = 1, kHeaderADTS = 2;
    // MPEGVersion values.
    static constexpr uint8_t kMPEGUnknown = 0, kMPEG2 = 1, kMPEG4 = 2;
    // Profile values.
    static constexpr uint8_t kProfileUnknown = 0, kProfileMain = 1, kProfileLC = 2, kProfileSSR = 3,
                             kProfileLTP = 4, kProfileHE = 5;
    // BitRateType values.
    static constexpr uint8_t kBitRateUnknown = 0, kBitRateCBR = 1, kBitRateVBR = 2;

    TAACfile() { ResetData(); }
    void ResetData();
    // False when the file cannot be opened or read, or a tag read fails; a
    // file that is neither ADIF nor ADTS is read (true) but not Valid.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const;
    double Duration() const;   // seconds
    double Ratio() const;      // percent

    int64_t FileSize() const { return fileSize_; }
    uint8_t HeaderType() const { return headerType_; }
    uint8_t MPEGVersion() const { return mpegVersion_; }
    uint8_t Profile() const { return profile_; }
    uint8_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }      // the output rate (the SBR rate for HE-AAC)
    int32_t CoreSampleRate() const { return coreSampleRate_; }
    int32_t BitRate() const { return bitRate_; }   // bit/s
    uint8_t BitRateType() const { return bitRateType_; }
    int64_t FrameCount() const { return frameCount_; }

    std::string HeaderTypeName() const;
    std::string MPEGVersionName() const;
    std::string ProfileName() const;
    std::string BitRateTypeName() const;

    const TID3v1& ID3v1() const { return id3v1_; }
    const TID3v2& ID3v2() const { return id3v2_; }
    const TAPETag& APEtag() const { return apeTag_; }

private:
    friend class AACStreamReader;

    int64_t fileSize_ = 0;
    uint8_t headerType_ = 0;
    uint8_t mpegVersion_ = 0;
    uint8_t profile_ = 0;
    uint8_t channels_ = 0;
    int32_t sampleRate_ = 0;
    int32_t coreSampleRate_ = 0;
    int32_t bitRate_ = 0;
    uint8_t bitRateType_ = 0;
    int64_t frameCount_ = 0;
    TID3v1 id3v1_;
    TID3v2 id3v2_;
    TAPETag apeTag_;
};

// A program config element (ISO/IEC 13818-7 and 14496-3), read from its
// element instance tag on. The channel count counts channels, not elements:
// a channel pair element carries two, a single channel or LFE element one.
struct TProgramConfig {
    uint8_t objectType = 0;      // profile - 1
    uint8_t samplingIndex = 0;
    uint8_t channels = 0;        // 0 when the element is cut short
};
TProgramConfig ReadProgramConfig(TByteReader& r);
