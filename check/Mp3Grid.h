// MP3's granule grid as evidence of a lossy origin. Layer III codes each
// granule of 576 samples as 576 frequency lines of its hybrid filterbank (the
// 32-band polyphase filterbank, an 18-line MDCT on 36-slot sine windows in
// each band, butterflies between neighbouring bands), and most lines that
// carry little are quantised to exactly zero. Analysing the decoded audio with
// the same filterbank on the encoder's own grid brings those zeros back (at
// the level of the 16-bit rounding noise); at any other of the 576 offsets,
// and in audio that never went through MP3 at any offset, almost no line is
// that small. The offset is unknown (encoder and decoder delays, edits), so
// every offset is tried.
#pragma once

#include <cstddef>
#include <vector>

inline constexpr std::size_t kMp3GranuleSamples = 576;

struct TMp3GridShares {
    // For each offset 0..575 (the first sample, modulo 576, at which a granule
    // starts to sound): the share of tiny lines among the counted ones. Empty
    // when the block is too short for two granules, the rate has no band to
    // look at, or no line of the band carries anything.
    std::vector<double> Shares;
    std::size_t Granules = 0;   // granules analysed at every offset
    std::size_t Lines = 0;      // lines of the band that carry content, per granule
    std::size_t Counted() const { return Granules * Lines; }
};

// Analyses up to `granules` granules (at most 64) from the start of a block of
// mono samples (full scale +-1; samples that are not finite count as zero).
// The band: lines from 11 kHz (or half the Nyquist frequency, if lower) to
// 20 kHz (or 500 Hz under the Nyquist frequency); lines whose level stays
// near the rounding noise at every offset are left out, since they are tiny
// at every offset. A line is tiny under twice the level that 16-bit rounding
// noise gives it.
TMp3GridShares Mp3GridTinyShares(const float* samples, std::size_t count, int sampleRate, int granules);

// The standout offset of a set of shares: the best, its share, the median of
// all shares and the best share of every other offset.
struct TMp3GridPeak {
    std::size_t Offset = 0;
    double Share = 0;
    double Median = 0;
    double RunnerUp = 0;
};
TMp3GridPeak Mp3GridPeak(const std::vector<double>& shares);
