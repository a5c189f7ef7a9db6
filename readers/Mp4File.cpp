#include "readers/Mp4File.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/AACfile.h"
#include "tags/Genres.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace {

// Atom header: 32-bit big-endian size counting the header itself, then the
// four-character type. Size 1: a 64-bit size follows the type. Size 0: the
// atom runs to the end of the file (or of its parent).
constexpr int64_t kAtomHeaderSize = 8;
constexpr std::size_t kLargeAtomHeaderSize = 16;
constexpr uint32_t kLargeSizeMarker = 1;
constexpr uint32_t kToEndOfFileMarker = 0;

// Containers whose children the walk visits. "trak" and "traf" are opened
// too, each with a track or fragment context of its own.
constexpr std::array<std::string_view, 16> kContainerTypes = {
    "moov", "udta", "tref", "imap", "mdia", "minf", "stbl", "edts",
    "mdra", "rmra", "imag", "vnrp", "dinf", "mvex", "moof", "mfra"};
// Nesting deeper than any real file: a hostile chain of containers ends here.
constexpr int kMaxDepth = 16;
// More tracks than any real file carries; later ones are not recorded.
constexpr std::size_t kMaxTracks = 256;
// The most bytes of one box body read into memory; a larger box (a huge
// sample table or item list) is read up to this size.
constexpr std::size_t kMaxBodySize = 64u << 20;

// Full-box header: 1-byte version, 3 flag bytes.
constexpr std::size_t kFlagsSize = 3;

// Handler types ("hdlr": version and flags, pre-defined, handler type).
constexpr std::string_view kSoundHandler = "soun";

// Audio sample entry, offsets from the entry's first byte (its size field):
//   0 size, 4 format, 8 reserved (6), 14 data reference index (2),
//  16 sound description version (2), 18 revision (2), 20 vendor (4),
//  24 channel count (2), 26 sample size (2), 28 compression id (2),
//  30 packet size (2), 32 sample rate (16.16 fixed point).
// Child boxes follow at 36; QuickTime's version 1 adds 16 bytes, version 2
// 36 and carries the rate as a 64-bit float at 40 and the channels at 48.
constexpr std::size_t kEntryFixedSize = 36;
constexpr std::size_t kEntryExtraV1 = 16;
constexpr std::size_t kEntryExtraV2 = 36;

// Elementary stream descriptor ("esds", ISO/IEC 14496-1): after version and
// flags, an ES descriptor (tag 3) holding a decoder config descriptor (tag
// 4) holding the decoder specific info (tag 5), which for AAC is the
// AudioSpecificConfig of ISO/IEC 14496-3.
constexpr uint8_t kESDescriptorTag = 3;
constexpr uint8_t kDecoderConfigTag = 4;
constexpr uint8_t kDecoderSpecificInfoTag = 5;
constexpr uint8_t kESDependsOnFlag = 0x80, kESUrlFlag = 0x40, kESOcrFlag = 0x20;

// objectTypeIndication values of the decoder config descriptor.
constexpr uint8_t kObjectMpeg4Audio = 0x40;
constexpr uint8_t kObjectMpeg2AacFirst = 0x66, kObjectMpeg2AacLast = 0x68;
constexpr uint8_t kObjectMpeg2Audio = 0x69, kObjectMpeg1Audio = 0x6B;

// AudioSpecificConfig audio object types and extension sync words.
constexpr uint32_t kAotEscape = 31;
constexpr uint32_t kAotSbr = 5;
constexpr uint32_t kAotPs = 29;
constexpr uint32_t kSyncExtensionSbr = 0x2B7;
constexpr uint32_t kSyncExtensionPs = 0x548;
constexpr uint32_t kRateEscape = 15;
// Object types that carry a GASpecificConfig after the channel configuration.
constexpr std::array<uint32_t, 12> kGeneralAudioTypes = {1, 2, 3, 4, 6, 7, 17, 19, 20, 21, 22, 23};
// channelConfiguration to channel count; 0 means the layout is given by a
// program config element.
constexpr std::array<uint8_t, 16> kChannelsByConfiguration = {0, 1, 2, 3, 4, 5, 6, 8, 0, 0, 0, 7, 8, 24, 8, 0};
constexpr std::array<int32_t, 16> kAacSampleRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                                     16000, 12000, 11025, 8000,  7350,  0,     0,     0};

// AC-3 and E-AC-3 channel modes (acmod) to full-bandwidth channel counts.
constexpr std::array<uint8_t, 8> kAc3Channels = {2, 1, 2, 3, 3, 4, 4, 5};

// "meta" starts with version and flags (QuickTime files omit them); value
// atoms ("data") have a 16-byte header: size, "data", version, 3 flag bytes
// whose last is the data type, and 4 reserved bytes. Freeform parts ("mean",
// "name") have a 12-byte one.
constexpr std::size_t kValueHeaderSize = 16;
constexpr std::size_t kFreeformPartHeaderSize = 12;

// Data types of value atoms.
constexpr uint8_t kDataTypeUtf8 = 1;
constexpr uint8_t kDataTypeJpeg = 13;
constexpr uint8_t kDataTypePng = 14;

// Track fragment header ("tfhd") and run ("trun") flags.
constexpr uint32_t kTfhdBaseDataOffset = 0x01, kTfhdDescriptionIndex = 0x02, kTfhdDefaultDuration = 0x08;
constexpr uint32_t kTrunDataOffset = 0x01, kTrunFirstSampleFlags = 0x04, kTrunDuration = 0x100,
                   kTrunSize = 0x200, kTrunFlags = 0x400, kTrunCompositionOffset = 0x800;

bool TypeIs(std::string_view type, std::string_view name) { return EqualsIgnoreAsciiCase(type, name); }

bool IsContainer(std::string_view type) {
    return std::any_of(kContainerTypes.begin(), kContainerTypes.end(),
                       [&](std::string_view c) { return TypeIs(type, c); });
}

