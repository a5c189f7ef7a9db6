#include "check/Cutoff.h"

#include "dsp/Welch.h"

#include <algorithm>
#include <cmath>

namespace {

// The search works on bands of 100 Hz: narrow enough to place a lowpass
// within a band or two, wide enough to average the bins' scatter.
constexpr double kBandHz = 100.0;
// The reference level under a candidate cliff: the median of this many Hz below it.
constexpr double kBelowHz = 1000.0;
// The fall has to happen within this width (a lossy encoder's lowpass
// transition is a few hundred Hz wide; a natural roll-off is far wider).
constexpr double kTransitionHz = 600.0;
// Below this level a band counts as silent (a full-scale sine is 0 dB; 16-bit
// dither over a 100 Hz band sits far above it).
constexpr double kSilenceDb = -160.0;
// No cliff is looked for below this frequency: low-pass filtered speech and
// the like are not lossy transcodes we could tell apart.
constexpr double kLowestCutoffHz = 3000.0;
// How far the two bands under a cliff may lie below the level under it (the
// scatter of 100 Hz bands of a long-term spectrum is a few dB).
constexpr double kPlateauDb = 6.0;

double Median(std::vector<double> values) {
    if (values.empty()) return kSilenceDb;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

std::vector<double> BandLevels(const std::vector<double>& power, double sampleRate, double bandHz) {
    std::vector<double> levels;
    if (power.size() < 2 || !(sampleRate > 0) || !(bandHz > 0)) return levels;
    const double binHz = sampleRate / (2.0 * static_cast<double>(power.size() - 1));
    const double nyquist = sampleRate / 2.0;
    const std::size_t bands = static_cast<std::size_t>(std::floor(nyquist / bandHz));
    for (std::size_t band = 0; band < bands; ++band) {
        const std::size_t first = static_cast<std::size_t>(std::ceil(static_cast<double>(band) * bandHz / binHz));
        const std::size_t last = std::min(power.size(),
                                          static_cast<std::size_t>(std::ceil(static_cast<double>(band + 1) * bandHz / binHz)));
        double sum = 0;
        std::size_t count = 0;
        for (std::size_t k = first; k < last; ++k) {
            if (!std::isfinite(power[k])) continue;
            sum += power[k];
            ++count;
        }
        levels.push_back(PowerToDb(count > 0 ? sum / static_cast<double>(count) : 0.0));
    }
    return levels;
}

double QuantisationFloorDb(int bits, std::size_t windowSize) {
    if (bits <= 0 || windowSize == 0) return kSilenceDb;
    const double step = std::ldexp(1.0, 1 - bits);
    const double variance = step * step / 12.0;
    // A window w gives white noise the power variance * sum(w^2) per bin,
    // 3N/8 for Hann; the spectrum scales by 16 / N^2.
    return PowerToDb(variance * 6.0 / static_cast<double>(windowSize));
}

TCutoffFinding FindCutoff(const std::vector<double>& power, double sampleRate, double floorDb) {
    TCutoffFinding finding;
    finding.FloorDb = floorDb;
    const std::vector<double> levels = BandLevels(power, sampleRate, kBandHz);
    const std::size_t bands = levels.size();
    const std::size_t below = static_cast<std::size_t>(kBelowHz / kBandHz);
    const std::size_t transition = static_cast<std::size_t>(kTransitionHz / kBandHz);
    const std::size_t lowest = std::max(below, static_cast<std::size_t>(kLowestCutoffHz / kBandHz));
    finding.TopHz = static_cast<double>(bands) * kBandHz;
    for (std::size_t i = bands; i-- > 0;) {
        if (levels[i] > kSilenceDb && levels[i] > floorDb + kFloorMarginDb) {
            finding.ContentHz = static_cast<double>(i + 1) * kBandHz;
            break;
        }
    }
    // Too narrow a spectrum (a low sample rate) leaves no room for a cliff
    // above the lowest cutoff searched.
    if (bands < lowest + transition + 2) {
        finding.Silent = std::all_of(levels.begin(), levels.end(), [](double l) { return l <= kSilenceDb; });
        return finding;
    }
    // The band at the top stays out: a steep anti-alias filter often lets its level dip there.
    const std::size_t end = bands - 1;
    // maxAbove[i]: the highest level from band i to the top.
    std::vector<double> maxAbove(bands + 1, -1e9);
    for (std::size_t i = end; i-- > 0;) maxAbove[i] = std::max(maxAbove[i + 1], levels[i]);
    if (maxAbove[1] <= kSilenceDb) {
        finding.Silent = true;
        return finding;
    }
    // From the top down, the first band i where the level under it stands
    // kCliffDropDb above everything from i + transition to the top.
    for (std::size_t i = end - transition; i-- > lowest;) {
        const double pass = Median(std::vector<double>(levels.begin() + static_cast<std::ptrdiff_t>(i - below),
                                                       levels.begin() + static_cast<std::ptrdiff_t>(i)));
        if (pass <= kSilenceDb) continue;
        // The fall starts at i: the level just under it still stands near the
        // level under the cliff, so a slow roll-off is not measured from half way down.
        if (std::max(levels[i - 1], levels[i - 2]) < pass - kPlateauDb) continue;
        if (pass - maxAbove[i + transition] < kCliffDropDb) continue;
        // The level under the cliff, from the stretch wholly below the window
        // that found it; the cutoff: the last band, going up from there, still
        // within kCutoffDropDb of it.
        const std::size_t from = i >= 2 * below ? i - 2 * below : 0;
        const double reference = Median(std::vector<double>(levels.begin() + static_cast<std::ptrdiff_t>(from),
                                                            levels.begin() + static_cast<std::ptrdiff_t>(i - below)));
        std::size_t edge = i - below;
        while (edge + 1 < end && levels[edge + 1] >= reference - kCutoffDropDb) ++edge;
        const std::size_t stopFrom = std::min(edge + 1 + transition, end - 1);
        const double stop = Median(std::vector<double>(levels.begin() + static_cast<std::ptrdiff_t>(stopFrom),
                                                       levels.begin() + static_cast<std::ptrdiff_t>(end)));
        finding.Found = true;
        finding.CutoffHz = static_cast<double>(edge + 1) * kBandHz;
        finding.PassDb = reference;
        finding.StopDb = stop;
        finding.ReachesFloor = stop <= floorDb + kFloorMarginDb;
        finding.TopHz = finding.CutoffHz;
        return finding;
    }
    // No cliff: the top of the content is the highest band that stands out of
    // silence and within twice kCliffDropDb of the median level from 3 kHz up.
    const double median = Median(std::vector<double>(levels.begin() + static_cast<std::ptrdiff_t>(lowest),
                                                     levels.begin() + static_cast<std::ptrdiff_t>(end)));
    for (std::size_t i = end + 1; i-- > lowest;) {
        if (levels[i] > kSilenceDb && levels[i] >= median - 2 * kCliffDropDb) {
            finding.TopHz = static_cast<double>(i + 1) * kBandHz;
            break;
        }
    }
    return finding;
}
