#include "check/MpegFilterbank.h"

#include "check/MpegWindow.h"

#include <array>
#include <cmath>
#include <numbers>

namespace {

// The window repeats its modulation every 64 taps: tap n of band k is
// multiplied by cos((16 + n mod 64)(2k + 1) pi / 64).
constexpr std::size_t kPeriod = 64;

struct TModulation {
    std::array<std::array<double, kPeriod>, kMpegSubbands> Cos{};
    TModulation() {
        for (std::size_t k = 0; k < kMpegSubbands; ++k)
            for (std::size_t i = 0; i < kPeriod; ++i)
                Cos[k][i] = std::cos(static_cast<double>((16 + i) * (2 * k + 1)) * std::numbers::pi / 64.0);
    }
};

const TModulation& Modulation() {
    static const TModulation modulation;
    return modulation;
}

}  // namespace

void MpegAnalyseSlot(const double* x, double* subbands, std::size_t firstBand, std::size_t lastBand) {
    // Fold the windowed taps onto one modulation period, then modulate.
    std::array<double, kPeriod> folded{};
    for (std::size_t n = 0; n < kMpegWindowTaps; ++n) folded[n % kPeriod] += kMpegSynthesisWindow[n] * x[n];
    const TModulation& m = Modulation();
    for (std::size_t k = firstBand; k <= lastBand && k < kMpegSubbands; ++k) {
        double sum = 0;
        for (std::size_t i = 0; i < kPeriod; ++i) sum += m.Cos[k][i] * folded[i];
        subbands[k] = sum / static_cast<double>(kMpegSubbands);
    }
}

void MpegSynthesiseSlot(const double* subbands, double* y) {
    const TModulation& m = Modulation();
    std::array<double, kPeriod> period{};
    for (std::size_t k = 0; k < kMpegSubbands; ++k)
        for (std::size_t i = 0; i < kPeriod; ++i) period[i] += m.Cos[k][i] * subbands[k];
    for (std::size_t n = 0; n < kMpegWindowTaps; ++n) y[n] += kMpegSynthesisWindow[n] * period[n % kPeriod];
}
