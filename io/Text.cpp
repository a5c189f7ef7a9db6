#include "io/Text.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string DecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    if (conventions && conventions->decimal_point && conventions->decimal_point[0])
        return conventions->decimal_point;
    return ".";
}

} // namespace

std::string Trim(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string TrimLeft(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size() && IsBlank(text[begin])) ++begin;
    return std::string(text.substr(begin));
}

std::string TrimRight(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) --end;
    return std::string(text.substr(0, end));
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

std::string DecodeUtf8Sequences(std::string_view bytes, bool fourByte) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const auto continuation = [&](std::size_t k) { return k < bytes.size() && (at(k) & 0xC0) == 0x80; };
    while (i < bytes.size()) {
        const unsigned char lead = at(i);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            i += 1;
        } else if ((lead & 0xE0) == 0xC0 && continuation(i + 1)) {
            AppendUtf8(out, (char32_t(lead & 0x1F) << 6) | (at(i + 1) & 0x3F));
            i += 2;
        } else if ((lead & 0xF0) == 0xE0 && continuation(i + 1) && continuation(i + 2)) {
            char32_t cp = (char32_t(lead & 0x0F) << 12) | (char32_t(at(i + 1) & 0x3F) << 6) | (at(i + 2) & 0x3F);
            // A lone surrogate cannot be written as valid UTF-8.
            if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
            AppendUtf8(out, cp);
            i += 3;
        } else if (fourByte && (lead & 0xF8) == 0xF0 && continuation(i + 1) && continuation(i + 2) &&
                   continuation(i + 3)) {
            const char32_t cp = (char32_t(lead & 0x07) << 18) | (char32_t(at(i + 1) & 0x3F) << 12) |
                                (char32_t(at(i + 2) & 0x3F) << 6) | (at(i + 3) & 0x3F);
            // Overlong forms and values beyond U+10FFFF are malformed.
            if (cp < 0x10000 || cp > 0x10FFFF) break;
            AppendUtf8(out, cp);
            i += 4;
        } else {
            break;
        }
    }
    return out;
}

} // namespace

std::string DecodeUtf8(std::string_view bytes) { return DecodeUtf8Sequences(bytes, false); }

std::string DecodeUtf8AllPlanes(std::string_view bytes) { return DecodeUtf8Sequences(bytes, true); }

std::string DecodeUtf16LE(std::string_view bytes, bool stopAtZero) {
    std::string out;
    const std::size_t units = bytes.size() / 2;
    const auto unit = [&](std::size_t k) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                     (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
    };
    for (std::size_t k = 0; k < units; ++k) {
        const char16_t u = unit(k);
        if (u == 0 && stopAtZero) break;
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
            const char16_t low = unit(k + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
                ++k;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
    }
    return out;
}

std::string_view UpToFirstZero(std::string_view text) {
    const auto zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

int64_t RoundHalfEven(double value) {
    if (std::isnan(value)) return 0;
    constexpr double limit = 9.2233720368547748e18;
    if (value >= limit) return std::numeric_limits<int64_t>::max();
    if (value <= -limit) return std::numeric_limits<int64_t>::min();
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    return static_cast<int64_t>(whole);
}

std::string FormatFixed(double value, int decimals) {
    if (!std::isfinite(value)) value = 0;
    // Work on the value's 15 significant decimal digits, as a decimal number
    // formatter does, then round half away from zero at the wanted place.
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.14e", std::fabs(value));
    // digits: d.dddddddddddddde[+-]xx
    std::string mantissa;
    mantissa += digits[0];
    mantissa.append(digits + 2, 14);
    const int exponent = std::atoi(digits + 17);
    // The decimal point sits after digit index exponent (0-based) of the mantissa.
    const int pointAt = exponent + 1;      // number of integer digits (may be <= 0)
    const int keep = pointAt + decimals;   // mantissa digits kept
    std::string kept;
    bool roundUp = false;
    if (keep < 0) {
        kept = "";
    } else {
        if (keep < static_cast<int>(mantissa.size())) {
            roundUp = mantissa[keep] >= '5';
            kept = mantissa.substr(0, keep);
        } else {
            kept = mantissa + std::string(keep - mantissa.size(), '0');
        }
    }
    // kept holds the digits of round(|value| * 10^decimals), possibly with a carry pending.
    if (roundUp) {
        int k = static_cast<int>(kept.size()) - 1;
        while (k >= 0 && kept[k] == '9') kept[k--] = '0';
        if (k >= 0) ++kept[k];
        else kept.insert(kept.begin(), '1');
    }
    if (static_cast<int>(kept.size()) < decimals + 1)
        kept.insert(kept.begin(), decimals + 1 - kept.size(), '0');
    const std::size_t integerDigits = kept.size() - static_cast<std::size_t>(decimals);
    std::string integerPart = kept.substr(0, integerDigits);
    const auto firstNonZero = integerPart.find_first_not_of('0');
    integerPart = firstNonZero == std::string::npos ? "0" : integerPart.substr(firstNonZero);
    std::string out;
    const bool isZero = kept.find_first_not_of('0') == std::string::npos;
    if (value < 0 && !isZero) out += '-';
    out += integerPart;
    if (decimals > 0) out += DecimalSeparator() + kept.substr(integerDigits);
    return out;
}

int64_t RoundHalfAwayFromZero(double value) {
    const std::string text = FormatFixed(value, 0);
    return std::strtoll(text.c_str(), nullptr, 10);
}

bool ParseDigits(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > 18) return false;
    int64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
    }
    value = result;
    return true;
}

bool ParseInt32(std::string_view text, int32_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    int64_t result = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
        if (result > 2147483648LL) return false;
    }
    if (negative) result = -result;
    if (result > std::numeric_limits<int32_t>::max() || result < std::numeric_limits<int32_t>::min()) return false;
    value = static_cast<int32_t>(result);
    return true;
}
