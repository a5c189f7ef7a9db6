#include "core/Verify.h"

#include "core/HealthChecks.h"
#include "mpeg/MPEGaudio.h"
#include "readers/OggPages.h"

#include <algorithm>
#include <cstring>

namespace {

// LAME tag fields, from the "LAME" mark in the first frame.
constexpr std::size_t kLameMusicLengthAt = 28;   // 32 bits, big-endian: bytes from the first frame
constexpr std::size_t kLameMusicCrcAt = 32;      // 16 bits, big-endian
constexpr std::size_t kLameTagBytes = 36;

// A WavPack DSD sample as stored holds 8 one-bit samples.
constexpr uint64_t kDSDBitsPerStoredSample = 8;

bool IsMpegType(const std::string& type) { return type == "MP3" || type == "MP2" || type == "MP1" || type == "MPA"; }
bool IsOggType(const std::string& type) { return type == "OGG" || type == "SPX" || type == "OGA" || type == "OPUS"; }

// A frame header at at whose frame fits before end; its length, or 0.
int64_t FrameAt(const std::vector<uint8_t>& file, int64_t at, int64_t end) {
    if (at + 4 > end) return 0;
    const uint8_t* b = file.data() + at;
    if (!mpegframe::IsFrameHeader(b[0], b[1], b[2], b[3])) return 0;
    FrameData frame;
    mpegframe::DecodeHeader(b, frame);
    const int64_t length = mpegframe::FrameLength(frame);
    return length >= 4 && at + length <= end ? length : 0;
}

std::vector<uint8_t> WholeFile(TFileStream& stream) {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max<int64_t>(stream.Size(), 0)));
    stream.Seek(0);
    bytes.resize(stream.Read(bytes.data(), bytes.size()));
    return bytes;
}

} // namespace

TMpegVerifyResult VerifyMpegFrames(const std::vector<uint8_t>& file, int64_t audioStart, int64_t audioEnd) {
    TMpegVerifyResult result;
    audioEnd = std::min<int64_t>(audioEnd, static_cast<int64_t>(file.size()));
    if (audioStart < 0 || audioStart >= audioEnd) return result;
    const int64_t firstLength = FrameAt(file, audioStart, audioEnd);

    // The frame chain: where it breaks, search on for a header whose next
    // frame follows in turn; the bytes passed over are one bad stretch.
    // Bytes after the last frame that lead to no frame (a cut last frame, an
    // unknown trailer) are no stretch inside the audio.
    int64_t at = audioStart;
    bool inStretch = false;
    while (at + 4 <= audioEnd) {
        const int64_t length = FrameAt(file, at, audioEnd);
        const bool chained = length > 0 && (!inStretch || FrameAt(file, at + length, audioEnd) > 0);
        if (chained) {
            if (inStretch) ++result.BadStretches;
            inStretch = false;
            at += length;
            continue;
        }
        inStretch = true;
        ++at;
    }

    // The LAME music CRC covers the frames after the tag's own frame.
    if (firstLength > 0) {
        const auto first = file.begin() + audioStart;
        const auto frameEnd = first + firstLength;
        static constexpr char kMark[] = {'L', 'A', 'M', 'E'};
        const auto mark = std::search(first, frameEnd, std::begin(kMark), std::end(kMark));
        if (mark != frameEnd && frameEnd - mark >= static_cast<std::ptrdiff_t>(kLameTagBytes)) {
            const uint8_t* tag = &*mark;
            const int64_t musicLength = (int64_t{tag[kLameMusicLengthAt]} << 24) | (tag[kLameMusicLengthAt + 1] << 16) |
                                        (tag[kLameMusicLengthAt + 2] << 8) | tag[kLameMusicLengthAt + 3];
            const uint16_t stored = static_cast<uint16_t>((tag[kLameMusicCrcAt] << 8) | tag[kLameMusicCrcAt + 1]);
            const int64_t musicEnd = audioStart + musicLength;
            if (musicLength > firstLength && musicEnd <= static_cast<int64_t>(file.size())) {
                result.MusicCrcChecked = true;
                result.MusicCrcMatches =
                    LameCRC16(file.data() + audioStart + firstLength, static_cast<std::size_t>(musicLength - firstLength)) ==
                    stored;
            }
        }
    }
    return result;
}

int32_t VerifyOggPages(const std::vector<uint8_t>& file) {
    int32_t bad = 0;
    std::size_t at = 0;
    bool lost = false;
    while (at + 4 <= file.size()) {
        const int64_t length = OggPageLength(file.data() + at, file.size() - at);
        if (length > 0) {
            const uint8_t* page = file.data() + at;
            TOggPageHeader header;
            if (ParseOggPageHeader(page, static_cast<std::size_t>(length), 0, header) &&
                OggPageChecksum(page, static_cast<std::size_t>(length)) == header.Checksum) {
                lost = false;
                at += static_cast<std::size_t>(length);
                continue;
            }
        }
        if (length == 0) {
            ++bad;   // a page cut by the end of the file
            break;
        }
        // A page that fails, or bytes between pages: one stretch until the
        // next good page. A failed page is passed over whole, so that each
        // byte is summed once.
        if (!lost) ++bad;
        lost = true;
        at += length > 0 ? static_cast<std::size_t>(length) : 1;
    }
    return bad;
}

