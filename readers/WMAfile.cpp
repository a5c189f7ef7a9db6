#include "readers/WMAfile.h"

#include "io/Errors.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <array>
#include <cstring>

namespace {

using Guid = std::array<unsigned char, 16>;

// A GUID in the byte order ASF stores it: the first three fields
// little-endian, the last eight bytes as written.
constexpr Guid MakeGuid(uint32_t d1, uint16_t d2, uint16_t d3, uint16_t d4, uint64_t d5) {
    return {static_cast<unsigned char>(d1), static_cast<unsigned char>(d1 >> 8),
            static_cast<unsigned char>(d1 >> 16), static_cast<unsigned char>(d1 >> 24),
            static_cast<unsigned char>(d2), static_cast<unsigned char>(d2 >> 8),
            static_cast<unsigned char>(d3), static_cast<unsigned char>(d3 >> 8),
            static_cast<unsigned char>(d4 >> 8), static_cast<unsigned char>(d4),
            static_cast<unsigned char>(d5 >> 40), static_cast<unsigned char>(d5 >> 32),
            static_cast<unsigned char>(d5 >> 24), static_cast<unsigned char>(d5 >> 16),
            static_cast<unsigned char>(d5 >> 8), static_cast<unsigned char>(d5)};
}

constexpr Guid kHeaderObject = MakeGuid(0x75B22630, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
constexpr Guid kFilePropertiesObject = MakeGuid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE4, 0x00C00C205365);
constexpr Guid kStreamPropertiesObject = MakeGuid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE6, 0x00C00C205365);
constexpr Guid kContentDescriptionObject = MakeGuid(0x75B22633, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
constexpr Guid kExtendedContentDescriptionObject =
    MakeGuid(0xD2D0A440, 0xE307, 0x11D2, 0x97F0, 0x00A0C95EA850);

// Header object after its GUID: size (8), object count (4), 2 reserved bytes.
constexpr int64_t kHeaderReservedSize = 2;
// Every object starts with its GUID and 64-bit size (which counts these).
constexpr int64_t kObjectHeaderSize = 24;
// File properties: file id (16), file size (8), creation date (8) and data
// packet count (8) before the play duration; send duration (8) before the
// preroll; flags and minimum and maximum packet size (12) before the
// maximum bitrate.
constexpr int64_t kFilePropsBeforePlayDuration = 40;
constexpr int64_t kFilePropsSendDuration = 8;
constexpr int64_t kFilePropsBeforeMaxBitrate = 12;
// Stream properties: stream type and error-correction type (32), time offset
// (8), type-specific and error-correction data lengths (8), flags (2) and
// reserved (4) before the type-specific data: for audio a WAVEFORMATEX.
constexpr int64_t kStreamPropsBeforeFormat = 54;
constexpr int64_t kFormatBlockAlignSize = 2;
// Extended content descriptor value type of a UTF-16 text.
constexpr uint16_t kDescriptorTypeText = 0;

constexpr int kContentDescriptionTexts = 5;   // title, author, copyright, description, rating

struct CodecEntry {
    uint16_t formatTag;
    const char* name;
};
constexpr std::array<CodecEntry, 5> kCodecNames = {{
    {353, "Windows Media Audio 7/8/9 Standard"},
    {354, "Windows Media Audio 9 Professional"},
    {355, "Windows Media Audio 9 Lossless"},
    {31265, "GSM-AMR Fixed bit rate, no SID"},
    {31266, "GSM-AMR Variable bit rate, including SID"},
}};

std::string CodecNameOf(uint16_t formatTag) {
    for (const auto& entry : kCodecNames)
        if (entry.formatTag == formatTag) return entry.name;
    return "Windows Media Audio";
}

} // namespace

// Reads the header object. Every read must deliver all its bytes (the
// stream raises EReadError otherwise).
class ASFHeaderReader {
public:
    ASFHeaderReader(TFileStream& stream, TWMAfile& file) : s_(stream), f_(file) {}

