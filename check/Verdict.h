// The verdict of a lossless check and its one-line text.
#pragma once

#include "check/LosslessCheck.h"

#include <string>

// Audio whose content ends below this frequency did not come from a full-band
// 44.1 or 48 kHz master (anti-alias filters of such masters end above it).
inline constexpr double kFullBandHz = 21000.0;

// Sets Verdict, UpsampledFromHz and Text of report from its findings.
void ComposeVerdict(TLosslessReport& report);

// What a cutoff at cutoffHz in 44.1/48 kHz audio is typical of
// ("MP3 at 128 kbps or less"); empty when it matches nothing known.
std::string TypicalSourceOf(double cutoffHz);

// "16.0 kHz": one decimal, "." as the decimal point.
std::string KiloHertzText(double hertz);
