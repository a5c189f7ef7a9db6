// The cliff search on a long-term spectrum: the highest frequency above which
// the level falls steeply and stays down, the mark a lossy encoder's lowpass
// leaves in audio decoded back to PCM.
#pragma once

#include <cstddef>
#include <vector>

struct TCutoffFinding {
    bool Found = false;     // a cliff was found below the Nyquist frequency
    double CutoffHz = 0;    // where the level has fallen kCutoffDropDb below the band under the cliff
    double PassDb = 0;      // level of the band under the cliff (dB, full-scale sine = 0)
    double StopDb = 0;      // median level above the cliff
    double FloorDb = 0;     // the quantisation floor the search was given
    // The level above the cliff lies within kFloorMarginDb of the floor:
    // nothing at all is left there, as after a lossy encoder's lowpass. A
    // natural roll-off (an instrument's samples, an analogue filter) leaves
    // its noise above the floor.
    bool ReachesFloor = false;
    double TopHz = 0;       // highest frequency with content: CutoffHz, or the Nyquist frequency's
                            // neighbourhood when there is no cliff
    bool Silent = false;    // nothing above the noise of silence anywhere
    // The highest frequency whose band stands clear of the quantisation floor
    // (kFloorMarginDb above it): where the content really ends, cliff or not.
    double ContentHz = 0;
};

// How far above the cliff the level must have fallen, and stay, below the
// band under it.
inline constexpr double kCliffDropDb = 30.0;
// Where, inside the cliff, the reported cutoff lies: this far below the band under it.
inline constexpr double kCutoffDropDb = 12.0;

inline constexpr double kFloorMarginDb = 8.0;

// power: the averaged power of bins 0 .. N/2 (as TWelchSpectrum gives it);
// sampleRate in Hz; floorDb: the level of the stream's quantisation noise per
// bin (QuantisationFloorDb).
TCutoffFinding FindCutoff(const std::vector<double>& power, double sampleRate, double floorDb);

// The level per bin, as TWelchSpectrum scales it, of the rounding noise of
// bits-bit samples (uniform, variance q^2 / 12 with q = 2^(1 - bits)) under a
// Hann window of windowSize points: -129.4 dB for 16 bits and 4,096 points.
double QuantisationFloorDb(int bits, std::size_t windowSize);

// Band levels used by the search: power averaged over bands of bandHz, in dB.
// bandHz: the width; the band i covers [i * bandHz, (i + 1) * bandHz).
std::vector<double> BandLevels(const std::vector<double>& power, double sampleRate, double bandHz);
