// Where the content of each window ends. A lossy encoder's lowpass empties
// the top of the spectrum down to the quantisation floor in nearly every
// window, and where that happens (from under 21.17 kHz) tells an encoder's
// high cutoff from a steep resampler's filter, which keeps content to 21.3 kHz
// or more. An encoder that sets its bandwidth frame by frame cuts some loud
// windows and lets others through; a fixed filter cuts all alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct TOccupancyFinding {
    std::size_t LoudWindows = 0;   // windows counted (the band under 16 kHz well above the floor)
    // The lowest frequency from which everything up to the top band lies
    // within kEmptyDb of the floor in at least 90% of the loud windows; 0 when
    // there is none.
    double SteadyEdgeHz = 0;
    // A bandwidth switched from window to window: the lowest frequency above
    // which some loud windows are empty while others carry content (kPresentDb
    // over the floor) from kSwitchedGapHz above it up; 0 when there is none.
    // A fixed filter empties the same band in every window that has it.
    double SwitchedEdgeHz = 0;
    double EmptyAboveSwitchedEdge = 0;   // the share of loud windows with nothing above it (content just under it)
    double FullAboveSwitchedEdge = 0;    // the share with content from kSwitchedGapHz above it
};

class TBandOccupancy {
public:
    // sampleRate in Hz; bins: the number of bins of each window's power (N/2 + 1).
    TBandOccupancy(double sampleRate, std::size_t bins);
    // The scaled power of one window (any channel).
    void AddWindow(const std::vector<double>& power);
    // The finding against the quantisation floor floorDb (per bin, as QuantisationFloorDb gives it).
    TOccupancyFinding Finding(double floorDb) const;

    static constexpr double kFirstHz = 15000.0;
    static constexpr double kBandHz = 250.0;
    static constexpr double kLastHz = 24000.0;   // the bands counted end here, or under the Nyquist frequency
    // A band this close to the floor is empty: a TPDF dither raises the floor
    // by 4.8 dB, and a 250 Hz band's average scatters by about 1 dB.
    static constexpr double kEmptyDb = 8.0;
    static constexpr double kPresentDb = 20.0;
    static constexpr double kSwitchedGapHz = 500.0;
    // The shares of empty and of full windows that make a switched bandwidth,
    // in the order tried: mostly empty and now and then full (FFmpeg's AAC at
    // 256 kbps and 48 kHz), both often, or mostly full and now and then empty
    // (LAME -V0 dropping the top band from some frames).
    struct TSwitchedShares {
        double Empty;
        double Full;
    };
    static constexpr std::array<TSwitchedShares, 3> kSwitched = {{{0.75, 0.02}, {0.10, 0.10}, {0.03, 0.75}}};
    // Switched edges are looked for from here up, where high-bitrate encoders
    // set theirs, and the empty windows counted are those whose content ends
    // within kSwitchedNearHz under the edge: an instrument sampled at 32 kHz
    // that sounds alone for a moment leaves the band above 16 kHz empty, and
    // that says nothing about an encoder.
    static constexpr double kSwitchedFromHz = 19500.0;
    static constexpr double kSwitchedNearHz = 1000.0;
    // A window counts when its 11-15.5 kHz band is above this level (50 dB over
    // the floor of 16-bit audio), loud enough that genuine audio has something
    // above 16 kHz too, and its spectrum reaches 15 kHz.
    static constexpr double kLoudDb = -80.0;
    static constexpr std::size_t kFewestWindows = 20;

private:
    static constexpr int kLowestDb = -200;
    static constexpr std::size_t kLevels = 220;   // 1 dB steps from kLowestDb
    static constexpr std::size_t kMaxBands = static_cast<std::size_t>((kLastHz - kFirstHz) / kBandHz);

    double LevelDb(const std::vector<double>& power, double fromHz, double toHz) const;

    double BinHz;
    std::size_t Bands = 0;
    std::size_t Loud = 0;
    // Counts[b][q]: loud windows whose highest band level from band b up falls in the 1 dB step q.
    std::vector<std::array<uint32_t, kLevels>> Counts;
};
