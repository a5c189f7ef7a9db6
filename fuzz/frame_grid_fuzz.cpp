// The frame-grid probe on any samples: the first bytes choose the rate, the
// channels and the length the container claims; the rest, repeated, become
// float samples long enough for every stretch to be analysed. The finding's
// numbers must stay in range.
#include "check/FrameGridProbe.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {
const int kRates[] = {8000, 22050, 32000, 44100, 48000, 96000, 1, 0};
const double kLengths[] = {0, 1, 10239, 20000, 60000, 1e12, 1e300, std::numeric_limits<double>::quiet_NaN()};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    const int rate = kRates[data[0] % 8];
    const int channels = data[1] % 4;
    const double length = kLengths[data[2] % 8];
    const std::size_t frames = 1000 + static_cast<std::size_t>(data[3]) * 100;   // up to 26,500
    const std::size_t blockFrames = 1 + static_cast<std::size_t>(data[4]) * 64;
    data += 5;
    size -= 5;
    TFrameGridProbe probe(rate, channels, length);
    std::size_t at = 0;   // byte position in the repeated input
    for (std::size_t done = 0; done < frames;) {
        TPcmBlock block;
        block.Channels = channels;
        block.Frames = std::min(blockFrames, frames - done);
        block.Samples.assign(static_cast<std::size_t>(channels), std::vector<float>(block.Frames));
        for (std::size_t i = 0; i < block.Frames; ++i)
            for (auto& channel : block.Samples) {
                uint8_t bytes[4];
                for (uint8_t& b : bytes) b = data[at++ % size];
                std::memcpy(&channel[i], bytes, 4);
            }
        probe.Add(block);
        done += block.Frames;
    }
    probe.Finish();
    const TGridFinding& found = probe.Finding();
    const TGridPeak& peak = found.Peak;
    if (peak.Offset < -1 || peak.Offset >= 1024) __builtin_trap();
    if (!(peak.Share >= 0 && peak.Share <= 1) || !(peak.OtherShare >= 0 && peak.OtherShare <= 1)) __builtin_trap();
    if (!std::isfinite(peak.Score)) __builtin_trap();
    if (found.Stretches > TFrameGridProbe::kStretches) __builtin_trap();
    return 0;
}
