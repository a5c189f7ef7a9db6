#include "dsp/Mdct.h"

#include "dsp/FftwPlanner.h"

#include <fftw3.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

// The MDCT of (a, b, c, d), four quarters of N/2 samples, is the DCT-IV of
// u = (-c reversed - d, a - b reversed). That DCT-IV is taken by an N/2-point
// complex FFT: z[m] = (u[2m] + i u[N-1-2m]) t[m], Z = FFT(z), Y[k] = Z[k] t[k]
// with t[m] = exp(-i pi (m + 1/8) / N); then X[2k] = Re Y[k] and
// X[N-1-2k] = -Im Y[k].
struct TMdct::TPlan {
    fftwf_complex* In = nullptr;
    fftwf_complex* Out = nullptr;
    fftwf_plan Plan = nullptr;
    std::vector<float> TwiddleCos, TwiddleSin;
    std::vector<float> Folded;
    std::vector<float> Coefficients;
};

TMdct::TMdct(std::size_t coefficients) : N(coefficients), Plan(std::make_unique<TPlan>()) {
    if (N < 2 || N % 2 != 0) throw std::invalid_argument("MDCT size must be even");
    const std::size_t half = N / 2;
    {
        std::lock_guard<std::mutex> guard(FftwPlannerLock());
        Plan->In = fftwf_alloc_complex(half);
        Plan->Out = fftwf_alloc_complex(half);
        if (Plan->In == nullptr || Plan->Out == nullptr) {
            fftwf_free(Plan->In);
            fftwf_free(Plan->Out);
            throw std::bad_alloc();
        }
        Plan->Plan = fftwf_plan_dft_1d(static_cast<int>(half), Plan->In, Plan->Out, FFTW_FORWARD, FFTW_ESTIMATE);
    }
    Plan->TwiddleCos.resize(half);
    Plan->TwiddleSin.resize(half);
    for (std::size_t m = 0; m < half; ++m) {
        const double angle = -std::numbers::pi * (static_cast<double>(m) + 0.125) / static_cast<double>(N);
        Plan->TwiddleCos[m] = static_cast<float>(std::cos(angle));
        Plan->TwiddleSin[m] = static_cast<float>(std::sin(angle));
    }
    Plan->Folded.resize(N);
    Plan->Coefficients.resize(N);
}

TMdct::~TMdct() {
    std::lock_guard<std::mutex> guard(FftwPlannerLock());
    fftwf_destroy_plan(Plan->Plan);
    fftwf_free(Plan->In);
    fftwf_free(Plan->Out);
}

const float* TMdct::Run(const float* samples, const float* window) {
    const std::size_t half = N / 2;
    float* u = Plan->Folded.data();
    for (std::size_t n = 0; n < half; ++n) {
        const std::size_t c = N + half - 1 - n;   // c reversed
        const std::size_t d = N + half + n;
        u[n] = -samples[c] * window[c] - samples[d] * window[d];
        const std::size_t a = n;
        const std::size_t b = N - 1 - n;          // b reversed
        u[half + n] = samples[a] * window[a] - samples[b] * window[b];
    }
    const float* tc = Plan->TwiddleCos.data();
    const float* ts = Plan->TwiddleSin.data();
    fftwf_complex* in = Plan->In;
    for (std::size_t m = 0; m < half; ++m) {
        const float re = u[2 * m];
        const float im = u[N - 1 - 2 * m];
        in[m][0] = re * tc[m] - im * ts[m];
        in[m][1] = re * ts[m] + im * tc[m];
    }
    fftwf_execute(Plan->Plan);
    // Orthonormal: the DCT-IV above times sqrt(2 / N).
    const float scale = static_cast<float>(std::sqrt(2.0 / static_cast<double>(N)));
    const fftwf_complex* out = Plan->Out;
    float* x = Plan->Coefficients.data();
    for (std::size_t k = 0; k < half; ++k) {
        const float re = out[k][0] * tc[k] - out[k][1] * ts[k];
        const float im = out[k][0] * ts[k] + out[k][1] * tc[k];
        x[2 * k] = re * scale;
        x[N - 1 - 2 * k] = -im * scale;
    }
    return x;
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