// "3/12" from a track or disc payload (8 bytes: 2 reserved, number, total,
// 2 reserved); each number counts only when positive as a signed 16-bit value.
std::string NumberAndTotal(const std::string& payload) {
    TByteReader r(payload);
    r.Skip(2);
    const auto number = static_cast<int16_t>(r.BE16());
    const auto total = static_cast<int16_t>(r.BE16());
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

int64_t AddClamped(int64_t a, int64_t b) {
    int64_t sum;
    return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<int64_t>::max() : sum;
}

// What an AudioSpecificConfig says.
struct AudioConfig {
    uint32_t objectType = 0;     // as signalled first (5 SBR, 29 PS, else the core)
    int32_t coreRate = 0;
    int32_t outputRate = 0;      // the SBR rate when SBR is present, else 0
    uint8_t channels = 0;        // 0 when unknown
    bool sbr = false;
    bool ps = false;
};

uint32_t ReadObjectType(TByteReader& r) {
    const auto type = static_cast<uint32_t>(r.Bits(5));
    return type == kAotEscape ? 32 + static_cast<uint32_t>(r.Bits(6)) : type;
}

int32_t ReadSamplingRate(TByteReader& r) {
    const auto index = static_cast<uint32_t>(r.Bits(4));
    return index == kRateEscape ? static_cast<int32_t>(r.Bits(24)) : kAacSampleRates[index];
}

// ISO/IEC 14496-3 AudioSpecificConfig: the object type, rate and channel
// configuration, explicit SBR/PS signalling (object type 5 or 29 in front of
// the core type) and backward-compatible signalling (a sync extension after
// the GASpecificConfig).
AudioConfig ParseAudioSpecificConfig(std::string_view bytes) {
    AudioConfig c;
    TByteReader r(bytes);
    c.objectType = ReadObjectType(r);
    c.coreRate = ReadSamplingRate(r);
    const auto configuration = static_cast<uint8_t>(r.Bits(4));
    c.channels = kChannelsByConfiguration[configuration];
    uint32_t core = c.objectType;
    if (core == kAotSbr || core == kAotPs) {
        c.sbr = true;
        c.ps = core == kAotPs;
        c.outputRate = ReadSamplingRate(r);
        core = ReadObjectType(r);
    }
    if (std::find(kGeneralAudioTypes.begin(), kGeneralAudioTypes.end(), core) != kGeneralAudioTypes.end()) {
        r.Bits(1);                              // frameLengthFlag
        if (r.Flag()) r.Bits(14);               // dependsOnCoreCoder: coreCoderDelay
        const bool extensionFlag = r.Flag();
        if (configuration == 0) c.channels = ReadProgramConfig(r).channels;
        if (core == 6 || core == 20) r.Bits(3); // layerNr
        if (extensionFlag) {
            if (core == 22) r.Bits(16);         // numOfSubFrame, layer_length
            if (core == 17 || core == 19 || core == 20 || core == 23) r.Bits(3);
            r.Bits(1);                          // extensionFlag3
        }
        if (!c.sbr && !r.Overrun() && r.Remaining() >= 2 && r.Bits(11) == kSyncExtensionSbr) {
            if (ReadObjectType(r) == kAotSbr && r.Flag()) {
                c.sbr = true;
                c.outputRate = ReadSamplingRate(r);
                if (r.Bits(11) == kSyncExtensionPs && r.Flag()) c.ps = true;
            }
        }
    }
    if (r.Overrun() && c.objectType == 0) return AudioConfig{};
    // Parametric stereo turns a mono core into stereo output.
    if (c.ps && c.channels == 1) c.channels = 2;
    // Implicit output rate: SBR doubles a core rate of up to 24 kHz.
    if (c.sbr && c.outputRate == 0) c.outputRate = c.coreRate <= 24000 ? 2 * c.coreRate : c.coreRate;
    return c;
}

// The audio properties one sample entry gives.
struct SampleEntry {
    bool present = false;
    std::string format;
    std::string codecName;
    uint8_t objectType = 0;
    uint32_t channels = 0;
    uint32_t bitsPerSample = 0;
    int32_t entryRate = 0;       // from the entry's own rate field
    int32_t configRate = 0;      // from the codec's configuration box, 0 when none
    bool known = false;          // a codec this reader names
};

// One "trak".
struct Track {
    std::string handler;
    bool hasHandler = false;
    uint32_t id = 0;
    uint32_t timeScale = 0;
    uint64_t duration = 0;
    SampleEntry entry;
    uint64_t sampleBytes = 0;    // sum of the "stsz" sizes
    uint64_t sampleCount = 0;
    int64_t firstChunk = -1;     // file offset of the first chunk ("stco"/"co64")
    uint64_t fragmentDuration = 0;   // sum of the "trun" durations
    // The track's edit list when it is one edit of media at normal rate.
    bool singleEdit = false;
    uint64_t editDuration = 0;   // movie time scale
    int64_t editMediaTime = 0;   // media time scale: where the presented media starts
};

// The media time an edit list of one edit presents, when it leaves out part
// of the media (an encoder's delay at the start, its padding at the end);
// 0 otherwise. The edit's length is in the movie's time scale, often
// milliseconds: when it agrees with the media after the edit's start to
// within one movie tick, the media's own count is the exact one.
uint64_t EditedDuration(const Track& t, uint32_t movieTimeScale) {
    if (movieTimeScale == 0 || t.timeScale == 0 || t.editMediaTime < 0 ||
        uint64_t(t.editMediaTime) >= t.duration)
        return 0;
    const uint64_t afterStart = t.duration - uint64_t(t.editMediaTime);
    const double edit = double(t.editDuration) * t.timeScale / movieTimeScale;
    const double tick = double(t.timeScale) / movieTimeScale;
    uint64_t presented = afterStart;
    if (std::fabs(edit - double(afterStart)) > tick && edit < double(afterStart))
        presented = static_cast<uint64_t>(std::llround(edit));
    return presented < t.duration ? presented : 0;
}

} // namespace

