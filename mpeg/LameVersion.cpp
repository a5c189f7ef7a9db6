#include "mpeg/LameVersion.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits at text[at...]; saturates instead of overflowing.
std::size_t ReadNumber(std::string_view text, std::size_t at, uint32_t& value) {
    value = 0;
    std::size_t i = at;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        value = value > 100000000u ? value : value * 10 + static_cast<uint32_t>(text[i] - '0');
    return i - at;
}

} // namespace

std::optional<LameVersionNumber> ParseLameVersion(std::string_view text) {
    LameVersionNumber number;
    const std::size_t majorDigits = ReadNumber(text, 0, number.Major);
    if (majorDigits == 0 || majorDigits >= text.size() || text[majorDigits] != '.') return std::nullopt;
    if (ReadNumber(text, majorDigits + 1, number.Minor) == 0) return std::nullopt;
    return number;
}

bool LameVersionBelow(std::string_view version, std::string_view reference, std::size_t byteWiseLength) {
    const auto number = ParseLameVersion(version);
    const auto limit = ParseLameVersion(reference);
    if (number && limit) {
        if (number->Major != limit->Major) return number->Major < limit->Major;
        return number->Minor < limit->Minor;
    }
    // Byte-wise, as unsigned characters; a shorter text that is a prefix is smaller.
    return version.substr(0, byteWiseLength).compare(reference) < 0;
}
