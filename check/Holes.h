// Band-limited holes: lossy encoders drop whole bands above 16 kHz in the
// frames that cannot afford them, so a band there is empty in some windows
// while the band under 16 kHz is busy. Genuine audio fades such a band with
// its neighbours instead.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

struct THolesFinding {
    bool Found = false;
    double FromHz = 0;          // the lowest band with holes
    double Fraction = 0;        // share of the busy windows in which that band is empty
    std::size_t BusyWindows = 0;
};

class THoleCounter {
public:
    // sampleRate in Hz; bins: the number of bins of each window's power (N/2 + 1).
    THoleCounter(double sampleRate, std::size_t bins);
    // The scaled power of one window (any channel).
    void AddWindow(const std::vector<double>& power);
    // The finding, for content up to topHz (the cutoff, or the top of the
    // spectrum). Only bands whose long-term level (in power, averaged as
    // TWelchSpectrum averages) stands clear of the quantisation floor floorDb
    // count: a band that is mostly floor is empty in quiet windows anyway.
    THolesFinding Finding(double topHz, const std::vector<double>& power, double floorDb) const;

    static constexpr double kFirstHz = 16000.0;
    static constexpr double kBandHz = 500.0;
    static constexpr std::size_t kBands = 12;   // 16 to 22 kHz

private:
    double LevelDb(const std::vector<double>& power, double fromHz, double toHz) const;

    double BinHz;
    double Nyquist;
    std::size_t Busy = 0;
    std::array<std::size_t, kBands> Holes{};
};
