// TMPEGaudio: MPEG audio stream reader.
//
// Reads MPEG-1 (ISO/IEC 11172-3) and MPEG-2 / MPEG-2.5 lower-sampling-rate
// (ISO/IEC 13818-3) audio, Layers I, II and III: the .mp1, .mp2, .mp3 and .mpa
// files. It decodes no audio. From the frame headers, a Xing or VBRI header in
// the first frame and "LAME" / "GOGO" marks in the frame data it yields the
// stream parameters, the playing time, the average bitrate and a first guess
// of the encoder. ID3v2, ID3v1/Lyrics3 and APE tags around the audio are found
// by the tag readers it owns.
#pragma once

#include "io/FileStream.h"
#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <array>
#include <cstdint>
#include <string>

// The decoded header of one frame.
struct FrameData {
    bool Found = false;             // a frame was accepted
    int64_t Position = 0;           // in the search buffer while searching, absolute afterwards
    uint16_t Size = 0;              // frame length in bytes
    bool Xing = false;              // the 6 bytes after the header are all zero
    std::array<uint8_t, 4> Data{};  // the raw header
    uint8_t VersionID = 1;          // 0 = MPEG 2.5, 1 = reserved, 2 = MPEG 2, 3 = MPEG 1
    uint8_t LayerID = 0;            // 0 = reserved, 1 = Layer III, 2 = Layer II, 3 = Layer I
    bool ProtectionBit = false;     // the frame carries a CRC (header bit is 0)
    uint16_t BitRateID = 0;
    uint16_t SampleRateID = 3;
    bool PaddingBit = false;
    bool PrivateBit = false;
    uint8_t ModeID = 4;             // 0 Stereo, 1 Joint Stereo, 2 Dual Channel, 3 Mono, 4 none read
    uint8_t ModeExtensionID = 4;
    bool CopyrightBit = false;
    bool OriginalBit = false;
    uint8_t EmphasisID = 2;
};

// The variable-bitrate header (Xing or VBRI), or VBR found by the frame scan.
struct VBRData {
    bool Found = false;
    std::string ID;          // "Xing", "VBRI", or empty when found by scanning
    int32_t Frames = 0;
    int64_t Bytes = 0;       // a Xing count is signed 32-bit; a scanned sum may exceed it
    uint8_t Scale = 0;
    std::string VendorID;    // encoder mark from the Xing header (empty for VBRI)
};

// Frame header arithmetic, shared with the tests.
namespace mpegframe {

inline constexpr uint8_t kMPEG25 = 0, kMPEG2 = 2, kMPEG1 = 3;
inline constexpr uint8_t kLayerIII = 1, kLayerII = 2, kLayerI = 3;
inline constexpr uint8_t kModeStereo = 0, kModeJoint = 1, kModeDual = 2, kModeMono = 3;

// The four bytes form a frame header (sync, no reserved version/layer,
// bitrate index neither 0 nor 15, sample-rate index not 3, emphasis not 2).
bool IsFrameHeader(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3);
// Splits a header into its fields (Found, Position, Size and Xing untouched).
void DecodeHeader(const uint8_t* header, FrameData& frame);

uint16_t BitRate(const FrameData& frame);     // table bitrate, kbit/s (0 when invalid)
uint16_t SampleRate(const FrameData& frame);  // Hz (0 when invalid)
// Bytes per frame per kbit/s per kHz: 8 × it is the number of samples per frame.
int Coefficient(const FrameData& frame);
// Padding in bytes: a Layer I slot is 4 bytes, other layers pad one byte.
int Padding(const FrameData& frame);
uint16_t FrameLength(const FrameData& frame);
// Bytes from the frame start to a Xing or VBRI header.
int XingOffset(const FrameData& frame);

} // namespace mpegframe

class TMPEGaudio {
public:
    // Size of the search buffer; candidates for a frame start lie in its first half.
    static constexpr std::size_t kBufferSize = 3458;
    static constexpr std::size_t kLastCandidate = 1729;
    using Buffer = std::array<uint8_t, kBufferSize>;

    TMPEGaudio() { ResetData(); }
    void ResetData();
    // True when the file could be opened and read, MPEG audio or not; look at Valid.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const;
    std::string Version() const;
    std::string Layer() const;
    std::string ChannelMode() const;
    uint16_t SampleRate() const;
    uint16_t BitRate() const;
    int32_t FrameCount() const;
    // 64-bit: a hostile frame count times the samples per frame does not fit 32 bits.
    int64_t Samples() const;
    double Duration() const;
    double Ratio() const;
    uint8_t EncoderID() const;
    std::string Encoder() const;
    int64_t FileSize() const { return fileSize_; }

    const FrameData& Frame() const { return frame_; }
    const VBRData& VBR() const { return vbr_; }
    const std::string& VendorID() const { return vendorID_; }
    int64_t AudioStart() const { return audioStart_; }
    int64_t AudioEnd() const { return audioEnd_; }
    int32_t FramesCounted() const { return framesCounted_; }
    int64_t FrameBytes() const { return frameBytes_; }
    uint16_t FirstBitRate() const { return firstBitRate_; }
    bool BitRateChanged() const { return bitRateChanged_; }
    int64_t APEBytes() const { return apeBytes_; }
    // System read calls the last ReadFromFile made on the audio (tags not included).
    uint64_t SystemReads() const { return systemReads_; }

    const TID3v1& ID3v1() const { return id3v1_; }
    const TID3v2& ID3v2() const { return id3v2_; }
    const TAPETag& APETag() const { return apeTag_; }

    // The two frame searches over a 3458-byte buffer. On acceptance the frame
    // record gets the frame (Position is the buffer offset) and vbr the VBR
    // header read from it; returns whether a frame was accepted.
    // Strict stops at the first candidate header, tolerant passes over
    // candidates whose follower is not a header.
    static bool FindFrame(const Buffer& buffer, bool tolerant, FrameData& frame, VBRData& vbr);
    // Looks backwards from the end of the buffer for a "LAME" or "GOGO" mark
    // in min(span, 3450) + 1 eight-byte windows; sets vendorID on the first hit.
    static void SearchVendor(const Buffer& buffer, int64_t span, std::string& vendorID);

private:
    class BlockReader;
    void Scan(BlockReader& source);
    void CountFrames(BlockReader& source, Buffer& buffer);
    void FindFirstFrame(BlockReader& source, Buffer& buffer);
    uint16_t TableBitRate() const { return mpegframe::BitRate(frame_); }

    TID3v1 id3v1_;
    TID3v2 id3v2_;
    TAPETag apeTag_;
    int64_t fileSize_ = 0;
    std::string vendorID_;
    VBRData vbr_;
    FrameData frame_;
    int64_t audioStart_ = 0;
    int64_t audioEnd_ = 0;
    int32_t framesCounted_ = 0;
    int64_t frameBytes_ = 0;
    uint16_t firstBitRate_ = 0;
    bool bitRateChanged_ = false;
    int64_t apeBytes_ = 0;
    uint64_t systemReads_ = 0;
};
