#include "readers/Mp4File.h"

#include "io/ByteOrder.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "tags/Genres.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace {

// Atom header: 32-bit big-endian size counting the header itself, then the
// four-character type. Size 1: a 64-bit size follows the type. Size 0: the
// atom runs to the end of the file.
constexpr int64_t kAtomHeaderSize = 8;
constexpr int64_t kLargeAtomHeaderSize = 16;
constexpr uint32_t kLargeSizeMarker = 1;
constexpr uint32_t kToEndOfFileMarker = 0;

// Containers whose children the walk visits in place.
constexpr std::array<std::string_view, 14> kContainerTypes = {
    "moov", "trak", "udta", "tref", "imap", "mdia", "minf",
    "stbl", "edts", "mdra", "rmra", "imag", "vnrp", "dinf"};

// Media header ("mdhd") after its atom header.
constexpr int64_t kMdhdFlagsSize = 3;            // after the 1-byte version
constexpr int64_t kMdhdTimesSizeV0 = 2 * 4;      // creation and modification time, 32-bit
constexpr int64_t kMdhdTimesSizeV1 = 2 * 8;      // the same, 64-bit

// Sample description ("stsd"): version and flags, entry count, then entries.
constexpr int64_t kStsdVersionFlagsSize = 4;
// An audio sample entry after its size and format: 6 reserved bytes, the
// data reference index (2), the sound description version (2), revision
// (2), vendor (4), channel count (2), sample size (2), compression id and
// packet size (4), then the sample rate as 16.16 fixed point. Child boxes
// ("esds") follow at byte 36, or 16 (version 1) or 36 (version 2) bytes
// later in QuickTime sound descriptions.
constexpr int64_t kEntryReservedSize = 8;
constexpr int64_t kEntryRevisionVendorSize = 6;
constexpr int64_t kEntryCompressionSize = 4;
constexpr int64_t kEntryMinimumSize = 8;
constexpr int64_t kEntryChildrenV0 = 36;
constexpr int64_t kEntryChildrenExtraV1 = 16;
constexpr int64_t kEntryChildrenExtraV2 = 36;

// Elementary stream descriptor ("esds", ISO/IEC 14496-1): after version and
// flags, an ES descriptor (tag 3) holding a decoder config descriptor (tag
// 4) holding the decoder specific info (tag 5), which for AAC is the
// AudioSpecificConfig of ISO/IEC 14496-3.
constexpr int64_t kEsdsVersionFlagsSize = 4;
constexpr uint8_t kESDescriptorTag = 3;
constexpr uint8_t kDecoderConfigTag = 4;
constexpr uint8_t kDecoderSpecificInfoTag = 5;
constexpr int64_t kESIdSize = 2;
constexpr uint8_t kESDependsOnFlag = 0x80, kESUrlFlag = 0x40, kESOcrFlag = 0x20;
constexpr int64_t kDecoderConfigFixedSize = 13;   // object type, stream type, buffer size, bitrates
// AudioSpecificConfig channelConfiguration to channel count; 0 means the
// layout is given by a program config element (not read here).
constexpr std::array<uint8_t, 16> kChannelsByConfiguration = {0, 1, 2, 3, 4, 5, 6, 8, 0, 0, 0, 7, 8, 24, 8, 0};

// "meta" starts with version and flags; value atoms ("data") have a 16-byte
// header: size, "data", version, 3 flag bytes whose last is the data type,
// and 4 reserved bytes. Freeform parts ("mean", "name") have a 12-byte one.
constexpr int64_t kMetaVersionFlagsSize = 4;
constexpr int64_t kValueHeaderSize = 16;
constexpr int64_t kFreeformPartHeaderSize = 12;

// Data types of value atoms.
constexpr uint8_t kDataTypeUtf8 = 1;
constexpr uint8_t kDataTypeJpeg = 13;
constexpr uint8_t kDataTypePng = 14;

bool TypeIs(std::string_view type, std::string_view name) { return EqualsIgnoreAsciiCase(type, name); }

bool IsContainer(std::string_view type) {
    return std::any_of(kContainerTypes.begin(), kContainerTypes.end(),
                       [&](std::string_view c) { return TypeIs(type, c); });
}

// "3/12" from a track or disc payload (8 bytes: 2 reserved, number, total,
// 2 reserved); each number counts only when positive as a signed 16-bit value.
std::string NumberAndTotal(const std::string& payload) {
    const auto* p = reinterpret_cast<const unsigned char*>(payload.data());
    const auto number = static_cast<int16_t>(BE16(p + 2));
    const auto total = static_cast<int16_t>(BE16(p + 4));
    std::string text;
    if (number > 0) text = std::to_string(number);
    if (total > 0) text += "/" + std::to_string(total);
    return text;
}

