// Feeds each input to the health checks and the verify passes, as FLAC, Ogg,
// TTA, MPEG, Monkey's Audio and Musepack bytes: the tail reads, the seek
// tables, the frame and page walks, the CRCs.
#include "FuzzSupport.h"
#include "core/HealthChecks.h"
#include "core/Verify.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteFuzzInput(data, size, ".bin");
    TFileStream stream(path);
    // STREAMINFO from the input's first bytes when there are enough.
    uint8_t streamInfo[34] = {};
    for (std::size_t i = 0; i < sizeof streamInfo && i < size; ++i) streamInfo[i] = data[i];
    const int64_t offset = size > 42 ? 42 : 0;
    volatile int64_t sink = FlacSamplesPresent(stream, offset, std::span<const uint8_t>(streamInfo, sizeof streamInfo));
    const TOggTail tail = ReadOggTail(stream);
    sink = sink + tail.Granule + tail.BadPages + tail.CutPage + tail.EndOfStream;
    // A TTA header's rate and sample count from the input, its table after it.
    const int64_t rate = size > 14 ? int64_t(data[10]) | int64_t(data[11]) << 8 | int64_t(data[12]) << 16 : 0;
    const int64_t samples = size > 18 ? int64_t(data[14]) | int64_t(data[15]) << 8 | int64_t(data[16]) << 16 |
                                            int64_t(data[17]) << 24
                                      : 0;
    sink = sink + TtaSamplesPresent(stream, 0, samples, rate, static_cast<int64_t>(size));
    // The verify passes through small windows, so that frames and pages
    // straddle them.
    constexpr std::size_t kWindow = 4096;
    const TMpegVerifyResult mpeg = VerifyMpegFrames(stream, 0, static_cast<int64_t>(size), kWindow);
    sink = sink + mpeg.BadStretches + mpeg.MusicCrcChecked + mpeg.MusicCrcMatches;
    sink = sink + VerifyOggPages(stream, kWindow) + VerifyFlacFrames(stream, offset, streamInfo, kWindow);
    // A Monkey's Audio layout and an SV7 frame walk from the input's words.
    TMonkeyLayout layout;
    layout.Known = true;
    layout.SeekTableAt = size > 8 ? data[8] : 0;
    layout.SeekTableBytes = size > 9 ? data[9] * 4u : 0;
    layout.FramesAt = size > 10 ? data[10] : 0;
    layout.FrameDataBytes = size > 11 ? uint64_t{data[11]} << (size > 12 ? data[12] % 40 : 0) : 0;
    layout.BlocksPerFrame = 4096;
    layout.TotalFrames = size > 13 ? data[13] : 0;
    sink = sink + MonkeySamplesPresent(stream, layout, static_cast<int64_t>(size));
    sink = sink + MusepackSV7FramesPresent(stream, 0, samples, static_cast<int64_t>(size), 64 * 1024);
    (void)sink;
    return 0;
}
