#include "dsp/Spectrogram.h"

#include <algorithm>
#include <cmath>

TSpectrogram::TSpectrogram(std::size_t size, std::size_t maxColumns)
    : Fft(size),
      Window(HannWindow(size)),
      Scale(16.0 / (static_cast<double>(size) * static_cast<double>(size))),
      MaxColumns(std::max<std::size_t>(maxColumns & ~std::size_t{1}, 2)),   // even, so merging leaves no column alone
      Buffer(size),
      Open(Fft.Bins()),
      FramePower(Fft.Bins()) {}

void TSpectrogram::Add(const float* samples, std::size_t count) {
    const std::size_t n = Buffer.size();
    for (std::size_t i = 0; i < count; ++i) {
        const float value = samples[i];
        Buffer[Filled++] = std::isfinite(value) ? value : 0.0f;
        if (Filled == n) {
            TakeWindow();
            std::copy(Buffer.begin() + static_cast<std::ptrdiff_t>(n / 2), Buffer.end(), Buffer.begin());
            Filled = n / 2;
        }
    }
}

void TSpectrogram::Finish() {
    const bool tail = Filled > Buffer.size() / 2 || (Columns() == 0 && OpenWindows == 0 && Filled > 0);
    if (tail) {
        std::fill(Buffer.begin() + static_cast<std::ptrdiff_t>(Filled), Buffer.end(), 0.0f);
        TakeWindow();
    }
    Filled = 0;
    if (OpenWindows > 0) {
        for (double value : Open) Power.push_back(static_cast<float>(value / static_cast<double>(OpenWindows)));
        std::fill(Open.begin(), Open.end(), 0.0);
        OpenWindows = 0;
    }
}

void TSpectrogram::TakeWindow() {
    float* in = Fft.Input();
    for (std::size_t i = 0; i < Buffer.size(); ++i) in[i] = Buffer[i] * Window[i];
    std::fill(FramePower.begin(), FramePower.end(), 0.0);
    Fft.AddPower(FramePower.data());
    for (std::size_t k = 0; k < Open.size(); ++k) Open[k] += FramePower[k] * Scale;
    if (++OpenWindows < PerColumn) return;
    for (double value : Open) Power.push_back(static_cast<float>(value / static_cast<double>(PerColumn)));
    std::fill(Open.begin(), Open.end(), 0.0);
    OpenWindows = 0;
    if (Columns() >= MaxColumns) MergePairs();
}

void TSpectrogram::MergePairs() {
    const std::size_t bins = Fft.Bins();
    const std::size_t pairs = Columns() / 2;
    for (std::size_t c = 0; c < pairs; ++c)
        for (std::size_t k = 0; k < bins; ++k)
            Power[c * bins + k] = 0.5f * (Power[2 * c * bins + k] + Power[(2 * c + 1) * bins + k]);
    Power.resize(pairs * bins);
    PerColumn *= 2;
}