const char* PictureMime(uint8_t dataType) {
    if (dataType == kDataTypeJpeg) return "IMAGE/jpg";
    if (dataType == kDataTypePng) return "IMAGE/png";
    return "IMAGE/bmp";
}

// Average bitrate of the media data in kbit/s over the duration rounded to
// whole seconds; a clip that rounds to 0 s uses its exact duration.
int32_t MediaBitRate(int64_t mediaDataSize, double duration) {
    double seconds = double(RoundHalfEven(duration));
    if (seconds == 0) seconds = duration;
    if (seconds <= 0) return 0;
    const int64_t kbps = RoundHalfEven(double(mediaDataSize) * 8 / seconds / 1000);
    return static_cast<int32_t>(std::clamp<int64_t>(kbps, 0, std::numeric_limits<int32_t>::max()));
}

} // namespace

// Reads the atoms of one file into a TMp4file. Reads beyond the end of the
// file give zero bytes and still move the position on, so a cut-off file is
// read as if padded with zeros; every loop is bounded by the file size.
class Mp4Walker {
public:
    Mp4Walker(TFileStream& stream, TMp4file& file) : s_(stream), f_(file) {}

    struct Atom {
        int64_t start = 0;
        int64_t size = 0;        // whole atom, header included
        int64_t headerSize = kAtomHeaderSize;
        std::string type;
        int64_t End() const { return AddClamped(start, size); }
    };

    static int64_t AddClamped(int64_t a, int64_t b) {
        int64_t sum;
        return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<int64_t>::max() : sum;
    }

    int64_t Position() const { return s_.Position(); }
    void Seek(int64_t at) { s_.Seek(at); }
    void Skip(int64_t count) { s_.Seek(AddClamped(s_.Position(), count)); }

    // count bytes at the position, zero-filled beyond the end of the file.
    void ReadPadded(unsigned char* out, std::size_t count) {
        const int64_t at = s_.Position();
        const std::size_t got = s_.Read(out, count);
        std::fill(out + got, out + count, 0);
        s_.Seek(AddClamped(at, static_cast<int64_t>(count)));
    }
    uint32_t ReadBE16() { unsigned char b[2]; ReadPadded(b, 2); return BE16(b); }
    uint32_t ReadBE32() { unsigned char b[4]; ReadPadded(b, 4); return BE32(b); }
    uint64_t ReadBE64() { unsigned char b[8]; ReadPadded(b, 8); return BE64(b); }
    uint8_t ReadByte() { unsigned char b; ReadPadded(&b, 1); return b; }
    std::string ReadType() { char t[4]; ReadPadded(reinterpret_cast<unsigned char*>(t), 4); return std::string(t, 4); }

    // count bytes of the file; a count reaching past the end of the file
    // gets only the bytes that are there (the rest would be zeros), so no
    // allocation is larger than the file.
    std::string ReadPayload(int64_t count) {
        if (count < 0) throw std::runtime_error("negative payload length");
        const int64_t available = std::max<int64_t>(0, s_.Size() - s_.Position());
        std::string bytes(static_cast<std::size_t>(std::min(count, available)), '\0');
        bytes.resize(s_.Read(bytes.data(), bytes.size()));
        Skip(count - static_cast<int64_t>(bytes.size()));
        return bytes;
    }

    Atom ReadAtomHeader() {
        Atom atom;
        atom.start = s_.Position();
        const uint32_t size = ReadBE32();
        atom.type = ReadType();
        if (size == kLargeSizeMarker) {
            const uint64_t large = ReadBE64();
            atom.headerSize = kLargeAtomHeaderSize;
            // A size beyond the signed range is damaged: 0 ends the walk.
            atom.size = large > uint64_t(std::numeric_limits<int64_t>::max()) ? 0 : int64_t(large);
        } else if (size == kToEndOfFileMarker) {
            atom.size = std::max<int64_t>(0, s_.Size() - atom.start);
        } else {
            atom.size = size;
        }
        return atom;
    }

