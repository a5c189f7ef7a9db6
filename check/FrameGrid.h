// The frame grid a lossy codec leaves in decoded audio. MP3, AAC and Vorbis
// quantise the coefficients of a fixed transform on a fixed grid of frames,
// and at high bitrates they still quantise many of the high-frequency ones to
// zero. Analysed again with the same transform at the same offset, the decoded
// audio gives those coefficients back as zero (or as the rounding noise of the
// samples); at any other offset, and in audio that never went through a codec
// at every offset, hardly any coefficient is that small. So a single offset
// standing far above the others marks a codec's grid, even where the encoder
// kept the whole band and no cutoff shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TMdct;

// For each candidate offset into a frame, the coefficients found tiny.
struct TGridTally {
    std::vector<std::uint32_t> Tiny;   // one count per offset, 0 .. frame length - 1
    std::uint32_t PerOffset = 0;       // coefficients looked at per offset
};

// Adds more into into, offset by offset (for the channels of one stretch).
void AddTally(TGridTally& into, const TGridTally& more);

// A coefficient below this (in sample units, full scale 1) is tiny: one step
// of 16-bit audio, three and a half times the spread its rounding noise gives
// an orthonormal transform (twice that of a TPDF-dithered 16-bit decode).
inline constexpr float kTinyCoefficient = 1.0f / 32768.0f;

// The lines looked at: from 11 kHz (half the band at rates under 44 kHz),
// where quantisers zero most, to 20 kHz or 500 Hz under the Nyquist
// frequency; empty when the rate leaves no such band.
double GridBandLowHz(int sampleRate);
struct TLineBand {
    std::size_t First = 0;
    std::size_t Last = 0;   // one past the last line
};
TLineBand GridBand(std::size_t lines, int sampleRate);

// The offset standing out of a tally, and by how much.
struct TGridPeak {
    int Offset = -1;
    double Share = 0;        // of the coefficients at Offset, the tiny ones
    double OtherShare = 0;   // the same share around Offset (the median of its neighbours)
    // The excess of tiny coefficients at Offset over its neighbours, in
    // standard deviations of the excess over all offsets.
    double Score = 0;
    // Offsets elsewhere (beyond the neighbours) that stand at least half as
    // high. A codec's grid stands alone, or with one more where Vorbis moved
    // it; a signal that repeats exactly every P samples (a synthetic tone
    // whose period divides the frame) repeats its peak every P offsets.
    int Echoes = 0;
    double ExcessShare() const { return Share - OtherShare; }
};
TGridPeak FindGridPeak(const TGridTally& tally);

// The excess share of tiny coefficients at one offset over the median of its
// neighbours, as FindGridPeak measures it, through another window: a codec's
// zeros come back best through its own window, while a structure of the
// signal itself (a speech codec's frames, say) shows through any window alike.
double ExcessShareAt(const float* samples, std::size_t count, int sampleRate, TMdct& mdct,
                     const std::vector<float>& window, int frames, int offset);

// Tallies the tiny MDCT coefficients of samples[0 .. count) for every offset o
// from 0 to N - 1, over the frames starting at o, o + N, ... o + (frames - 1) N.
// Needs count >= (frames + 1) N + N - 1 samples; returns an empty tally otherwise.
TGridTally MdctGridTally(const float* samples, std::size_t count, int sampleRate, TMdct& mdct,
                         const std::vector<float>& window, int frames);
