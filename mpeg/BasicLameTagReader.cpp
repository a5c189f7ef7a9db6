#include "mpeg/BasicLameTagReader.h"

#include "io/ByteReader.h"
#include "io/Errors.h"
#include "io/FileStream.h"
#include "mpeg/PresetGuesser.h"

#include <cstring>

namespace {

// ID3v2 header in front of the audio: "ID3", version, revision, flags, size.
constexpr std::size_t kID3v2HeaderSize = 10;
constexpr uint8_t kID3v2FooterFlag = 0x10;
constexpr int64_t kID3v2FooterSize = 10;

// The mark sits behind the frame header and side information: at 13 (MPEG-2
// mono), 21 (MPEG-1 mono, MPEG-2 stereo) or 36 (MPEG-1 stereo).
constexpr std::size_t kProbeSize = 40;
constexpr std::size_t kMarkOffsets[] = {13, 21, 36};

// Offsets into the 37-byte block of the version text.
constexpr std::size_t kVersion = 5;
constexpr std::size_t kShortVersionLength = 5;
constexpr std::size_t kLongVersionLength = 16;

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
    int64_t frameStart = 0;
    TByteReader id3(header, sizeof header);
    if (id3.Expect("ID3")) {
        id3.Skip(2);   // version and revision
        const uint8_t flags = id3.U8();
        int64_t size = 0;
        for (int i = 0; i < 4; ++i) size = (size << 7) | (id3.U8() & 0x7F);   // synch-safe, 7 bits a byte
        frameStart = static_cast<int64_t>(kID3v2HeaderSize) + size + ((flags & kID3v2FooterFlag) ? kID3v2FooterSize : 0);
    }

    // Bytes a short read near the end of the file does not reach stay zero:
    // they are only compared with the marks.
    uint8_t probe[kProbeSize] = {};
    stream.ReadZeroFilled(frameStart, probe, sizeof probe);
    int64_t mark = frameStart;
    bool marked = false;
    for (std::size_t offset : kMarkOffsets) {
        if (std::memcmp(probe + offset, "Xing", 4) == 0 || std::memcmp(probe + offset, "Info", 4) == 0) {
            mark += static_cast<int64_t>(offset);
            marked = true;
            break;
        }
    }
    const int64_t blockAt = mark + static_cast<int64_t>(kBlockOffset);
    if (blockAt + static_cast<int64_t>(kBlockSize) > stream.Size()) throw EReadError("Unexpected End Of File.");
    stream.Seek(blockAt);
    stream.ReadExact(block_.data(), block_.size());
    Parse();
    if (!marked) noLameTag_ = true;
}

TBasicLameTagReader::TBasicLameTagReader(const uint8_t* fromMark, std::size_t size) {
    const bool marked = size >= 4 && (std::memcmp(fromMark, "Xing", 4) == 0 || std::memcmp(fromMark, "Info", 4) == 0);
    if (size >= kBlockOffset + kBlockSize) std::memcpy(block_.data(), fromMark + kBlockOffset, kBlockSize);
    Parse();
    if (!marked || size < kBlockOffset + kBlockSize) noLameTag_ = true;
}

// The block in file order.
void TBasicLameTagReader::Parse() {
    TByteReader tag(block_.data(), block_.size());
    Fields& f = fields_;
    f.VBRScale = tag.U8();             // last byte of the Xing quality field
    f.Mark = tag.Text(4);              // "LAME", or ffmpeg's "Lavc"/"Lavf"
    tag.Skip(kShortVersionLength);     // version characters (read as text below)
    f.RevisionMethod = tag.U8();       // high nibble tag revision, low nibble VBR method
    f.Lowpass = tag.U8();
    f.Peak = tag.BE32();               // peak amplitude
    f.RadioGain = tag.BE16();          // replay gain, radio
    f.AudiophileGain = tag.BE16();     // replay gain, audiophile
    f.FlagsATH = tag.U8();             // high nibble encoding flags, low nibble ATH type
    f.BitRate = tag.U8();
    f.DelayPadding = tag.BE24();       // 12 bits delay, 12 bits padding
    f.Miscellaneous = tag.U8();        // noise shaping, stereo mode, unwise, source rate
    f.MP3Gain = tag.U8();
    f.SurroundPreset = tag.BE16();     // surround info, preset in the low 11 bits
    f.MusicLength = tag.BE32();
    f.MusicCRC = tag.BE16();
    f.TagCRC = tag.BE16();
    encoderMark_ = f.Mark == "LAME" || f.Mark == "Lavc" || f.Mark == "Lavf" ? f.Mark : std::string();
    noLameTag_ = tag.Overrun() || encoderMark_.empty();
}

std::string TBasicLameTagReader::ShortVersion() const {
    return TextAt(block_.data() + kVersion, kShortVersionLength, false);
}

std::string TBasicLameTagReader::LongVersion() const {
    return TextAt(block_.data() + kVersion, kLongVersionLength, true);
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

namespace {

// CRC-16/ARC one byte at a time: the table of the reflected polynomial 0xA001.
constexpr std::array<uint16_t, 256> kCRC16Table = [] {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
        table[i] = crc;
    }
    return table;
}();

} // namespace

uint16_t LameCRC16(const uint8_t* bytes, std::size_t size, uint16_t crc) {
    for (std::size_t i = 0; i < size; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ kCRC16Table[(crc ^ bytes[i]) & 0xFF]);
    return crc;
}
