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
    // file and modulo 576, at which a granule starts to sound): how many lines
    // were counted, and how many of them were tiny. Empty when the block is
    // too short for two granules or the rate has no band to look at.
    std::vector<std::size_t> Tiny;
    std::vector<std::size_t> Counted;
    std::size_t Granules = 0;   // granules analysed at every offset

    // Adds the counts of another block or channel of the same file.
    void Add(const TMp3GridShares& other);
    // Tiny / Counted for each offset (0 where nothing was counted); empty
    // when nothing was counted at any offset.
    std::vector<double> Shares() const;
};

// Analyses up to `granules` granules (at most 64) from the start of a block of
// mono samples (full scale +-1; samples that are not finite count as zero)
// whose first sample is sample firstSample of the file. The band: lines from
// 11 kHz (or a quarter of the rate, if lower) to 20 kHz (or 500 Hz under the
// Nyquist frequency). A line is tiny under twice the level that 16-bit
// rounding noise gives it. The lines of one of the 32 bands of one granule
// count only where that band carries content (the mean power of its lines
// 18 dB above that noise), since a quiet band is tiny at every offset. About
// 13 ms for 8 granules; memory grows with the granules asked for (under 1 MB),
// not with count.
TMp3GridShares Mp3GridTinyShares(const float* samples, std::size_t count, int sampleRate, int granules,
                                 std::size_t firstSample = 0);

// The standout offset of a grid: the best, its share, the median of all
// shares, the best share of every other offset, and how far the best stands
// above that runner-up in standard errors of a share at the runner-up's level
// (sqrt(r (1 - r) / n), n the lines counted at the best offset, r at least
// 1 / n). The grid of an MP3 is one sample sharp, so its runner-up is an
// ordinary offset; what the content makes of the shares changes smoothly from
// one offset to the next, and puts a runner-up right beside the best. On
// files from LAME (-V 0 to -b 128, 11 to 48 kHz) and shine (320 kbps) the
// standout was 9 or more; on genuine audio (music, noise, bursts of noise,
// tones, click trains) and on AAC, Vorbis and Opus it stayed under 1.5.
struct TMp3GridPeak {
    std::size_t Offset = 0;
    double Share = 0;
    double Median = 0;
    double RunnerUp = 0;
    double Standout = 0;
};
TMp3GridPeak Mp3GridPeak(const TMp3GridShares& grid);
