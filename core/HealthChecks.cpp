#include "core/HealthChecks.h"

#include "io/ByteReader.h"
#include "readers/OggPages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// Table-driven CRCs, most significant bit first: FLAC's CRC-8 (0x07) and
// CRC-16 (0x8005), both with initial value 0.
template <typename T, T Polynomial>
constexpr std::array<T, 256> CrcTable() {
    std::array<T, 256> table{};
    constexpr int kTop = sizeof(T) * 8 - 1;
    for (unsigned n = 0; n < 256; ++n) {
        T crc = static_cast<T>(T(n) << (kTop - 7));
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<T>((crc >> kTop) & 1 ? (crc << 1) ^ Polynomial : crc << 1);
        table[n] = crc;
    }
    return table;
}
constexpr auto kCrc8Table = CrcTable<uint8_t, 0x07>();
constexpr auto kCrc16Table = CrcTable<uint16_t, 0x8005>();

// Bytes of the file's tail searched for the last frame header: a little
// more than the largest frame STREAMINFO allows, within bounds.
constexpr int64_t kMinTailWindow = 1024;
constexpr int64_t kMaxTailWindow = 1024 * 1024;

// Block sizes of the 4-bit code; 0: reserved, -1/-2: 8/16-bit value at the header's end.
constexpr int32_t kBlockSizeOfCode[16] = {0, 192, 576, 1152, 2304, 4608, -1, -2,
                                          256, 512, 1024, 2048, 4096, 8192, 16384, 32768};

} // namespace

uint8_t FlacCrc8(const uint8_t* bytes, std::size_t size) {
    uint8_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) crc = kCrc8Table[crc ^ bytes[i]];
    return crc;
}

bool ParseFlacFrameHeader(const uint8_t* b, std::size_t size, int32_t fixedBlockSize, TFlacFrameHeader& header) {
    if (size < 6 || b[0] != 0xFF || (b[1] & 0xFE) != 0xF8) return false;
    const bool variableBlocks = b[1] & 0x01;
    const int blockCode = b[2] >> 4;
    const int rateCode = b[2] & 0x0F;
    const int channelCode = b[3] >> 4;
    const int sizeCode = (b[3] >> 1) & 0x07;
    if (blockCode == 0 || rateCode == 15 || channelCode > 10 || sizeCode == 3 || (b[3] & 0x01)) return false;

    // The frame or sample number, UTF-8 style: up to 7 bytes.
    std::size_t at = 4;
    const uint8_t lead = b[at++];
    int extra = 0;
    uint64_t number = 0;
    if (lead < 0x80) number = lead;
    else if ((lead & 0xE0) == 0xC0) { number = lead & 0x1F; extra = 1; }
    else if ((lead & 0xF0) == 0xE0) { number = lead & 0x0F; extra = 2; }
    else if ((lead & 0xF8) == 0xF0) { number = lead & 0x07; extra = 3; }
    else if ((lead & 0xFC) == 0xF8) { number = lead & 0x03; extra = 4; }
    else if ((lead & 0xFE) == 0xFC) { number = lead & 0x01; extra = 5; }
    else if (lead == 0xFE) { extra = 6; }
    else return false;
    if (!variableBlocks && extra > 5) return false;   // frame numbers have at most 31 bits
    for (int k = 0; k < extra; ++k) {
        if (at >= size || (b[at] & 0xC0) != 0x80) return false;
        number = (number << 6) | (b[at++] & 0x3F);
    }

    int64_t blockSize = kBlockSizeOfCode[blockCode];
    if (blockSize == -1) {
        if (at + 1 > size) return false;
        blockSize = b[at] + 1;
        at += 1;
    } else if (blockSize == -2) {
        if (at + 2 > size) return false;
        blockSize = ((b[at] << 8) | b[at + 1]) + 1;
        at += 2;
    }
    if (rateCode == 12) at += 1;
    else if (rateCode == 13 || rateCode == 14) at += 2;
    if (at + 1 > size || FlacCrc8(b, at) != b[at]) return false;

    header.BlockSize = blockSize;
    header.FirstSample = variableBlocks ? static_cast<int64_t>(number)
                                        : static_cast<int64_t>(number) * std::max<int32_t>(fixedBlockSize, 1);
    header.Length = static_cast<int32_t>(at + 1);
    return true;
}