// Reads the atoms of one file into a TMp4file. Each box body the reader
// needs is read from the file once and parsed from memory; reads beyond the
// end of the file give zeros. Every loop is bounded by the file size.
class Mp4Walker {
public:
    Mp4Walker(TFileStream& stream, TMp4file& file) : s_(stream), f_(file) {}

    struct Atom {
        int64_t start = 0;
        int64_t size = 0;        // whole atom, header included
        int64_t headerSize = kAtomHeaderSize;
        std::string type;
        int64_t End() const { return AddClamped(start, size); }
        int64_t BodyStart() const { return AddClamped(start, headerSize); }
        int64_t BodySize() const { return size - headerSize; }
    };

    // The atom header at the position; limit is where the enclosing atom
    // (or the file) ends, for a size of 0.
    Atom ReadAtomHeader(int64_t at, int64_t limit) {
        unsigned char bytes[kLargeAtomHeaderSize];
        s_.ReadZeroFilled(at, bytes, sizeof bytes);
        TByteReader r(bytes, sizeof bytes);
        Atom atom;
        atom.start = at;
        const uint32_t size = r.BE32();
        atom.type = r.Text(4);
        if (size == kLargeSizeMarker) {
            const uint64_t large = r.BE64();
            atom.headerSize = kLargeAtomHeaderSize;
            // A size beyond the signed range is damaged: 0 ends the walk.
            atom.size = large > uint64_t(std::numeric_limits<int64_t>::max()) ? 0 : int64_t(large);
        } else if (size == kToEndOfFileMarker) {
            atom.size = std::max<int64_t>(0, limit - at);
        } else {
            atom.size = size;
        }
        return atom;
    }

    // The body of an atom (at most kMaxBodySize bytes, and only what the
    // file holds).
    std::string ReadBody(const Atom& atom) {
        const int64_t available = std::max<int64_t>(0, s_.Size() - atom.BodyStart());
        const int64_t count = std::clamp<int64_t>(atom.BodySize(), 0, std::min<int64_t>(available, kMaxBodySize));
        std::string body(static_cast<std::size_t>(count), '\0');
        s_.ReadZeroFilled(atom.BodyStart(), body.data(), body.size());
        return body;
    }

    // The walk over [start, end): containers are opened, a "trak" or "traf"
    // with a context of its own, everything else is handled or skipped.
    void Walk(int64_t start, int64_t end, int depth, int track) {
        if (depth > kMaxDepth) return;
        int64_t at = start;
        end = std::min(end, s_.Size());
        while (at < end) {
            const Atom atom = ReadAtomHeader(at, end);
            if (atom.size < atom.headerSize) break;   // damaged: ends this level
            const std::string& type = atom.type;
            if (TypeIs(type, "mdat")) {
                mdatPayloadSum_ += atom.BodySize();
                if (atom.size > f_.mediaDataSize_) {
                    f_.mediaDataOffset_ = atom.start;
                    f_.mediaDataSize_ = atom.size;
                }
            } else if (TypeIs(type, "moov")) {
                f_.movieOffset_ = atom.start;
                f_.movieSize_ = atom.size;
            } else if (TypeIs(type, "udta")) {
                f_.userDataOffset_ = atom.start;
                f_.userDataSize_ = atom.size;
            } else if (TypeIs(type, "mvhd")) {
                ReadMovieHeader(ReadBody(atom));
            } else if (TypeIs(type, "trak")) {
                int index = -1;
                if (tracks_.size() < kMaxTracks) {
                    tracks_.emplace_back();
                    index = static_cast<int>(tracks_.size()) - 1;
                }
                ++f_.trackCount_;
                Walk(atom.BodyStart(), atom.End(), depth + 1, index);
            } else if (TypeIs(type, "meta") && !metaSeen_) {
                metaSeen_ = true;
                f_.metaOffset_ = atom.start;
                f_.metaSize_ = atom.size;
                ReadMeta(atom);
            } else if (TypeIs(type, "mehd")) {
                ReadMovieExtendsHeader(ReadBody(atom));
            } else if (TypeIs(type, "trex")) {
                ReadTrackExtends(ReadBody(atom));
            } else if (TypeIs(type, "traf")) {
                fragment_ = Fragment{};
                Walk(atom.BodyStart(), atom.End(), depth + 1, track);
            } else if (TypeIs(type, "tfhd")) {
                ReadTrackFragmentHeader(ReadBody(atom));
            } else if (TypeIs(type, "trun")) {
                ReadTrackRun(ReadBody(atom));
            } else if (track >= 0) {
                Track& t = tracks_[static_cast<std::size_t>(track)];
                if (TypeIs(type, "tkhd")) ReadTrackHeader(ReadBody(atom), t);
                else if (TypeIs(type, "hdlr")) ReadHandler(ReadBody(atom), t);
                else if (TypeIs(type, "mdhd")) ReadMediaHeader(ReadBody(atom), t);
                else if (TypeIs(type, "elst")) ReadEditList(ReadBody(atom), t);
                else if (TypeIs(type, "stsd")) ReadSampleDescriptions(ReadBody(atom), t);
                else if (TypeIs(type, "stsz")) ReadSampleSizes(ReadBody(atom), t);
                else if (TypeIs(type, "stco") || TypeIs(type, "co64")) ReadFirstChunk(atom, t);
            }
            if (TypeIs(type, "moof")) f_.fragmented_ = true;
            if (TypeIs(type, "mvex")) hasMovieExtends_ = true;
            if (IsContainer(type)) Walk(atom.BodyStart(), atom.End(), depth + 1, track);
            at = atom.End();
        }
    }

