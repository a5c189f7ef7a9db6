#include "dsp/Fft.h"

#include "dsp/FftwPlanner.h"

#include <fftw3.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

struct TPowerFft::TPlan {
    float* In = nullptr;
    fftwf_complex* Out = nullptr;
    fftwf_plan Plan = nullptr;
};

TPowerFft::TPowerFft(std::size_t size) : N(size), Plan(std::make_unique<TPlan>()) {
    if (size < 16 || (size & (size - 1)) != 0) throw std::invalid_argument("FFT size must be a power of two");
    std::lock_guard<std::mutex> guard(FftwPlannerLock());
    Plan->In = fftwf_alloc_real(N);
    Plan->Out = fftwf_alloc_complex(N / 2 + 1);
    if (Plan->In == nullptr || Plan->Out == nullptr) {
        fftwf_free(Plan->In);
        fftwf_free(Plan->Out);
        throw std::bad_alloc();
    }
    Plan->Plan = fftwf_plan_dft_r2c_1d(static_cast<int>(N), Plan->In, Plan->Out, FFTW_ESTIMATE);
}

TPowerFft::~TPowerFft() {
    std::lock_guard<std::mutex> guard(FftwPlannerLock());
    fftwf_destroy_plan(Plan->Plan);
    fftwf_free(Plan->In);
    fftwf_free(Plan->Out);
}

float* TPowerFft::Input() { return Plan->In; }

void TPowerFft::AddPower(double* power) {
    fftwf_execute(Plan->Plan);
    const std::size_t bins = Bins();
    for (std::size_t k = 0; k < bins; ++k) {
        const double re = Plan->Out[k][0];
        const double im = Plan->Out[k][1];
        power[k] += re * re + im * im;
    }
}

std::vector<float> HannWindow(std::size_t size) {
    std::vector<float> window(size);
    for (std::size_t i = 0; i < size; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                                           static_cast<double>(size)));
    return window;
}