uint16_t FlacCrc16Step(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>((crc << 8) ^ kCrc16Table[(crc >> 8) ^ byte]);
}

namespace {

// Slicing by 8: table k gives a byte's share of the CRC with k zero bytes
// after it, so eight bytes take eight independent look-ups.
using TCrc16Slices = std::array<std::array<uint16_t, 256>, 8>;
constexpr TCrc16Slices kCrc16Slices = [] {
    TCrc16Slices slices{};
    slices[0] = kCrc16Table;
    for (std::size_t k = 1; k < slices.size(); ++k)
        for (unsigned n = 0; n < 256; ++n) {
            const uint16_t before = slices[k - 1][n];
            slices[k][n] = static_cast<uint16_t>((before << 8) ^ kCrc16Table[before >> 8]);
        }
    return slices;
}();

} // namespace

uint16_t FlacCrc16(const uint8_t* bytes, std::size_t size, uint16_t crc) {
    const auto& t = kCrc16Slices;
    for (; size >= 8; size -= 8, bytes += 8)
        crc = static_cast<uint16_t>(t[7][bytes[0] ^ (crc >> 8)] ^ t[6][bytes[1] ^ (crc & 0xFF)] ^ t[5][bytes[2]] ^
                                    t[4][bytes[3]] ^ t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]]);
    for (; size > 0; --size) crc = FlacCrc16Step(crc, *bytes++);
    return crc;
}

int64_t FlacSamplesPresent(TFileStream& stream, int64_t audioOffset, std::span<const uint8_t> streamInfo) {
    if (streamInfo.size() < 18) return -1;
    const int32_t minBlock = (streamInfo[0] << 8) | streamInfo[1];
    const int32_t maxBlock = (streamInfo[2] << 8) | streamInfo[3];
    const int64_t maxFrame = (int64_t{streamInfo[7]} << 16) | (streamInfo[8] << 8) | streamInfo[9];
    // Fixed-size frames are numbered by frame; frames of varying sizes number
    // their first sample, so the block size does not matter there.
    const int32_t fixedBlock = minBlock == maxBlock ? minBlock : maxBlock;
    const int64_t fileSize = stream.Size();
    if (audioOffset <= 0 || audioOffset >= fileSize) return audioOffset == fileSize ? 0 : -1;
    // An unknown largest frame (0) takes the widest window.
    const int64_t window =
        maxFrame > 0 ? std::clamp<int64_t>(maxFrame + 64, kMinTailWindow, kMaxTailWindow) : kMaxTailWindow;
    const int64_t from = std::max(audioOffset, fileSize - window);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(fileSize - from));
    stream.Seek(from);
    const std::size_t got = stream.Read(bytes.data(), bytes.size());

    int64_t end = -1;
    TFlacFrameHeader last;
    std::size_t lastAt = 0;
    for (std::size_t i = 0; i + 6 <= got; ++i) {
        // The next sync byte, found by memchr: most of the window is frame data.
        const void* sync = std::memchr(bytes.data() + i, 0xFF, got - 5 - i);
        if (!sync) break;
        i = static_cast<std::size_t>(static_cast<const uint8_t*>(sync) - bytes.data());
        TFlacFrameHeader header;
        if (ParseFlacFrameHeader(bytes.data() + i, got - i, fixedBlock, header) &&
            header.FirstSample + header.BlockSize > end) {
            end = header.FirstSample + header.BlockSize;
            last = header;
            lastAt = i;
        }
    }
    if (end < 0) return from == audioOffset ? 0 : -1;

    // The frame is whole when its CRC-16 closes at the end of the file or
    // where a trailer begins: a tag, or zeros to the end (a CRC that is 0
    // stays 0 over zeros, so the first of them stands for all).
    std::size_t zerosFrom = got;   // the trailing run of zero bytes starts here
    while (zerosFrom > lastAt && bytes[zerosFrom - 1] == 0) --zerosFrom;
    const std::size_t minEnd = lastAt + static_cast<std::size_t>(last.Length) + 2;
    if (minEnd > got) return last.FirstSample;
    std::vector<std::size_t> ends{std::max(zerosFrom, minEnd), got};
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), got);
    for (const std::string_view mark : {"TAG", "APETAGEX", "ID3"})
        for (std::size_t k = view.find(mark, minEnd); k != std::string_view::npos; k = view.find(mark, k + 1))
            ends.push_back(k);
    std::sort(ends.begin(), ends.end());
    uint16_t crc = 0;
    std::size_t at = lastAt;
    for (const std::size_t e : ends) {
        crc = FlacCrc16(bytes.data() + at, e - at, crc);
        at = e;
        if (crc == 0) return end;
    }
    return last.FirstSample;
}

