#include "dsp/Welch.h"

#include <algorithm>
#include <cmath>

TWelchSpectrum::TWelchSpectrum(int channels, std::size_t size)
    : Fft(size),
      Window(HannWindow(size)),
      // A sine of amplitude 1 gives |X| = N/4 in its bin under a Hann window.
      Scale(16.0 / (static_cast<double>(size) * static_cast<double>(size))),
      Buffers(static_cast<std::size_t>(std::max(channels, 0)), std::vector<float>(size)),
      Filled(Buffers.size()),
      Sums(Buffers.size(), std::vector<double>(Fft.Bins())),
      Counts(Buffers.size()),
      FramePower(Fft.Bins()) {}

void TWelchSpectrum::Add(int channel, const float* samples, std::size_t count) {
    if (channel < 0 || channel >= Channels()) return;
    const std::size_t c = static_cast<std::size_t>(channel);
    std::vector<float>& buffer = Buffers[c];
    const std::size_t n = buffer.size();
    for (std::size_t i = 0; i < count; ++i) {
        float value = samples[i];
        if (!std::isfinite(value)) {
            value = 0;
            ++NonFinite;
        }
        buffer[Filled[c]++] = value;
        if (Filled[c] == n) {
            TakeWindow(channel);
            // 50% overlap: the second half becomes the first half of the next window.
            std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(n / 2), buffer.end(), buffer.begin());
            Filled[c] = n / 2;
        }
    }
}

void TWelchSpectrum::Finish() {
    for (int channel = 0; channel < Channels(); ++channel) {
        const std::size_t c = static_cast<std::size_t>(channel);
        if (Counts[c] > 0 || Filled[c] == 0) continue;
        std::fill(Buffers[c].begin() + static_cast<std::ptrdiff_t>(Filled[c]), Buffers[c].end(), 0.0f);
        TakeWindow(channel);
        Filled[c] = 0;
    }
}

void TWelchSpectrum::TakeWindow(int channel) {
    const std::size_t c = static_cast<std::size_t>(channel);
    float* in = Fft.Input();
    const std::vector<float>& buffer = Buffers[c];
    for (std::size_t i = 0; i < buffer.size(); ++i) in[i] = buffer[i] * Window[i];
    std::fill(FramePower.begin(), FramePower.end(), 0.0);
    Fft.AddPower(FramePower.data());
    std::vector<double>& sum = Sums[c];
    for (std::size_t k = 0; k < FramePower.size(); ++k) {
        FramePower[k] *= Scale;
        sum[k] += FramePower[k];
    }
    ++Counts[c];
    if (Observer) Observer(channel, FramePower);
}

std::vector<double> TWelchSpectrum::Average(int channel) const {
    std::vector<double> average(Bins());
    if (channel < 0 || channel >= Channels()) return average;
    const std::size_t c = static_cast<std::size_t>(channel);
    if (Counts[c] == 0) return average;
    for (std::size_t k = 0; k < average.size(); ++k) average[k] = Sums[c][k] / static_cast<double>(Counts[c]);
    return average;
}

std::vector<double> TWelchSpectrum::AverageOfChannels() const {
    std::vector<double> average(Bins());
    int used = 0;
    for (int channel = 0; channel < Channels(); ++channel) {
        if (Counts[static_cast<std::size_t>(channel)] == 0) continue;
        const std::vector<double> one = Average(channel);
        for (std::size_t k = 0; k < average.size(); ++k) average[k] += one[k];
        ++used;
    }
    if (used > 1)
        for (double& value : average) value /= used;
    return average;
}

double PowerToDb(double power) { return power > 1e-20 ? 10.0 * std::log10(power) : -200.0; }

double MeanPowerDb(const std::vector<double>& power, double binHz, double fromHz, double toHz) {
    const std::size_t first = static_cast<std::size_t>(std::ceil(fromHz / binHz));
    const std::size_t last = std::min(power.size(), static_cast<std::size_t>(std::ceil(toHz / binHz)));
    double sum = 0;
    for (std::size_t k = first; k < last; ++k) sum += power[k];
    return PowerToDb(last > first ? sum / static_cast<double>(last - first) : 0.0);
}
