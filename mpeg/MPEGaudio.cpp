#include "mpeg/MPEGaudio.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace mpegframe {

namespace {

// Bitrates in kbit/s by BitRateID. MPEG-1: ISO/IEC 11172-3; MPEG-2 and 2.5:
// the lower-sampling-frequency table of ISO/IEC 13818-3.
constexpr uint16_t kMPEG1LayerI[16] = {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0};
constexpr uint16_t kMPEG1LayerII[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0};
constexpr uint16_t kMPEG1LayerIII[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr uint16_t kMPEG2LayerI[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0};
constexpr uint16_t kMPEG2LayerIIandIII[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};

// Sample rates in Hz by VersionID (0 = MPEG 2.5, 1 reserved, 2 = MPEG 2, 3 = MPEG 1) and SampleRateID.
constexpr uint16_t kSampleRates[4][4] = {
    {11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

} // namespace

bool IsFrameHeader(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    const uint8_t bytes[4] = {b0, b1, b2, b3};
    return QuickHeaderLength(bytes) != 0;
}

// The 32 header bits in order: 11 sync bits, then the fields.
void DecodeHeader(const uint8_t* header, FrameData& frame) {
    std::memcpy(frame.Data.data(), header, 4);
    TByteReader bits(header, 4);
    bits.Bits(11);   // frame sync
    frame.VersionID = static_cast<uint8_t>(bits.Bits(2));
    frame.LayerID = static_cast<uint8_t>(bits.Bits(2));
    frame.ProtectionBit = !bits.Flag();   // 0: a CRC follows the header
    frame.BitRateID = static_cast<uint16_t>(bits.Bits(4));
    frame.SampleRateID = static_cast<uint16_t>(bits.Bits(2));
    frame.PaddingBit = bits.Flag();
    frame.PrivateBit = bits.Flag();
    frame.ModeID = static_cast<uint8_t>(bits.Bits(2));
    frame.ModeExtensionID = static_cast<uint8_t>(bits.Bits(2));
    frame.CopyrightBit = bits.Flag();
    frame.OriginalBit = bits.Flag();
    frame.EmphasisID = static_cast<uint8_t>(bits.Bits(2));
}

uint16_t BitRate(const FrameData& frame) {
    if (frame.VersionID == 1 || frame.LayerID == 0 || frame.BitRateID > 15) return 0;
    const uint16_t* table = nullptr;
    if (frame.VersionID == kMPEG1)
        table = frame.LayerID == kLayerI ? kMPEG1LayerI : frame.LayerID == kLayerII ? kMPEG1LayerII : kMPEG1LayerIII;
    else
        table = frame.LayerID == kLayerI ? kMPEG2LayerI : kMPEG2LayerIIandIII;
    return table[frame.BitRateID];
}

uint16_t SampleRate(const FrameData& frame) {
    if (frame.VersionID > 3 || frame.SampleRateID > 3) return 0;
    return kSampleRates[frame.VersionID][frame.SampleRateID];
}

int Coefficient(const FrameData& frame) {
    // Layer I has 384 samples per frame in every MPEG version (ISO/IEC 13818-3
    // keeps the Layer I frame size of MPEG-1).
    if (frame.LayerID == kLayerI) return 48;
    if (frame.VersionID == kMPEG1 || frame.LayerID == kLayerII) return 144;
    return 72;
}

int Padding(const FrameData& frame) {
    if (!frame.PaddingBit) return 0;
    return frame.LayerID == kLayerI ? 4 : 1;
}

uint16_t FrameLength(const FrameData& frame) {
    const uint32_t sampleRate = SampleRate(frame);
    if (sampleRate == 0) return 0;
    const uint32_t bitRate = BitRate(frame);
    // Layer I frames are counted in 4-byte slots, padding included.
    if (frame.LayerID == kLayerI)
        return static_cast<uint16_t>((12 * bitRate * 1000 / sampleRate + (frame.PaddingBit ? 1 : 0)) * 4);
    return static_cast<uint16_t>(static_cast<uint32_t>(Coefficient(frame)) * bitRate * 1000 / sampleRate +
                                 static_cast<uint32_t>(Padding(frame)));
}

int XingOffset(const FrameData& frame) {
    // The 4 header bytes plus the side information.
    const bool mono = frame.ModeID == kModeMono;
    if (frame.VersionID == kMPEG1) return mono ? 21 : 36;
    return mono ? 13 : 21;
}

namespace {

// Frame lengths by the 11 header bits that decide them (version, layer,
// bitrate index, sample-rate index, padding), 0 where the bits form no
// header; made once from FrameLength, so the frame walk decodes a header
// with one look-up.
struct THeaderTable {
    std::array<uint16_t, 2048> Length{};
    std::array<uint16_t, 2048> Rate{};
    THeaderTable() {
        for (unsigned key = 0; key < 2048; ++key) {
            FrameData frame;
            frame.VersionID = static_cast<uint8_t>((key >> 9) & 3);
            frame.LayerID = static_cast<uint8_t>((key >> 7) & 3);
            frame.BitRateID = static_cast<uint16_t>((key >> 3) & 15);
            frame.SampleRateID = static_cast<uint16_t>((key >> 1) & 3);
            frame.PaddingBit = (key & 1) != 0;
            if (frame.VersionID == 1 || frame.LayerID == 0 || frame.BitRateID == 0 || frame.BitRateID == 15 ||
                frame.SampleRateID == 3)
                continue;
            Length[key] = FrameLength(frame);
            Rate[key] = BitRate(frame);
        }
    }
};

const THeaderTable& HeaderTable() {
    static const THeaderTable table;
    return table;
}

// Version and layer (second byte), bitrate, sample rate and padding (third).
unsigned HeaderKey(const uint8_t* header) { return ((header[1] >> 1) & 0x0Fu) << 7 | (header[2] >> 1); }

} // namespace

uint16_t QuickHeaderLength(const uint8_t* header) {
    if (header[0] != 0xFF || (header[1] & 0xE0) != 0xE0 || (header[3] & 3) == 2) return 0;
    return HeaderTable().Length[HeaderKey(header)];
}

uint16_t QuickBitRate(const uint8_t* header) { return HeaderTable().Rate[HeaderKey(header)]; }

} // namespace mpegframe


using namespace mpegframe;

namespace {

// ID3v2 header: "ID3", version, revision, flags, synch-safe size.
constexpr std::size_t kID3v2HeaderSize = 10;
constexpr uint8_t kID3v2FooterFlag = 0x10;
constexpr int kMaxFollowingID3v2 = 16;

// Xing/Info header, after the 4-byte mark: flags word, then the fields the
// flags announce in this order.
constexpr uint32_t kXingFramesFlag = 1, kXingBytesFlag = 2, kXingTocFlag = 4, kXingQualityFlag = 8;
constexpr std::size_t kXingTocSize = 100;
// The encoder's mark at 120 bytes from the "Xing" mark, where LAME puts it
// whatever the flags.
constexpr std::size_t kXingVendor = 120;
constexpr std::size_t kVendorLength = 8;
// VBRI header (Fraunhofer), after the mark: version, delay, quality, bytes, frames.
constexpr std::size_t kVBRIHeaderSize = 18;

// The walk reads this much at a time and needs a whole frame plus the next
// header inside a read. Reads of 1.5 MiB keep the system calls of a walk over
// a 5-7 MB file without a VBR header to four or five, and the buffer within
// a processor core's cache.
constexpr std::size_t kWindowSize = 3 * 512 * 1024;
// The first-frame search reads less at a time: the first frame nearly always
// lies in the first few KiB after the tags, so its first read takes the first
// frames kept (below) and a frame span more, the later ones 64 KiB.
constexpr std::size_t kSearchWindowSize = 64 * 1024;
constexpr std::size_t kMaxFrameSpan = 2 * 2881 + 4;   // longest Layer I-III frames are 1,729 and 2,881 bytes
// The first frames kept for the LAME tag and vendor marks.
constexpr std::size_t kFirstFramesSize = 16 * 1024;
constexpr std::size_t kFirstSearchSize = kFirstFramesSize + kMaxFrameSpan;
constexpr std::size_t kVendorFrames = 5;              // frames searched for a vendor mark
constexpr int64_t kEndSearchSize = 3458;              // vendor search before the end tags
constexpr int64_t kID3v1Size = 128;
constexpr int64_t kAPEHeaderBytes = 32;

const char* const kVersionNames[4] = {"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"};
const char* const kLayerNames[4] = {"Layer ?", "Layer III", "Layer II", "Layer I"};
const char* const kModeNames[5] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono", "Unknown"};
const char* const kEncoderNames[8] = {"Unknown", "Xing", "FhG", "LAME", "Blade", "GoGo", "Shine", "QDesign"};

constexpr uint8_t kEncoderXing = 1, kEncoderFhG = 2, kEncoderLAME = 3, kEncoderBlade = 4, kEncoderGoGo = 5,
                  kEncoderShine = 6;

bool HeaderAt(const uint8_t* bytes) { return QuickHeaderLength(bytes) != 0; }

bool MarkAt(const uint8_t* bytes, std::size_t size, std::size_t k, std::string_view mark) {
    return k <= size && mark.size() <= size - k && std::memcmp(bytes + k, mark.data(), mark.size()) == 0;
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// An encoder mark of 8 bytes at k. A "LAME" mark keeps the digits that follow
// it, so "LAME3.100" is not cut to "LAME3.10".
std::string VendorAt(const uint8_t* bytes, std::size_t size, std::size_t k) {
    std::string vendor;
    for (std::size_t i = k; i < k + kVendorLength && i < size; ++i) vendor += static_cast<char>(bytes[i]);
    if (vendor.compare(0, 4, "LAME") == 0)
        for (std::size_t i = k + kVendorLength; i < size && IsDigit(bytes[i]); ++i) vendor += static_cast<char>(bytes[i]);
    return vendor;
}

// The first "LAME" or "GOGO" mark in bytes[from, to), searched forwards.
std::string FirstVendorMark(const uint8_t* bytes, std::size_t size, std::size_t from, std::size_t to) {
    to = std::min(to, size);
    for (std::size_t k = from; k + 4 <= to; ++k) {
        if (bytes[k] != 'L' && bytes[k] != 'G') continue;
        if (MarkAt(bytes, size, k, "LAME")) return VendorAt(bytes, size, k);
        if (MarkAt(bytes, size, k, "GOGO")) return "GOGO";
    }
    return {};
}

// The Xing/Info or VBRI header at the start of bytes, as stored.
FrameCountHeader ReadCountHeader(const uint8_t* bytes, std::size_t size) {
    FrameCountHeader header;
    TByteReader reader(bytes, size);
    if (reader.Expect("Xing") || reader.Expect("Info")) {
        header.ID = std::string(reinterpret_cast<const char*>(bytes), 4);
        header.Flags = reader.BE32();
        if (header.Flags & kXingFramesFlag) {
            header.Frames = reader.BE32();
            header.HasFrames = !reader.Overrun();
        }
        if (header.Flags & kXingBytesFlag) {
            header.Bytes = reader.BE32();
            header.HasBytes = !reader.Overrun();
        }
        if (header.Flags & kXingTocFlag) reader.Skip(kXingTocSize);
        if (header.Flags & kXingQualityFlag) {
            header.Quality = reader.BE32();
            header.HasQuality = !reader.Overrun();
        }
        if (reader.Overrun() && header.Flags == 0) header.ID.clear();
    } else if (reader.Expect("VBRI")) {
        reader.BE16();                            // version
        reader.BE16();                            // delay
        const uint16_t quality = reader.BE16();
        const uint32_t bytesField = reader.BE32();
        const uint32_t frames = reader.BE32();
        if (!reader.Overrun()) {
            header.ID = "VBRI";
            header.HasQuality = true;
            header.Quality = quality;
            header.HasBytes = true;
            header.Bytes = bytesField;
            header.HasFrames = true;
            header.Frames = frames;
        }
    }
    static_assert(kVBRIHeaderSize == 4 + 2 + 2 + 2 + 4 + 4);
    return header;
}

// The LAME tag's CRC-16 as its writers form it. LAME sums the frame up to
// the CRC field. ffmpeg sums the frame's first 190 bytes with the field
// still zero, whatever the side information's length; for MPEG-1 stereo the
// two are the same bytes, for mono and MPEG-2 frames ffmpeg's run on past
// the tag.
constexpr std::size_t kFfmpegTagCRCBytes = 190;

bool LameTagCRCMatches(const std::vector<uint8_t>& frame, std::size_t crcAt, uint16_t stored) {
    if (LameCRC16(frame.data(), crcAt) == stored) return true;
    if (crcAt + 2 > kFfmpegTagCRCBytes || frame.size() < kFfmpegTagCRCBytes) return false;
    std::array<uint8_t, kFfmpegTagCRCBytes> bytes{};
    std::copy_n(frame.begin(), kFfmpegTagCRCBytes, bytes.begin());
    bytes[crcAt] = bytes[crcAt + 1] = 0;
    return LameCRC16(bytes.data(), bytes.size()) == stored;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A count a hostile header could make negative or absurd: kept only when it
// fits a signed 32-bit value.
bool UsableCount(uint32_t value) { return value > 0 && value <= 0x7FFFFFFFu; }

} // namespace

void TMPEGaudio::ResetData() {
    id3v1_.ResetData();
    id3v2_.ResetData();
    apeTag_.ResetData();
    fileSize_ = 0;
    vendorID_.clear();
    vbr_ = VBRData{};
    countHeader_ = FrameCountHeader{};
    findings_ = MPEGStreamFindings{};
    frame_ = FrameData{};
    audioStart_ = 0;
    audioEnd_ = 0;
    framesCounted_ = 0;
    frameBytes_ = 0;
    firstBitRate_ = 0;
    bitRateChanged_ = false;
    apeBytes_ = 0;
    systemReads_ = 0;
    buffer_.Forget();
    firstFrames_.clear();
    lameTag_ = TBasicLameTagReader(nullptr, 0);
    id3v2Marks_ = ID3v2EncoderMarks{};
}

bool TMPEGaudio::ReadFromStream(TFileStream& stream) {
    ResetData();
    bool result = true;
    const uint64_t readsBefore = stream.SystemReads();
    try {
        if (apeTag_.ReadFromStream(stream) && apeTag_.Exists()) apeBytes_ = int64_t{apeTag_.Size()} + 32;
        // The start of the file in one read: the ID3v2 tag's header and, after
        // a small tag or none, the first frames, which the search then finds
        // in the buffer.
        fileSize_ = stream.Size();
        std::size_t got = 0;
        Load(stream, 0, kFirstSearchSize, got);
        if (id3v2_.ReadFromStream(stream) && id3v1_.ReadFromStream(stream)) Scan(stream);
        systemReads_ = stream.SystemReads() - readsBefore;
    } catch (const std::exception&) {
        result = false;
    }
    if (!frame_.Found) {
        // Keep only what tells why there is no row: the search gave up.
        const bool gaveUp = findings_.SearchGaveUp;
        ResetData();
        findings_.SearchGaveUp = gaveUp;
    }
    return result;
}

bool TMPEGaudio::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

void TMPEGaudio::Scan(TFileStream& stream) {
    fileSize_ = stream.Size();
    audioEnd_ = std::clamp<int64_t>(fileSize_ - id3v1_.TrailingTagSize(), 0, fileSize_);
    // A damaged APE tag can claim any size: never more than the file, never negative.
    apeBytes_ = std::clamp<int64_t>(apeBytes_, 0, audioEnd_);
    if (id3v2_.Exists()) id3v2Marks_ = ReadID3v2EncoderMarks(stream, 0);
    // An ID3v2 tag whose size runs past the end of the file: its 10-byte
    // header is a tag's still, and the audio is searched for after it.
    int64_t tagsStart = id3v2_.Size();
    if (id3v2_.Exists() && id3v2_.Size() == 0) {
        findings_.ID3v2PastEnd = true;
        tagsStart = static_cast<int64_t>(kID3v2HeaderSize);
    }
    const int64_t tagsEnd = SkipFollowingID3v2(stream, tagsStart);
    FindFirstFrame(stream, tagsEnd);
    if (!frame_.Found) return;
    CountJunk(stream, tagsEnd);
    ReadFirstFrames(stream);

    // The audio the walk may cover: up to the end tags, an APE tag included.
    const int64_t audioLimit = std::clamp(audioEnd_ - apeBytes_, audioStart_, fileSize_);
    const int64_t present = audioLimit - audioStart_;
    const FrameCountHeader& header = countHeader_;
    const int64_t samplesPerFrame = int64_t{Coefficient(frame_)} * 8;
    const bool headerFrames = header.HasFrames && UsableCount(header.Frames) && header.Frames < 0x7FFFFFFFu;

    if (header.ID == "Xing" || header.ID == "VBRI") {
        vbr_.Found = true;
        vbr_.ID = header.ID;
        vbr_.Frames = headerFrames ? static_cast<int32_t>(header.Frames) : 0;
        vbr_.Bytes = header.HasBytes ? header.Bytes : 0;
        vbr_.Scale = static_cast<uint8_t>(header.Quality & 0xFF);
        if (header.ID == "Xing") {
            const int64_t mark = XingOffset(frame_);
            vbr_.VendorID = VendorAt(firstFrames_.data(), firstFrames_.size(), static_cast<std::size_t>(mark) + kXingVendor);
            if (vbr_.VendorID.find('\0') != std::string::npos) vbr_.VendorID.resize(vbr_.VendorID.find('\0'));
        }
    }

    // A header that gives the frame count spares the walk, unless it claims
    // more than the file can hold: more bytes than are there, or more frames
    // than fit even at the lowest bitrate.
    FrameData smallest = frame_;
    smallest.BitRateID = 1;
    smallest.PaddingBit = false;
    const int64_t minimumFrame = std::max<int64_t>(FrameLength(smallest), 1);
    const bool claimsTooMuch = headerFrames && ((header.HasBytes && int64_t{header.Bytes} > present) ||
                                                int64_t{header.Frames} * minimumFrame > present);
    if (!headerFrames || claimsTooMuch) {
        WalkFrames(stream, audioLimit);
        // The header counts the audio frames after its own frame (which is
        // silent); so do the frames present.
        const int64_t audioFrames = AudioFrames();
        if (claimsTooMuch && audioFrames < static_cast<int64_t>(header.Frames)) {
            findings_.Truncated = true;
            findings_.ClaimedFrames = header.Frames;
            const double rate = mpegframe::SampleRate(frame_);
            findings_.ClaimedDuration = rate > 0 ? static_cast<double>(header.Frames) * samplesPerFrame / rate : 0;
            countHeader_.Frames = static_cast<uint32_t>(audioFrames);
            countHeader_.Bytes = static_cast<uint32_t>(std::min<int64_t>(frameBytes_, 0xFFFFFFFF));
            countHeader_.HasBytes = true;
            if (vbr_.Found) {
                vbr_.Frames = static_cast<int32_t>(audioFrames);
                vbr_.Bytes = frameBytes_;
            }
        }
        if (vbr_.Found && vbr_.Frames <= 0 && framesCounted_ > 0 && !findings_.Truncated) {
            // A Xing header without the frames field: the walk gives them.
            vbr_.Frames = framesCounted_;
            if (!header.HasBytes) vbr_.Bytes = frameBytes_;
        }
    } else {
        framesCounted_ = static_cast<int32_t>(header.Frames);
        frameBytes_ = header.HasBytes ? int64_t{header.Bytes} : present;
        firstBitRate_ = TableBitRate();
    }

    if (vendorID_.empty()) SearchEndForVendor(stream);
    if (bitRateChanged_ && !vbr_.Found) {
        vbr_.Found = true;
        vbr_.Frames = framesCounted_;
        vbr_.Bytes = frameBytes_;
        vbr_.VendorID.clear();
    }
}

// Tag editors sometimes write a new ID3v2 tag in front of an old one: the
// tags that follow directly are skipped like the first.
int64_t TMPEGaudio::SkipFollowingID3v2(TFileStream& stream, int64_t position) {
    for (int i = 0; i < kMaxFollowingID3v2; ++i) {
        uint8_t bytes[kID3v2HeaderSize];
        if (stream.ReadZeroFilled(position, bytes, sizeof bytes) < sizeof bytes) break;
        TByteReader header(bytes, sizeof bytes);
        if (!header.Expect("ID3")) break;
        const uint8_t major = header.U8();
        header.U8();   // revision
        const uint8_t flags = header.U8();
        int64_t size = 0;
        bool synchSafe = true;
        for (int k = 0; k < 4; ++k) {
            const uint8_t b = header.U8();
            synchSafe = synchSafe && b < 0x80;
            size = (size << 7) | (b & 0x7F);
        }
        if (major < 2 || major > 4 || !synchSafe) break;
        size += static_cast<int64_t>(kID3v2HeaderSize) + ((flags & kID3v2FooterFlag) ? 10 : 0);
        if (position + size > fileSize_) {
            findings_.ID3v2PastEnd = true;
            position += static_cast<int64_t>(kID3v2HeaderSize);
            break;
        }
        position += size;
        ++findings_.ExtraID3v2Tags;
        findings_.ExtraID3v2Bytes += size;
    }
    return position;
}

// Returns the file's bytes from at on, count of them or fewer at the end of
// the file (got says how many), from the buffer, which reads only what it
// does not hold yet.
const uint8_t* TMPEGaudio::Load(TFileStream& stream, int64_t at, std::size_t count, std::size_t& got) {
    got = buffer_.Need(stream, at, count, count);
    return buffer_.At(at);
}

// The first frame is the first position, from the end of the tags on, with a
// frame header whose follower (one frame length on) is a frame header too.
// Every byte offset is a candidate once; the search reads large overlapping
// windows and gives up after kSearchLimit bytes without a frame.
void TMPEGaudio::FindFirstFrame(TFileStream& stream, int64_t from) {
    const int64_t limit = std::min(fileSize_, from + kSearchLimit);
    int64_t base = from;
    while (base < limit) {
        std::size_t got = 0;
        const uint8_t* bytes = Load(stream, base, base == from ? kFirstSearchSize : kSearchWindowSize, got);
        if (got < 4) break;
        // Candidates whose follower lies inside this read; the next read
        // starts at the first candidate left over.
        const bool last = base + static_cast<int64_t>(got) >= fileSize_;
        if (!last && got <= kMaxFrameSpan) break;   // the file was cut short since it was opened
        const std::size_t candidates = last ? got - 3 : got - kMaxFrameSpan;
        const std::size_t end = std::min<std::size_t>(candidates, static_cast<std::size_t>(limit - base));
        for (std::size_t k = 0; k < end; ++k) {
            if (bytes[k] != 0xFF || !HeaderAt(bytes + k)) continue;
            FrameData candidate;
            DecodeHeader(bytes + k, candidate);
            const std::size_t length = FrameLength(candidate);
            const std::size_t next = k + length;
            if (length < 4 || next + 4 > got || !HeaderAt(bytes + next)) continue;
            candidate.Found = true;
            candidate.Position = base + static_cast<int64_t>(k);
            candidate.Size = static_cast<uint16_t>(length);
            candidate.Xing = true;
            for (std::size_t i = k + 4; i < k + 10; ++i)
                if (bytes[i] != 0) candidate.Xing = false;
            frame_ = candidate;
            audioStart_ = frame_.Position;
            return;
        }
        base += static_cast<int64_t>(end);
        if (last) break;
    }
    findings_.SearchGaveUp = base >= limit && limit < fileSize_;
}

// Bytes between the tags and the first frame: zeros are padding, anything
// else is junk.
void TMPEGaudio::CountJunk(TFileStream& stream, int64_t from) {
    for (int64_t at = from; at < audioStart_;) {
        const auto count = static_cast<std::size_t>(std::min<int64_t>(audioStart_ - at, kWindowSize));
        std::size_t got = 0;
        const uint8_t* bytes = Load(stream, at, count, got);
        for (std::size_t i = 0; i < got; ++i) (bytes[i] ? findings_.JunkBytes : findings_.ZeroBytes) += 1;
        if (got < count) {
            // A file cut short since it was opened: the missing bytes count as padding.
            findings_.ZeroBytes += static_cast<int64_t>(count - got);
            break;
        }
        at += static_cast<int64_t>(count);
    }
}

// Keeps the first frames, reads the frame count header of the first one and
// looks for a vendor mark in it and the frames after it.
void TMPEGaudio::ReadFirstFrames(TFileStream& stream) {
    const auto available = static_cast<std::size_t>(
        std::min<int64_t>(fileSize_ - audioStart_, static_cast<int64_t>(kFirstFramesSize)));
    std::size_t got = 0;
    const uint8_t* bytes = Load(stream, audioStart_, available, got);
    firstFrames_.assign(bytes, bytes + got);
    const auto mark = static_cast<std::size_t>(XingOffset(frame_));
    if (mark < firstFrames_.size()) {
        countHeader_ = ReadCountHeader(firstFrames_.data() + mark, firstFrames_.size() - mark);
        lameTag_ = TBasicLameTagReader(firstFrames_.data() + mark, firstFrames_.size() - mark);
        const std::size_t covered = mark + TBasicLameTagReader::kTagCRCOffset;
        if (!lameTag_.NoLameTag() && covered <= firstFrames_.size()) {
            findings_.LameTagChecked = true;
            findings_.LameTagCRCMatches = LameTagCRCMatches(firstFrames_, covered, lameTag_.TagCRC());
        }
    }
    vendorID_ = FirstVendorMark(firstFrames_.data(), firstFrames_.size(), 0,
                                std::size_t{frame_.Size} * kVendorFrames + kVendorLength);
}

// Counts the frames from the accepted first frame to end. A frame in step
// with the one before is taken when it fits; after a damaged stretch, the
// walk takes up again at the next header whose follower is a header too. It
// reads large windows and looks at the frames where they lie: a header is
// one table look-up, and an accepted frame is skipped by its length.
void TMPEGaudio::WalkFrames(TFileStream& stream, int64_t end) {
    findings_.Walked = true;
    framesCounted_ = 0;
    frameBytes_ = 0;
    firstBitRate_ = 0;
    bitRateChanged_ = false;

    // Version, layer and sample rate stay the same through a stream.
    const uint8_t versionLayer = frame_.Data[1] & 0x1E;
    const uint8_t sampleRate = frame_.Data[2] & 0x0C;
    // The frame length of a header in step, else 0.
    auto inStep = [versionLayer, sampleRate](const uint8_t* header) -> std::size_t {
        if ((header[1] & 0x1E) != versionLayer || (header[2] & 0x0C) != sampleRate) return 0;
        return QuickHeaderLength(header);
    };

    int64_t base = audioStart_;
    std::size_t got = 0;
    const uint8_t* bytes = nullptr;
    int64_t p = audioStart_;
    bool inSync = true;          // the previous frame ended at p
    int64_t lostAt = -1;         // where the current damaged stretch began
    int64_t cutAt = -1;          // a header in step after the last frame whose frame runs past end
    // The APE tag's bytes were taken with a header, which it may not have
    // (version 1 never has one): a frame that ends in those 32 bytes may be whole.
    const int64_t apeHeaderSlack = apeBytes_ > 0 ? kAPEHeaderBytes : 0;
    while (p + 4 <= end) {
        // Keep a frame and the following header inside the window.
        const int64_t loaded = base + static_cast<int64_t>(got);
        if (p >= loaded || (p + static_cast<int64_t>(kMaxFrameSpan) > loaded && loaded < fileSize_)) {
            base = p;
            bytes = Load(stream, base, kWindowSize, got);
            if (got < 4) break;
        }
        const uint8_t* here = bytes + (p - base);
        const int64_t windowEnd = std::min(end, base + static_cast<int64_t>(got));
        bool accepted = false;
        const std::size_t length = here[0] == 0xFF ? inStep(here) : 0;
        if (length >= 4) {
            const int64_t next = p + static_cast<int64_t>(length);
            if (next <= end) {
                // In step, a frame that fits is taken; to resynchronise, its
                // follower must be a header as well (or the end of the audio).
                accepted = inSync || next == end ||
                           (next + 4 <= windowEnd && inStep(bytes + (next - base)) != 0);
            } else if (inSync && next > end + apeHeaderSlack) {
                cutAt = p;
            }
        }
        if (accepted) {
            if (lostAt >= 0) {
                ++findings_.DamagedStretches;
                findings_.SkippedBytes += p - lostAt;
                lostAt = -1;
            }
            const uint16_t rate = QuickBitRate(here);
            if (firstBitRate_ > 0 && rate != firstBitRate_) bitRateChanged_ = true;
            if (firstBitRate_ == 0) firstBitRate_ = rate;
            ++framesCounted_;
            frameBytes_ += static_cast<int64_t>(length);
            p += static_cast<int64_t>(length);
            inSync = true;
        } else {
            if (lostAt < 0) lostAt = p;
            inSync = false;
            ++p;
        }
    }
    if (lostAt < 0) lostAt = p;
    findings_.TrailingBytes = std::max<int64_t>(0, end - lostAt);
    // The file ends inside the frame that follows the last one.
    findings_.LastFrameCut = cutAt >= 0 && cutAt == lostAt;
}

// The vendor mark is often near the end of the file, before an ID3v1 tag.
void TMPEGaudio::SearchEndForVendor(TFileStream& stream) {
    const int64_t tail = fileSize_ - (id3v1_.Exists() ? kID3v1Size : 0);
    const int64_t at = std::max(audioStart_, tail - kEndSearchSize);
    if (tail - at < 4) return;
    std::array<uint8_t, kEndSearchSize> bytes;
    const auto count = static_cast<std::size_t>(tail - at);
    const std::size_t got = stream.ReadZeroFilled(at, bytes.data(), count);
    // Backwards: the mark nearest the end wins.
    for (std::size_t k = got >= 4 ? got - 4 + 1 : 0; k-- > 0;) {
        if (MarkAt(bytes.data(), got, k, "LAME")) {
            vendorID_ = VendorAt(bytes.data(), got, k);
            return;
        }
        if (MarkAt(bytes.data(), got, k, "GOGO")) {
            vendorID_ = "GOGO";
            return;
        }
    }
}

bool TMPEGaudio::Valid() const {
    // A header that counts more frames than the file holds marks a cut
    // stream, however little of its audio is left: the row says so.
    if (frame_.Found && findings_.Truncated) return findings_.ClaimedDuration >= 0.1;
    const uint16_t rate = BitRate();
    return frame_.Found && rate >= 8 && rate <= 448 && Duration() >= 0.1;
}

std::string TMPEGaudio::Version() const { return kVersionNames[frame_.VersionID & 3]; }

std::string TMPEGaudio::Layer() const { return kLayerNames[frame_.LayerID & 3]; }

std::string TMPEGaudio::ChannelMode() const { return kModeNames[std::min<uint8_t>(frame_.ModeID, 4)]; }

uint16_t TMPEGaudio::SampleRate() const { return mpegframe::SampleRate(frame_); }

uint16_t TMPEGaudio::BitRate() const {
    if (findings_.Truncated && AudioFrames() == 0) return 0;   // no audio left
    if (!(vbr_.Found && vbr_.Frames > 0)) return TableBitRate();
    const double sampleRate = mpegframe::SampleRate(frame_);
    const double average = (static_cast<double>(vbr_.Bytes) / vbr_.Frames - Padding(frame_)) * sampleRate /
                           Coefficient(frame_) / 1000.0;
    // A damaged VBR header can give any value: keep it inside the 16-bit range
    // rather than let it wrap round into a plausible bitrate.
    return static_cast<uint16_t>(std::clamp<int64_t>(RoundHalfEven(average), 0, 0xFFFF));
}

int64_t TMPEGaudio::AudioFrames() const {
    if (!frame_.Found) return 0;
    if (!findings_.Walked) return countHeader_.Frames;
    return std::max<int64_t>(0, framesCounted_ - (countHeader_.ID.empty() ? 0 : 1));
}

// An Info header (LAME's Xing header of a CBR file) counts the audio frames
// after its own frame, as a Xing header does.
int32_t TMPEGaudio::FrameCount() const {
    if (vbr_.Found) return vbr_.Frames;
    if (countHeader_.ID == "Info") return static_cast<int32_t>(AudioFrames());
    return framesCounted_;
}

int64_t TMPEGaudio::Samples() const {
    if (!frame_.Found) return 0;
    return int64_t{FrameCount()} * Coefficient(frame_) * 8;
}

double TMPEGaudio::Duration() const {
    if (!frame_.Found) return 0;
    const double sampleRate = mpegframe::SampleRate(frame_);
    if (findings_.Truncated && sampleRate > 0)
        return static_cast<double>(Coefficient(frame_)) * AudioFrames() * 8 / sampleRate;
    if (vbr_.Found && vbr_.Frames > 0) {
        if (sampleRate == 0) return 0;
        return static_cast<double>(Coefficient(frame_)) * vbr_.Frames * 8 / sampleRate;
    }
    // A CBR file with an Info header: the length of its audio frames, as for
    // a Xing header; the Info frame itself is silent.
    if (countHeader_.ID == "Info" && FrameCount() > 0 && sampleRate > 0)
        return static_cast<double>(Coefficient(frame_)) * FrameCount() * 8 / sampleRate;
    const uint16_t rate = TableBitRate();
    if (rate == 0) return 0;
    return static_cast<double>(audioEnd_ - audioStart_ - apeBytes_) / rate / 1000.0 * 8;
}

double TMPEGaudio::Ratio() const {
    if (!Valid() || Samples() <= 0) return 0;
    // Size of a 16-bit PCM WAVE file of the same length with a 44-byte header.
    const double bytesPerSample = ChannelMode() == "Mono" ? 2 : 4;
    const double pcmSize = static_cast<double>(Samples()) * bytesPerSample + 44;
    return static_cast<double>(fileSize_) / pcmSize * 100;
}

uint8_t TMPEGaudio::EncoderID() const {
    if (!frame_.Found) return 0;
    if (StartsWith(vendorID_, "LAME") || StartsWith(vbr_.VendorID, "LAME")) return kEncoderLAME;
    if (StartsWith(vendorID_, "GOGO") || StartsWith(vbr_.VendorID, "GOGO") || StartsWith(vbr_.VendorID, "MPGE"))
        return kEncoderGoGo;
    if (vbr_.ID == "VBRI") return kEncoderFhG;
    if (vbr_.ID == "Xing") return kEncoderXing;
    return 0;
}

uint8_t TMPEGaudio::GuessedEncoderID() const {
    if (!frame_.Found || frame_.LayerID != kLayerIII) return 0;
    // Habits in the frame header; each rule overrides the ones before it.
    uint8_t result = frame_.OriginalBit && frame_.ProtectionBit ? kEncoderLAME : kEncoderFhG;
    if (TableBitRate() <= 160 && frame_.ModeID == kModeStereo) result = kEncoderBlade;
    if (frame_.CopyrightBit && frame_.OriginalBit && !frame_.ProtectionBit) result = kEncoderXing;
    if (frame_.Xing && frame_.OriginalBit) result = kEncoderXing;
    if (frame_.ModeID == kModeDual && frame_.ProtectionBit) result = kEncoderShine;
    return result;
}

std::string TMPEGaudio::Encoder() const {
    uint8_t id = EncoderID();
    if (id == 0) id = GuessedEncoderID();
    std::string name = kEncoderNames[id & 7];
    const std::string& mark = StartsWith(vendorID_, "LAME") ? vendorID_ : vbr_.VendorID;
    // "LAME3.97" gives "LAME 3.97"; the digits after the "." are all taken, so
    // "LAME3.100" gives "LAME 3.100".
    if (id == kEncoderLAME && mark.size() > 7 && IsDigit(static_cast<uint8_t>(mark[4])) && mark[5] == '.' &&
        IsDigit(static_cast<uint8_t>(mark[6])) && IsDigit(static_cast<uint8_t>(mark[7]))) {
        std::size_t end = 6;
        while (end < mark.size() && IsDigit(static_cast<uint8_t>(mark[end]))) ++end;
        name += ' ';
        name.append(mark, 4, end - 4);
    }
    return name;
}
