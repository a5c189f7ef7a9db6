// TBasicLameTagReader: the LAME info tag of an MP3 file, raw fields.
//
// LAME writes, into the first frame of the files it makes, a Xing (VBR) or
// "Info" (CBR) header followed by its own extension: the encoder version and
// the settings used (LAME tag revision 1). The reader finds the mark right
// behind an ID3v2 tag, takes the 37 bytes from 119 bytes after it, and exposes
// the fields. All file work is done in the constructor.
#pragma once

#include "io/FileStream.h"

#include <array>
#include <cstdint>
#include <string>

class TBasicLameTagReader {
public:
    // Reads the tag of the file; raises EFOpenError when the file cannot be
    // opened and EReadError ("Unexpected End Of File.") when the first 10 bytes
    // or the 37-byte block cannot be read in full.
    explicit TBasicLameTagReader(const std::string& path);
    explicit TBasicLameTagReader(TFileStream& stream);   // the same on a stream opened already

    // No "Xing"/"Info" mark was found, or "LAME" does not follow it. The other
    // values then hold whatever the bytes at the fallback position hold.
    bool NoLameTag() const { return noLameTag_; }

    uint8_t VBRScale() const;
    uint8_t VBRMethod() const;
    uint8_t Lowpass() const;       // in units of 100 Hz
    uint8_t ATHType() const;
    uint8_t BitRateByte() const;   // kbit/s; the minimum bitrate for VBR
    uint8_t NoiseShaping() const;
    uint8_t StereoMode() const;
    uint16_t Preset() const;
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

    // The 37-byte block (mark + 119 on) and the 21-byte raw copy (mark + 119
    // to mark + 139).
    static constexpr std::size_t kBlockSize = 37;
    static constexpr std::size_t kRawSize = 21;
    const std::array<uint8_t, kBlockSize>& Block() const { return block_; }

private:
    void Read(TFileStream& stream);

    std::array<uint8_t, kBlockSize> block_{};
    std::array<uint8_t, kRawSize> raw_{};
    bool noLameTag_ = false;
    mutable bool guessDone_ = false;
    mutable uint8_t guess_ = 0;
    mutable bool modified_ = false;
};