    // "mvhd": version, flags, creation and modification time (32 or 64
    // bits each), time scale, duration.
    void ReadMovieHeader(const std::string& body) {
        TByteReader r(body);
        const uint8_t version = r.U8();
        r.Skip(kFlagsSize);
        r.Skip(version == 1 ? 16 : 8);
        const uint32_t timeScale = r.BE32();
        if (!r.Overrun()) movieTimeScale_ = timeScale;
    }

    // "tkhd": version, flags, creation and modification time, track ID.
    void ReadTrackHeader(const std::string& body, Track& t) {
        TByteReader r(body);
        const uint8_t version = r.U8();
        r.Skip(kFlagsSize);
        r.Skip(version == 1 ? 16 : 8);
        const uint32_t id = r.BE32();
        if (!r.Overrun()) t.id = id;
    }

    // "hdlr": version, flags, pre-defined, handler type.
    void ReadHandler(const std::string& body, Track& t) {
        TByteReader r(body);
        r.Skip(4);
        r.Skip(4);
        const std::string handler = r.Text(4);
        if (r.Overrun() || t.hasHandler) return;
        t.handler = handler;
        t.hasHandler = true;
    }

    // "mdhd": version 0 holds 32-bit times and duration, version 1 64-bit
    // ones; then the language and quality fields.
    void ReadMediaHeader(const std::string& body, Track& t) {
        TByteReader r(body);
        const uint8_t version = r.U8();
        r.Skip(kFlagsSize);
        if (version == 1) {
            r.Skip(16);                 // creation and modification time
            t.timeScale = r.BE32();
            t.duration = r.BE64();
        } else {
            r.Skip(8);
            t.timeScale = r.BE32();
            t.duration = r.BE32();
        }
        // A cut-off header reads as zeros, as the rest of the file does.
    }

    // "elst": version, flags, entry count, then per entry the segment
    // duration (movie time scale) and media time (media time scale; -1 for
    // an empty edit), 32 bits each in version 0 and 64 in version 1, and the
    // media rate (16.16). Encoders mark their delay (priming) and padding
    // with one edit that starts after the delay and ends before the padding.
    void ReadEditList(const std::string& body, Track& t) {
        TByteReader r(body);
        const uint8_t version = r.U8();
        r.Skip(kFlagsSize);
        const uint32_t entries = r.BE32();
        const uint64_t segmentDuration = version == 1 ? r.BE64() : r.BE32();
        const int64_t mediaTime = version == 1 ? static_cast<int64_t>(r.BE64()) : static_cast<int32_t>(r.BE32());
        const uint16_t rateInteger = r.BE16();
        const uint16_t rateFraction = r.BE16();
        if (r.Overrun()) return;
        t.singleEdit = entries == 1 && mediaTime >= 0 && rateInteger == 1 && rateFraction == 0;
        t.editDuration = segmentDuration;
        t.editMediaTime = mediaTime;
    }

    // "stsz": version, flags, a common sample size (0: one size per sample),
    // the sample count, then the sizes.
    void ReadSampleSizes(const std::string& body, Track& t) {
        TByteReader r(body);
        r.Skip(4);
        const uint32_t commonSize = r.BE32();
        const uint32_t count = r.BE32();
        if (r.Overrun()) return;
        t.sampleCount = count;
        if (commonSize != 0) {
            t.sampleBytes = uint64_t{commonSize} * count;
            return;
        }
        uint64_t sum = 0;
        for (uint32_t i = 0; i < count && r.Remaining() >= 4; ++i) sum += r.BE32();
        t.sampleBytes = sum;
    }

    // "stco"/"co64": version, flags, entry count, then 32- or 64-bit chunk
    // offsets; only the first one is needed.
    void ReadFirstChunk(const Atom& atom, Track& t) {
        if (t.firstChunk >= 0) return;
        unsigned char bytes[16];
        s_.ReadZeroFilled(atom.BodyStart(), bytes, sizeof bytes);
        TByteReader r(bytes, sizeof bytes);
        r.Skip(4);
        const uint32_t count = r.BE32();
        const uint64_t offset = TypeIs(atom.type, "co64") ? r.BE64() : r.BE32();
        if (count > 0 && atom.BodySize() >= 12 && offset < uint64_t(std::numeric_limits<int64_t>::max()))
            t.firstChunk = static_cast<int64_t>(offset);
    }

    // "stsd": version and flags, the entry count, then the entries; each
    // starts at the declared end of the one before. The first entry that
    // names a known codec wins, else the first entry.
    void ReadSampleDescriptions(const std::string& body, Track& t) {
        TByteReader r(body);
        r.Skip(4);
        const uint32_t count = r.BE32();
        std::size_t entryStart = r.Position();
        for (uint32_t i = 0; i < count && entryStart + 8 <= body.size(); ++i) {
            TByteReader sizeField(std::string_view(body).substr(entryStart, 4));
            const uint32_t declared = sizeField.BE32();
            const std::size_t entrySize = std::min<std::size_t>(declared, body.size() - entryStart);
            const SampleEntry entry = ParseSampleEntry(std::string_view(body).substr(entryStart, entrySize));
            if (!t.entry.present || (!t.entry.known && entry.known)) t.entry = entry;
            if (declared < 8) break;
            entryStart += entrySize;
        }
    }

