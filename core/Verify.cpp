#include "core/Verify.h"

#include "core/FillFunctions.h"
#include "core/HealthChecks.h"
#include "io/ByteReader.h"
#include "io/ForwardBuffer.h"
#include "mpeg/BasicLameTagReader.h"
#include "mpeg/MPEGaudio.h"
#include "readers/MusepackSV8.h"
#include "readers/OggPages.h"
#include "readers/PcmRatio.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// LAME tag fields, from the "LAME" mark in the first frame.
// At 28: the music length (32 bits, big-endian: bytes from the first frame),
// then the music CRC (16 bits, big-endian).
constexpr std::size_t kLameMusicLengthAt = 28;
constexpr std::size_t kLameTagBytes = 36;

// A WavPack DSD sample as stored holds 8 one-bit samples.
constexpr uint64_t kDSDBitsPerStoredSample = 8;

// The longest MPEG frame (2,881 bytes: MPEG 2.5 Layer II at 160 kbit/s and
// 8 kHz, padded) and the header after it; the longest Ogg page (27 header
// bytes, 255 lacing values of 255); a FLAC frame header (16 bytes at most).
constexpr std::size_t kMpegFrameSpan = 2881 + 4;
constexpr std::size_t kOggMaxPage = 27 + 255 + 255 * 255;
constexpr std::size_t kFlacMaxHeader = 16;

bool IsMpegType(const std::string& type) { return type == "MP3" || type == "MP2" || type == "MP1" || type == "MPA"; }
bool IsOggType(const std::string& type) { return type == "OGG" || type == "SPX" || type == "OGA" || type == "OPUS"; }
bool IsMusepackType(const std::string& type) { return type == "MPC" || type == "MP+" || type == "MPP"; }

// Reads a stream forwards in pieces of a fixed size. Need(at, n) brings the
// bytes at..at+n in (fewer at the end of the file) and returns how many of
// them there are.
class TForwardWindow {
public:
    TForwardWindow(TFileStream& stream, std::size_t size) : stream_(stream), size_(size) {}

    std::size_t Need(int64_t at, std::size_t count) { return buffer_.Need(stream_, at, count, size_); }
    const uint8_t* At(int64_t at) const { return buffer_.At(at); }
    int64_t End() const { return buffer_.End(); }

private:
    TFileStream& stream_;
    TForwardBuffer buffer_;
    std::size_t size_;
};

// A frame header at at whose frame fits before end; its length, or 0. The
// window holds the bytes at..at+4.
int64_t FrameAt(TForwardWindow& window, int64_t at, int64_t end) {
    if (at + 4 > end || window.Need(at, 4) < 4) return 0;
    const uint8_t* b = window.At(at);
    if (!mpegframe::IsFrameHeader(b[0], b[1], b[2], b[3])) return 0;
    FrameData frame;
    mpegframe::DecodeHeader(b, frame);
    const int64_t length = mpegframe::FrameLength(frame);
    return length >= 4 && at + length <= end ? length : 0;
}

} // namespace