namespace {

// The page header's segment count (readers/OggPages.h parses the rest).
constexpr std::size_t kOggSegmentCountAt = 26;
// The tail read first, and the widest: a page holds at most 65,307 bytes.
constexpr int64_t kOggTailWindow = 8 * 1024;
constexpr int64_t kOggWideTailWindow = 66 * 1024;

// The pages of the window are found by their lengths alone; checksums are
// summed from the last page backwards until one holds, so that a scan sums
// only the last page or two (verify sums every page).
constexpr int kMaxTailPagesChecked = 32;

TOggTail ScanOggTail(const uint8_t* bytes, std::size_t size) {
    struct Page {
        std::size_t At, Length;
    };
    std::vector<Page> pages;
    bool cut = false;
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (bytes[i] != 'O' || std::memcmp(bytes + i, "OggS", 4) != 0) continue;
        const int64_t length = OggPageLength(bytes + i, size - i);
        if (length < 0) continue;
        if (length == 0) {
            // Runs past the end: the file was cut inside this page, unless a
            // whole page follows (then this was a stray "OggS" in a body).
            cut = true;
            continue;
        }
        cut = false;
        pages.push_back({i, static_cast<std::size_t>(length)});
        i += static_cast<std::size_t>(length) - 1;
    }
    TOggTail tail;
    tail.CutPage = cut;
    int checked = 0;
    for (std::size_t n = pages.size(); n-- > 0 && checked < kMaxTailPagesChecked; ++checked) {
        const uint8_t* page = bytes + pages[n].At;
        TOggPageHeader header;
        if (!ParseOggPageHeader(page, pages[n].Length, 0, header) ||
            OggPageChecksum(page, pages[n].Length) != header.Checksum) {
            // A failing page right after the one before it is a damaged page;
            // one that is not may be a stray "OggS" inside a body.
            if (n > 0 && pages[n - 1].At + pages[n - 1].Length == pages[n].At) ++tail.BadPages;
            continue;
        }
        tail.Found = true;
        tail.Granule = static_cast<int64_t>(header.Granule);
        tail.EndOfStream = header.HeaderType & kOggLastPage;
        tail.NextPageAt = pages[n].At + pages[n].Length;
        break;
    }
    return tail;
}

} // namespace

int64_t OggPageLength(const uint8_t* bytes, std::size_t size) {
    if (size < 4 || std::memcmp(bytes, "OggS", 4) != 0) return -1;
    if (size > 4 && bytes[4] != 0) return -1;   // stream structure version 0 only
    if (size < kOggPageHeaderSize) return 0;
    const std::size_t segments = bytes[kOggSegmentCountAt];
    if (size < kOggPageHeaderSize + segments) return 0;
    std::size_t body = 0;
    for (std::size_t k = 0; k < segments; ++k) body += bytes[kOggPageHeaderSize + k];
    const std::size_t length = kOggPageHeaderSize + segments + body;
    return length <= size ? static_cast<int64_t>(length) : 0;
}

