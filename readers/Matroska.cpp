#include "readers/Matroska.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/PcmRatio.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

namespace {

// Element IDs as stored (marker bits included).
constexpr uint32_t kEBMLHeader = 0x1A45DFA3;
constexpr uint32_t kDocType = 0x4282;
constexpr uint32_t kSegment = 0x18538067;
constexpr uint32_t kInfo = 0x1549A966;
constexpr uint32_t kTimestampScale = 0x2AD7B1;
constexpr uint32_t kDuration = 0x4489;
constexpr uint32_t kMuxingApp = 0x4D80;
constexpr uint32_t kWritingApp = 0x5741;
constexpr uint32_t kTracks = 0x1654AE6B;
constexpr uint32_t kTrackEntry = 0xAE;
constexpr uint32_t kTrackNumber = 0xD7;
constexpr uint32_t kTrackType = 0x83;
constexpr uint32_t kCodecId = 0x86;
constexpr uint32_t kCodecPrivate = 0x63A2;
constexpr uint32_t kDefaultDuration = 0x23E383;
constexpr uint32_t kAudio = 0xE1;
constexpr uint32_t kSamplingFrequency = 0xB5;
constexpr uint32_t kOutputSamplingFrequency = 0x78B5;
constexpr uint32_t kChannels = 0x9F;
constexpr uint32_t kBitDepth = 0x6264;
constexpr uint32_t kCluster = 0x1F43B675;
constexpr uint32_t kTimestamp = 0xE7;
constexpr uint32_t kSimpleBlock = 0xA3;
constexpr uint32_t kBlockGroup = 0xA0;
constexpr uint32_t kBlock = 0xA1;
// Other children a Cluster may hold: Void, CRC-32, Position, PrevSize,
// SilentTracks, EncryptedBlock, BlockAdditions' parent is the BlockGroup.
constexpr uint32_t kOtherClusterChildren[] = {0xEC, 0xBF, 0xA7, 0xAB, 0x5854, 0xAF};

constexpr uint64_t kAudioTrackType = 2;
constexpr uint64_t kDefaultTimestampScale = 1000000;   // 1 ms
constexpr double kDefaultSamplingFrequency = 8000;

constexpr uint64_t kUnknownSize = UINT64_MAX;
constexpr std::size_t kElementHeaderRead = 12;     // 4-byte ID and 8-byte size at most
constexpr int64_t kBlockHeaderRead = 2048;        // a block's header and lace sizes
constexpr unsigned kXiphLacing = 1;
constexpr unsigned kEBMLLacing = 3;
constexpr int64_t kMaxHeaderElement = 4 << 20;     // Info, Tracks and the EBML header are read whole
constexpr int64_t kBlockWalkBudget = 16 << 20;     // cluster bytes looked into block by block
constexpr int kMaxElements = 1 << 20;              // elements read per file
constexpr std::size_t kMaxAppText = 256;

constexpr int32_t kLossyBitsPerSample = 16;

// Codec names by codec ID (exact, or by prefix for the ID families).
struct CodecName {
    std::string_view id;
    std::string_view name;
    bool prefix;
};
constexpr CodecName kCodecNames[] = {
    {"A_OPUS", "Opus", false},          {"A_VORBIS", "Vorbis", false},
    {"A_AAC", "AAC", true},             {"A_FLAC", "FLAC", false},
    {"A_MPEG/L3", "MP3", false},        {"A_MPEG/L2", "MP2", false},
    {"A_MPEG/L1", "MP1", false},        {"A_AC3", "AC-3", false},
    {"A_EAC3", "E-AC-3", false},        {"A_DTS", "DTS", true},
    {"A_TRUEHD", "TrueHD", false},      {"A_ALAC", "ALAC", false},
    {"A_PCM/FLOAT", "PCM float", true}, {"A_PCM/INT", "PCM", true},
    {"A_WAVPACK4", "WavPack", false},   {"A_TTA1", "TTA", false},
    {"A_MS/ACM", "ACM", false},         {"A_REAL/", "RealAudio", true},
};

constexpr std::string_view kOpusCodecId = "A_OPUS";
constexpr int32_t kOpusRate = 48000;

// Codecs whose bit depth is that of the decoded samples.
bool IsLosslessCodec(std::string_view id) {
    return id.starts_with("A_PCM/") || id == "A_FLAC" || id == "A_ALAC" || id == "A_WAVPACK4" || id == "A_TTA1" ||
           id == "A_TRUEHD";
}

// An element header in the file.
struct Element {
    uint32_t id = 0;
    uint64_t size = 0;       // kUnknownSize when all its value bits are set
    int64_t dataStart = 0;
    bool Known() const { return size != kUnknownSize; }
};

// A variable-length integer: the count of leading zero bits of the first
// byte gives the length. IDs keep their marker bit, sizes drop it.
bool ReadVint(TByteReader& r, unsigned maxLength, bool keepMarker, uint64_t& value, bool& allOnes) {
    const uint8_t first = r.U8();
    const unsigned length = static_cast<unsigned>(std::countl_zero(first)) + 1;
    if (first == 0 || length > maxLength) return false;
    uint64_t v = keepMarker ? first : (first & (0xFFu >> length));
    bool ones = (first & (0xFFu >> length)) == (0xFFu >> length);
    for (unsigned i = 1; i < length; ++i) {
        const uint8_t byte = r.U8();
        v = (v << 8) | byte;
        ones = ones && byte == 0xFF;
    }
    value = v;
    allOnes = ones;
    return !r.Overrun();
}

bool ParseElementHeader(TByteReader& r, Element& e) {
    uint64_t id = 0;
    uint64_t size = 0;
    bool ones = false;
    if (!ReadVint(r, 4, true, id, ones)) return false;
    if (!ReadVint(r, 8, false, size, ones)) return false;
    e.id = static_cast<uint32_t>(id);
    e.size = ones ? kUnknownSize : size;
    return true;
}

bool ReadElementHeader(TFileStream& stream, int64_t offset, Element& e) {
    unsigned char bytes[kElementHeaderRead] = {};
    const std::size_t got = stream.ReadZeroFilled(offset, bytes, sizeof bytes);
    TByteReader r(bytes, got);
    if (!ParseElementHeader(r, e)) return false;
    e.dataStart = offset + static_cast<int64_t>(r.Position());
    return true;
}

uint64_t UIntValue(std::string_view data) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < data.size() && i < 8; ++i) value = (value << 8) | static_cast<uint8_t>(data[i]);
    return value;
}