    SampleEntry ParseSampleEntry(std::string_view bytes) {
        SampleEntry e;
        TByteReader r(bytes);
        r.Skip(4);                                   // size
        e.format = r.Text(4);
        r.Skip(6);                                   // reserved
        r.Skip(2);                                   // data reference index
        const uint16_t version = r.BE16();
        r.Skip(2);                                   // revision
        r.Skip(4);                                   // vendor
        e.channels = r.BE16();
        e.bitsPerSample = r.BE16();
        r.Skip(2);                                   // compression id
        r.Skip(2);                                   // packet size
        e.entryRate = static_cast<int32_t>(r.BE32() >> 16);
        std::size_t children = kEntryFixedSize;
        if (version == 1) children += kEntryExtraV1;
        if (version == 2) {
            // QuickTime version 2: the fields above are fixed values; the rate
            // is a 64-bit float and the channel count a 32-bit number.
            TByteReader v2(bytes);
            v2.Skip(40);
            const uint64_t rateBits = v2.BE64();
            const uint32_t channels = v2.BE32();
            if (!v2.Overrun()) {
                double rate;
                std::memcpy(&rate, &rateBits, sizeof rate);
                e.entryRate = rate >= 0 && rate < 2147483647.0 ? static_cast<int32_t>(RoundHalfEven(rate)) : 0;
                e.channels = channels;
            }
            children += kEntryExtraV2;
        }
        e.present = true;
        const std::string& f = e.format;
        e.known = true;
        if (TypeIs(f, "mp4a")) e.codecName = "MPEG-4 AAC";
        else if (TypeIs(f, "alac")) e.codecName = "ALAC";
        else if (f == "ac-3") e.codecName = "AC-3";
        else if (f == "ec-3") e.codecName = "E-AC-3";
        else if (f == "Opus") e.codecName = "Opus";
        else if (f == "fLaC") e.codecName = "FLAC";
        else {
            e.codecName = f;
            e.known = false;
        }
        if (children < bytes.size()) ReadEntryChildren(bytes.substr(children), e, 0);
        return e;
    }

    // The configuration boxes inside a sample entry (QuickTime nests them in
    // a "wave" box).
    void ReadEntryChildren(std::string_view bytes, SampleEntry& e, int depth) {
        std::size_t at = 0;
        while (at + 8 <= bytes.size()) {
            TByteReader h(bytes.substr(at, 8));
            const uint32_t size = h.BE32();
            const std::string type = h.Text(4);
            if (size < 8) return;
            const std::size_t boxSize = std::min<std::size_t>(size, bytes.size() - at);
            const std::string_view body = bytes.substr(at + 8, boxSize - 8);
            if (TypeIs(type, "esds")) ReadEsds(body, e);
            else if (type == "alac" && TypeIs(e.format, "alac")) ReadAlacConfig(body, e);
            else if (type == "dOps") ReadOpusConfig(body, e);
            else if (type == "dfLa") ReadFlacConfig(body, e);
            else if (type == "dac3") ReadAc3Config(body, e);
            else if (type == "dec3") ReadEac3Config(body, e);
            else if (TypeIs(type, "wave") && depth == 0) ReadEntryChildren(body, e, depth + 1);
            at += boxSize;
        }
    }

