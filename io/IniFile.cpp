#include "io/IniFile.h"

#include "io/Platform.h"
#include "io/Text.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

bool TIniFile::Load(const std::string& path) {
    sections_.clear();
    std::ifstream in(NativePath(path), std::ios::binary);
    if (!in) return false;
    Parse(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    return true;
}

void TIniFile::Parse(const std::string& text) {
    sections_.clear();
    // Sections and keys already met, by lower-cased name, so that a file with
    // a great many of them parses in linear time.
    std::unordered_map<std::string, std::size_t> sectionIndex;
    std::vector<std::unordered_set<std::string>> seenKeys;
    std::size_t current = 0;
    bool inSection = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const auto close = line.find(']');
            const std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            const auto [found, added] = sectionIndex.emplace(AsciiLower(name), sections_.size());
            if (added) {
                sections_.push_back(Section{name, {}});
                seenKeys.emplace_back();
            }
            current = found->second;
            inSection = true;
            continue;
        }
        const auto equals = line.find('=');
        if (!inSection || equals == std::string::npos) continue;
        const std::string key = Trim(line.substr(0, equals));
        // The first occurrence of a key wins.
        if (!seenKeys[current].insert(AsciiLower(key)).second) continue;
        std::string value = Trim(line.substr(equals + 1));
        // A value wrapped in matching quotes loses them, as the profile functions do.
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        sections_[current].Entries.push_back({key, value});
    }
}

const TIniFile::Entry* TIniFile::Find(const std::string& section, const std::string& key) const {
    for (const Section& s : sections_) {
        if (!EqualsIgnoreAsciiCase(s.Name, section)) continue;
        for (const Entry& e : s.Entries)
            if (EqualsIgnoreAsciiCase(e.Key, key)) return &e;
    }
    return nullptr;
}

std::vector<std::string> TIniFile::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    for (const Section& s : sections_)
        if (EqualsIgnoreAsciiCase(s.Name, section))
            for (const Entry& e : s.Entries) keys.push_back(e.Key);
    return keys;
}

std::vector<std::pair<std::string, std::string>> TIniFile::Values(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> values;
    for (const Section& s : sections_)
        if (EqualsIgnoreAsciiCase(s.Name, section))
            for (const Entry& e : s.Entries) values.emplace_back(e.Key, e.Value);
    return values;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
    const Entry* e = Find(section, key);
    return e ? e->Value : fallback;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const {
    const Entry* e = Find(section, key);
    if (!e) return fallback;
    const std::string& v = e->Value;
    const bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    const char* begin = v.c_str();
    char* end = nullptr;
    const long long parsed = std::strtoll(begin, &end, hex ? 16 : 10);
    if (end == begin) return fallback;
    if (parsed > INT32_MAX || parsed < INT32_MIN) return fallback;
    return static_cast<int32_t>(parsed);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    Section* target = nullptr;
    for (Section& s : sections_)
        if (EqualsIgnoreAsciiCase(s.Name, section)) target = &s;
    if (!target) target = &sections_.emplace_back(Section{section, {}});
    for (Entry& e : target->Entries)
        if (EqualsIgnoreAsciiCase(e.Key, key)) {
            e.Value = value;
            return;
        }
    target->Entries.push_back({key, value});
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string TIniFile::Text() const {
    std::ostringstream out;
    bool first = true;
    for (const Section& s : sections_) {
        if (!first) out << "\r\n";
        first = false;
        out << '[' << s.Name << "]\r\n";
        for (const Entry& e : s.Entries) out << e.Key << '=' << e.Value << "\r\n";
    }
    return out.str();
}

bool TIniFile::Save(const std::string& path) const {
    std::ofstream out(NativePath(path), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string text = Text();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}
