// TDescriptiveLameTagReader: the LAME info tag as the texts the encoder info
// shows, the stored preset or, when the tag stores none (or only a bitrate),
// a guess of it from the recorded settings.
#pragma once

#include "mpeg/BasicLameTagReader.h"

#include <cstdint>
#include <string>

class TDescriptiveLameTagReader {
public:
    // Reads the tag; raises like TBasicLameTagReader.
    explicit TDescriptiveLameTagReader(const std::string& path) : basic_(path) {}
    // Describes a tag read already.
    explicit TDescriptiveLameTagReader(const TBasicLameTagReader& basic) : basic_(basic) {}
    explicit TDescriptiveLameTagReader(TFileStream& stream) : basic_(stream) {}

    // What PresetState says about the texts.
    enum : uint8_t {
        kPresetTextIsAnswer = 0,   // the tag names a preset, or nothing was guessed for a stored number
        kGuessTextIsAnswer = 1,    // the stored value is 0, a bitrate or unlisted, and a guess was found
        kNothingStored = 2,        // the stored value is 0 and nothing was guessed
    };

    const std::string& PresetText() const { return Described().presetText; }
    const std::string& GuessText() const { return Described().guessText; }
    uint8_t PresetState() const { return Described().presetState; }
    bool Modified() const { return Described().modified; }

    std::string ShortVersion() const { return basic_.ShortVersion(); }
    std::string LongVersion() const { return basic_.LongVersion(); }
    bool NoLameTag() const { return basic_.NoLameTag(); }
    const TBasicLameTagReader& Basic() const { return basic_; }

private:
    struct Description {
        std::string presetText;
        std::string guessText;
        uint8_t presetState = kPresetTextIsAnswer;
        bool modified = false;
    };
    const Description& Described() const;

    TBasicLameTagReader basic_;
    mutable bool described_ = false;
    mutable Description description_;
};

// The text of a stored preset value (the number, or "cbr " / "abr " and the
// number for a CBR / ABR bitrate; a name; or "<unrecognised value N>"), and
// whether a guess is wanted for it. The fast-mode suffix is not included.
std::string StoredPresetText(uint16_t preset, uint8_t vbrMethod, bool& wantGuess);
