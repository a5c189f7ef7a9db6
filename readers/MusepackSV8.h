// TMusepackSV8: Musepack stream version 8 ("MPCK"), what mpcenc 1.30 writes,
// under .mpc, .mp+ and .mpp.
//
// After the "MPCK" marker the file is a sequence of packets: a two-letter
// key, a size in 7-bit groups (high bit set on all but the last byte) that
// counts the key and the size bytes too, and the payload. "SH" (stream
// header) gives the sample count, the beginning silence, the sample-rate
// index and the channel count; "EI" (encoder info) the profile and the
// encoder version; "AP" packets hold the audio; "SO" points at the seek table
// "ST"; "SE" ends the stream. Tags (APE, ID3v1) may follow.
#pragma once

#include <cstdint>
#include <string>

class TFileStream;

class TMusepackSV8 {
public:
    TMusepackSV8() { ResetData(); }
    void ResetData();
    // True when the file starts with "MPCK" and holds a stream header; the
    // caller still tests Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);

    bool Valid() const;
    double Duration() const;            // seconds
    int32_t BitRate() const;            // kbit/s over the audio packets
    double Ratio() const;               // percent of 16-bit PCM of the same length
    std::string EncoderVersionText() const;   // "1.30.1", empty without "EI"
    std::string ProfileName() const;          // "Standard", "--quality 4.5" ...

    int64_t FileSize() const { return fileSize_; }
    uint8_t StreamVersion() const { return streamVersion_; }
    uint64_t SampleCount() const { return sampleCount_; }
    uint64_t BeginningSilence() const { return beginningSilence_; }
    int32_t SampleRate() const { return sampleRate_; }
    uint8_t Channels() const { return channels_; }
    bool HasEncoderInfo() const { return hasEncoderInfo_; }
    uint8_t Profile() const { return profile_; }   // eighths: quality + 5, times 8
    bool PNS() const { return pns_; }
    uint8_t VersionMajor() const { return versionMajor_; }
    uint8_t VersionMinor() const { return versionMinor_; }
    uint8_t VersionBuild() const { return versionBuild_; }
    int64_t AudioBytes() const { return audioBytes_; }
    // A cut stream: its seek table lies past the end of the file, or an
    // audio packet runs past it. The whole audio packets before the cut
    // then hold SamplesPresent samples (beginning silence included).
    bool Cut() const { return cut_; }
    uint64_t SamplesPresent() const;

private:
    int64_t fileSize_ = 0;
    uint8_t streamVersion_ = 0;
    uint64_t sampleCount_ = 0;
    uint64_t beginningSilence_ = 0;
    int32_t sampleRate_ = 0;
    uint8_t channels_ = 0;
    bool hasEncoderInfo_ = false;
    uint8_t profile_ = 0;
    bool pns_ = false;
    uint8_t versionMajor_ = 0;
    uint8_t versionMinor_ = 0;
    uint8_t versionBuild_ = 0;
    int64_t audioBytes_ = 0;
    bool cut_ = false;
    uint64_t wholeAudioPackets_ = 0;
    uint8_t packetFramesPower_ = 0;   // frames per audio packet, as a power of 4
};

// True when the file (or stream) starts with the "MPCK" marker.
bool IsMusepackSV8(TFileStream& stream);
