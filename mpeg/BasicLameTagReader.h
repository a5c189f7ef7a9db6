// TBasicLameTagReader: the LAME info tag of an MP3 file, raw fields.
//
// LAME writes, into the first frame of the files it makes, a Xing (VBR) or
// "Info" (CBR) header followed by its own extension: the encoder version and
// the settings used (LAME tag revision 1). ffmpeg's MP3 muxer writes the same
// layout with "Lavc" or "Lavf" and its version where LAME puts "LAME" and its
// version. The reader takes the 37 bytes from 119 bytes after the Xing/Info
// mark and exposes the fields.
#pragma once

#include "io/FileStream.h"

#include <array>
#include <cstdint>
#include <string>

class TBasicLameTagReader {
public:
    // Reads the tag of the file, assuming the first frame right behind an
    // ID3v2 tag. Raises EFOpenError when the file cannot be opened and
    // EReadError ("Unexpected End Of File.") when the first 10 bytes or the
    // 37-byte block cannot be read in full.
    explicit TBasicLameTagReader(const std::string& path);
    // Reads the tag from bytes that start at the Xing/Info mark; fewer than
    // the tag needs give NoLameTag.
    TBasicLameTagReader(const uint8_t* fromMark, std::size_t size);
    explicit TBasicLameTagReader(TFileStream& stream);   // the same on a stream opened already

    // No "Xing"/"Info" mark was found, or neither "LAME" nor ffmpeg's
    // "Lavc"/"Lavf" follows it. The other values then hold whatever the bytes
    // at the fallback position hold.
    bool NoLameTag() const { return noLameTag_; }
    // "LAME", "Lavc" or "Lavf": which program wrote the tag.
    const std::string& EncoderMark() const { return encoderMark_; }
    bool WrittenByFFmpeg() const { return encoderMark_ == "Lavc" || encoderMark_ == "Lavf"; }

    uint8_t VBRScale() const { return fields_.VBRScale; }
    uint8_t TagRevision() const { return fields_.RevisionMethod >> 4; }
    uint8_t VBRMethod() const { return fields_.RevisionMethod & 0x0F; }
    uint8_t Lowpass() const { return fields_.Lowpass; }          // in units of 100 Hz
    uint8_t EncodingFlags() const { return fields_.FlagsATH >> 4; }
    uint8_t ATHType() const { return fields_.FlagsATH & 0x0F; }
    uint8_t BitRateByte() const { return fields_.BitRate; }      // kbit/s; the minimum bitrate for VBR
    uint16_t EncoderDelay() const { return static_cast<uint16_t>(fields_.DelayPadding >> 12); }
    uint16_t EncoderPadding() const { return static_cast<uint16_t>(fields_.DelayPadding & 0x0FFF); }
    uint8_t NoiseShaping() const { return fields_.Miscellaneous & 0x03; }
    uint8_t StereoMode() const { return (fields_.Miscellaneous >> 2) & 0x07; }
    bool UnwiseSettings() const { return (fields_.Miscellaneous & 0x20) != 0; }
    uint8_t SourceRateCode() const { return fields_.Miscellaneous >> 6; }   // 0 <= 32 kHz, 1 44.1, 2 48, 3 higher
    uint8_t MP3Gain() const { return fields_.MP3Gain; }
    uint16_t Preset() const { return fields_.SurroundPreset & 0x07FF; }
    uint32_t MusicLength() const { return fields_.MusicLength; }
    uint16_t MusicCRC() const { return fields_.MusicCRC; }
    uint16_t TagCRC() const { return fields_.TagCRC; }

    // The version text, at most 5 characters, ending early at a zero byte.
    std::string ShortVersion() const;
    // The version text of at most 16 characters. It ends at the first zero
    // byte or byte outside printable ASCII, so the binary fields after the
    // version never leak into it.
    std::string LongVersion() const;

    // The preset guess for the tag's settings (0-18, or 19 for none) and
    // whether it matched but for the bitrate; computed once.
    uint8_t PresetGuess() const;
    bool Modified() const;

    // The 37-byte block (mark + 119 on).
    static constexpr std::size_t kBlockOffset = 119;
    static constexpr std::size_t kBlockSize = 37;
    // The tag CRC covers the frame up to the CRC field: mark + 154 bytes.
    static constexpr std::size_t kTagCRCOffset = kBlockOffset + 35;
    const std::array<uint8_t, kBlockSize>& Block() const { return block_; }

private:
    struct Fields {
        uint8_t VBRScale = 0;
        std::string Mark;
        uint8_t RevisionMethod = 0;
        uint8_t Lowpass = 0;
        uint32_t Peak = 0;
        uint16_t RadioGain = 0, AudiophileGain = 0;
        uint8_t FlagsATH = 0;
        uint8_t BitRate = 0;
        uint32_t DelayPadding = 0;
        uint8_t Miscellaneous = 0;
        uint8_t MP3Gain = 0;
        uint16_t SurroundPreset = 0;
        uint32_t MusicLength = 0;
        uint16_t MusicCRC = 0;
        uint16_t TagCRC = 0;
    };
    void Parse();
    void Read(TFileStream& stream);

    std::array<uint8_t, kBlockSize> block_{};
    Fields fields_;
    std::string encoderMark_;
    bool noLameTag_ = false;
    mutable bool guessDone_ = false;
    mutable uint8_t guess_ = 0;
    mutable bool modified_ = false;
};

// The CRC-16 LAME writes over the first bytes of the tag's frame
// (polynomial 0x8005, bits reflected, start value 0); with crc, continued
// from the CRC of the bytes before.
uint16_t LameCRC16(const uint8_t* bytes, std::size_t size, uint16_t crc = 0);