    // The atom walk: one pass in storage order that opens containers in
    // place (their children follow their header) and skips everything else.
    void Walk() {
        while (s_.Position() < s_.Size()) {
            const Atom atom = ReadAtomHeader();
            int64_t next = atom.End();
            if (TypeIs(atom.type, "mdat")) {
                if (atom.size > f_.mediaDataSize_) {
                    f_.mediaDataOffset_ = atom.start;
                    f_.mediaDataSize_ = atom.size;
                }
            } else if (TypeIs(atom.type, "moov")) {
                f_.movieOffset_ = atom.start;
                f_.movieSize_ = atom.size;
            } else if (TypeIs(atom.type, "udta")) {
                f_.userDataOffset_ = atom.start;
                f_.userDataSize_ = atom.size;
            } else if (TypeIs(atom.type, "mdhd")) {
                ReadMediaHeader();
            } else if (TypeIs(atom.type, "stsd")) {
                ReadSampleDescriptions(atom.End());
            } else if (TypeIs(atom.type, "meta") && !metaSeen_) {
                metaSeen_ = true;
                f_.metaOffset_ = atom.start;
                f_.metaSize_ = atom.size;
                Skip(kMetaVersionFlagsSize);
                ReadMetaContents(atom.End());
                next = s_.Position();
            }
            if (IsContainer(atom.type)) next = AddClamped(atom.start, atom.headerSize);
            if (atom.size < 1) break;
            s_.Seek(next);
        }
    }

    // Version 0 holds 32-bit times and duration, version 1 64-bit ones.
    void ReadMediaHeader() {
        const uint8_t version = ReadByte();
        Skip(kMdhdFlagsSize);
        if (version == 1) {
            Skip(kMdhdTimesSizeV1);
            f_.timeScale_ = ReadBE32();
            f_.mediaDuration_ = ReadBE64();
        } else {
            Skip(kMdhdTimesSizeV0);
            f_.timeScale_ = ReadBE32();
            f_.mediaDuration_ = ReadBE32();
        }
    }

    // Each entry starts at the declared end of the one before; the count is
    // not trusted beyond the end of the "stsd" atom.
    void ReadSampleDescriptions(int64_t end) {
        Skip(kStsdVersionFlagsSize);
        const uint32_t count = ReadBE32();
        int64_t entryStart = s_.Position();
        const int64_t limit = std::min(end, s_.Size());
        for (uint32_t i = 0; i < count && entryStart < limit; ++i) {
            s_.Seek(entryStart);
            const uint32_t entrySize = ReadBE32();
            const std::string format = ReadType();
            Skip(kEntryReservedSize);
            const uint32_t soundVersion = ReadBE16();
            Skip(kEntryRevisionVendorSize);
            const bool aac = TypeIs(format, "mp4a");
            const bool alac = TypeIs(format, "alac");
            if (aac || alac) {
                f_.channels_ = static_cast<uint8_t>(ReadBE16());
                f_.bitsPerSample_ = static_cast<uint8_t>(ReadBE16());
                Skip(kEntryCompressionSize);
                f_.sampleRate_ = static_cast<int32_t>(ReadBE16());   // integer part of 16.16
                f_.codecName_ = aac ? "MPEG-4 AAC" : "ALAC";
                if (aac) ReadAacChannels(entryStart, AddClamped(entryStart, entrySize), soundVersion);
            } else if (f_.codecName_.empty()) {
                f_.codecName_ = format;
            }
            if (entrySize < kEntryMinimumSize) break;
            entryStart += entrySize;
        }
    }

    // ISO files carry the template value 2 in an AAC entry's channel count;
    // the stream's real channel configuration is in its AudioSpecificConfig.
    void ReadAacChannels(int64_t entryStart, int64_t entryEnd, uint32_t soundVersion) {
        int64_t child = entryStart + kEntryChildrenV0;
        if (soundVersion == 1) child += kEntryChildrenExtraV1;
        if (soundVersion == 2) child += kEntryChildrenExtraV2;
        const int64_t limit = std::min(entryEnd, s_.Size());
        while (child < limit) {
            s_.Seek(child);
            const Atom atom = ReadAtomHeader();
            if (TypeIs(atom.type, "esds")) {
                const uint8_t configuration = ReadChannelConfiguration();
                if (kChannelsByConfiguration[configuration] != 0) f_.channels_ = kChannelsByConfiguration[configuration];
                return;
            }
            if (atom.size < kAtomHeaderSize) return;
            child = atom.End();
        }
    }

    // Descriptor sizes use 7 bits per byte, the top bit marking a following byte.
    bool EnterDescriptor(uint8_t tag) {
        if (ReadByte() != tag) return false;
        for (int i = 0; i < 4; ++i)
            if ((ReadByte() & 0x80) == 0) break;
        return true;
    }