    // Descriptor sizes use 7 bits per byte, the top bit marking a following byte.
    static bool EnterDescriptor(TByteReader& r, uint8_t tag, uint32_t& size) {
        if (r.U8() != tag) return false;
        size = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = r.U8();
            size = (size << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) break;
        }
        return !r.Overrun();
    }

    // "esds": the object type of the decoder config descriptor and, for AAC,
    // the AudioSpecificConfig in its decoder specific info.
    void ReadEsds(std::string_view body, SampleEntry& e) {
        TByteReader r(body);
        r.Skip(4);                                   // version, flags
        uint32_t size = 0;
        if (!EnterDescriptor(r, kESDescriptorTag, size)) return;
        r.Skip(2);                                   // ES_ID
        const uint8_t flags = r.U8();
        if (flags & kESDependsOnFlag) r.Skip(2);
        if (flags & kESUrlFlag) r.Skip(r.U8());
        if (flags & kESOcrFlag) r.Skip(2);
        if (!EnterDescriptor(r, kDecoderConfigTag, size)) return;
        const uint8_t objectType = r.U8();
        r.Skip(1);                                   // stream type, up-stream flag
        r.Skip(3);                                   // buffer size
        r.Skip(4);                                   // maximum bitrate
        r.Skip(4);                                   // average bitrate
        if (r.Overrun()) return;
        e.objectType = objectType;
        if (objectType >= kObjectMpeg2AacFirst && objectType <= kObjectMpeg2AacLast) e.codecName = "MPEG-2 AAC";
        else if (objectType == kObjectMpeg1Audio || objectType == kObjectMpeg2Audio) e.codecName = "MP3";
        const bool aac = objectType == kObjectMpeg4Audio ||
                         (objectType >= kObjectMpeg2AacFirst && objectType <= kObjectMpeg2AacLast);
        if (!aac || !EnterDescriptor(r, kDecoderSpecificInfoTag, size)) return;
        const std::size_t available = std::min<std::size_t>(size, r.Remaining());
        const AudioConfig config = ParseAudioSpecificConfig(std::string_view(reinterpret_cast<const char*>(r.Here()), available));
        if (config.channels != 0) e.channels = config.channels;
        if (objectType != kObjectMpeg4Audio || !config.sbr) return;
        e.codecName = config.ps ? "MPEG-4 HE-AACv2" : "MPEG-4 HE-AAC";
        e.configRate = config.outputRate;
    }

    // "alac" (inside the "alac" entry): version and flags, then the
    // ALACSpecificConfig: frame length (4), compatible version (1), bit depth
    // (1), pb, mb, kb (1 each), channels (1), max run (2), max frame bytes
    // (4), average bitrate (4), sample rate (4).
    void ReadAlacConfig(std::string_view body, SampleEntry& e) {
        TByteReader r(body);
        r.Skip(4);
        r.Skip(4);                                   // frame length
        r.Skip(1);                                   // compatible version
        const uint8_t bitDepth = r.U8();
        r.Skip(3);                                   // pb, mb, kb
        const uint8_t channels = r.U8();
        r.Skip(2);                                   // max run
        r.Skip(4);                                   // max frame bytes
        r.Skip(4);                                   // average bitrate
        const uint32_t rate = r.BE32();
        if (r.Overrun()) return;
        if (bitDepth != 0) e.bitsPerSample = bitDepth;
        if (channels != 0) e.channels = channels;
        if (rate != 0 && rate <= uint32_t(std::numeric_limits<int32_t>::max())) e.configRate = static_cast<int32_t>(rate);
    }

    // "dOps": version (1), output channel count (1), pre-skip (2), input
    // sample rate (4), output gain (2), channel mapping family (1).
    void ReadOpusConfig(std::string_view body, SampleEntry& e) {
        TByteReader r(body);
        r.Skip(1);
        const uint8_t channels = r.U8();
        r.Skip(2);
        const uint32_t inputRate = r.BE32();
        if (r.Overrun()) return;
        if (channels != 0) e.channels = channels;
        // Opus always decodes at 48 kHz; the input rate is the source's.
        e.configRate = inputRate != 0 && inputRate <= 768000 ? static_cast<int32_t>(inputRate) : 48000;
    }

    // "dfLa": version and flags, then FLAC metadata blocks, STREAMINFO first:
    // block header (4), minimum and maximum block size (2 + 2), minimum and
    // maximum frame size (3 + 3), then 20 bits of sample rate, 3 of channels
    // - 1 and 5 of bits per sample - 1.
    void ReadFlacConfig(std::string_view body, SampleEntry& e) {
        TByteReader r(body);
        r.Skip(4);
        const uint8_t blockType = r.U8() & 0x7F;
        r.Skip(3);                                   // block length
        r.Skip(4);                                   // block sizes
        r.Skip(6);                                   // frame sizes
        const auto rate = static_cast<int32_t>(r.Bits(20));
        const auto channels = static_cast<uint32_t>(r.Bits(3)) + 1;
        const auto bits = static_cast<uint32_t>(r.Bits(5)) + 1;
        if (r.Overrun() || blockType != 0) return;
        e.configRate = rate;
        e.channels = channels;
        e.bitsPerSample = bits;
    }

    // "dac3": fscod (2), bsid (5), bsmod (3), acmod (3), lfeon (1), bit rate code (5).
    void ReadAc3Config(std::string_view body, SampleEntry& e) {
        TByteReader r(body);
        r.Bits(2);
        r.Bits(5);
        r.Bits(3);
        const auto acmod = static_cast<uint32_t>(r.Bits(3));
        const auto lfe = static_cast<uint32_t>(r.Bits(1));
        if (!r.Overrun()) e.channels = kAc3Channels[acmod] + lfe;
    }

    // "dec3": data rate (13), number of independent substreams - 1 (3), then
    // for the first: fscod (2), bsid (5), reserved (1), asvc (1), bsmod (3),
    // acmod (3), lfeon (1). Dependent substreams are not counted.
    void ReadEac3Config(std::string_view body, SampleEntry& e) {
        TByteReader r(body);
        r.Bits(13);
        r.Bits(3);
        r.Bits(2);
        r.Bits(5);
        r.Bits(1);
        r.Bits(1);
        r.Bits(3);
        const auto acmod = static_cast<uint32_t>(r.Bits(3));
        const auto lfe = static_cast<uint32_t>(r.Bits(1));
        if (!r.Overrun()) e.channels = kAc3Channels[acmod] + lfe;
    }

    // "mehd": version, flags, the whole fragmented duration (32 or 64 bits)
    // in the movie's time scale.
    void ReadMovieExtendsHeader(const std::string& body) {
        TByteReader r(body);
        const uint8_t version = r.U8();
        r.Skip(kFlagsSize);
        const uint64_t duration = version == 1 ? r.BE64() : r.BE32();
        if (!r.Overrun()) movieExtendsDuration_ = duration;
    }

    // "trex": version, flags, track ID, default sample description index,
    // default sample duration, size and flags.
    void ReadTrackExtends(const std::string& body) {
        TByteReader r(body);
        r.Skip(4);
        const uint32_t id = r.BE32();
        r.Skip(4);
        const uint32_t duration = r.BE32();
        if (r.Overrun()) return;
        for (auto& d : trackDefaults_)
            if (d.first == id) return;
        if (trackDefaults_.size() < kMaxTracks) trackDefaults_.emplace_back(id, duration);
    }

    // "tfhd": version, flags, track ID, then the optional fields the flags
    // announce: base data offset (8), sample description index (4), default
    // sample duration (4), ...
    void ReadTrackFragmentHeader(const std::string& body) {
        TByteReader r(body);
        r.Skip(1);
        const uint32_t flags = r.BE24();
        const uint32_t id = r.BE32();
        if (flags & kTfhdBaseDataOffset) r.Skip(8);
        if (flags & kTfhdDescriptionIndex) r.Skip(4);
        const uint32_t duration = (flags & kTfhdDefaultDuration) ? r.BE32() : 0;
        if (r.Overrun()) return;
        fragment_.trackId = id;
        fragment_.hasDefaultDuration = (flags & kTfhdDefaultDuration) != 0;
        fragment_.defaultDuration = duration;
    }

    // "trun": version, flags, sample count, optional data offset and first
    // sample flags, then per sample the fields the flags announce.
    void ReadTrackRun(const std::string& body) {
        TByteReader r(body);
        r.Skip(1);
        const uint32_t flags = r.BE24();
        const uint32_t count = r.BE32();
        if (flags & kTrunDataOffset) r.Skip(4);
        if (flags & kTrunFirstSampleFlags) r.Skip(4);
        if (r.Overrun()) return;
        Track* t = TrackById(fragment_.trackId);
        if (!t) return;
        uint64_t sum = 0;
        if (flags & kTrunDuration) {
            const std::size_t perSample = 4 * (1 + ((flags & kTrunSize) != 0) + ((flags & kTrunFlags) != 0) +
                                               ((flags & kTrunCompositionOffset) != 0));
            for (uint32_t i = 0; i < count && r.Remaining() >= perSample; ++i) {
                sum += r.BE32();
                r.Skip(perSample - 4);
            }
        } else {
            uint32_t duration = fragment_.defaultDuration;
            if (!fragment_.hasDefaultDuration)
                for (const auto& d : trackDefaults_)
                    if (d.first == fragment_.trackId) duration = d.second;
            sum = uint64_t{count} * duration;
        }
        t->fragmentDuration += sum;
    }

    Track* TrackById(uint32_t id) {
        for (Track& t : tracks_)
            if (t.id == id) return &t;
        return nullptr;
    }

    // The contents of the first "meta": a handler and the item list, among
    // other boxes. ISO files give "meta" a version and flags, QuickTime files
    // do not.
    void ReadMeta(const Atom& meta) {
        const std::string body = ReadBody(meta);
        TByteReader probe(body);
        probe.Skip(4);
        const bool quickTime = probe.Expect("hdlr") || probe.Expect("ilst");
        std::size_t at = quickTime ? 0 : 4;
        while (at + 8 <= body.size()) {
            TByteReader h(std::string_view(body).substr(at, 8));
            const uint32_t size = h.BE32();
            const std::string type = h.Text(4);
            if (size < 8) return;
            const std::size_t boxSize = std::min<std::size_t>(size, body.size() - at);
            if (TypeIs(type, "ilst")) {
                f_.itemListOffset_ = meta.BodyStart() + static_cast<int64_t>(at);
                f_.itemListSize_ = size;
                f_.hasItemList_ = true;
                ReadItems(std::string_view(body).substr(at + 8, boxSize - 8));
                return;
            }
            at += boxSize;
        }
    }

    // Each item holds its value atoms ("data"); a freeform item ("----")
    // first its "mean" and "name" parts. A second value of a picture item is
    // another picture; a second value of any other item is kept under the
    // type "data". An item whose value cannot be read is skipped; a "free"
    // item ends the list.
    void ReadItems(std::string_view list) {
        std::size_t at = 0;
        while (at + 8 <= list.size()) {
            TByteReader h(list.substr(at, 8));
            const uint32_t size = h.BE32();
            const std::string type = h.Text(4);
            if (size < 8) return;
            const std::size_t itemSize = std::min<std::size_t>(size, list.size() - at);
            if (TypeIs(type, "free")) return;
            ReadItem(type, list.substr(at + 8, itemSize - 8));
            at += itemSize;
        }
    }

    void ReadItem(const std::string& type, std::string_view children) {
        std::string freeformName;
        int values = 0;
        std::size_t at = 0;
        while (at + 8 <= children.size()) {
            TByteReader h(children.substr(at, 8));
            const uint32_t size = h.BE32();
            const std::string childType = h.Text(4);
            if (size < 8) return;
            const std::size_t childSize = std::min<std::size_t>(size, children.size() - at);
            const std::string_view child = children.substr(at, childSize);
            at += childSize;
            if (type == "----" && (TypeIs(childType, "mean") || TypeIs(childType, "name"))) {
                if (child.size() >= kFreeformPartHeaderSize)
                    freeformName = Trim(child.substr(kFreeformPartHeaderSize));
                continue;
            }
            if (!TypeIs(childType, "data") || child.size() < kValueHeaderSize) continue;
            TByteReader v(child);
            v.Skip(8);                                   // size, "data"
            v.Skip(1);                                   // version
            const uint8_t dataType = static_cast<uint8_t>(v.BE24() & 0xFF);
            v.Skip(4);                                   // reserved
            const std::string payload = v.Text(v.Remaining());
            std::string storedType = type;
            if (values > 0 && !TypeIs(type, "covr")) storedType = "data";
            f_.StoreItem(storedType, freeformName, dataType, payload);
            ++values;
        }
    }

    // Chooses the audio track and fills the file's audio properties.
    void Finish() {
        const Track* audio = nullptr;
        for (const Track& t : tracks_)
            if (t.hasHandler && t.handler == kSoundHandler && t.entry.present) {
                audio = &t;
                break;
            }
        // Files that declare no handler at all: the first track with a sample entry.
        if (!audio)
            for (const Track& t : tracks_)
                if (!t.hasHandler && t.entry.present) {
                    audio = &t;
                    break;
                }
        if (!audio) return;
        f_.hasAudioTrack_ = true;
        const SampleEntry& e = audio->entry;
        f_.codecName_ = e.codecName;
        f_.objectType_ = e.objectType;
        f_.channels_ = static_cast<uint8_t>(std::min<uint32_t>(e.channels, 255));
        f_.bitsPerSample_ = static_cast<uint8_t>(std::min<uint32_t>(e.bitsPerSample, 255));
        f_.timeScale_ = audio->timeScale;
        f_.mediaDuration_ = audio->duration;
        if (e.objectType == kObjectMpeg1Audio || e.objectType == kObjectMpeg2Audio) ReadMpegAudioFrame(audio->firstChunk);

        // The entry's 16.16 rate field cannot hold rates above 65535 Hz: a
        // codec configuration with its own rate wins, then the entry's field,
        // unless it is 0 or the time scale cut to 16 bits.
        int32_t rate = e.entryRate;
        const uint32_t scale = audio->timeScale;
        if (e.configRate > 0) rate = e.configRate;
        else if (scale > 0 && scale <= uint32_t(std::numeric_limits<int32_t>::max()) &&
                 (rate == 0 || (scale > 0xFFFF && uint32_t(rate) == (scale & 0xFFFF))))
            rate = static_cast<int32_t>(scale);
        f_.sampleRate_ = rate;

        // A fragmented file: the duration of "mehd", else the fragments'
        // sample durations added to those in the "moov".
        if (hasMovieExtends_ && f_.fragmented_) {
            if (movieExtendsDuration_ > 0 && movieTimeScale_ > 0 && scale > 0) {
                f_.mediaDuration_ = static_cast<uint64_t>(double(movieExtendsDuration_) / movieTimeScale_ * scale);
            } else {
                f_.mediaDuration_ = audio->duration + audio->fragmentDuration;
            }
            f_.mediaDataSize_ = mdatPayloadSum_;
        } else if (f_.trackCount_ > 1 && audio->sampleBytes > 0 &&
                   audio->sampleBytes < uint64_t(std::numeric_limits<int64_t>::max())) {
            // Other tracks share the media data: count the audio samples only.
            f_.mediaDataSize_ = static_cast<int64_t>(audio->sampleBytes);
        }
        // An edit list that leaves out the encoder's delay and padding.
        if (!f_.fragmented_ && audio->singleEdit) f_.editedDuration_ = EditedDuration(*audio, movieTimeScale_);
    }

    // MPEG audio in MP4 (object type 0x69 or 0x6B) is named by the layer of
    // its first frame; the frame's channel mode gives the channels (the
    // entry holds the template value 2). Frame header: sync (11), version
    // (2), layer (2), protection (1), bitrate index (4), rate index (2),
    // padding (1), private (1), channel mode (2, 3 = mono).
    void ReadMpegAudioFrame(int64_t firstChunk) {
        f_.codecName_ = "MP3";
        if (firstChunk < 0) return;
        unsigned char header[4];
        s_.ReadZeroFilled(firstChunk, header, sizeof header);
        TByteReader r(header, sizeof header);
        const auto sync = r.Bits(11);
        r.Bits(2);                                   // version
        const auto layer = r.Bits(2);
        r.Bits(1);                                   // protection
        r.Bits(4);                                   // bitrate index
        r.Bits(2);                                   // rate index
        r.Bits(2);                                   // padding, private
        const auto mode = r.Bits(2);
        if (sync != 0x7FF || layer == 0) return;
        if (layer == 2) f_.codecName_ = "MP2";
        if (layer == 3) f_.codecName_ = "MP1";
        f_.channels_ = mode == 3 ? 1 : 2;
    }

