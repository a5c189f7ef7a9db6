// TMPEGaudio: MPEG audio stream reader.
//
// Reads MPEG-1 (ISO/IEC 11172-3) and MPEG-2 / MPEG-2.5 lower-sampling-rate
// (ISO/IEC 13818-3) audio, Layers I, II and III: the .mp1, .mp2, .mp3 and .mpa
// files. It decodes no audio. From the frame headers, a Xing, Info or VBRI
// header in the first frame and "LAME" / "GOGO" marks in the frame data it
// yields the stream parameters, the playing time, the average bitrate and the
// encoder marks. When no header gives the frame count, it walks the frames,
// resynchronising after damaged stretches. ID3v2, ID3v1/Lyrics3 and APE tags around the audio are found
// by the tag readers it owns.
#pragma once

#include "io/FileStream.h"
#include "io/ForwardBuffer.h"
#include "mpeg/BasicLameTagReader.h"
#include "mpeg/ID3v2Marks.h"
#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>


// The decoded header of one frame.
struct FrameData {
    bool Found = false;             // a frame was accepted
    int64_t Position = 0;           // byte position in the file
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

// The variable-bitrate header (Xing or VBRI), or VBR found by the frame walk.
struct VBRData {
    bool Found = false;
    std::string ID;          // "Xing", "VBRI", or empty when found by walking the frames
    int32_t Frames = 0;
    int64_t Bytes = 0;       // a scanned sum may exceed 32 bits
    uint8_t Scale = 0;
    std::string VendorID;    // encoder mark from the Xing header (empty for VBRI)
};

// The Xing, "Info" (LAME's Xing header of a CBR file) or VBRI header of the
// first frame as stored: which of the optional fields are there.
struct FrameCountHeader {
    std::string ID;            // "Xing", "Info", "VBRI" or empty
    uint32_t Flags = 0;        // Xing/Info: bit 0 frames, 1 bytes, 2 TOC, 3 quality
    bool HasFrames = false;
    uint32_t Frames = 0;
    bool HasBytes = false;
    uint32_t Bytes = 0;
    bool HasQuality = false;
    uint32_t Quality = 0;
};

// What the reader saw of the stream's health, for the health column: bytes
// that are not audio, stretches it had to resynchronise over, and what a
// VBR header claims when the file holds less.
struct MPEGStreamFindings {
    int32_t ExtraID3v2Tags = 0;      // ID3v2 tags directly after the first one, skipped
    int64_t ExtraID3v2Bytes = 0;
    bool ID3v2PastEnd = false;       // an ID3v2 tag's size runs past the end of the file
    int64_t JunkBytes = 0;           // non-zero bytes between the tags and the first frame
    int64_t ZeroBytes = 0;           // zero padding there
    bool SearchGaveUp = false;       // no frame within the bounded stretch after the tags
    bool Walked = false;             // the frame walk ran
    int32_t DamagedStretches = 0;    // places where the walk lost and found the frame sync again
    int64_t SkippedBytes = 0;        // bytes passed over inside those stretches
    int64_t TrailingBytes = 0;       // bytes after the last frame that are neither frame nor tag
    bool LastFrameCut = false;       // right after the last frame, a frame header whose frame runs past the end
    bool Truncated = false;          // the VBR header claims more frames than the file holds
    int64_t ClaimedFrames = 0;       // the header's frame count when Truncated
    double ClaimedDuration = 0;      // and the length it gives, seconds
    bool LameTagChecked = false;     // a LAME tag was found and its CRC-16 compared
    bool LameTagCRCMatches = false;  // the tag's CRC-16 matches its frame's first bytes
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
// The frame length of the four header bytes at header, 0 when they form no
// frame header (the test of IsFrameHeader); one table look-up.
uint16_t QuickHeaderLength(const uint8_t* header);
// The bitrate of a header QuickHeaderLength accepts, kbit/s.
uint16_t QuickBitRate(const uint8_t* header);

} // namespace mpegframe

class TMPEGaudio {
public:
    // How far past the tags the first-frame search looks before it gives up.
    static constexpr int64_t kSearchLimit = 1 << 20;

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
    // The encoder named by a mark in the stream (LAME or GOGO text, a Xing
    // or VBRI header); 0 when the stream carries none.
    uint8_t EncoderID() const;
    // The encoder the frame header bits suggest (Layer III only; 0 otherwise).
    uint8_t GuessedEncoderID() const;
    // The name of EncoderID, or of the guess when there is no mark, with a
    // LAME version appended when the mark carries one.
    std::string Encoder() const;
    int64_t FileSize() const { return fileSize_; }

