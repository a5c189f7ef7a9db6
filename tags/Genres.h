// The ID3v1 genre names: the published list 0 to 79 and the Winamp
// extensions 80 to 147.
#pragma once

#include <array>

inline constexpr int kGenreCount = 148;
extern const std::array<const char*, kGenreCount> kID3v1Genres;
