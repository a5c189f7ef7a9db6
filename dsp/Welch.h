// The long-term spectrum of a signal by Welch's method: Hann windows of a
// fixed size, 50% overlap, the power of every window averaged, per channel.
#pragma once

#include "dsp/Fft.h"

#include <cstddef>
#include <functional>
#include <vector>

// Power per bin scaled so that a full-scale sine (amplitude 1) reads 1 (0 dB)
// in its bin, summed over the window's main lobe.
class TWelchSpectrum {
public:
    TWelchSpectrum(int channels, std::size_t size);

    // Samples of one channel, in order. Values that are not finite count as 0.
    void Add(int channel, const float* samples, std::size_t count);
    // Closes the signal: a channel that never filled one window gets its
    // samples, padded with zeros, as its only window.
    void Finish();

    // Called with the scaled power of every window as it is taken.
    using TFrameObserver = std::function<void(int channel, const std::vector<double>& power)>;
    void SetFrameObserver(TFrameObserver observer) { Observer = std::move(observer); }

    std::size_t Size() const { return Fft.Size(); }
    std::size_t Bins() const { return Fft.Bins(); }
    int Channels() const { return static_cast<int>(Buffers.size()); }
    std::size_t Windows(int channel) const { return Counts[static_cast<std::size_t>(channel)]; }
    std::size_t NonFiniteSamples() const { return NonFinite; }
    // The averaged power of one channel (zeros when it had no samples), and
    // the mean over the channels that had samples.
    std::vector<double> Average(int channel) const;
    std::vector<double> AverageOfChannels() const;

private:
    void TakeWindow(int channel);

    TPowerFft Fft;
    std::vector<float> Window;
    double Scale;
    std::vector<std::vector<float>> Buffers;     // per channel, the samples of the window being filled
    std::vector<std::size_t> Filled;
    std::vector<std::vector<double>> Sums;
    std::vector<std::size_t> Counts;
    std::vector<double> FramePower;
    std::size_t NonFinite = 0;
    TFrameObserver Observer;
};

// 10 log10(power), with a floor of -200 dB for zero power.
double PowerToDb(double power);

// The mean power of the bins of power (bins binHz apart, bin 0 at 0 Hz) that
// lie in [fromHz, toHz), in dB; -200 dB when no bin does.
double MeanPowerDb(const std::vector<double>& power, double binHz, double fromHz, double toHz);