double FloatValue(std::string_view data) {
    TByteReader r(data);
    if (data.size() == 4) return std::bit_cast<float>(r.BE32());
    if (data.size() == 8) return std::bit_cast<double>(r.BE64());
    return 0;
}

std::string TextValue(std::string_view data) {
    return Trim(UpToFirstZero(data.substr(0, std::min(data.size(), kMaxAppText))));
}

// Calls visit for each child element of an element held in memory. A child
// of unknown or overlong size runs to the end of its parent.
void ForEachChild(std::string_view data, const std::function<void(uint32_t, std::string_view)>& visit) {
    TByteReader r(data);
    while (r.Remaining() > 0) {
        Element e;
        if (!ParseElementHeader(r, e)) return;
        const std::size_t size = e.Known() ? static_cast<std::size_t>(std::min<uint64_t>(e.size, r.Remaining()))
                                           : r.Remaining();
        visit(e.id, data.substr(r.Position(), size));
        r.Skip(size);
    }
}

bool IsClusterChild(uint32_t id) {
    if (id == kTimestamp || id == kSimpleBlock || id == kBlockGroup) return true;
    return std::find(std::begin(kOtherClusterChildren), std::end(kOtherClusterChildren), id) !=
           std::end(kOtherClusterChildren);
}

// The bit depth in a FLAC CodecPrivate: "fLaC", a block header, STREAMINFO.
int32_t FLACBitsPerSample(std::string_view codecPrivate) {
    TByteReader r(codecPrivate);
    if (!r.Expect("fLaC")) return 0;
    r.Skip(4);    // metadata block header
    r.Skip(10);   // block and frame sizes
    r.Bits(20);   // sample rate
    r.Bits(3);    // channels - 1
    const int32_t bits = static_cast<int32_t>(r.Bits(5) + 1);
    return r.Overrun() ? 0 : bits;
}

} // namespace

// The walk over one file; fills the reader's fields.
struct TMatroskaWalker {
    TFileStream& stream;
    TMatroska& m;
    int elements = 0;
    int64_t walkedClusterBytes = 0;    // clusters looked into block by block
    int64_t skippedClusterBytes = 0;   // clusters passed over by size
    uint64_t clusterTime = 0;
    uint64_t frameDuration = 0;        // ns, the audio track's DefaultDuration

