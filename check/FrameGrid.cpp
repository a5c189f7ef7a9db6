#include "check/FrameGrid.h"

#include "dsp/Mdct.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {
constexpr double kBandLowHz = 11000.0;
constexpr double kBandHighHz = 20000.0;
constexpr double kBandMarginHz = 500.0;   // under the Nyquist frequency, where resamplers roll off
// An offset is weighed against this many neighbours on each side.
constexpr std::size_t kNeighbours = 8;
// The median absolute deviation of normally scattered values times this is their standard deviation.
constexpr double kMadToDeviation = 1.4826;
}  // namespace

void AddTally(TGridTally& into, const TGridTally& more) {
    if (into.Tiny.empty()) {
        into = more;
        return;
    }
    if (more.Tiny.size() != into.Tiny.size()) return;
    for (std::size_t o = 0; o < into.Tiny.size(); ++o) into.Tiny[o] += more.Tiny[o];
    into.PerOffset += more.PerOffset;
}

double GridBandLowHz(int sampleRate) { return std::min(kBandLowHz, sampleRate / 4.0); }

TLineBand GridBand(std::size_t lines, int sampleRate) {
    if (sampleRate <= 0 || lines == 0) return {};
    const double nyquist = sampleRate / 2.0;
    const double hzPerLine = nyquist / static_cast<double>(lines);
    const double low = GridBandLowHz(sampleRate);
    const double high = std::min(kBandHighHz, nyquist - kBandMarginHz);
    if (high <= low) return {};
    TLineBand band;
    band.First = static_cast<std::size_t>(std::ceil(low / hzPerLine));
    band.Last = std::min(lines, static_cast<std::size_t>(high / hzPerLine));
    if (band.Last <= band.First) return {};
    return band;
}

TGridPeak FindGridPeak(const TGridTally& tally) {
    TGridPeak peak;
    const std::size_t offsets = tally.Tiny.size();
    if (offsets < 2 * kNeighbours + 1 || tally.PerOffset == 0) return peak;
    // Each offset against the median of its neighbours: the material makes the
    // counts wander slowly from offset to offset, a grid stands out at one.
    std::vector<double> excess(offsets);
    std::vector<double> background(offsets);
    std::array<std::uint32_t, 2 * kNeighbours> around{};
    for (std::size_t o = 0; o < offsets; ++o) {
        for (std::size_t j = 0; j < kNeighbours; ++j) {
            around[j] = tally.Tiny[(o + offsets - kNeighbours + j) % offsets];
            around[kNeighbours + j] = tally.Tiny[(o + 1 + j) % offsets];
        }
        std::nth_element(around.begin(), around.begin() + kNeighbours, around.end());
        background[o] = around[kNeighbours];
        excess[o] = static_cast<double>(tally.Tiny[o]) - background[o];
    }
    // The scatter of the excess over all offsets (the median absolute
    // deviation, scaled to a standard deviation); a grid's own offset hardly
    // moves it.
    std::vector<double> deviations(excess);
    const auto middle = deviations.begin() + static_cast<std::ptrdiff_t>(offsets / 2);
    std::nth_element(deviations.begin(), middle, deviations.end());
    const double centre = *middle;
    for (double& d : deviations) d = std::fabs(d - centre);
    std::nth_element(deviations.begin(), middle, deviations.end());
    const double spread = kMadToDeviation * *middle + 1.0;
    std::vector<double> scores(offsets);
    for (std::size_t o = 0; o < offsets; ++o) {
        // A count scatters at least by its square root, however calm its neighbours.
        scores[o] = excess[o] / std::max(spread, std::sqrt(background[o] + 1.0));
    }
    const std::size_t at = static_cast<std::size_t>(std::max_element(scores.begin(), scores.end()) - scores.begin());
    peak.Offset = static_cast<int>(at);
    const double bestScore = scores[at];
    for (std::size_t o = 0; o < offsets; ++o) {
        const std::size_t apart = std::min((o + offsets - at) % offsets, (at + offsets - o) % offsets);
        if (apart > kNeighbours && scores[o] >= bestScore / 2) ++peak.Echoes;
    }
    const double total = tally.PerOffset;
    peak.Share = tally.Tiny[at] / total;
    peak.OtherShare = background[at] / total;
    peak.Score = bestScore;
    return peak;
}

namespace {
// The tiny coefficients of the frames at offset, offset + N, ... in the band.
std::uint32_t TinyAt(const float* samples, std::size_t offset, std::size_t frames, TMdct& mdct,
                     const std::vector<float>& window, TLineBand band) {
    const std::size_t n = mdct.Coefficients();
    std::uint32_t tiny = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        const float* coefficients = mdct.Run(samples + offset + f * n, window.data());
        for (std::size_t k = band.First; k < band.Last; ++k)
            tiny += std::fabs(coefficients[k]) < kTinyCoefficient ? 1u : 0u;
    }
    return tiny;
}

// The band to look at, or an empty one when the samples, the window or the
// rate do not allow frames frames at every offset.
TLineBand TallyBand(std::size_t count, int sampleRate, const TMdct& mdct, const std::vector<float>& window,
                    int frames) {
    const std::size_t n = mdct.Coefficients();
    if (frames <= 0 || window.size() != 2 * n) return {};
    if (count < (static_cast<std::size_t>(frames) + 1) * n + n - 1) return {};
    return GridBand(n, sampleRate);
}
}  // namespace

double ExcessShareAt(const float* samples, std::size_t count, int sampleRate, TMdct& mdct,
                     const std::vector<float>& window, int frames, int offset) {
    const std::size_t n = mdct.Coefficients();
    const TLineBand band = TallyBand(count, sampleRate, mdct, window, frames);
    if (band.Last <= band.First || offset < 0 || static_cast<std::size_t>(offset) >= n) return 0;
    const std::size_t frameCount = static_cast<std::size_t>(frames);
    const std::size_t at = static_cast<std::size_t>(offset);
    std::array<std::uint32_t, 2 * kNeighbours> around{};
    for (std::size_t j = 0; j < kNeighbours; ++j) {
        around[j] = TinyAt(samples, (at + n - kNeighbours + j) % n, frameCount, mdct, window, band);
        around[kNeighbours + j] = TinyAt(samples, (at + 1 + j) % n, frameCount, mdct, window, band);
    }
    std::nth_element(around.begin(), around.begin() + kNeighbours, around.end());
    const double total = static_cast<double>(frameCount * (band.Last - band.First));
    return (static_cast<double>(TinyAt(samples, at, frameCount, mdct, window, band)) - around[kNeighbours]) / total;
}

TGridTally MdctGridTally(const float* samples, std::size_t count, int sampleRate, TMdct& mdct,
                         const std::vector<float>& window, int frames) {
    TGridTally tally;
    const TLineBand band = TallyBand(count, sampleRate, mdct, window, frames);
    if (band.Last <= band.First) return tally;
    const std::size_t n = mdct.Coefficients();
    const std::size_t frameCount = static_cast<std::size_t>(frames);
    tally.Tiny.resize(n);
    tally.PerOffset = static_cast<std::uint32_t>(frameCount * (band.Last - band.First));
    for (std::size_t o = 0; o < n; ++o) tally.Tiny[o] = TinyAt(samples, o, frameCount, mdct, window, band);
    return tally;
}
