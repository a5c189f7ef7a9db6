#include "check/Mp3Grid.h"

#include "check/FrameGrid.h"
#include "check/MpegFilterbank.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr std::size_t kSlotsPerGranule = 18;                          // band samples per granule
constexpr std::size_t kBlockSlots = 2 * kSlotsPerGranule;            // one MDCT window
constexpr std::size_t kAlignments = kSlotsPerGranule;                // granule starts within 18 slots
constexpr std::size_t kLines = kMpegSubbands * kSlotsPerGranule;     // 576
constexpr std::size_t kMostGranules = 64;

// 16-bit rounding noise (1/32768 / sqrt(12) per sample) comes out of the
// polyphase analysis 1/sqrt(32) as large per band sample, and out of the
// MDCT below (scaled by 1/9, so that the decoder's unscaled inverse gives the
// band samples back) 1/3 as large again.
const double kNoiseLine = 1.0 / 32768.0 / std::sqrt(12.0) / std::sqrt(32.0) / 3.0;
// A tiny line: one quantised to zero, plus rounding noise.
const double kTiny = 2.0 * kNoiseLine;
// A band of a granule carries content where the mean power of its lines
// stands 18 dB above that noise; a quiet band is tiny at every offset.
const double kContentPower = (8.0 * kNoiseLine) * (8.0 * kNoiseLine);

// The band looked at, in Hz (from GridBandLowHz up).
constexpr double kBandToHz = 20000.0;
constexpr double kBelowNyquistHz = 500.0;

// The alias-reduction coefficients of Layer III; the decoder rotates each
// pair of lines across a band border by (cs, ca), the encoder by the inverse.
constexpr std::array<double, 8> kAliasC{-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

struct TTables {
    // The MDCT of one band, 18 lines from 36 band samples: the sine window
    // (for odd bands with every other sample negated: the decoder negates
    // them, the encoder undoes it first), then a fold to 18 values and a
    // DCT-IV. Scaled by 1/9, so that the decoder's unscaled inverse gives the
    // band samples back.
    std::array<std::array<double, kBlockSlots>, 2> Window{};
    std::array<std::array<double, kSlotsPerGranule>, kSlotsPerGranule> Dct4{};
    std::array<double, 8> Cs{}, Ca{};
    TTables() {
        for (std::size_t i = 0; i < kBlockSlots; ++i) {
            Window[0][i] = std::sin(std::numbers::pi / 36.0 * (static_cast<double>(i) + 0.5)) / 9.0;
            Window[1][i] = (i % 2 ? -1.0 : 1.0) * Window[0][i];
        }
        for (std::size_t k = 0; k < kSlotsPerGranule; ++k)
            for (std::size_t n = 0; n < kSlotsPerGranule; ++n)
                Dct4[k][n] = std::cos(std::numbers::pi / 18.0 * (static_cast<double>(n) + 0.5) * (static_cast<double>(k) + 0.5));
        for (std::size_t i = 0; i < 8; ++i) {
            const double norm = std::sqrt(1.0 + kAliasC[i] * kAliasC[i]);
            Cs[i] = 1.0 / norm;
            Ca[i] = kAliasC[i] / norm;
        }
    }
};

const TTables& Tables() {
    static const TTables tables;
    return tables;
}

// The samples a run of `granules` granules needs at every offset: 32 phases,
// 18 alignments, granules + 1 MDCT windows of band samples.
std::size_t SlotsFor(std::size_t granules) { return kSlotsPerGranule * (granules + 1) + kAlignments - 1; }
std::size_t SamplesFor(std::size_t granules) {
    return kMpegSubbands * (SlotsFor(granules) - 1) + (kMpegSubbands - 1) + kMpegWindowTaps;
}

}  // namespace

