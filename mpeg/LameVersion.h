// LAME version texts ("3.90.", "3.97 ", "3.99r", "3.100") and their order.
//
// LAME numbers its releases major.minor with a minor number that grew past 99
// (3.100 followed 3.99), so version texts are compared as numbers: the digits
// before the first "." are the major number, the digits right after it the
// minor number. A text that does not start that way is compared byte-wise.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

struct LameVersionNumber {
    uint32_t Major = 0;
    uint32_t Minor = 0;
};

// The number at the start of text ("3.97 " reads as 3.97, "3.100" as 3.100),
// or nothing when text does not start with digits, ".", digits.
std::optional<LameVersionNumber> ParseLameVersion(std::string_view text);

// Whether version comes before reference (a plain "major.minor" text). A
// version that does not read as a number is compared byte-wise, using only
// its first byteWiseLength characters.
bool LameVersionBelow(std::string_view version, std::string_view reference,
                      std::size_t byteWiseLength = std::string_view::npos);