    // The channelConfiguration of the AudioSpecificConfig in an "esds" body
    // (0 when it cannot be found).
    uint8_t ReadChannelConfiguration() {
        Skip(kEsdsVersionFlagsSize);
        if (!EnterDescriptor(kESDescriptorTag)) return 0;
        Skip(kESIdSize);
        const uint8_t flags = ReadByte();
        if (flags & kESDependsOnFlag) Skip(2);
        if (flags & kESUrlFlag) Skip(ReadByte());
        if (flags & kESOcrFlag) Skip(2);
        if (!EnterDescriptor(kDecoderConfigTag)) return 0;
        Skip(kDecoderConfigFixedSize);
        if (!EnterDescriptor(kDecoderSpecificInfoTag)) return 0;
        // audioObjectType (5 bits, 31 escapes to 6 more), samplingFrequencyIndex
        // (4 bits, 15 escapes to a 24-bit rate), channelConfiguration (4 bits).
        unsigned char config[6];
        ReadPadded(config, sizeof config);
        uint64_t bits = 0;
        for (unsigned char b : config) bits = (bits << 8) | b;
        unsigned used = 0;
        const auto take = [&](unsigned n) {
            used += n;
            return static_cast<uint32_t>((bits >> (48 - used)) & ((1u << n) - 1));
        };
        if (take(5) == 31) take(6);
        if (take(4) == 15) take(24);
        return static_cast<uint8_t>(take(4));
    }

    // The contents of the first "meta": an optional handler, then the item list.
    void ReadMetaContents(int64_t metaEnd) {
        Atom atom = ReadAtomHeader();
        if (TypeIs(atom.type, "hdlr")) {
            s_.Seek(atom.End());
            atom = ReadAtomHeader();
        }
        if (TypeIs(atom.type, "ilst")) {
            f_.itemListOffset_ = atom.start;
            f_.itemListSize_ = atom.size;
            f_.hasItemList_ = true;
            ReadItems(metaEnd);
        } else if (TypeIs(atom.type, "free")) {
            s_.Seek(atom.End());
        } else {
            s_.Seek(metaEnd);
        }
    }

    // Items follow one another: an item header, for a freeform item its
    // "mean" and "name" parts, then its value atom. A second value of the
    // same item shows up as a bare "data" atom where the next item header
    // was expected. Every pass moves at least 8 bytes on.
    void ReadItems(int64_t metaEnd) {
        const int64_t limit = std::min(metaEnd, s_.Size());
        std::string previousType;
        while (s_.Position() < limit) {
            const int64_t itemStart = s_.Position();
            const uint32_t itemSize = ReadBE32();
            std::string type = ReadType();
            if (TypeIs(type, "free")) {
                s_.Seek(AddClamped(itemStart, itemSize));
                break;
            }
            std::string freeformName;
            if (type == "----") {
                std::string partType;
                freeformName = ReadFreeformPart(partType);
                if (TypeIs(partType, "mean")) freeformName = ReadFreeformPart(partType);
            } else if (TypeIs(type, "data")) {
                s_.Seek(itemStart);
                if (TypeIs(previousType, "covr")) type = previousType;
            }
            const uint32_t valueSize = ReadBE32();
            ReadType();                      // "data"
            ReadByte();                      // version
            unsigned char flags[3];
            ReadPadded(flags, 3);
            const uint8_t dataType = flags[2];
            Skip(4);                         // reserved
            const std::string payload = ReadPayload(int64_t(valueSize) - kValueHeaderSize);
            f_.StoreItem(type, freeformName, dataType, payload);
            previousType = type;
        }
    }

    // One "mean" or "name" part of a freeform item; returns its trimmed text.
    std::string ReadFreeformPart(std::string& partType) {
        const uint32_t size = ReadBE32();
        partType = ReadType();
        Skip(kFreeformPartHeaderSize - kAtomHeaderSize);   // version and flags
        return Trim(ReadPayload(int64_t(size) - kFreeformPartHeaderSize));
    }

private:
    TFileStream& s_;
    TMp4file& f_;
    bool metaSeen_ = false;
};

void TMp4file::ResetData() { *this = TMp4file(Blank{}); }

