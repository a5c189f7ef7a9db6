// The MPEG audio polyphase filterbank: 32 cosine-modulated bands over the
// 512-tap window of check/MpegWindow.h. Each slot of 32 input samples gives
// one sample per band; synthesis spreads one slot's band samples over 512
// output samples. Analysis is synthesis run backwards (a correlation with the
// same impulse responses, scaled by 1/32), so that analysis then synthesis
// gives the signal back up to the filterbank's small aliasing error.
#pragma once

#include <cstddef>

inline constexpr std::size_t kMpegSubbands = 32;
inline constexpr std::size_t kMpegWindowTaps = 512;

// The band samples of the slot whose responses start at x[0]: x holds
// kMpegWindowTaps samples; subbands[firstBand..lastBand] are written (all 32
// unless asked for fewer), the others left as they are.
void MpegAnalyseSlot(const double* x, double* subbands, std::size_t firstBand = 0,
                     std::size_t lastBand = kMpegSubbands - 1);

// Adds the synthesis responses of one slot's 32 band samples to
// y[0 .. kMpegWindowTaps): the slot starts to sound at y[0].
void MpegSynthesiseSlot(const double* subbands, double* y);