TMpegVerifyResult VerifyMpegFrames(TFileStream& stream, int64_t audioStart, int64_t audioEnd, std::size_t windowBytes) {
    TMpegVerifyResult result;
    const int64_t fileSize = stream.Size();
    audioEnd = std::min(audioEnd, fileSize);
    if (audioStart < 0 || audioStart >= audioEnd) return result;
    TForwardWindow window(stream, std::max(windowBytes, 2 * kMpegFrameSpan));
    window.Need(audioStart, kMpegFrameSpan);
    const int64_t firstLength = FrameAt(window, audioStart, audioEnd);

    // The LAME music CRC covers the frames after the tag's own frame, up to
    // the music length the tag gives: its bytes are summed as the walk
    // passes over them, and after the walk up to that length.
    int64_t crcFrom = 0, crcTo = 0;
    uint16_t storedCrc = 0, crc = 0;
    if (firstLength > 0) {
        const uint8_t* first = window.At(audioStart);
        const uint8_t* frameEnd = first + firstLength;
        static constexpr char kMark[] = {'L', 'A', 'M', 'E'};
        const uint8_t* mark = std::search(first, frameEnd, std::begin(kMark), std::end(kMark));
        if (mark != frameEnd && frameEnd - mark >= static_cast<std::ptrdiff_t>(kLameTagBytes)) {
            TByteReader tag(mark + kLameMusicLengthAt, kLameTagBytes - kLameMusicLengthAt);
            const int64_t musicLength = tag.BE32();
            storedCrc = tag.BE16();
            if (musicLength > firstLength && audioStart + musicLength <= fileSize) {
                result.MusicCrcChecked = true;
                crcFrom = audioStart + firstLength;
                crcTo = audioStart + musicLength;
            }
        }
    }
    // Sums the bytes from..to of the window into the music CRC, where they
    // lie inside its range.
    auto sum = [&](int64_t from, int64_t to) {
        from = std::max(from, crcFrom);
        to = std::min(to, crcTo);
        if (from < to) crc = LameCRC16(window.At(from), static_cast<std::size_t>(to - from), crc);
    };

    // The frame chain: where it breaks, search on for a header whose next
    // frame follows in turn; the bytes passed over are one bad stretch.
    // Bytes after the last frame that lead to no frame (a cut last frame, an
    // unknown trailer) are no stretch inside the audio.
    int64_t at = audioStart;
    bool inStretch = false;
    while (at + 4 <= audioEnd) {
        window.Need(at, kMpegFrameSpan);   // the frame and the header after it
        const int64_t length = FrameAt(window, at, audioEnd);
        const bool chained = length > 0 && (!inStretch || FrameAt(window, at + length, audioEnd) > 0);
        if (chained) {
            if (inStretch) ++result.BadStretches;
            inStretch = false;
            sum(at, at + length);
            at += length;
            continue;
        }
        inStretch = true;
        sum(at, at + 1);
        ++at;
    }
    // The music length may reach beyond the last bytes the walk took.
    for (int64_t from = std::max(at, crcFrom); from < crcTo;) {
        const std::size_t got = window.Need(from, windowBytes);
        if (got == 0) break;
        const int64_t to = std::min(crcTo, from + static_cast<int64_t>(got));
        sum(from, to);
        from = to;
    }
    result.MusicCrcMatches = result.MusicCrcChecked && crc == storedCrc;
    return result;
}

