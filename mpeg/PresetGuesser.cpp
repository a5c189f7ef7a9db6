#include "mpeg/PresetGuesser.h"

#include "mpeg/LameVersion.h"

#include <array>

namespace {

// Release families, as bits of a row's group set.
constexpr uint8_t G0 = 1 << 0;   // 3.90 (not "3.90."), 3.92
constexpr uint8_t G1 = 1 << 1;   // "3.90.", 3.91
constexpr uint8_t G2 = 1 << 2;   // 3.93 (second choice)
constexpr uint8_t G3 = 1 << 3;   // "3.90." (second choice), 3.93
constexpr uint8_t G4 = 1 << 4;   // 3.94 and later

struct PresetRow {
    uint8_t Groups;
    uint8_t BitRate;
    uint8_t VBRScale;
    uint8_t VBRMethod;
    uint8_t NoiseShaping;
    uint8_t StereoMode;
    uint8_t ATHType;
    uint8_t Lowpass;
    uint8_t Guess;
};

// Searched in this order; the first exact match wins.
constexpr std::array<PresetRow, 43> kPresetRows = {{
    //  groups        bitrate scale method noise stereo ath lowpass guess
    {G0, 255, 58, 1, 1, 3, 2, 205, 0},
    {G1 | G3, 255, 58, 1, 1, 3, 2, 206, 0},
    {G4, 255, 57, 1, 1, 3, 4, 205, 0},
    {G0, 0, 78, 3, 2, 3, 2, 195, 1},
    {G1, 0, 78, 3, 2, 3, 2, 196, 1},
    {G3, 0, 78, 3, 1, 3, 2, 196, 1},
    {G0, 0, 78, 4, 2, 3, 2, 195, 2},
    {G1 | G3, 0, 78, 4, 2, 3, 2, 196, 2},
    {G0 | G1, 0, 78, 3, 2, 3, 4, 190, 3},
    {G3, 0, 78, 3, 1, 3, 4, 190, 3},
    {G0 | G1 | G3, 0, 78, 4, 2, 3, 4, 190, 4},
    {G3, 0, 68, 3, 2, 3, 4, 180, 5},
    {G3, 0, 68, 4, 2, 3, 4, 180, 6},
    {G0, 0, 88, 4, 1, 3, 3, 195, 7},
    {G1 | G3, 0, 88, 4, 1, 3, 3, 196, 7},
    {G0 | G1, 255, 99, 1, 1, 1, 2, 0, 8},
    {G3, 255, 58, 2, 1, 3, 2, 206, 8},
    {G2, 255, 58, 2, 1, 3, 2, 205, 8},
    {G4, 255, 57, 2, 1, 3, 4, 205, 8},
    {G0 | G1, 192, 88, 1, 1, 1, 2, 0, 9},
    {G3, 192, 58, 2, 2, 3, 2, 196, 9},
    {G2, 192, 58, 2, 2, 3, 2, 195, 9},
    {G4, 192, 57, 2, 1, 3, 4, 195, 9},
    {G0 | G1, 160, 78, 1, 1, 3, 2, 180, 10},
    {G2 | G3, 160, 58, 2, 2, 3, 2, 180, 10},
    {G4, 160, 57, 2, 1, 3, 4, 180, 10},
    {G0 | G1, 128, 67, 1, 1, 3, 2, 180, 11},
    {G0 | G1, 128, 67, 1, 1, 3, 2, 150, 12},
    {G0 | G1, 112, 67, 1, 1, 3, 2, 150, 13},
    {G2 | G3, 112, 58, 2, 2, 3, 2, 160, 14},
    {G4, 112, 57, 2, 1, 3, 4, 160, 14},
    {G2 | G3, 56, 58, 2, 2, 0, 2, 100, 15},
    {G4, 56, 57, 2, 1, 0, 4, 150, 15},
    {G0, 40, 65, 1, 1, 0, 2, 75, 16},
    {G1, 40, 65, 1, 1, 0, 2, 76, 16},
    {G2 | G3, 40, 58, 2, 2, 0, 2, 70, 16},
    {G4, 40, 57, 2, 1, 0, 4, 105, 16},
    {G3, 24, 58, 2, 2, 0, 2, 40, 17},
    {G2, 24, 58, 2, 2, 0, 2, 39, 17},
    {G4, 24, 57, 2, 1, 0, 4, 59, 17},
    {G3, 16, 58, 2, 2, 0, 2, 38, 18},
    {G2, 16, 58, 2, 2, 0, 2, 37, 18},
    {G4, 16, 57, 2, 1, 0, 4, 56, 18},
}};

constexpr std::array<const char*, 19> kGuessNames = {
    "[alt-]preset insane",
    "[alt-]preset extreme",
    "[alt-]preset fast extreme",
    "[alt-]preset standard",
    "[alt-]preset fast standard",
    "preset medium",
    "preset fast medium",
    "r3mix",
    "preset studio",
    "preset cd",
    "preset hifi",
    "preset tape",
    "preset radio",
    "preset fm",
    "preset tape OR preset radio OR preset fm",
    "preset voice",
    "preset mw-us",
    "preset phon+ OR preset lw OR preset mw-eu OR preset sw",
    "preset phone",
};

struct TagSettings {
    uint8_t BitRate, VBRScale, Lowpass, ATHType, StereoMode, NoiseShaping, VBRMethod;
};

// Searches the rows of one family. An exact match (bitrate included) returns
// at once; otherwise, for the VBR methods 3 and 4 (whose bitrate byte is only
// a minimum), the last row that matches all but the bitrate is the answer,
// marked as modified.
uint8_t SearchGroup(uint8_t group, const TagSettings& tag, bool& modified) {
    uint8_t candidate = kNoPresetGuess;
    for (const PresetRow& row : kPresetRows) {
        if (!(row.Groups & group)) continue;
        if (tag.VBRScale != row.VBRScale || tag.VBRMethod != row.VBRMethod || tag.NoiseShaping != row.NoiseShaping ||
            tag.StereoMode != row.StereoMode || tag.ATHType != row.ATHType || tag.Lowpass != row.Lowpass)
            continue;
        if (tag.BitRate == row.BitRate) return row.Guess;
        if (tag.VBRMethod == 3 || tag.VBRMethod == 4) candidate = row.Guess;
    }
    if (candidate != kNoPresetGuess) modified = true;
    return candidate;
}

// Two families that wrote the same version text: an exact match in the first
// beats anything in the second; a modified match in the first gives way to
// any match in the second.
uint8_t SearchPair(uint8_t first, uint8_t second, const TagSettings& tag, bool& modified) {
    bool firstModified = false, secondModified = false;
    const uint8_t firstGuess = SearchGroup(first, tag, firstModified);
    const uint8_t secondGuess = SearchGroup(second, tag, secondModified);
    if (firstGuess != kNoPresetGuess && (!firstModified || secondGuess == kNoPresetGuess)) {
        modified = firstModified;
        return firstGuess;
    }
    modified = secondModified;
    return secondGuess;
}

} // namespace

uint8_t GuessPreset(std::string_view version, uint8_t bitRate, uint8_t vbrScale, bool& modified, uint8_t lowpass,
                    uint8_t athType, uint8_t stereoMode, uint8_t noiseShaping, uint8_t vbrMethod) {
    modified = false;
    const TagSettings tag{bitRate, vbrScale, lowpass, athType, stereoMode, noiseShaping, vbrMethod};
    const std::string_view first4 = version.substr(0, 4);
    if (first4 == "3.90" && version != "3.90.") return SearchGroup(G0, tag, modified);
    if (first4 == "3.92") return SearchGroup(G0, tag, modified);
    if (version == "3.90.") return SearchPair(G1, G3, tag, modified);
    if (first4 == "3.91") return SearchGroup(G1, tag, modified);
    if (first4 == "3.93") return SearchPair(G3, G2, tag, modified);
    // Older releases wrote no usable settings. 3.100 and later are newer than
    // 3.94 although "3.10" sorts below "3.94" as text.
    if (LameVersionBelow(version, "3.94", 4)) return kNoPresetGuess;
    return SearchGroup(G4, tag, modified);
}

std::string PresetGuessName(uint8_t guess) {
    return guess < kGuessNames.size() ? kGuessNames[guess] : std::string();
}