private:
    struct Fragment {
        uint32_t trackId = 0;
        bool hasDefaultDuration = false;
        uint32_t defaultDuration = 0;
    };

    TFileStream& s_;
    TMp4file& f_;
    bool metaSeen_ = false;
    std::vector<Track> tracks_;
    std::vector<std::pair<uint32_t, uint32_t>> trackDefaults_;   // track ID, default duration
    Fragment fragment_;
    uint32_t movieTimeScale_ = 0;
    uint64_t movieExtendsDuration_ = 0;
    bool hasMovieExtends_ = false;
    int64_t mdatPayloadSum_ = 0;
};

void TMp4file::ResetData() { *this = TMp4file(Blank{}); }

void TMp4file::StoreItem(const std::string& type, const std::string& freeformName, uint8_t dataType,
                         const std::string& payload) {
    const std::string text = dataType == kDataTypeUtf8 ? DecodeUtf8AllPlanes(payload) : payload;
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
            TByteReader r(payload);
            const auto n = static_cast<int32_t>(r.BE16());
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
        if (payload.size() == 2) tempo_ = TByteReader(payload).BE16();
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

bool ParseITunSMPB(std::string_view text, TITunSMPB& value) {
    // Space-separated hexadecimal fields: reserved, delay, padding, sample
    // count (64 bits), then fields this reader does not need.
    std::array<uint64_t, 4> fields{};
    std::size_t count = 0;
    std::size_t at = 0;
    while (count < fields.size()) {
        while (at < text.size() && text[at] == ' ') ++at;
        const std::size_t start = at;
        uint64_t field = 0;
        for (; at < text.size() && text[at] != ' '; ++at) {
            const char c = text[at];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0 || at - start >= 16) return false;
            field = field << 4 | uint64_t(digit);
        }
        if (at == start) return false;
        fields[count++] = field;
    }
    constexpr uint64_t kLimit = uint64_t{1} << 62;   // keeps sums of the fields in range
    if (fields[1] >= kLimit || fields[2] >= kLimit || fields[3] >= kLimit || fields[3] == 0) return false;
    value.Delay = static_cast<int64_t>(fields[1]);
    value.Padding = static_cast<int64_t>(fields[2]);
    value.Samples = static_cast<int64_t>(fields[3]);
    return true;
}