TOggTail ReadOggTail(TFileStream& stream) {
    const int64_t fileSize = stream.Size();
    TOggTail tail;
    for (int64_t window : {kOggTailWindow, kOggWideTailWindow}) {
        const int64_t from = std::max<int64_t>(0, fileSize - window);
        std::vector<uint8_t> bytes(static_cast<std::size_t>(fileSize - from));
        stream.Seek(from);
        const std::size_t got = stream.Read(bytes.data(), bytes.size());
        tail = ScanOggTail(bytes.data(), got);
        if (tail.Found || from == 0) break;
    }
    return tail;
}

namespace {

// TTA1: the 22-byte header is followed by a seek table of one 32-bit
// little-endian byte count per frame and the table's CRC-32; a frame holds
// rate x 256 / 245 samples per channel, the last one the rest.
constexpr int64_t kTtaHeaderBytes = 22;
constexpr int64_t kTtaFrameNumerator = 256, kTtaFrameDenominator = 245;
constexpr int64_t kTtaSeekEntryBytes = 4, kTtaSeekCrcBytes = 4;

} // namespace

int64_t TtaSamplesPresent(TFileStream& stream, int64_t headerAt, int64_t samples, int64_t sampleRate,
                          int64_t audioEnd) {
    const int64_t frameLength = sampleRate * kTtaFrameNumerator / kTtaFrameDenominator;
    if (frameLength <= 0 || samples <= 0 || headerAt < 0) return -1;
    const int64_t frames = samples / frameLength + (samples % frameLength ? 1 : 0);
    const int64_t tableAt = headerAt + kTtaHeaderBytes;
    const int64_t audioAt = tableAt + frames * kTtaSeekEntryBytes + kTtaSeekCrcBytes;
    // A table that does not fit the file: cut inside it, no audio there.
    if (audioAt > audioEnd) return 0;
    std::vector<uint8_t> table(static_cast<std::size_t>(frames * kTtaSeekEntryBytes));
    stream.Seek(tableAt);
    if (stream.Read(table.data(), table.size()) != table.size()) return 0;
    int64_t at = audioAt;
    for (int64_t f = 0; f < frames; ++f) {
        const uint8_t* b = table.data() + f * kTtaSeekEntryBytes;
        at += int64_t(b[0]) | int64_t(b[1]) << 8 | int64_t(b[2]) << 16 | int64_t(b[3]) << 24;
        if (at > audioEnd) return f * frameLength;
    }
    return samples;
}

namespace {

// Monkey's Audio frames start anywhere in a 32-bit word, and a decoder reads
// each frame in whole words counted from the first frame's start: a frame's
// last word may hold the next frame's first bytes.
constexpr int64_t kMonkeySeekEntryBytes = 4;
constexpr int64_t kMonkeyWordBytes = 4;
constexpr std::size_t kMonkeySeekChunk = 16 * 1024;   // entries read at a time

int64_t RoundUpToWord(int64_t bytes) { return (bytes + kMonkeyWordBytes - 1) / kMonkeyWordBytes * kMonkeyWordBytes; }

} // namespace

