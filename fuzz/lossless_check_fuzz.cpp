// TLosslessAnalyser on any samples: the bytes become the stream's facts and
// its float and integer samples (NaN, infinities, silence, a single sample
// included); the check must give a verdict with finite numbers.
#include "check/LosslessCheck.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
const int kRates[] = {8000, 22050, 44100, 48000, 88200, 96000, 192000, 1};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    TStreamInfo stream;
    stream.Channels = 1 + data[0] % 4;
    stream.SampleRate = kRates[(data[0] >> 2) % 8];
    stream.IntegerSamples = (data[1] & 1) != 0;
    stream.BitsPerSample = stream.IntegerSamples ? 8 + data[1] % 25 : 0;
    data += 2;
    size -= 2;
    TLosslessAnalyser analyser(stream);
    // Blocks of up to 3,000 frames, the samples taken four bytes at a time.
    const std::size_t frameBytes = 4 * static_cast<std::size_t>(stream.Channels);
    while (size >= frameBytes) {
        TPcmBlock block;
        block.Channels = stream.Channels;
        block.Frames = std::min<std::size_t>(size / frameBytes, 3000);
        block.Samples.assign(static_cast<std::size_t>(stream.Channels), std::vector<float>(block.Frames));
        if (stream.IntegerSamples)
            block.IntSamples.assign(static_cast<std::size_t>(stream.Channels), std::vector<int32_t>(block.Frames));
        for (std::size_t i = 0; i < block.Frames; ++i) {
            for (int c = 0; c < stream.Channels; ++c) {
                uint32_t bits;
                std::memcpy(&bits, data, 4);
                data += 4;
                size -= 4;
                if (stream.IntegerSamples) {
                    const int32_t value = static_cast<int32_t>(bits);
                    block.IntSamples[c][i] = value;
                    block.Samples[c][i] = static_cast<float>(value) / 2147483648.0f;
                } else {
                    std::memcpy(&block.Samples[c][i], &bits, 4);
                }
            }
        }
        analyser.Add(block);
    }
    const TLosslessReport report = analyser.Finish();
    if (report.Text.empty() || !std::isfinite(report.Cutoff.CutoffHz) || !std::isfinite(report.Cutoff.TopHz) ||
        report.Cutoff.CutoffHz < 0 || report.Cutoff.CutoffHz > stream.SampleRate)
        __builtin_trap();
    // The per-window edges lie in the band, their shares between 0 and 1.
    const TOccupancyFinding& occupancy = report.Occupancy;
    for (const double edge : {occupancy.SteadyEdgeHz, occupancy.SwitchedEdgeHz, report.LossyCutoffHz})
        if (!std::isfinite(edge) || edge < 0 || edge > stream.SampleRate) __builtin_trap();
    for (const double share : {occupancy.EmptyAboveSwitchedEdge, occupancy.FullAboveSwitchedEdge})
        if (!(share >= 0 && share <= 1)) __builtin_trap();
    return 0;
}