const Tmp4Item* TMp4file::FreeformItem(std::string_view name) const {
    for (const Tmp4Item& item : freeformItems_)
        if (EqualsIgnoreAsciiCase(item.Type, name)) return &item;
    return nullptr;
}

bool TMp4file::HasITunesMarks() const { return FreeformItem("iTunSMPB") || FreeformItem("iTunNORM"); }

// iTunSMPB first: its count is at the output rate whatever the time scale.
// It must fit in the track: the delay and the count together no longer than
// the media (plus a frame of 2048 samples, for rounding by the muxer).
int64_t TMp4file::ExactSamples() const {
    TITunSMPB smpb;
    if (const Tmp4Item* item = FreeformItem("iTunSMPB"); item && ParseITunSMPB(item->Value, smpb) && sampleRate_ > 0 &&
                                                          timeScale_ > 0) {
        const double media = double(mediaDuration_) / timeScale_ * sampleRate_;
        if (double(smpb.Delay + smpb.Samples) <= media + 2048) return smpb.Samples;
    }
    if (editedDuration_ > 0 && timeScale_ > 0 && uint32_t(sampleRate_) == timeScale_)
        return static_cast<int64_t>(editedDuration_);
    return 0;
}

bool TMp4file::Valid() const {
    return movieOffset_ > 0 && hasAudioTrack_ && mediaDataSize_ > 0 && mediaDuration_ > 0 && timeScale_ > 0;
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
        const Mp4Walker::Atom first = walker.ReadAtomHeader(0, fileSize_);
        if (first.type != "ftyp" || first.size < first.headerSize) return false;
        walker.Walk(first.End(), fileSize_, 0, -1);
        walker.Finish();
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