    uint16_t ReadLE16() { unsigned char b[2]; s_.ReadExact(b, 2); return uint16_t(b[0] | (b[1] << 8)); }
    uint32_t ReadLE32() { unsigned char b[4]; s_.ReadExact(b, 4); return b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24); }
    uint64_t ReadLE64() { const uint64_t low = ReadLE32(); return low | (uint64_t(ReadLE32()) << 32); }
    Guid ReadGuid() { Guid g; s_.ReadExact(g.data(), g.size()); return g; }
    void Skip(int64_t count) { s_.Seek(count, TFileStream::Origin::Current); }

    // A UTF-16LE text of byteLength bytes, trimmed of blanks, control
    // characters and terminating zeros.
    std::string ReadText(uint16_t byteLength) {
        std::string bytes(byteLength, '\0');
        s_.ReadExact(bytes.data(), bytes.size());
        return Trim(DecodeUtf16LE(bytes, false));
    }

    // False when the file does not start with an ASF header object.
    bool Read() {
        if (ReadGuid() != kHeaderObject) return false;
        f_.headerSize_ = ReadLE64();
        const uint32_t objectCount = ReadLE32();
        Skip(kHeaderReservedSize);
        // Every object is at least its own 24-byte header long, and reads
        // past the end of the file fail, so the count cannot drive the loop
        // beyond the file.
        for (uint32_t i = 0; i < objectCount; ++i) {
            const int64_t start = s_.Position();
            const Guid id = ReadGuid();
            const uint64_t size = ReadLE64();
            if (size < uint64_t(kObjectHeaderSize) || size > uint64_t(s_.Size())) throw EReadError("Damaged ASF object size.");
            if (id == kFilePropertiesObject) ReadFileProperties();
            else if (id == kStreamPropertiesObject) ReadStreamProperties();
            else if (id == kContentDescriptionObject) ReadContentDescription();
            else if (id == kExtendedContentDescriptionObject) ReadExtendedContentDescription();
            s_.Seek(start + static_cast<int64_t>(size));
        }
        return true;
    }

    void ReadFileProperties() {
        Skip(kFilePropsBeforePlayDuration);
        f_.playDuration_ = static_cast<int64_t>(ReadLE64());
        Skip(kFilePropsSendDuration);
        f_.preroll_ = static_cast<int64_t>(ReadLE64());
        Skip(kFilePropsBeforeMaxBitrate);
        f_.maxBitRate_ = static_cast<int32_t>(ReadLE32());
    }

    // The stream type is not examined: the last stream described wins.
    void ReadStreamProperties() {
        Skip(kStreamPropsBeforeFormat);
        f_.formatTag_ = ReadLE16();
        f_.channels_ = ReadLE16();
        f_.sampleRate_ = static_cast<int32_t>(ReadLE32());
        f_.bytesPerSecond_ = static_cast<int32_t>(ReadLE32());
        Skip(kFormatBlockAlignSize);
        f_.bitsPerSample_ = ReadLE16();
    }

    void ReadContentDescription() {
        std::array<uint16_t, kContentDescriptionTexts> lengths{};
        for (auto& length : lengths) length = ReadLE16();
        std::string* const targets[kContentDescriptionTexts] = {&f_.title_, &f_.artist_, &f_.copyright_, &f_.comment_,
                                                                &f_.rating_};
        for (int i = 0; i < kContentDescriptionTexts; ++i)
            if (lengths[i] > 0) *targets[i] = ReadText(lengths[i]);
    }

    void ReadExtendedContentDescription() {
        const uint16_t count = ReadLE16();
        for (uint16_t i = 0; i < count; ++i) {
            const std::string name = AsciiUpper(ReadText(ReadLE16()));
            const uint16_t valueType = ReadLE16();
            const uint16_t valueLength = ReadLE16();
            if (valueType != kDescriptorTypeText) {
                Skip(valueLength);
                continue;
            }
            const std::string value = ReadText(valueLength);
            if (name == "WM/TITLE") f_.title_ = value;
            else if (name == "WM/AUTHOR") f_.artist_ = value;
            else if (name == "WM/ALBUMTITLE") f_.album_ = value;
            else if (name == "WM/TRACK" || name == "WM/TRACKNUMBER") f_.track_ = value;
            else if (name == "WM/YEAR") f_.year_ = value;
            else if (name == "WM/GENRE") f_.genre_ = value;
            else if (name == "WM/DESCRIPTION") f_.comment_ = value;
        }
    }

private:
    TFileStream& s_;
    TWMAfile& f_;
};

void TWMAfile::ResetData() {
    fileSize_ = 0;
    channels_ = 0;
    sampleRate_ = 0;
    duration_ = 0;
    bitRate_ = 0;
    maxBitRate_ = 0;
    bytesPerSecond_ = 0;
    playDuration_ = 0;
    preroll_ = 0;
    formatTag_ = 0;
    codecName_.clear();
    bitsPerSample_ = 0;
    headerSize_ = 0;
    for (std::string* text : {&title_, &artist_, &album_, &track_, &year_, &genre_, &comment_, &copyright_, &rating_})
        text->clear();
}

bool TWMAfile::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        stream.Seek(0);
        fileSize_ = stream.Size();
        ASFHeaderReader reader(stream, *this);
        if (!reader.Read()) return true;   // not ASF: read, but not Valid
    } catch (const std::exception&) {
        return false;
    }
    if (Valid()) {
        bitRate_ = static_cast<int32_t>(int64_t(bytesPerSecond_) * 8 / 1000);
        // The play duration (100 ns units) includes the preroll (ms).
        duration_ = (double(playDuration_) / 10000 - double(preroll_)) / 1000;
        codecName_ = CodecNameOf(formatTag_);
    }
    return true;
}

bool TWMAfile::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

bool TWMAfile::Valid() const { return maxBitRate_ >= 1 && sampleRate_ >= 8000 && sampleRate_ <= 96000; }

// File size against a canonical PCM WAV file (44-byte header) of the same
// duration and format.
double TWMAfile::Ratio() const {
    if (!Valid()) return 0;
    const double pcmBytes = sampleRate_ * duration_ * (channels_ * bitsPerSample_ / 8.0) + 44;
    return pcmBytes == 0 ? 0 : double(fileSize_) / pcmBytes * 100;
}
