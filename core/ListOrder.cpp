#include "core/ListOrder.h"

#include <cwchar>
#include <cwctype>

namespace {

constexpr std::size_t kNumericKeyWidth = 10;

// UTF-8 to wide characters, case-folded; malformed bytes are taken as Latin-1.
std::wstring FoldedWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        char32_t cp = lead;
        std::size_t length = 1;
        if (lead >= 0xC0 && lead < 0xE0 && i + 1 < text.size()) {
            cp = ((lead & 0x1F) << 6) | (text[i + 1] & 0x3F);
            length = 2;
        } else if (lead >= 0xE0 && lead < 0xF0 && i + 2 < text.size()) {
            cp = ((lead & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
            length = 3;
        } else if (lead >= 0xF0 && i + 3 < text.size()) {
            cp = ((lead & 0x07) << 18) | ((text[i + 1] & 0x3F) << 12) | ((text[i + 2] & 0x3F) << 6) |
                 (text[i + 3] & 0x3F);
            length = 4;
        }
        out += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(cp)));
        i += length;
    }
    return out;
}

} // namespace

void ListViewColumnClick(TSortState& state, int column) {
    state.Descending = column == state.Column && !state.Descending;
    state.Column = column;
}

std::set<int> NumericColumns(const TColumnLayout& layout) {
    std::set<int> numeric;
    for (int tag : {kColSize, kColSampleRate, kColChannels, kColBitsPerSample, kColRatio, kColBitrate})
        if (ColumnOfTag(layout, tag).Visible) numeric.insert(ColumnOfTag(layout, tag).Index);
    return numeric;
}

std::string SortKey(const std::vector<std::string>& rowTexts, int column, const std::set<int>& numeric) {
    if (column < 0 || static_cast<std::size_t>(column) >= rowTexts.size()) return {};
    std::string key = rowTexts[column];
    if (column > 0 && numeric.count(column) && key.size() < kNumericKeyWidth)
        key.insert(key.begin(), kNumericKeyWidth - key.size(), '0');
    return key;
}

std::string CollationKey(const std::string& text) {
    const std::wstring folded = FoldedWide(text);
    const std::size_t needed = std::wcsxfrm(nullptr, folded.c_str(), 0);
    std::wstring transformed(needed + 1, L'\0');
    std::wcsxfrm(transformed.data(), folded.c_str(), transformed.size());
    transformed.resize(needed);
    // Pack the wide key into bytes, most significant first, so that byte
    // order equals collation order.
    std::string key;
    key.reserve(transformed.size() * 4);
    for (wchar_t c : transformed) {
        const auto u = static_cast<uint32_t>(c);
        key += static_cast<char>(u >> 24);
        key += static_cast<char>((u >> 16) & 0xFF);
        key += static_cast<char>((u >> 8) & 0xFF);
        key += static_cast<char>(u & 0xFF);
    }
    return key;
}

int CompareTextIgnoreCase(const std::string& a, const std::string& b) {
    const int result = std::wcscoll(FoldedWide(a).c_str(), FoldedWide(b).c_str());
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

int ListViewCompare(const std::vector<std::string>& a, const std::vector<std::string>& b, const TSortState& state,
                    const std::set<int>& numeric) {
    const int result = CompareTextIgnoreCase(SortKey(a, state.Column, numeric), SortKey(b, state.Column, numeric));
    return state.Descending ? -result : result;
}
