#include "mpeg/MPEGaudio.h"

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
    return b0 == 0xFF && b1 >= 0xE0 && ((b1 >> 3) & 3) != 1 && ((b1 >> 1) & 3) != 0 && b2 < 0xF0 &&
           b2 > 0x0F && ((b2 >> 2) & 3) != 3 && (b3 & 3) != 2;
}

void DecodeHeader(const uint8_t* header, FrameData& frame) {
    const uint8_t b1 = header[1], b2 = header[2], b3 = header[3];
    std::memcpy(frame.Data.data(), header, 4);
    frame.VersionID = (b1 >> 3) & 3;
    frame.LayerID = (b1 >> 1) & 3;
    frame.ProtectionBit = (b1 & 1) == 0;
    frame.BitRateID = (b2 >> 4) & 15;
    frame.SampleRateID = (b2 >> 2) & 3;
    frame.PaddingBit = (b2 & 2) != 0;
    frame.PrivateBit = (b2 & 1) != 0;
    frame.ModeID = (b3 >> 6) & 3;
    frame.ModeExtensionID = (b3 >> 4) & 3;
    frame.CopyrightBit = (b3 & 8) != 0;
    frame.OriginalBit = (b3 & 4) != 0;
    frame.EmphasisID = b3 & 3;
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

} // namespace mpegframe

using namespace mpegframe;