int32_t VerifyFlacFrames(const std::vector<uint8_t>& file, int64_t audioOffset, const uint8_t* streamInfo) {
    const int32_t minBlock = (streamInfo[0] << 8) | streamInfo[1];
    const int32_t maxBlock = (streamInfo[2] << 8) | streamInfo[3];
    const int32_t fixedBlock = minBlock == maxBlock ? minBlock : maxBlock;
    int32_t bad = 0;
    int64_t expectedSample = 0;
    int64_t frameStart = -1;
    // The running CRC-16 of the frame so far, over the bytes before crcEnd:
    // each byte enters it once, however many false syncs the frame holds.
    uint16_t crc = 0;
    std::size_t crcEnd = 0;
    for (std::size_t i = static_cast<std::size_t>(std::max<int64_t>(audioOffset, 0)); i + 6 <= file.size(); ++i) {
        if (file[i] != 0xFF) continue;
        TFlacFrameHeader header;
        if (!ParseFlacFrameHeader(file.data() + i, file.size() - i, fixedBlock, header)) continue;
        if (header.FirstSample < expectedSample) continue;   // a false sync inside a frame
        if (frameStart >= 0) {
            // The frame before ends here: its CRC-16 closes over its bytes.
            crc = FlacCrc16(file.data() + crcEnd, i - crcEnd, crc);
            crcEnd = i;
            if (crc != 0) {
                // A false sync inside the frame: look further before judging.
                if (header.FirstSample != expectedSample) continue;
                ++bad;
            }
        }
        if (header.FirstSample > expectedSample && frameStart >= 0) ++bad;   // frames missing
        frameStart = static_cast<int64_t>(i);
        crc = 0;
        crcEnd = i;
        expectedSample = header.FirstSample + header.BlockSize;
        i += static_cast<std::size_t>(header.Length) - 1;
    }
    return bad;
}

void VerifyItem(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    if (HasFinding(item.Health, THealthKind::NotRecognised) || HasFinding(item.Health, THealthKind::EmptyFile)) return;
    if (IsMpegType(item.FileType)) {
        TMPEGaudio& r = readers.MPEGaudio;
        if (!r.ReadFromStream(stream) || !r.Valid()) return;
        const std::vector<uint8_t> file = WholeFile(stream);
        // The audio ends before the trailing tags: ID3v1 (with Lyrics3) and APE.
        const TMpegVerifyResult result = VerifyMpegFrames(file, r.AudioStart(), r.AudioEnd() - r.APEBytes());
        if (result.BadStretches > 0) AddFinding(item.Health, DamagedFinding(result.BadStretches));
        if (result.MusicCrcChecked && !result.MusicCrcMatches)
            AddFinding(item.Health, Finding(THealthKind::AudioChanged));
    } else if (IsOggType(item.FileType)) {
        const int32_t bad = VerifyOggPages(WholeFile(stream));
        // A cut last page is the truncation the scan reports already.
        if (bad > 0 && !(bad == 1 && HasFinding(item.Health, THealthKind::Truncated)))
            AddFinding(item.Health, DamagedFinding(bad));
    } else if (item.FileType == "WV") {
        // The last whole block, searched for as far back as it lies.
        TWAVPackfile& r = readers.WAVPackfile;
        if (!r.ReadFromStream(stream) || !r.Valid() || r.Version() < 4 || r.SamplesFromLastBlock() ||
            HasFinding(item.Health, THealthKind::Truncated) || r.SampleRate() <= 0)
            return;
        const uint64_t present = r.SamplesUpToLastBlock(stream) * (r.IsDSD() ? kDSDBitsPerStoredSample : 1);
        if (present < r.Samples()) {
            item.Duration = static_cast<double>(present) / r.SampleRate();
            AddFinding(item.Health, TruncatedFinding(item.Duration, r.Duration()));
        }
    } else if (item.FileType == "FLAC") {
        TFLACfile& r = readers.FLACfile;
        if (!r.ReadFromStream(stream) || !r.Valid()) return;
        constexpr std::size_t kStreamInfoAt = 8;
        const int32_t bad = VerifyFlacFrames(WholeFile(stream), r.AudioOffset(), r.Header().data() + kStreamInfoAt);
        if (bad > 0) AddFinding(item.Health, DamagedFinding(bad));
    }
}

void VerifyItem(TFormatReaders& readers, TAudioItem& item) {
    TFileStream stream(item.FullPath, TFileStream::Share::ReadWrite);
    VerifyItem(readers, stream, item);
}
