#include "check/Holes.h"

#include "dsp/Welch.h"

#include <algorithm>
#include <cmath>

namespace {
// The reference band under 16 kHz, and how loud it must be for a window to count.
constexpr double kReferenceFromHz = 11000.0;
constexpr double kReferenceToHz = 15500.0;
constexpr double kBusyDb = -80.0;
// A busy window's spectrum reaches 16 kHz: the band under it stands within this
// of the reference band. A sine sweep's window at 12 kHz has nothing above it,
// and it is no hole.
constexpr double kReachesDb = 30.0;
// A band this far below the reference band is a hole.
constexpr double kHoleDropDb = 45.0;
// The share of busy windows with a hole that makes the finding, and the
// fewest busy windows it needs.
constexpr double kHoleFraction = 0.15;
constexpr std::size_t kFewestBusyWindows = 20;
// A band's long-term level must stand this far above the quantisation floor.
constexpr double kAboveFloorDb = 20.0;
}  // namespace

THoleCounter::THoleCounter(double sampleRate, std::size_t bins)
    : BinHz(bins > 1 ? sampleRate / (2.0 * static_cast<double>(bins - 1)) : 1.0), Nyquist(sampleRate / 2.0) {}

double THoleCounter::LevelDb(const std::vector<double>& power, double fromHz, double toHz) const {
    return MeanPowerDb(power, BinHz, fromHz, toHz);
}

void THoleCounter::AddWindow(const std::vector<double>& power) {
    if (Nyquist < kFirstHz + kBandHz) return;
    const double reference = LevelDb(power, kReferenceFromHz, kReferenceToHz);
    if (reference < kBusyDb) return;
    if (LevelDb(power, kFirstHz - kBandHz, kFirstHz) < reference - kReachesDb) return;
    ++Busy;
    for (std::size_t band = 0; band < kBands; ++band) {
        const double from = kFirstHz + static_cast<double>(band) * kBandHz;
        if (from + kBandHz > Nyquist) break;
        if (LevelDb(power, from, from + kBandHz) < reference - kHoleDropDb) ++Holes[band];
    }
}

THolesFinding THoleCounter::Finding(double topHz, const std::vector<double>& power, double floorDb) const {
    THolesFinding finding;
    finding.BusyWindows = Busy;
    if (Busy < kFewestBusyWindows) return finding;
    for (std::size_t band = 0; band < kBands; ++band) {
        const double from = kFirstHz + static_cast<double>(band) * kBandHz;
        if (from + kBandHz > topHz) break;   // above the content there is nothing to have holes in
        if (LevelDb(power, from, from + kBandHz) < floorDb + kAboveFloorDb) continue;
        const double fraction = static_cast<double>(Holes[band]) / static_cast<double>(Busy);
        if (fraction >= kHoleFraction) {
            finding.Found = true;
            finding.FromHz = from;
            finding.Fraction = fraction;
            return finding;
        }
    }
    return finding;
}
