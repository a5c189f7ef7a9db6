// How many terminal columns a UTF-8 text takes: East Asian wide and
// full-width characters and emoji take two, combining marks, joiners and
// variation selectors none, everything else one. A small table in the manner
// of wcwidth, fixed here so the alignment does not depend on the C library's
// locale data.
#pragma once

#include <cstddef>
#include <string_view>

// Columns of one code point: 0, 1 or 2 (control characters count 0).
int CodePointWidth(char32_t codePoint);

// Columns of a UTF-8 text; a byte that starts no valid sequence counts one
// column (a terminal shows it as one replacement character).
std::size_t DisplayWidth(std::string_view utf8);