void TMp4file::StoreItem(const std::string& type, const std::string& freeformName, uint8_t dataType,
                         const std::string& payload) {
    const std::string text = dataType == kDataTypeUtf8 ? DecodeUtf8(payload) : payload;
    const auto is = [&](std::string_view name) { return TypeIs(type, name); };
    // Most item types are the byte A9 followed by three letters.
    const auto isA9 = [&](std::string_view letters) {
        return type.size() == 4 && static_cast<unsigned char>(type[0]) == 0xA9 && TypeIs(type.substr(1), letters);
    };

    if (isA9("nam")) title_ = text;
    else if (isA9("ART")) artist_ = text;
    else if (isA9("alb")) album_ = text;
    else if (isA9("cmt")) comment_ = text;
    else if (isA9("day")) year_ = text;
    else if (isA9("too")) encodingTool_ = text;
    else if (is("gnre")) {
        if (genre_.empty() && payload.size() >= 2) {
            const auto n = static_cast<int32_t>(BE16(reinterpret_cast<const unsigned char*>(payload.data())));
            if (n >= 1 && n <= kGenreCount) genre_ = kID3v1Genres[n - 1];   // stored one higher
        }
    } else if (isA9("gen")) {
        if (!text.empty()) genre_ = text;
    } else if (is("trkn")) {
        if (payload.size() == 8) track_ = NumberAndTotal(payload);
    } else if (is("disk")) {
        if (payload.size() == 8) disc_ = NumberAndTotal(payload);
    } else if (isA9("wrt")) composer_ = text;
    else if (is("cpil")) compilation_ = !payload.empty() && payload[0] == 1;
    else if (is("tmpo")) {
        if (payload.size() == 2) tempo_ = static_cast<uint16_t>(BE16(reinterpret_cast<const unsigned char*>(payload.data())));
    } else if (isA9("grp")) grouping_ = text;
    else if (isA9("cpy")) copyright_ = text;
    else if (isA9("url")) url_ = text;
    else if (isA9("lyr")) lyrics_ = text;
    else if (isA9("ope")) originalArtist_ = text;
    else if (isA9("inf")) information_ = text;
    else if (isA9("des")) description_ = text;
    else if (isA9("aut")) author_ = text;
    else if (isA9("src")) source_ = text;
    else if (isA9("prf")) performers_ = text;
    else if (isA9("prd")) producer_ = text;
    else if (is("covr")) {
        Tmp4PictureInfo picture;
        picture.DataType = dataType;
        picture.MIME = PictureMime(dataType);
        picture.Data.assign(payload.begin(), payload.end());
        pictures_.push_back(std::move(picture));
    } else if (dataType != kDataTypeUtf8) {
        otherBinaryItems_.push_back({type, text, static_cast<char>(dataType)});
    } else if (type != "----") {
        otherTextItems_.push_back({type, text, static_cast<char>(dataType)});
    } else {
        const auto named = [&](std::string_view name) { return EqualsIgnoreAsciiCase(freeformName, name); };
        if (named("TONES")) tones_ = text;
        else if (named("STYLES")) styles_ = text;
        else if (named("MOOD")) mood_ = text;
        else if (named("SITUATION")) situation_ = text;
        else if (named("RATING")) rating_ = text;
        else if (named("QUALITY")) quality_ = text;
        else if (named("TEMPO")) tempoText_ = text;
        else if (named("TYPE")) type_ = text;
        else freeformItems_.push_back({freeformName, text, static_cast<char>(dataType)});
    }
}

bool TMp4file::Valid() const {
    return metaOffset_ > 0 && userDataOffset_ > 0 && movieOffset_ > 0 && mediaDataSize_ > 0;
}

double TMp4file::Duration() const {
    if (mediaDuration_ == 0 || timeScale_ == 0) return 0;
    return double(mediaDuration_) / double(timeScale_);
}

// File size against a canonical PCM WAV file (44-byte header) of the same
// duration, sample rate, channels and sample size.
double TMp4file::Ratio() const {
    if (!Valid()) return 0;
    const double pcmBytes = Duration() * sampleRate_ * (bitsPerSample_ * channels_ / 8.0) + 44;
    return double(fileSize_) / pcmBytes * 100;
}

bool TMp4file::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        stream.Seek(0);
        fileSize_ = stream.Size();
        fileName_ = stream.Path();
        Mp4Walker walker(stream, *this);
        const Mp4Walker::Atom first = walker.ReadAtomHeader();
        if (first.type != "ftyp") return false;
        stream.Seek(first.End());
        walker.Walk();
        if (!Valid()) return false;
        bitRate_ = MediaBitRate(mediaDataSize_, Duration());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TMp4file::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}
