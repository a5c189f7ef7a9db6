// TIniFile: a small INI file reader and writer with private-profile manners:
// section and key names compare case-insensitively, a missing key gives the
// caller's default, values are trimmed of surrounding blanks, and lines
// starting with ";" are comments. Used for ".pls" playlists and the settings.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TIniFile {
public:
    TIniFile() = default;
    // Loads path; a missing or unreadable file gives an empty INI (false).
    bool Load(const std::string& path);
    void Parse(const std::string& text);

    std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback) const;
    // The leading decimal integer of the value (optionally signed, or 0x hex),
    // fallback when the key is missing or holds no number.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;
    // Any non-zero integer is true.
    bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;

    // Key names of a section, in file order (empty when it is missing).
    std::vector<std::string> Keys(const std::string& section) const;
    // Keys and values of a section, in file order.
    std::vector<std::pair<std::string, std::string>> Values(const std::string& section) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // Writes the INI text (CR LF line ends); false when the file cannot be written.
    bool Save(const std::string& path) const;
    std::string Text() const;

private:
    struct Entry {
        std::string Key;
        std::string Value;
    };
    struct Section {
        std::string Name;
        std::vector<Entry> Entries;
    };
    const Entry* Find(const std::string& section, const std::string& key) const;

    std::vector<Section> sections_;
};