namespace {

// Xing header, offsets from the "Xing" mark. The flags word at +4 is not
// consulted: the fields are read where an encoder that writes all of them
// (frames, bytes, 100-byte table of contents, quality) puts them.
constexpr std::size_t kXingFrames = 8;
constexpr std::size_t kXingBytes = 12;
constexpr std::size_t kXingScale = 119;     // last byte of the quality field
constexpr std::size_t kXingVendor = 120;    // 8 characters of the encoder's mark
constexpr std::size_t kVendorLength = 8;
// VBRI header (Fraunhofer), offsets from the "VBRI" mark.
constexpr std::size_t kVBRIScale = 9;       // low byte of the quality field
constexpr std::size_t kVBRIBytes = 10;
constexpr std::size_t kVBRIFrames = 14;

constexpr int64_t kCountRead = static_cast<int64_t>(TMPEGaudio::kLastCandidate);
constexpr int64_t kVendorWindowsMax = TMPEGaudio::kBufferSize - kVendorLength;   // 3450
constexpr int64_t kID3v1Size = 128;

const char* const kVersionNames[4] = {"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"};
const char* const kLayerNames[4] = {"Layer ?", "Layer III", "Layer II", "Layer I"};
const char* const kModeNames[5] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono", "Unknown"};
const char* const kEncoderNames[8] = {"Unknown", "Xing", "FhG", "LAME", "Blade", "GoGo", "Shine", "QDesign"};

constexpr uint8_t kEncoderXing = 1, kEncoderFhG = 2, kEncoderLAME = 3, kEncoderBlade = 4, kEncoderGoGo = 5,
                  kEncoderShine = 6, kEncoderQDesign = 7;

// A byte of the search buffer; bytes beyond it count as zero.
uint8_t At(const TMPEGaudio::Buffer& buffer, std::size_t index) {
    return index < buffer.size() ? buffer[index] : 0;
}

bool HeaderAt(const TMPEGaudio::Buffer& buffer, std::size_t k) {
    return IsFrameHeader(At(buffer, k), At(buffer, k + 1), At(buffer, k + 2), At(buffer, k + 3));
}

int32_t BE32At(const TMPEGaudio::Buffer& buffer, std::size_t k) {
    const uint32_t value = (uint32_t{At(buffer, k)} << 24) | (uint32_t{At(buffer, k + 1)} << 16) |
                           (uint32_t{At(buffer, k + 2)} << 8) | uint32_t{At(buffer, k + 3)};
    return static_cast<int32_t>(value);
}

bool MarkAt(const TMPEGaudio::Buffer& buffer, std::size_t k, const char* mark) {
    for (std::size_t i = 0; i < 4; ++i)
        if (At(buffer, k + i) != static_cast<uint8_t>(mark[i])) return false;
    return true;
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// An encoder mark of 8 bytes at k. A "LAME" mark keeps the digits that follow
// it inside the buffer, so "LAME3.100" is not cut to "LAME3.10".
std::string VendorAt(const TMPEGaudio::Buffer& buffer, std::size_t k) {
    std::string vendor;
    for (std::size_t i = 0; i < kVendorLength; ++i) vendor += static_cast<char>(At(buffer, k + i));
    if (vendor.compare(0, 4, "LAME") == 0)
        for (std::size_t i = k + kVendorLength; i < buffer.size() && IsDigit(buffer[i]); ++i)
            vendor += static_cast<char>(buffer[i]);
    return vendor;
}

VBRData ReadVBR(const TMPEGaudio::Buffer& buffer, std::size_t at) {
    VBRData vbr;
    if (MarkAt(buffer, at, "Xing")) {
        vbr.Found = true;
        vbr.ID = "Xing";
        vbr.Frames = BE32At(buffer, at + kXingFrames);
        vbr.Bytes = BE32At(buffer, at + kXingBytes);
        vbr.Scale = At(buffer, at + kXingScale);
        vbr.VendorID = VendorAt(buffer, at + kXingVendor);
    } else if (MarkAt(buffer, at, "VBRI")) {
        vbr.Found = true;
        vbr.ID = "VBRI";
        vbr.Scale = At(buffer, at + kVBRIScale);
        vbr.Bytes = BE32At(buffer, at + kVBRIBytes);
        vbr.Frames = BE32At(buffer, at + kVBRIFrames);
    }
    return vbr;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

} // namespace

// Serves the scans' reads, "read count bytes at pos into the buffer", from a
// window over the file, so that the frame-by-frame counting scan costs one
// system read per window rather than one per frame. A read returns the count
// it obtained and touches only that many bytes of the destination, exactly as
// a seek and a read on the file would.
class TMPEGaudio::BlockReader {
public:
    explicit BlockReader(TFileStream& stream) : stream_(stream), window_(kWindowSize) {}

    std::size_t ReadAt(int64_t position, uint8_t* destination, std::size_t count) {
        if (position < 0) return 0;
        if (position < start_ || position > start_ + length_) {
            // A jump: start a new window there.
            start_ = position;
            length_ = 0;
            atEnd_ = false;
            stream_.Seek(position);
        }
        if (position + static_cast<int64_t>(count) > start_ + length_ && !atEnd_) MoveOn(position);
        const int64_t available = std::max<int64_t>(0, start_ + length_ - position);
        const std::size_t take = std::min<std::size_t>(count, static_cast<std::size_t>(available));
        std::memcpy(destination, window_.data() + (position - start_), take);
        return take;
    }

private:
    static constexpr std::size_t kWindowSize = 128 * 1024;

    // Drops the bytes before position and reads on where the last read ended,
    // so the stream is only ever read forwards.
    void MoveOn(int64_t position) {
        const auto keep = static_cast<std::size_t>(start_ + length_ - position);
        std::memmove(window_.data(), window_.data() + (position - start_), keep);
        start_ = position;
        length_ = static_cast<int64_t>(keep);
        const std::size_t got = stream_.Read(window_.data() + keep, window_.size() - keep);
        length_ += static_cast<int64_t>(got);
        if (got < window_.size() - keep) atEnd_ = true;
    }

    TFileStream& stream_;
    std::vector<uint8_t> window_;
    int64_t start_ = 0;
    int64_t length_ = 0;
    bool atEnd_ = false;
};

void TMPEGaudio::ResetData() {
    id3v1_.ResetData();
    id3v2_.ResetData();
    apeTag_.ResetData();
    fileSize_ = 0;
    vendorID_.clear();
    vbr_ = VBRData{};
    frame_ = FrameData{};
    audioStart_ = 0;
    audioEnd_ = 0;
    framesCounted_ = 0;
    frameBytes_ = 0;
    firstBitRate_ = 0;
    bitRateChanged_ = false;
    apeBytes_ = 0;
    systemReads_ = 0;
}

bool TMPEGaudio::FindFrame(const Buffer& buffer, bool tolerant, FrameData& frame, VBRData& vbr) {
    frame = FrameData{};
    for (std::size_t k = 0; k <= kLastCandidate; ++k) {
        if (!HeaderAt(buffer, k)) continue;
        FrameData candidate;
        DecodeHeader(buffer.data() + k, candidate);
        const std::size_t length = FrameLength(candidate);
        const std::size_t next = k + length;
        if (next <= kBufferSize - 1 && HeaderAt(buffer, next)) {
            candidate.Found = true;
            candidate.Position = static_cast<int64_t>(k);
            candidate.Size = static_cast<uint16_t>(length);
            candidate.Xing = true;
            for (std::size_t i = k + 4; i < k + 10; ++i)
                if (At(buffer, i) != 0) candidate.Xing = false;
            frame = candidate;
            vbr = ReadVBR(buffer, k + static_cast<std::size_t>(XingOffset(candidate)));
            return true;
        }
        if (!tolerant) return false;
    }
    return false;
}

void TMPEGaudio::SearchVendor(const Buffer& buffer, int64_t span, std::string& vendorID) {
    const int64_t windows = std::min<int64_t>(std::max<int64_t>(span, 0), kVendorWindowsMax) + 1;
    for (int64_t i = 0; i < windows; ++i) {
        const auto start = static_cast<std::size_t>(kVendorWindowsMax - i);
        if (MarkAt(buffer, start, "LAME")) {
            vendorID = VendorAt(buffer, start);
            return;
        }
        if (MarkAt(buffer, start, "GOGO")) {
            vendorID = "GOGO";
            return;
        }
    }
}

bool TMPEGaudio::ReadFromStream(TFileStream& stream) {
    ResetData();
    bool result = true;
    const uint64_t readsBefore = stream.SystemReads();
    try {
        if (apeTag_.ReadFromStream(stream) && apeTag_.Exists()) apeBytes_ = int64_t{apeTag_.Size()} + 32;
        if (id3v2_.ReadFromStream(stream) && id3v1_.ReadFromStream(stream)) {
            fileSize_ = stream.Size();
            stream.Seek(0);   // the tag readers moved it
            BlockReader source(stream);
            Scan(source);
        }
        systemReads_ = stream.SystemReads() - readsBefore;
    } catch (const std::exception&) {
        result = false;
    }
    if (!frame_.Found) ResetData();
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

void TMPEGaudio::Scan(BlockReader& source) {
    // One buffer, zero-filled before the first read, serves every read: a read
    // that brings fewer bytes leaves the rest of the buffer as it was, and the
    // searches see those older bytes.
    Buffer buffer{};
    CountFrames(source, buffer);
    FindFirstFrame(source, buffer);
    if (!frame_.Found) return;

    // The vendor mark is most often near the end of the file, before an ID3v1
    // tag. A file shorter than that read is not searched again.
    if (vendorID_.empty()) {
        const int64_t at = fileSize_ - static_cast<int64_t>(kBufferSize) - (id3v1_.Exists() ? kID3v1Size : 0);
        if (at >= 0) {
            source.ReadAt(at, buffer.data(), kBufferSize);
            SearchVendor(buffer, 5 * int64_t{frame_.Size}, vendorID_);
        }
    }
    if (bitRateChanged_ && !vbr_.Found) {
        vbr_.Found = true;
        vbr_.Frames = framesCounted_;
        vbr_.Bytes = frameBytes_;
        vbr_.VendorID.clear();
    }
}

// Walks the file frame by frame with the strict search. The position grows by
// the accepted frames' lengths only; where in the buffer a frame was found is
// not added. Near the end the read is one byte longer than what is left, so it
// comes up short and the follower test sees the older bytes behind it.
void TMPEGaudio::CountFrames(BlockReader& source, Buffer& buffer) {
    int64_t p = id3v2_.Size();
    framesCounted_ = 0;
    frameBytes_ = 0;
    firstBitRate_ = 0;
    bitRateChanged_ = false;
    bool accepted = false;
    do {
        const int64_t count = p + kCountRead > fileSize_ ? fileSize_ - p + 1 : kCountRead;
        source.ReadAt(p, buffer.data(), static_cast<std::size_t>(std::max<int64_t>(count, 0)));
        accepted = FindFrame(buffer, false, frame_, vbr_);
        if (accepted) {
            const uint16_t rate = TableBitRate();
            if (firstBitRate_ > 0 && rate != firstBitRate_) bitRateChanged_ = true;
            if (firstBitRate_ == 0) firstBitRate_ = rate;
            ++framesCounted_;
            frameBytes_ += frame_.Size;
            p += frame_.Size;   // every accepted frame is at least 24 bytes long
        }
    } while (p < fileSize_ && accepted);
}

// Finds the first frame with the tolerant search, block by block from the end
// of the ID3v2 tag. A frame's position is its buffer offset plus the file
// position at which its block was read.
void TMPEGaudio::FindFirstFrame(BlockReader& source, Buffer& buffer) {
    int64_t blockPosition = id3v2_.Size();
    std::size_t got = source.ReadAt(blockPosition, buffer.data(), kBufferSize);
    bool found = FindFrame(buffer, true, frame_, vbr_);
    SearchVendor(buffer, found ? 5 * int64_t{frame_.Size} : 0, vendorID_);
    while (!found && got == kBufferSize) {
        blockPosition += static_cast<int64_t>(kBufferSize);
        got = source.ReadAt(blockPosition, buffer.data(), kBufferSize);
        found = FindFrame(buffer, true, frame_, vbr_);
    }
    if (!found) return;
    frame_.Position += blockPosition;
    audioStart_ = frame_.Position;
    audioEnd_ = fileSize_ - id3v1_.TrailingTagSize();
}

bool TMPEGaudio::Valid() const {
    const uint16_t rate = BitRate();
    return frame_.Found && rate >= 8 && rate <= 448 && Duration() >= 0.1;
}

std::string TMPEGaudio::Version() const { return kVersionNames[frame_.VersionID & 3]; }

std::string TMPEGaudio::Layer() const { return kLayerNames[frame_.LayerID & 3]; }

std::string TMPEGaudio::ChannelMode() const { return kModeNames[std::min<uint8_t>(frame_.ModeID, 4)]; }

uint16_t TMPEGaudio::SampleRate() const { return mpegframe::SampleRate(frame_); }

uint16_t TMPEGaudio::BitRate() const {
    if (!(vbr_.Found && vbr_.Frames > 0)) return TableBitRate();
    const double sampleRate = mpegframe::SampleRate(frame_);
    const double average = (static_cast<double>(vbr_.Bytes) / vbr_.Frames - Padding(frame_)) * sampleRate /
                           Coefficient(frame_) / 1000.0;
    // A damaged VBR header can give any value: keep it inside the 16-bit range
    // rather than let it wrap round into a plausible bitrate.
    return static_cast<uint16_t>(std::clamp<int64_t>(RoundHalfEven(average), 0, 0xFFFF));
}

int32_t TMPEGaudio::FrameCount() const { return vbr_.Found ? vbr_.Frames : framesCounted_; }

int64_t TMPEGaudio::Samples() const {
    if (!frame_.Found) return 0;
    const int64_t perFrame = int64_t{Coefficient(frame_)} * 8;
    if (vbr_.Found && vbr_.Frames > 0) return perFrame * vbr_.Frames;
    return int64_t{FrameCount()} * perFrame;
}

double TMPEGaudio::Duration() const {
    if (!frame_.Found) return 0;
    const double sampleRate = mpegframe::SampleRate(frame_);
    if (vbr_.Found && vbr_.Frames > 0) {
        if (sampleRate == 0) return 0;
        return static_cast<double>(Coefficient(frame_)) * vbr_.Frames * 8 / sampleRate;
    }
    const uint16_t rate = TableBitRate();
    if (rate == 0) return 0;
    return static_cast<double>(audioEnd_ - audioStart_ - apeBytes_) / rate / 1000.0 * 8;
}

double TMPEGaudio::Ratio() const {
    if (!Valid()) return 0;
    // Size of a 16-bit PCM WAVE file of the same length with a 44-byte header.
    const double bytesPerSample = ChannelMode() == "Mono" ? 2 : 4;
    const double pcmSize = static_cast<double>(Samples()) * bytesPerSample + 44;
    if (pcmSize == 0) return 0;
    return static_cast<double>(fileSize_) / pcmSize * 100;
}

uint8_t TMPEGaudio::EncoderID() const {
    if (!frame_.Found) return 0;
    if (vbr_.Found) {
        const std::string& mark = vbr_.VendorID;
        const bool gogo = StartsWith(mark, "GOGO") || StartsWith(mark, "MPGE");
        const bool lame = StartsWith(mark, "LAME");
        uint8_t result = gogo ? kEncoderGoGo : lame ? kEncoderLAME : 0;
        if (vbr_.ID == "Xing" && !gogo && !lame) result = kEncoderXing;
        if (StartsWith(vendorID_, "LAME")) return kEncoderLAME;
        if (vbr_.ID == "VBRI") return kEncoderFhG;
        return result;
    }
    // Without a VBR header the encoder is told by habits in the frame header;
    // each rule overrides the ones before it.
    uint8_t result = frame_.OriginalBit && frame_.ProtectionBit ? kEncoderLAME : kEncoderFhG;
    if (TableBitRate() <= 160 && frame_.ModeID == kModeStereo) result = kEncoderBlade;
    if (frame_.CopyrightBit && frame_.OriginalBit && !frame_.ProtectionBit) result = kEncoderXing;
    if (frame_.Xing && frame_.OriginalBit) result = kEncoderXing;
    if (frame_.LayerID == kLayerII) result = kEncoderQDesign;
    if (frame_.ModeID == kModeDual && frame_.ProtectionBit) result = kEncoderShine;
    if (StartsWith(vendorID_, "LAME")) result = kEncoderLAME;
    else if (StartsWith(vendorID_, "GOGO")) result = kEncoderGoGo;
    return result;
}

std::string TMPEGaudio::Encoder() const {
    const uint8_t id = EncoderID();
    std::string name = kEncoderNames[id & 7];
    const std::string& mark = vendorID_.empty() ? vbr_.VendorID : vendorID_;
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
