#include "readers/WMAfile.h"

#include "io/ByteReader.h"
#include "io/Errors.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
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

// Header object: GUID (16), size (8), object count (4), 2 reserved bytes.
constexpr std::size_t kGuidSize = 16;
constexpr std::size_t kHeaderObjectSize = 30;
constexpr std::size_t kHeaderReservedSize = 2;
// Every object starts with its GUID and 64-bit size (which counts these).
constexpr std::size_t kObjectHeaderSize = 24;
// File properties, up to the maximum bitrate (the fields are named where
// they are read).
constexpr std::size_t kFilePropertiesSize = 80;
// Stream properties up to the WAVEFORMATEX's bits per sample.
constexpr std::size_t kStreamPropertiesSize = 70;

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

    uint16_t ReadLE16() {
        unsigned char bytes[2];
        return Fixed(bytes, sizeof bytes).LE16();
    }
    void Skip(int64_t count) { s_.Seek(count, TFileStream::Origin::Current); }

    // A UTF-16LE text of byteLength bytes, trimmed of blanks, control
    // characters and terminating zeros.
    std::string ReadText(uint16_t byteLength) {
        std::string bytes(byteLength, '\0');
        s_.ReadExact(bytes.data(), bytes.size());
        return Trim(DecodeUtf16LE(bytes, false));
    }

    // The next count bytes, which must all be there.
    TByteReader Fixed(unsigned char* bytes, std::size_t count) {
        s_.ReadExact(bytes, count);
        return TByteReader(bytes, count);
    }
    static Guid GuidOf(TByteReader& r) {
        Guid g{};
        const std::string bytes = r.Text(g.size());
        std::copy(bytes.begin(), bytes.end(), g.begin());
        return g;
    }

    // False when the file does not start with an ASF header object.
    bool Read() {
        unsigned char guidBytes[kGuidSize];
        TByteReader guid = Fixed(guidBytes, sizeof guidBytes);
        if (GuidOf(guid) != kHeaderObject) return false;
        unsigned char bytes[kHeaderObjectSize - kGuidSize];
        TByteReader header = Fixed(bytes, sizeof bytes);
        const uint64_t headerSize = header.LE64();
        const uint32_t objectCount = header.LE32();
        header.Skip(kHeaderReservedSize);
        if (header.Overrun()) throw EReadError(kUnexpectedEndOfFile);
        f_.headerSize_ = headerSize;
        // Every object is at least its own 24-byte header long, and reads
        // past the end of the file fail, so the count cannot drive the loop
        // beyond the file.
        for (uint32_t i = 0; i < objectCount; ++i) {
            const int64_t start = s_.Position();
            unsigned char objectBytes[kObjectHeaderSize];
            TByteReader object = Fixed(objectBytes, sizeof objectBytes);
            const Guid objectId = GuidOf(object);
            const uint64_t size = object.LE64();
            if (object.Overrun()) throw EReadError(kUnexpectedEndOfFile);
            if (size < uint64_t(kObjectHeaderSize) || size > uint64_t(s_.Size())) throw EReadError("Damaged ASF object size.");
            if (objectId == kFilePropertiesObject) ReadFileProperties();
            else if (objectId == kStreamPropertiesObject) ReadStreamProperties();
            else if (objectId == kContentDescriptionObject) ReadContentDescription();
            else if (objectId == kExtendedContentDescriptionObject) ReadExtendedContentDescription();
            s_.Seek(start + static_cast<int64_t>(size));
        }
        return true;
    }

    void ReadFileProperties() {
        unsigned char bytes[kFilePropertiesSize];
        TByteReader r = Fixed(bytes, sizeof bytes);
        r.Skip(16);   // file id
        r.Skip(8);    // file size
        r.Skip(8);    // creation date
        r.Skip(8);    // data packet count
        const uint64_t playDuration = r.LE64();
        r.Skip(8);    // send duration
        const uint64_t preroll = r.LE64();
        r.Skip(4);    // flags
        r.Skip(4);    // minimum packet size
        r.Skip(4);    // maximum packet size
        const uint32_t maxBitRate = r.LE32();
        if (r.Overrun()) throw EReadError(kUnexpectedEndOfFile);
        f_.playDuration_ = static_cast<int64_t>(playDuration);
        f_.preroll_ = static_cast<int64_t>(preroll);
        f_.maxBitRate_ = static_cast<int32_t>(maxBitRate);
    }
    // The stream type is not examined: the last stream described wins.
    void ReadStreamProperties() {
        unsigned char bytes[kStreamPropertiesSize];
        TByteReader r = Fixed(bytes, sizeof bytes);
        r.Skip(16);   // stream type
        r.Skip(16);   // error-correction type
        r.Skip(8);    // time offset
        r.Skip(4);    // type-specific data length
        r.Skip(4);    // error-correction data length
        r.Skip(2);    // flags
        r.Skip(4);    // reserved
        // The type-specific data: for audio a WAVEFORMATEX.
        const uint16_t formatTag = r.LE16();
        const uint16_t channels = r.LE16();
        const uint32_t sampleRate = r.LE32();
        const uint32_t bytesPerSecond = r.LE32();
        r.Skip(2);    // block align
        const uint16_t bitsPerSample = r.LE16();
        if (r.Overrun()) throw EReadError(kUnexpectedEndOfFile);
        f_.formatTag_ = formatTag;
        f_.channels_ = channels;
        f_.sampleRate_ = static_cast<int32_t>(sampleRate);
        f_.bytesPerSecond_ = static_cast<int32_t>(bytesPerSecond);
        f_.bitsPerSample_ = bitsPerSample;
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
    // Channels and bits are 16-bit fields of the file: multiplied as doubles.
    const double pcmBytes = sampleRate_ * duration_ * (double(channels_) * bitsPerSample_ / 8.0) + 44;
    return pcmBytes == 0 ? 0 : double(fileSize_) / pcmBytes * 100;
}
