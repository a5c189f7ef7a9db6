#include "dsp/Mdct.h"

#include "dsp/FftwPlanner.h"

#include <fftw3.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

// The MDCT of (a, b, c, d), four quarters of N/2 samples, is the DCT-IV of
// (-c reversed - d, a - b reversed); FFTW's REDFT11 is that DCT-IV times 2.
struct TMdct::TPlan {
    float* Folded = nullptr;
    float* Out = nullptr;
    fftwf_plan Plan = nullptr;
};

TMdct::TMdct(std::size_t coefficients) : N(coefficients), Plan(std::make_unique<TPlan>()) {
    if (N < 2 || N % 2 != 0) throw std::invalid_argument("MDCT size must be even");
    std::lock_guard<std::mutex> guard(FftwPlannerLock());
    Plan->Folded = fftwf_alloc_real(N);
    Plan->Out = fftwf_alloc_real(N);
    if (Plan->Folded == nullptr || Plan->Out == nullptr) {
        fftwf_free(Plan->Folded);
        fftwf_free(Plan->Out);
        throw std::bad_alloc();
    }
    Plan->Plan = fftwf_plan_r2r_1d(static_cast<int>(N), Plan->Folded, Plan->Out, FFTW_REDFT11, FFTW_ESTIMATE);
}

TMdct::~TMdct() {
    std::lock_guard<std::mutex> guard(FftwPlannerLock());
    fftwf_destroy_plan(Plan->Plan);
    fftwf_free(Plan->Folded);
    fftwf_free(Plan->Out);
}

const float* TMdct::Run(const float* samples, const float* window) {
    const std::size_t half = N / 2;
    float* folded = Plan->Folded;
    for (std::size_t n = 0; n < half; ++n) {
        const std::size_t c = N + half - 1 - n;   // c reversed
        const std::size_t d = N + half + n;
        folded[n] = -samples[c] * window[c] - samples[d] * window[d];
        const std::size_t a = n;
        const std::size_t b = N - 1 - n;          // b reversed
        folded[half + n] = samples[a] * window[a] - samples[b] * window[b];
    }
    fftwf_execute(Plan->Plan);
    const float scale = static_cast<float>(1.0 / std::sqrt(2.0 * static_cast<double>(N)));
    for (std::size_t k = 0; k < N; ++k) Plan->Out[k] *= scale;
    return Plan->Out;
}

std::vector<float> SineWindow(std::size_t coefficients) {
    const std::size_t size = 2 * coefficients;
    std::vector<float> window(size);
    for (std::size_t n = 0; n < size; ++n)
        window[n] = static_cast<float>(std::sin(std::numbers::pi * (static_cast<double>(n) + 0.5) /
                                                static_cast<double>(size)));
    return window;
}

namespace {
// The modified Bessel function of the first kind, order 0, by its series.
double BesselI0(double x) {
    double sum = 1, term = 1;
    const double quarter = x * x / 4;
    for (int k = 1; k < 200 && term > sum * 1e-17; ++k) {
        term *= quarter / (static_cast<double>(k) * static_cast<double>(k));
        sum += term;
    }
    return sum;
}
}  // namespace

std::vector<float> KaiserBesselDerivedWindow(std::size_t coefficients, double alpha) {
    // The running sums of a Kaiser window of N + 1 points, square-rooted and mirrored.
    const std::size_t n = coefficients;
    std::vector<double> kaiser(n + 1);
    const double half = static_cast<double>(n) / 2;
    for (std::size_t j = 0; j <= n; ++j) {
        const double r = (static_cast<double>(j) - half) / half;
        kaiser[j] = BesselI0(std::numbers::pi * alpha * std::sqrt(std::max(0.0, 1 - r * r)));
    }
    double total = 0;
    for (double value : kaiser) total += value;
    std::vector<float> window(2 * n);
    double running = 0;
    for (std::size_t j = 0; j < n; ++j) {
        running += kaiser[j];
        const float value = static_cast<float>(std::sqrt(running / total));
        window[j] = value;
        window[2 * n - 1 - j] = value;
    }
    return window;
}

std::vector<float> VorbisWindow(std::size_t coefficients) {
    const std::size_t size = 2 * coefficients;
    std::vector<float> window(size);
    for (std::size_t n = 0; n < size; ++n) {
        const double s = std::sin(std::numbers::pi * (static_cast<double>(n) + 0.5) / static_cast<double>(size));
        window[n] = static_cast<float>(std::sin(std::numbers::pi / 2 * s * s));
    }
    return window;
}
