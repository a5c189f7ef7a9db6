// A spectrogram of a signal of any length in bounded memory: Hann windows
// with 50% overlap, their power averaged into columns; when the columns
// exceed the limit, neighbours are merged in pairs and each column takes
// twice as many windows from then on.
#pragma once

#include "dsp/Fft.h"

#include <cstddef>
#include <vector>

class TSpectrogram {
public:
    // size: the window size (a power of two); maxColumns: at most this many
    // columns are kept (at least maxColumns / 2 once the signal is long enough).
    TSpectrogram(std::size_t size, std::size_t maxColumns);

    // The samples of the signal (a mix of the channels), in order; values
    // that are not finite count as 0.
    void Add(const float* samples, std::size_t count);
    // Closes the signal: samples short of a window are padded with zeros.
    void Finish();

    std::size_t Bins() const { return Fft.Bins(); }
    std::size_t Columns() const { return Power.size() / Fft.Bins(); }
    // Power of bin k in column c, scaled as TWelchSpectrum scales it.
    double PowerAt(std::size_t column, std::size_t bin) const { return Power[column * Fft.Bins() + bin]; }
    std::size_t WindowsPerColumn() const { return PerColumn; }

private:
    void TakeWindow();
    void MergePairs();

    TPowerFft Fft;
    std::vector<float> Window;
    double Scale;
    std::size_t MaxColumns;
    std::vector<float> Buffer;
    std::size_t Filled = 0;
    std::vector<float> Power;        // finished columns, Bins() values each
    std::vector<double> Open;        // the column being filled
    std::size_t OpenWindows = 0;
    std::size_t PerColumn = 1;
    std::vector<double> FramePower;
};