    const FrameData& Frame() const { return frame_; }
    const VBRData& VBR() const { return vbr_; }
    const FrameCountHeader& CountHeader() const { return countHeader_; }
    const MPEGStreamFindings& Findings() const { return findings_; }
    const std::string& VendorID() const { return vendorID_; }
    int64_t AudioStart() const { return audioStart_; }
    int64_t AudioEnd() const { return audioEnd_; }
    int32_t FramesCounted() const { return framesCounted_; }
    // The frames that carry audio: those present, without a Xing, Info or
    // VBRI header's own frame.
    int64_t AudioFrames() const;
    int64_t FrameBytes() const { return frameBytes_; }
    uint16_t FirstBitRate() const { return firstBitRate_; }
    bool BitRateChanged() const { return bitRateChanged_; }
    int64_t APEBytes() const { return apeBytes_; }
    // The first frame and the ones after it, up to 16 KiB: the bytes the
    // LAME tag and the vendor marks are read from.
    const std::vector<uint8_t>& FirstFrames() const { return firstFrames_; }
    // System read calls the last ReadFromFile made on the audio (tags not included).
    uint64_t SystemReads() const { return systemReads_; }

    // The LAME (or ffmpeg) tag of the first frame; NoLameTag when there is none.
    const TBasicLameTagReader& LameTag() const { return lameTag_; }
    // Encoder marks of the leading ID3v2 tag.
    const ID3v2EncoderMarks& ID3v2Marks() const { return id3v2Marks_; }

    const TID3v1& ID3v1() const { return id3v1_; }
    const TID3v2& ID3v2() const { return id3v2_; }
    const TAPETag& APETag() const { return apeTag_; }

private:
    void Scan(TFileStream& stream);
    int64_t SkipFollowingID3v2(TFileStream& stream, int64_t position);
    void FindFirstFrame(TFileStream& stream, int64_t from);
    void ReadFirstFrames(TFileStream& stream);
    void CountJunk(TFileStream& stream, int64_t from);
    void WalkFrames(TFileStream& stream, int64_t end);
    void SearchEndForVendor(TFileStream& stream);
    const uint8_t* Load(TFileStream& stream, int64_t at, std::size_t count, std::size_t& got);
    uint16_t TableBitRate() const { return mpegframe::BitRate(frame_); }

    TID3v1 id3v1_;
    TID3v2 id3v2_;
    TAPETag apeTag_;
    int64_t fileSize_ = 0;
    std::string vendorID_;
    VBRData vbr_;
    FrameCountHeader countHeader_;
    MPEGStreamFindings findings_;
    FrameData frame_;
    int64_t audioStart_ = 0;
    int64_t audioEnd_ = 0;
    int32_t framesCounted_ = 0;
    int64_t frameBytes_ = 0;
    uint16_t firstBitRate_ = 0;
    bool bitRateChanged_ = false;
    int64_t apeBytes_ = 0;
    uint64_t systemReads_ = 0;
    std::vector<uint8_t> firstFrames_;
    TBasicLameTagReader lameTag_{nullptr, 0};
    ID3v2EncoderMarks id3v2Marks_;
    // The bytes of the audio read last: the first-frame search, the first
    // frames and the walk take them from here, so no region is read twice.
    // The memory is kept between files; the bytes are the current file's only.
    TForwardBuffer buffer_;
};
