// Text and number helpers shared by the readers and the list.
//
// Texts are UTF-8 std::string throughout: on Linux UTF-8 is the system code
// page, so "converting to the system code page" means encoding as UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Removes leading and trailing characters with codes 0x00 to 0x20.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// Decodes UTF-8 the way the comment readers do: bytes below 0x80 are
// characters, two- and three-byte sequences are decoded, and decoding stops at
// the first malformed or truncated sequence (or a four-byte lead), keeping what
// came before. The result is re-encoded as UTF-8 (the system code page).
std::string DecodeUtf8(std::string_view bytes);

// The same decoding with four-byte sequences (characters outside the Basic
// Multilingual Plane, U+10000 to U+10FFFF) kept as well, as the MP4 item
// list needs for emoji and rare CJK characters.
std::string DecodeUtf8AllPlanes(std::string_view bytes);

// Decodes UTF-16 little-endian code units to UTF-8. Unpaired surrogates become
// U+FFFD. Decoding stops at a zero code unit when stopAtZero is set.
std::string DecodeUtf16LE(std::string_view bytes, bool stopAtZero = true);

// Appends the UTF-8 encoding of a code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// The text up to its first zero character: what a list cell shows.
std::string_view UpToFirstZero(std::string_view text);

// Upper- or lower-cases the ASCII letters only.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Nearest integer, halves to the even neighbour. NaN gives 0; values beyond
// the 64-bit range saturate.
int64_t RoundHalfEven(double value);

// The "0" and "0.00" number formats: nearest value with halves away from zero,
// no thousands separator, the user's decimal separator from the C locale
// (LC_NUMERIC; the programs select the user's locale at start).
std::string FormatFixed(double value, int decimals);

// The "0" format parsed back to an integer (halves away from zero).
int64_t RoundHalfAwayFromZero(double value);

// Value of a text made only of ASCII digits (at least one); false otherwise.
bool ParseDigits(std::string_view text, int64_t& value);

// Value of an optionally signed decimal integer text, like a Pascal StrToInt
// (surrounding blanks not allowed); false when the text is not a number or
// does not fit 32 bits.
bool ParseInt32(std::string_view text, int32_t& value);
