#include "check/Occupancy.h"

#include "dsp/Welch.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kReferenceFromHz = 11000.0;
constexpr double kReferenceToHz = 15500.0;
// A loud window's spectrum reaches kFirstHz: the 500 Hz under it stand within
// this of the reference band. A sine sweep's window at 12 kHz has nothing
// above 12 kHz, and says nothing about where an encoder cut.
constexpr double kReachesDb = 30.0;
constexpr double kReachesHz = 500.0;
constexpr double kSteadyShare = 0.90;
}  // namespace

TBandOccupancy::TBandOccupancy(double sampleRate, std::size_t bins)
    : BinHz(bins > 1 && sampleRate > 0 ? sampleRate / (2.0 * static_cast<double>(bins - 1)) : 0.0) {
    if (!(BinHz > 0)) return;
    // Whole bands under the Nyquist frequency, less one bin: a steep
    // anti-alias filter often lets the level dip in the last few bins.
    const double top = std::min(kLastHz, sampleRate / 2.0 - BinHz);
    if (top > kFirstHz) Bands = std::min(kMaxBands, static_cast<std::size_t>((top - kFirstHz) / kBandHz));
    Counts.assign(Bands, {});
}

double TBandOccupancy::LevelDb(const std::vector<double>& power, double fromHz, double toHz) const {
    return MeanPowerDb(power, BinHz, fromHz, toHz);
}

void TBandOccupancy::AddWindow(const std::vector<double>& power) {
    if (Bands == 0) return;
    const double reference = LevelDb(power, kReferenceFromHz, kReferenceToHz);
    if (!(reference >= kLoudDb)) return;
    if (!(LevelDb(power, kFirstHz - kReachesHz, kFirstHz) >= reference - kReachesDb)) return;
    ++Loud;
    double highest = kLowestDb;
    for (std::size_t b = Bands; b-- > 0;) {
        const double from = kFirstHz + static_cast<double>(b) * kBandHz;
        const double level = LevelDb(power, from, from + kBandHz);
        if (level > highest) highest = level;   // NaN never raises it
        const double step = std::clamp(std::floor(highest - kLowestDb), 0.0, static_cast<double>(kLevels - 1));
        ++Counts[b][static_cast<std::size_t>(step)];
    }
}

TOccupancyFinding TBandOccupancy::Finding(double floorDb) const {
    TOccupancyFinding finding;
    finding.LoudWindows = Loud;
    if (Loud < kFewestWindows) return finding;
    // The share of loud windows whose highest level from band b up is below level.
    const auto shareBelow = [&](std::size_t b, double level) {
        const double steps = std::clamp(std::ceil(level - kLowestDb), 0.0, static_cast<double>(kLevels));
        uint64_t count = 0;
        for (std::size_t q = 0; q < static_cast<std::size_t>(steps); ++q) count += Counts[b][q];
        return static_cast<double>(count) / static_cast<double>(Loud);
    };
    const double empty = floorDb + kEmptyDb;
    const std::size_t gap = static_cast<std::size_t>(kSwitchedGapHz / kBandHz);
    for (std::size_t b = 0; b < Bands; ++b) {
        if (shareBelow(b, empty) >= kSteadyShare) {
            finding.SteadyEdgeHz = kFirstHz + static_cast<double>(b) * kBandHz;
            break;
        }
    }
    // The edge named: the lowest band whose shares meet the first pair of
    // kSwitched that any band meets. The full windows are counted from
    // kSwitchedGapHz above the edge: a fixed filter's slope lets the loudest
    // windows through just above its edge, never farther.
    const std::size_t lowestSwitched = static_cast<std::size_t>((kSwitchedFromHz - kFirstHz) / kBandHz);
    const std::size_t near = static_cast<std::size_t>(kSwitchedNearHz / kBandHz);   // not above lowestSwitched
    for (const TSwitchedShares& shares : kSwitched) {
        for (std::size_t b = lowestSwitched; b + gap < Bands && finding.SwitchedEdgeHz == 0; ++b) {
            // Windows empty above b whose content reaches kSwitchedNearHz under it.
            const double emptyShare = shareBelow(b, empty) - shareBelow(b - near, empty);
            const double fullShare = 1.0 - shareBelow(b + gap, floorDb + kPresentDb);
            if (emptyShare < shares.Empty || fullShare < shares.Full) continue;
            finding.SwitchedEdgeHz = kFirstHz + static_cast<double>(b) * kBandHz;
            finding.EmptyAboveSwitchedEdge = emptyShare;
            finding.FullAboveSwitchedEdge = fullShare;
        }
    }
    return finding;
}