TMp3GridShares Mp3GridTinyShares(const float* samples, std::size_t count, int sampleRate, int granules,
                                  std::size_t firstSample) {
    TMp3GridShares result;
    if (samples == nullptr || sampleRate <= 0 || granules < 1) return result;
    std::size_t g = std::min<std::size_t>(static_cast<std::size_t>(granules), kMostGranules);
    while (g >= 2 && SamplesFor(g) > count) --g;
    if (g < 2) return result;

    // The band's lines: line l of a granule sits at (l + 1/2) rate / 1152.
    const double rate = sampleRate;
    const double nyquist = rate / 2.0;
    const double fromHz = GridBandLowHz(sampleRate);
    const double toHz = std::min(kBandToHz, nyquist - kBelowNyquistHz);
    const double lineHz = rate / (2.0 * static_cast<double>(kLines));
    std::size_t firstLine = kLines, lastLine = 0;
    for (std::size_t l = 0; l < kLines; ++l) {
        const double hz = (static_cast<double>(l) + 0.5) * lineHz;
        if (hz > fromHz && hz < toHz) {
            firstLine = std::min(firstLine, l);
            lastLine = l;
        }
    }
    if (firstLine > lastLine) return result;
    // The bands those lines lie in, and their neighbours for the butterflies.
    const std::size_t firstBand = firstLine / kSlotsPerGranule > 0 ? firstLine / kSlotsPerGranule - 1 : 0;
    const std::size_t lastBand = std::min(lastLine / kSlotsPerGranule + 1, kMpegSubbands - 1);

    std::vector<double> x(SamplesFor(g));
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::isfinite(samples[i]) ? samples[i] : 0.0;

    const TTables& tables = Tables();
    const std::size_t slots = SlotsFor(g);
    const std::size_t shift = firstSample % kMp3GranuleSamples;
    result.Tiny.assign(kMp3GranuleSamples, 0);
    result.Counted.assign(kMp3GranuleSamples, 0);
    std::vector<double> band(slots * kMpegSubbands);
    std::array<std::array<double, kSlotsPerGranule>, kMpegSubbands> coefficients{};

    for (std::size_t phase = 0; phase < kMpegSubbands; ++phase) {
        for (std::size_t t = 0; t < slots; ++t)
            MpegAnalyseSlot(x.data() + phase + kMpegSubbands * t, band.data() + kMpegSubbands * t, firstBand, lastBand);
        for (std::size_t align = 0; align < kAlignments; ++align) {
            const std::size_t offset = (phase + kMpegSubbands * align + shift) % kMp3GranuleSamples;
            for (std::size_t granule = 0; granule < g; ++granule) {
                const double* block = band.data() + kMpegSubbands * (align + kSlotsPerGranule * granule);
                for (std::size_t sb = firstBand; sb <= lastBand; ++sb) {
                    const auto& window = tables.Window[sb % 2];
                    double z[kBlockSlots];
                    for (std::size_t i = 0; i < kBlockSlots; ++i) z[i] = window[i] * block[kMpegSubbands * i + sb];
                    // The windowed quarters a b c d fold to (-c reversed - d, a - b reversed).
                    double folded[kSlotsPerGranule];
                    for (std::size_t n = 0; n < 9; ++n) {
                        folded[n] = -z[26 - n] - z[27 + n];
                        folded[n + 9] = z[n] - z[17 - n];
                    }
                    for (std::size_t k = 0; k < kSlotsPerGranule; ++k) {
                        double sum = 0;
                        for (std::size_t n = 0; n < kSlotsPerGranule; ++n) sum += tables.Dct4[k][n] * folded[n];
                        coefficients[sb][k] = sum;
                    }
                }
                for (std::size_t sb = firstBand; sb < lastBand; ++sb)
                    for (std::size_t i = 0; i < 8; ++i) {
                        const double lower = coefficients[sb][kSlotsPerGranule - 1 - i];
                        const double upper = coefficients[sb + 1][i];
                        coefficients[sb][kSlotsPerGranule - 1 - i] = lower * tables.Cs[i] + upper * tables.Ca[i];
                        coefficients[sb + 1][i] = upper * tables.Cs[i] - lower * tables.Ca[i];
                    }
                // Each band's lines within [firstLine, lastLine] count where
                // the band carries content in this granule at this offset.
                for (std::size_t sb = firstLine / kSlotsPerGranule; sb <= lastLine / kSlotsPerGranule; ++sb) {
                    const std::size_t from = std::max(firstLine, sb * kSlotsPerGranule) - sb * kSlotsPerGranule;
                    const std::size_t to = std::min(lastLine + 1, (sb + 1) * kSlotsPerGranule) - sb * kSlotsPerGranule;
                    double power = 0;
                    std::size_t tiny = 0;
                    for (std::size_t k = from; k < to; ++k) {
                        const double c = coefficients[sb][k];
                        power += c * c;
                        if (std::fabs(c) < kTiny) ++tiny;
                    }
                    if (power / static_cast<double>(to - from) > kContentPower) {
                        result.Counted[offset] += to - from;
                        result.Tiny[offset] += tiny;
                    }
                }
            }
        }
    }
    result.Granules = g;
    return result;
}

void TMp3GridShares::Add(const TMp3GridShares& other) {
    if (other.Tiny.size() != kMp3GranuleSamples || other.Counted.size() != kMp3GranuleSamples) return;
    if (Tiny.size() != kMp3GranuleSamples || Counted.size() != kMp3GranuleSamples) {
        Tiny.assign(kMp3GranuleSamples, 0);
        Counted.assign(kMp3GranuleSamples, 0);
    }
    for (std::size_t offset = 0; offset < kMp3GranuleSamples; ++offset) {
        Tiny[offset] += other.Tiny[offset];
        Counted[offset] += other.Counted[offset];
    }
    Granules += other.Granules;
}

std::vector<double> TMp3GridShares::Shares() const {
    std::vector<double> shares;
    if (Tiny.size() != kMp3GranuleSamples || Counted.size() != kMp3GranuleSamples) return shares;
    if (std::all_of(Counted.begin(), Counted.end(), [](std::size_t n) { return n == 0; })) return shares;
    shares.reserve(kMp3GranuleSamples);
    for (std::size_t offset = 0; offset < kMp3GranuleSamples; ++offset)
        shares.push_back(Counted[offset] ? static_cast<double>(Tiny[offset]) / static_cast<double>(Counted[offset]) : 0.0);
    return shares;
}

TMp3GridPeak Mp3GridPeak(const TMp3GridShares& grid) {
    TMp3GridPeak peak;
    const std::vector<double> shares = grid.Shares();
    if (shares.empty()) return peak;
    peak.Offset = static_cast<std::size_t>(std::max_element(shares.begin(), shares.end()) - shares.begin());
    peak.Share = shares[peak.Offset];
    std::vector<double> sorted = shares;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    peak.Median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
    peak.RunnerUp = sorted[n - 2];
    if (grid.Counted[peak.Offset] < 2) return peak;
    const double counted = static_cast<double>(grid.Counted[peak.Offset]);
    const double r = std::clamp(peak.RunnerUp, 1.0 / counted, 1.0 - 1.0 / counted);
    peak.Standout = (peak.Share - peak.RunnerUp) / std::sqrt(r * (1.0 - r) / counted);
    return peak;
}