int32_t VerifyOggPages(TFileStream& stream, std::size_t windowBytes) {
    TForwardWindow window(stream, std::max(windowBytes, 2 * kOggMaxPage));
    const int64_t size = stream.Size();
    int32_t bad = 0;
    int64_t at = 0;
    bool lost = false;
    while (at + 4 <= size) {
        // The longest page, or the rest of the file.
        const std::size_t got = window.Need(at, kOggMaxPage);
        const uint8_t* bytes = window.At(at);
        const int64_t length = OggPageLength(bytes, got);
        if (length > 0) {
            TOggPageHeader header;
            if (ParseOggPageHeader(bytes, static_cast<std::size_t>(length), 0, header) &&
                OggPageChecksum(bytes, static_cast<std::size_t>(length)) == header.Checksum) {
                lost = false;
                at += length;
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
        at += length > 0 ? length : 1;
    }
    return bad;
}

int32_t VerifyFlacFrames(TFileStream& stream, int64_t audioOffset, const uint8_t* streamInfo, std::size_t windowBytes) {
    const int32_t minBlock = (streamInfo[0] << 8) | streamInfo[1];
    const int32_t maxBlock = (streamInfo[2] << 8) | streamInfo[3];
    const int32_t fixedBlock = minBlock == maxBlock ? minBlock : maxBlock;
    const int64_t size = stream.Size();
    windowBytes = std::max(windowBytes, 4 * kFlacMaxHeader);
    TForwardWindow window(stream, windowBytes);
    int32_t bad = 0;
    int64_t expectedSample = 0;
    int64_t frameStart = -1;
    // The running CRC-16 of the frame so far, over the bytes before crcEnd:
    // each byte enters it once, however many false syncs the frame holds.
    // It is brought up to date before the window moves on.
    uint16_t crc = 0;
    int64_t crcEnd = 0;
    int64_t i = std::max<int64_t>(audioOffset, 0);
    while (i + 6 <= size) {
        // A run of the window in which every header can be read whole.
        const std::size_t got = window.Need(i, windowBytes);
        const int64_t runEnd = window.End() < size ? window.End() - static_cast<int64_t>(kFlacMaxHeader) : size - 5;
        for (; i < runEnd; ++i) {
            const uint8_t* here = window.At(i);
            const void* sync = std::memchr(here, 0xFF, static_cast<std::size_t>(runEnd - i));
            if (!sync) {
                i = runEnd;
                break;
            }
            i += static_cast<const uint8_t*>(sync) - here;
            TFlacFrameHeader header;
            const std::size_t available = static_cast<std::size_t>(window.End() - i);
            if (!ParseFlacFrameHeader(window.At(i), available, fixedBlock, header)) continue;
            if (header.FirstSample < expectedSample) continue;   // a false sync inside a frame
            if (frameStart >= 0) {
                // The frame before ends here: its CRC-16 closes over its bytes.
                crc = FlacCrc16(window.At(crcEnd), static_cast<std::size_t>(i - crcEnd), crc);
                crcEnd = i;
                if (crc != 0) {
                    // A false sync inside the frame: look further before judging.
                    if (header.FirstSample != expectedSample) continue;
                    ++bad;
                }
            }
            if (header.FirstSample > expectedSample && frameStart >= 0) ++bad;   // frames missing
            frameStart = i;
            crc = 0;
            crcEnd = i;
            expectedSample = header.FirstSample + header.BlockSize;
            i += header.Length - 1;
        }
        (void)got;
        if (i + 6 > size) break;
        // The window moves on to i: the frame's bytes so far enter its CRC.
        if (frameStart >= 0 && crcEnd < i) {
            crc = FlacCrc16(window.At(crcEnd), static_cast<std::size_t>(i - crcEnd), crc);
            crcEnd = i;
        }
    }
    return bad;
}

void VerifyItem(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    if (HasFinding(item.Health, THealthKind::NotRecognised) || HasFinding(item.Health, THealthKind::EmptyFile)) return;
    if (IsMpegType(item.FileType)) {
        TMPEGaudio& r = readers.MPEGaudio;
        if (!r.ReadFromStream(stream) || !r.Valid()) return;
        // The audio ends before the trailing tags: ID3v1 (with Lyrics3) and APE.
        const TMpegVerifyResult result = VerifyMpegFrames(stream, r.AudioStart(), r.AudioEnd() - r.APEBytes());
        if (result.BadStretches > 0) AddFinding(item.Health, DamagedFinding(result.BadStretches));
        if (result.MusicCrcChecked && !result.MusicCrcMatches)
            AddFinding(item.Health, Finding(THealthKind::AudioChanged));
    } else if (IsOggType(item.FileType)) {
        const int32_t bad = VerifyOggPages(stream);
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
        if (present < r.Samples())
            ApplyTruncation(item, static_cast<double>(present) / r.SampleRate(), kCanonicalWavHeaderBytes, true);
    } else if (item.FileType == "FLAC") {
        TFLACfile& r = readers.FLACfile;
        if (!r.ReadFromStream(stream) || !r.Valid()) return;
        constexpr std::size_t kStreamInfoAt = 8;
        const int32_t bad = VerifyFlacFrames(stream, r.AudioOffset(), r.Header().data() + kStreamInfoAt);
        if (bad > 0) AddFinding(item.Health, DamagedFinding(bad));
    } else if (IsMusepackType(item.FileType) && !IsMusepackSV8(stream)) {
        // Every frame's length, however far the stream runs.
        TMPEGplus& r = readers.MPEGplus;
        if (!r.ReadFromStream(stream) || !r.Valid() || !IsMusepackSV7(r)) return;
        CheckMusepackSV7Frames(r, stream, item, std::numeric_limits<int64_t>::max());
    }
}

void VerifyItem(TFormatReaders& readers, TAudioItem& item) {
    TFileStream stream(item.FullPath, TFileStream::Share::ReadWrite);
    VerifyItem(readers, stream, item);
}
