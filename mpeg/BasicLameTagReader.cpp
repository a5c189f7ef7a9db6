#include "mpeg/BasicLameTagReader.h"

#include "io/Errors.h"
#include "io/FileStream.h"
#include "mpeg/PresetGuesser.h"

#include <cstring>

namespace {

// ID3v2 header in front of the audio.
constexpr std::size_t kID3v2HeaderSize = 10;
constexpr std::size_t kID3v2Flags = 5;
constexpr std::size_t kID3v2SizeField = 6;   // 4 synch-safe bytes, 7 bits each
constexpr uint8_t kID3v2FooterFlag = 0x10;
constexpr int64_t kID3v2FooterSize = 10;

// The mark sits behind the frame header and side information: at 13 (MPEG-2
// mono), 21 (MPEG-1 mono, MPEG-2 stereo) or 36 (MPEG-1 stereo).
constexpr std::size_t kProbeSize = 40;
constexpr std::size_t kMarkOffsets[] = {13, 21, 36};

// The LAME tag, as offsets into the 37-byte block that starts 119 bytes after
// the mark.
constexpr int64_t kBlockOffset = 119;
constexpr std::size_t kVBRScale = 0;        // last byte of the Xing quality field
constexpr std::size_t kLameMark = 1;        // "LAME"
constexpr std::size_t kVersion = 5;         // version characters
constexpr std::size_t kShortVersionLength = 5;
constexpr std::size_t kLongVersionLength = 16;
constexpr std::size_t kRevisionMethod = 10; // high nibble tag revision, low nibble VBR method
constexpr std::size_t kLowpass = 11;
// 12-15 peak amplitude, 16-17 radio and 18-19 audiophile replay gain: not read
constexpr std::size_t kFlagsATH = 20;       // high nibble encoding flags, low nibble ATH type
constexpr std::size_t kBitRate = 21;
// 22-24 encoder delay and padding: not read
constexpr std::size_t kMiscellaneous = 25;  // bits 0-1 noise shaping, 2-4 stereo mode
// 26 MP3Gain change: not read
constexpr std::size_t kPreset = 27;         // big-endian; low 11 bits
// 29-32 music length, 33-34 music CRC, 35-36 tag CRC: not read

std::string TextAt(const uint8_t* bytes, std::size_t length, bool printableOnly) {
    std::string text;
    for (std::size_t i = 0; i < length && bytes[i] != 0; ++i) {
        if (printableOnly && (bytes[i] < 0x20 || bytes[i] > 0x7E)) break;
        text += static_cast<char>(bytes[i]);
    }
    return text;
}

} // namespace

TBasicLameTagReader::TBasicLameTagReader(const std::string& path) {
    // Others may read and write the file meanwhile; the stream closes on return and on error.
    TFileStream stream(path, TFileStream::Share::ReadWrite);
    Read(stream);
}

TBasicLameTagReader::TBasicLameTagReader(TFileStream& stream) { Read(stream); }

void TBasicLameTagReader::Read(TFileStream& stream) {
    stream.Seek(0);
    uint8_t header[kID3v2HeaderSize];
    stream.ReadExact(header, sizeof header);
    if (std::memcmp(header, "ID3", 3) == 0) {
        int64_t size = 0;
        for (std::size_t i = 0; i < 4; ++i) size = (size << 7) | (header[kID3v2SizeField + i] & 0x7F);
        if (header[kID3v2Flags] & kID3v2FooterFlag) size += kID3v2FooterSize;
        stream.Seek(size, TFileStream::Origin::Current);
    } else {
        stream.Seek(-static_cast<int64_t>(kID3v2HeaderSize), TFileStream::Origin::Current);
    }

    // Bytes a short read near the end of the file does not reach stay zero:
    // they are only compared with the marks.
    uint8_t probe[kProbeSize] = {};
    const int64_t probeStart = stream.Position();
    stream.Read(probe, sizeof probe);
    stream.Seek(probeStart);
    bool marked = false;
    for (std::size_t offset : kMarkOffsets) {
        if (std::memcmp(probe + offset, "Xing", 4) == 0 || std::memcmp(probe + offset, "Info", 4) == 0) {
            stream.Seek(static_cast<int64_t>(offset), TFileStream::Origin::Current);
            marked = true;
            break;
        }
    }
    if (!marked) noLameTag_ = true;

    stream.Seek(kBlockOffset, TFileStream::Origin::Current);
    stream.ReadExact(block_.data(), block_.size());
    stream.Seek(-static_cast<int64_t>(kBlockSize), TFileStream::Origin::Current);
    stream.ReadExact(raw_.data(), raw_.size());

    if (std::memcmp(block_.data() + kLameMark, "LAME", 4) != 0) noLameTag_ = true;
}

uint8_t TBasicLameTagReader::VBRScale() const { return block_[kVBRScale]; }
uint8_t TBasicLameTagReader::VBRMethod() const { return block_[kRevisionMethod] & 0x0F; }
uint8_t TBasicLameTagReader::Lowpass() const { return block_[kLowpass]; }
uint8_t TBasicLameTagReader::ATHType() const { return block_[kFlagsATH] & 0x0F; }
uint8_t TBasicLameTagReader::BitRateByte() const { return block_[kBitRate]; }
uint8_t TBasicLameTagReader::NoiseShaping() const { return block_[kMiscellaneous] & 0x03; }
uint8_t TBasicLameTagReader::StereoMode() const { return (block_[kMiscellaneous] >> 2) & 0x07; }

uint16_t TBasicLameTagReader::Preset() const {
    return static_cast<uint16_t>(((block_[kPreset] << 8) | block_[kPreset + 1]) & 0x07FF);
}

std::string TBasicLameTagReader::ShortVersion() const {
    return TextAt(block_.data() + kVersion, kShortVersionLength, false);
}

std::string TBasicLameTagReader::LongVersion() const {
    return TextAt(raw_.data() + kVersion, kLongVersionLength, true);
}

uint8_t TBasicLameTagReader::PresetGuess() const {
    if (!guessDone_) {
        guess_ = GuessPreset(ShortVersion(), BitRateByte(), VBRScale(), modified_, Lowpass(), ATHType(),
                             StereoMode(), NoiseShaping(), VBRMethod());
        guessDone_ = true;
    }
    return guess_;
}

bool TBasicLameTagReader::Modified() const {
    PresetGuess();
    return modified_;
}
