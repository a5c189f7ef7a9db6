// The LAME preset guesser: which preset of which LAME release family wrote a
// LAME tag, told from the encoding settings the tag records.
//
// Each preset of a release family wrote its own combination of quality byte,
// VBR method, noise shaping, stereo mode, ATH type, lowpass and bitrate. The
// guesser compares the tag's values with a table of those combinations. A
// pure function: everything it needs is passed in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr uint8_t kNoPresetGuess = 19;

// Returns the guess number 0-18 (see PresetGuessName) or kNoPresetGuess.
// modified is set when the settings matched a preset except for the bitrate.
uint8_t GuessPreset(std::string_view version, uint8_t bitRate, uint8_t vbrScale, bool& modified, uint8_t lowpass,
                    uint8_t athType, uint8_t stereoMode, uint8_t noiseShaping, uint8_t vbrMethod);

// The preset name of a guess number 0-18; empty for any other number.
std::string PresetGuessName(uint8_t guess);