int64_t MonkeySamplesPresent(TFileStream& stream, const TMonkeyLayout& layout, int64_t audioEnd) {
    if (!layout.Known || layout.TotalFrames == 0 || layout.FrameDataBytes == 0) return -1;
    if (audioEnd >= layout.FramesAt && layout.FrameDataBytes <= static_cast<uint64_t>(audioEnd - layout.FramesAt))
        return -1;
    // Frame i is whole when the words up to frame i + 1's offset are there.
    // The offsets are 32 bits wide: a file beyond 4 GiB wraps them round.
    const int64_t entries = std::min<int64_t>(
        {int64_t{layout.TotalFrames}, layout.SeekTableBytes / kMonkeySeekEntryBytes,
         std::max<int64_t>(audioEnd - layout.SeekTableAt, 0) / kMonkeySeekEntryBytes});
    std::vector<uint8_t> bytes;
    int64_t first = 0, previous = 0, wraps = 0;
    int64_t whole = 0;   // frames known to be whole
    for (int64_t at = 0; at < entries;) {
        const int64_t count = std::min<int64_t>(entries - at, kMonkeySeekChunk);
        bytes.resize(static_cast<std::size_t>(count * kMonkeySeekEntryBytes));
        if (stream.ReadZeroFilled(layout.SeekTableAt + at * kMonkeySeekEntryBytes, bytes.data(), bytes.size()) <
            bytes.size())
            break;
        for (int64_t k = 0; k < count; ++k, ++at) {
            TByteReader entry(bytes.data() + k * kMonkeySeekEntryBytes, kMonkeySeekEntryBytes);
            int64_t offset = int64_t{entry.LE32()} + (wraps << 32);
            if (at > 0 && offset < previous) {
                ++wraps;
                offset += int64_t{1} << 32;
            }
            previous = offset;
            if (at == 0) {
                first = offset;
                continue;
            }
            if (layout.StartAt + first + RoundUpToWord(offset - first) > audioEnd)
                return whole * layout.BlocksPerFrame;
            whole = at;
        }
    }
    // The last frame ends with the frame data, which the file does not hold.
    return std::min<int64_t>(whole, int64_t{layout.TotalFrames} - 1) * layout.BlocksPerFrame;
}

namespace {

// SV7 frames: the first starts 200 bits into the stream header (after its
// six words and the encoder version byte); each is a 20-bit length and then
// that many bits. A frame of 1152 samples for two channels at the finest
// quantisation of every band holds about 38,500 bits; longer is no frame.
constexpr int64_t kSV7FirstFrameBit = 200;
constexpr int kSV7LengthBits = 20;
constexpr int64_t kSV7MaxFrameBits = 1 << 16;
constexpr int64_t kSV7WordBytes = 4;

} // namespace

int64_t MusepackSV7FramesPresent(TFileStream& stream, int64_t headerAt, int64_t frames, int64_t audioEnd,
                                 int64_t walkLimit) {
    if (frames <= 0 || headerAt < 0) return -1;
    // The words that lie wholly before audioEnd.
    const int64_t words = std::max<int64_t>(audioEnd - headerAt, 0) / kSV7WordBytes;
    const int64_t limitWords = walkLimit / kSV7WordBytes;
    int64_t bit = kSV7FirstFrameBit;
    for (int64_t frame = 0; frame < frames; ++frame) {
        // The length field lies in this word and perhaps the next.
        const int64_t word = bit >> 5;
        const int shift = static_cast<int>(bit & 31);
        const int64_t fieldWords = shift + kSV7LengthBits > 32 ? 2 : 1;
        if (word + fieldWords > words) return frame;
        if (word + fieldWords > limitWords) return -1;
        uint8_t b[8] = {};
        stream.ReadZeroFilled(headerAt + word * kSV7WordBytes, b, static_cast<std::size_t>(fieldWords * kSV7WordBytes));
        // Little-endian words, the earlier one holding the higher bits.
        TByteReader field(b, sizeof b);
        const uint64_t high = field.LE32();
        const uint64_t pair = high << 32 | field.LE32();
        const int64_t length = static_cast<int64_t>((pair >> (64 - kSV7LengthBits - shift)) & 0xFFFFF);
        if (length > kSV7MaxFrameBits) return -1;
        bit += kSV7LengthBits + length;
        // Whole when the word holding its last bit is there.
        if (((bit - 1) >> 5) + 1 > words) return frame;
    }
    return frames;
}
