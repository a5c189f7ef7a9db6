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
    // For each offset 0..575 (the first sample, counted from the start of the
    // file and modulo 576, at which a granule starts to sound): how many of
    // the counted lines are tiny there. Empty when nothing was counted: the
    // block is too short for two granules, the rate has no band to look at,
    // or no line of the band carries anything.
    std::vector<std::size_t> Tiny;
    std::size_t Counted = 0;    // lines counted at every offset (granules times lines with content)
    std::size_t Granules = 0;   // granules analysed at every offset

    // Adds the counts of another block or channel of the same file.
    void Add(const TMp3GridShares& other);
    // Tiny / Counted for each offset; empty when nothing was counted.
    std::vector<double> Shares() const;
};

// Analyses up to `granules` granules (at most 64) from the start of a block of
// mono samples (full scale +-1; samples that are not finite count as zero)
// whose first sample is sample firstSample of the file. The band: lines from
// 11 kHz (or half the Nyquist frequency, if lower) to 20 kHz (or 500 Hz under
// the Nyquist frequency). A line is tiny under twice the level that 16-bit
// rounding noise gives it; a line of a granule counts only where it carries
// content (its power over all offsets stands 18 dB above that noise), since a
// quiet line is tiny at every offset. About 25 ms for 8 granules at 44.1 kHz;
// memory grows with the granules asked for, not with count.
TMp3GridShares Mp3GridTinyShares(const float* samples, std::size_t count, int sampleRate, int granules,
                                 std::size_t firstSample = 0);

// The standout offset of a grid: the best, its share, the median of all
// shares, the best share of every other offset, and how far the best stands
// above the runner-up in standard errors of a share near the median
// (sqrt(m (1 - m) / Counted), with m at least 1 / Counted). Genuine audio
// stays under 2; MP3s made by LAME stand out by 5 or more (the runner-up
// is itself the best of 575 draws, about 3 standard errors above the median).
struct TMp3GridPeak {
    std::size_t Offset = 0;
    double Share = 0;
    double Median = 0;
    double RunnerUp = 0;
    double Standout = 0;
};
TMp3GridPeak Mp3GridPeak(const TMp3GridShares& grid);