    std::string ReadWhole(const Element& e) {
        std::string data(static_cast<std::size_t>(e.size), '\0');
        stream.Seek(e.dataStart);
        data.resize(stream.Read(data.data(), data.size()));
        return data;
    }

    static bool IsInfoField(uint32_t id) {
        return id == kTimestampScale || id == kDuration || id == kMuxingApp || id == kWritingApp;
    }

    void InfoField(uint32_t id, std::string_view value) {
        if (id == kTimestampScale) m.timestampScale_ = UIntValue(value);
        else if (id == kDuration) m.infoDuration_ = FloatValue(value);
        else if (id == kMuxingApp) m.muxingApp_ = TextValue(value);
        else if (id == kWritingApp) m.writingApp_ = TextValue(value);
    }

    void ParseInfo(std::string_view data) {
        ForEachChild(data, [&](uint32_t id, std::string_view value) { InfoField(id, value); });
    }

    void ParseTrackEntry(std::string_view data) {
        uint64_t number = 0, type = 0, defaultDuration = 0, channels = 1, bitDepth = 0;
        double rate = kDefaultSamplingFrequency, outputRate = 0;
        std::string codecId, codecPrivate;
        ForEachChild(data, [&](uint32_t id, std::string_view value) {
            if (id == kTrackNumber) number = UIntValue(value);
            else if (id == kTrackType) type = UIntValue(value);
            else if (id == kCodecId) codecId = TextValue(value);
            else if (id == kCodecPrivate) codecPrivate = value.substr(0, 64);
            else if (id == kDefaultDuration) defaultDuration = UIntValue(value);
            else if (id == kAudio) {
                ForEachChild(value, [&](uint32_t audioId, std::string_view audioValue) {
                    if (audioId == kSamplingFrequency) rate = FloatValue(audioValue);
                    else if (audioId == kOutputSamplingFrequency) outputRate = FloatValue(audioValue);
                    else if (audioId == kChannels) channels = UIntValue(audioValue);
                    else if (audioId == kBitDepth) bitDepth = UIntValue(audioValue);
                });
            }
        });
        ++m.trackCount_;
        if (type != kAudioTrackType || m.audioTrack_ != 0 || number == 0) return;
        // Half-rate coded streams (HE-AAC) state the rate they play at as the output rate.
        const double playRate = outputRate > 0 ? outputRate : rate;
        m.audioTrack_ = number;
        m.codecId_ = codecId;
        m.sampleRate_ = playRate > 0 && playRate < 1e9 ? static_cast<int32_t>(RoundHalfEven(playRate)) : 0;
        m.channels_ = static_cast<int32_t>(std::min<uint64_t>(channels, 255));
        if (bitDepth == 0 && codecId == "A_FLAC") bitDepth = static_cast<uint64_t>(FLACBitsPerSample(codecPrivate));
        // Lossy codecs show 16 bits whatever depth the muxer wrote (ffmpeg
        // writes its decoder's float depth, 32, for Vorbis).
        const bool lossless = IsLosslessCodec(codecId);
        m.bitsPerSample_ = lossless && bitDepth > 0 && bitDepth <= 64 ? static_cast<int32_t>(bitDepth) : kLossyBitsPerSample;
        // Every Opus stream plays at 48 kHz; muxers may store the input rate.
        if (codecId == kOpusCodecId) m.sampleRate_ = kOpusRate;
        m.defaultDuration_ = defaultDuration;
    }

    void ParseTracks(std::string_view data) {
        ForEachChild(data, [&](uint32_t id, std::string_view value) {
            if (id == kTrackEntry) ParseTrackEntry(value);
        });
    }

