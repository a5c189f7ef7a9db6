// The spectrogram of one file for display: decoded once, the channels mixed
// to mono, its columns in bounded memory, and the lossless check run on the
// same samples so that the picture can mark the cutoff it finds.
#pragma once

#include "check/LosslessCheck.h"

#include <cstdint>
#include <string>
#include <vector>

struct TFileSpectrogram {
    TStreamInfo Stream;
    std::string Error;               // "Cannot decode: ...", "Cancelled"; empty when made
    std::size_t Columns = 0;         // time across
    std::size_t Bins = 0;            // frequency up, bin 0 = 0 Hz, the last = the Nyquist frequency
    std::vector<float> LevelsDb;     // Columns * Bins levels, column by column
    double Seconds = 0;              // the length decoded
    TLosslessReport Check;           // the lossless check of the same samples

    float LevelAt(std::size_t column, std::size_t bin) const { return LevelsDb[column * Bins + bin]; }
    double NyquistHz() const { return Stream.SampleRate / 2.0; }
};

// The window for the picture (2,048 points: finer in time than the check's)
// and the most columns kept (at least half as many remain for a long file).
inline constexpr std::size_t kSpectrogramWindow = 2048;
inline constexpr std::size_t kSpectrogramMaxColumns = 1600;

TFileSpectrogram MakeFileSpectrogram(const std::string& path, const TCheckControl& control = {});

// The colour of a level on the picture's scale: 0 (the bottom, minDb) is
// black, then deep blue, purple, red, orange and yellow up to white at 1.
uint32_t SpectrogramColour(double position);   // 0xRRGGBB

// The picture's plot: width x height pixels (0xRRGGBB, row by row from the
// top: the highest frequency), each the level nearest in time and frequency,
// mapped from minDb..maxDb onto the colour scale.
std::vector<uint32_t> SpectrogramPixels(const TFileSpectrogram& spectrogram, int width, int height, double minDb,
                                        double maxDb);
