#include "check/SampleStats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

TSampleStats::TSampleStats(int channels, int fileBits)
    : FileBits(std::clamp(fileBits, 0, 32)),
      Top(std::numeric_limits<int32_t>::max()),
      Bottom(std::numeric_limits<int32_t>::min()),
      RunLengths(static_cast<std::size_t>(std::max(channels, 0))) {
    if (FileBits > 0 && FileBits < 32) {
        // The largest FileBits-bit value, moved to the top: 32767 << 16 for 16 bits.
        Top = static_cast<int32_t>(((uint32_t{1} << (FileBits - 1)) - 1) << (32 - FileBits));
    }
}

void TSampleStats::Step(int channel, bool atFullScale) {
    std::size_t& run = RunLengths[static_cast<std::size_t>(channel)];
    if (atFullScale) {
        ++run;
        return;
    }
    if (run >= kClipRun) {
        ++Clip.Runs;
        Clip.Samples += run;
    }
    run = 0;
}

void TSampleStats::AddInt(int channel, const int32_t* samples, std::size_t count) {
    if (channel < 0 || static_cast<std::size_t>(channel) >= RunLengths.size()) return;
    uint32_t mask = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int32_t value = samples[i];
        mask |= static_cast<uint32_t>(value);
        Step(channel, value >= Top || value == Bottom);
    }
    UsedMask |= mask;
}

void TSampleStats::AddFloat(int channel, const float* samples, std::size_t count) {
    if (channel < 0 || static_cast<std::size_t>(channel) >= RunLengths.size()) return;
    for (std::size_t i = 0; i < count; ++i) {
        const float value = samples[i];
        // NaN is not full scale; infinities are.
        Step(channel, std::fabs(value) >= 1.0f);
    }
}

TBitDepthFinding TSampleStats::BitDepth() const {
    TBitDepthFinding finding;
    finding.FileBits = FileBits;
    if (FileBits > 0 && UsedMask != 0) finding.UsedBits = 32 - std::countr_zero(UsedMask);
    return finding;
}

TClippingFinding TSampleStats::Clipping() const {
    TClippingFinding clip = Clip;
    for (std::size_t run : RunLengths) {
        if (run < kClipRun) continue;
        ++clip.Runs;
        clip.Samples += run;
    }
    return clip;
}