    // A Block or SimpleBlock: track number, 16-bit relative time, flags and,
    // with lacing, the frame count less one and the sizes of all frames but
    // the last (Xiph: runs of 255; EBML: a size, then signed differences;
    // fixed: none). The frames' bytes are the audio.
    void CountBlock(const Element& e, int64_t end) {
        const int64_t size = std::min<int64_t>(static_cast<int64_t>(e.size), end - e.dataStart);
        unsigned char bytes[kBlockHeaderRead] = {};
        const std::size_t want = static_cast<std::size_t>(std::clamp<int64_t>(size, 0, kBlockHeaderRead));
        const std::size_t got = stream.ReadZeroFilled(e.dataStart, bytes, want);
        TByteReader r(bytes, got);
        uint64_t track = 0;
        bool ones = false;
        if (!ReadVint(r, 8, false, track, ones)) return;
        const int16_t relative = static_cast<int16_t>(r.BE16());
        const uint8_t flags = r.U8();
        if (r.Overrun() || track != m.audioTrack_ || m.audioTrack_ == 0) return;
        const unsigned lacing = (flags >> 1) & 3;
        unsigned frames = 1;
        if (lacing != 0) {
            frames = r.U8() + 1u;
            for (unsigned i = 0; i + 1 < frames && !r.Overrun(); ++i) {
                if (lacing == kXiphLacing) {
                    while (r.U8() == 255 && !r.Overrun()) {}
                } else if (lacing == kEBMLLacing) {
                    uint64_t value = 0;
                    if (!ReadVint(r, 8, false, value, ones)) break;
                }
            }
        }
        // A lace header longer than the bytes read counts as audio.
        const int64_t header = static_cast<int64_t>(r.Overrun() ? 4 : r.Position());
        m.audioBytes_ += std::max<int64_t>(size - header, 0);
        const double scale = double(m.timestampScale_);
        const double start = (double(clusterTime) + relative) * scale / 1e9;
        m.lastBlockEnd_ = std::max(m.lastBlockEnd_, start + double(frames) * double(frameDuration) / 1e9);
    }

    // Walks a Cluster's children; returns where the walk goes on. A Cluster of
    // unknown size ends at the first element that cannot be its child.
    int64_t WalkCluster(const Element& cluster, int64_t end) {
        const int64_t clusterEnd =
            cluster.Known() ? cluster.dataStart + static_cast<int64_t>(std::min<uint64_t>(cluster.size, end - cluster.dataStart))
                            : end;
        const bool lookInside = !cluster.Known() || walkedClusterBytes < kBlockWalkBudget;
        int64_t offset = cluster.dataStart;
        while (offset < clusterEnd && elements++ < kMaxElements) {
            Element e;
            if (!ReadElementHeader(stream, offset, e) || e.dataStart > clusterEnd) break;
            if (!cluster.Known() && !IsClusterChild(e.id)) break;
            if (!e.Known()) {   // only a Cluster's parent may have an unknown size
                offset = clusterEnd;
                break;
            }
            const int64_t next = e.dataStart + static_cast<int64_t>(std::min<uint64_t>(e.size, clusterEnd - e.dataStart));
            if (e.id == kTimestamp) {
                unsigned char bytes[8] = {};
                const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(e.size, sizeof bytes));
                stream.ReadZeroFilled(e.dataStart, bytes, n);
                clusterTime = UIntValue(std::string_view(reinterpret_cast<char*>(bytes), n));
                if (!lookInside) {   // the time is all a passed-over cluster gives
                    m.lastBlockEnd_ = std::max(m.lastBlockEnd_, double(clusterTime) * double(m.timestampScale_) / 1e9);
                    break;
                }
            } else if (lookInside && e.id == kSimpleBlock) {
                CountBlock(e, clusterEnd);
            } else if (lookInside && e.id == kBlockGroup) {
                int64_t inner = e.dataStart;
                while (inner < next && elements++ < kMaxElements) {
                    Element child;
                    if (!ReadElementHeader(stream, inner, child) || !child.Known() || child.dataStart > next) break;
                    if (child.id == kBlock) CountBlock(child, next);
                    inner = child.dataStart + static_cast<int64_t>(std::min<uint64_t>(child.size, next - child.dataStart));
                }
            }
            offset = next;
        }
        if (lookInside) walkedClusterBytes += offset - cluster.dataStart;
        else skippedClusterBytes += clusterEnd - cluster.dataStart;
        return cluster.Known() ? clusterEnd : offset;
    }

    void WalkSegment(const Element& segment, int64_t fileSize) {
        const int64_t end = segment.Known()
                                ? segment.dataStart + static_cast<int64_t>(std::min<uint64_t>(segment.size, fileSize - segment.dataStart))
                                : fileSize;
        int64_t offset = segment.dataStart;
        while (offset < end && elements++ < kMaxElements) {
            Element e;
            if (!ReadElementHeader(stream, offset, e) || e.dataStart > end) break;
            if (e.id == kCluster) {
                offset = std::max(WalkCluster(e, end), e.dataStart);
                continue;
            }
            if (!e.Known()) {   // walked into: its children follow as if at this level
                offset = e.dataStart;
                continue;
            }
            const uint64_t room = static_cast<uint64_t>(end - e.dataStart);
            // Info and Tracks are read whole. Their children met at this level
            // come from an Info or Tracks of unknown size walked into.
            const bool header = e.id == kInfo || e.id == kTracks || e.id == kTrackEntry || IsInfoField(e.id);
            if (header && e.size <= uint64_t(kMaxHeaderElement) && e.size <= room) {
                const std::string data = ReadWhole(e);
                if (e.id == kInfo) ParseInfo(data);
                else if (e.id == kTracks) ParseTracks(data);
                else if (e.id == kTrackEntry) ParseTrackEntry(data);
                else InfoField(e.id, data);
                if (m.audioTrack_ != 0 && frameDuration == 0) frameDuration = m.defaultDuration_;
            }
            if (e.size >= room) break;
            offset = e.dataStart + static_cast<int64_t>(e.size);
        }
        // Clusters passed over by size carry audio in the share seen so far.
        if (skippedClusterBytes > 0 && walkedClusterBytes > 0)
            m.audioBytes_ += static_cast<int64_t>(double(skippedClusterBytes) * double(m.audioBytes_) / double(walkedClusterBytes));
    }
};

