#include "mpeg/DescriptiveLameTagReader.h"

#include "mpeg/LameVersion.h"
#include "mpeg/PresetGuesser.h"

#include <string_view>

namespace {

struct NamedPreset {
    uint16_t Value;
    const char* Name;
};

// The preset values LAME stores: the -V levels (410-500) and the named presets.
constexpr NamedPreset kNamedPresets[] = {
    {410, "V9"},
    {420, "V8"},
    {430, "V7"},
    {440, "V6"},
    {450, "V5"},
    {460, "V4: preset medium"},
    {470, "V3"},
    {480, "V2: preset standard"},
    {490, "V1"},
    {500, "V0: preset extreme"},
    {1000, "r3mix"},
    {1001, "[alt-]preset standard"},
    {1002, "[alt-]preset extreme"},
    {1003, "[alt-]preset insane"},
    {1004, "[alt-]preset fast standard"},
    {1005, "[alt-]preset fast extreme"},
    {1006, "preset medium"},
    {1007, "preset fast medium"},
    {1010, "preset portable"},
    {1015, "preset radio"},
};

constexpr uint8_t kMethodCBR = 1, kMethodABR = 2, kMethodCBRTwoPass = 8, kMethodABRTwoPass = 9;
constexpr uint8_t kMethodFastVBR = 4;   // VBR method 4 (mtrh)

bool IsVLevel(uint16_t preset) { return preset >= 410 && preset <= 500 && preset % 10 == 0; }

// Before LAME 3.98, method 4 was the fast variant of a -V level; from 3.98 on
// it is the default VBR mode. A version that does not read as a number keeps
// the suffix.
bool FastModeVersion(std::string_view version) {
    return !ParseLameVersion(version) || LameVersionBelow(version, "3.98");
}

} // namespace

std::string StoredPresetText(uint16_t preset, uint8_t vbrMethod, bool& wantGuess) {
    wantGuess = false;
    if (preset == 0) {
        wantGuess = true;
        return "<not stored>";
    }
    if (preset >= 8 && preset <= 320) {
        wantGuess = true;
        const bool cbr = vbrMethod == kMethodCBR || vbrMethod == kMethodCBRTwoPass;
        const bool abr = vbrMethod == kMethodABR || vbrMethod == kMethodABRTwoPass;
        return (cbr ? "cbr " : abr ? "abr " : "") + std::to_string(preset);
    }
    for (const NamedPreset& named : kNamedPresets)
        if (named.Value == preset) return named.Name;
    wantGuess = true;
    return "<unrecognised value " + std::to_string(preset) + ">";
}

const TDescriptiveLameTagReader::Description& TDescriptiveLameTagReader::Described() const {
    if (described_) return description_;
    described_ = true;
    Description& d = description_;
    const uint16_t preset = basic_.Preset();
    bool wantGuess = false;
    d.presetText = StoredPresetText(preset, basic_.VBRMethod(), wantGuess);
    d.presetState = wantGuess ? kGuessTextIsAnswer : kPresetTextIsAnswer;
    if (IsVLevel(preset) && basic_.VBRMethod() == kMethodFastVBR && FastModeVersion(basic_.ShortVersion()))
        d.presetText += " (fast mode)";

    if (d.presetState == kGuessTextIsAnswer) {
        const uint8_t guess = basic_.PresetGuess() & 0x7F;
        d.modified = basic_.Modified();
        const std::string name = PresetGuessName(guess);
        if (!name.empty()) {
            d.guessText = d.modified ? name + " -b " + std::to_string(basic_.BitRateByte()) : name;
        } else {
            d.presetState = preset != 0 ? kPresetTextIsAnswer : kNothingStored;
        }
    }
    return d;
}