void TMatroska::ResetData() {
    fileSize_ = 0;
    docType_.clear();
    timestampScale_ = kDefaultTimestampScale;
    infoDuration_ = 0;
    muxingApp_.clear();
    writingApp_.clear();
    trackCount_ = 0;
    audioTrack_ = 0;
    codecId_.clear();
    sampleRate_ = 0;
    channels_ = 0;
    bitsPerSample_ = 0;
    defaultDuration_ = 0;
    audioBytes_ = 0;
    lastBlockEnd_ = 0;
}

bool TMatroska::ReadFromFile(const std::string& path) {
    TFileStream stream(path);
    return ReadFromStream(stream);
}

bool TMatroska::ReadFromStream(TFileStream& stream) {
    ResetData();
    const int64_t size = stream.Size();
    Element header;
    if (!ReadElementHeader(stream, 0, header) || header.id != kEBMLHeader || !header.Known() ||
        header.size > uint64_t(std::min<int64_t>(kMaxHeaderElement, size - header.dataStart)))
        return false;
    TMatroskaWalker walker{stream, *this};
    ForEachChild(walker.ReadWhole(header), [&](uint32_t id, std::string_view value) {
        if (id == kDocType) docType_ = TextValue(value);
    });
    if (docType_ != "matroska" && docType_ != "webm") return false;

    // The Segment follows the header (perhaps after Void elements).
    int64_t offset = header.dataStart + static_cast<int64_t>(header.size);
    Element segment;
    for (int n = 0; n < 16 && ReadElementHeader(stream, offset, segment); ++n) {
        if (segment.id == kSegment) {
            fileSize_ = size;
            walker.WalkSegment(segment, size);
            if (timestampScale_ == 0) timestampScale_ = kDefaultTimestampScale;
            return true;
        }
        if (!segment.Known()) break;
        offset = segment.dataStart + static_cast<int64_t>(std::min<uint64_t>(segment.size, size));
    }
    return false;
}

// The Info duration when stated, else the end of the last audio block seen.
double TMatroska::Duration() const {
    if (infoDuration_ > 0 && infoDuration_ < 1e18) return infoDuration_ * double(timestampScale_) / 1e9;
    return lastBlockEnd_;
}

int32_t TMatroska::BitRate() const {
    const double duration = Duration();
    if (!(duration > 0)) return 0;
    return static_cast<int32_t>(std::min<int64_t>(RoundHalfEven(double(audioBytes_) * 8 / duration / 1000), INT32_MAX));
}

bool TMatroska::Valid() const { return audioTrack_ != 0 && sampleRate_ > 0 && channels_ >= 1 && Duration() > 0; }

double TMatroska::Ratio() const {
    if (!Valid()) return 0;
    return PcmRatio(fileSize_, Duration() * sampleRate_, sampleRate_, channels_, bitsPerSample_, kCanonicalWavHeaderBytes);
}

std::string TMatroska::CodecName() const {
    for (const auto& codec : kCodecNames) {
        const bool match = codec.prefix ? codecId_.starts_with(codec.id) : codecId_ == codec.id;
        if (match) return std::string(codec.name);
    }
    return codecId_;
}
