// The LAME tag readers on a file, and the preset guesser straight on bytes:
// the first 8 bytes are the settings, the rest the version text.
#include "FuzzSupport.h"
#include "io/Errors.h"
#include "mpeg/DescriptiveLameTagReader.h"
#include "mpeg/LameSettings.h"
#include "mpeg/LameVersion.h"
#include "mpeg/PresetGuesser.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 8) {
        const std::string_view version(reinterpret_cast<const char*>(data + 8), size - 8);
        bool modified = false;
        const uint8_t guess =
            GuessPreset(version, data[0], data[1], modified, data[2], data[3], data[4], data[5], data[6]);
        if (guess > kNoPresetGuess || (guess == kNoPresetGuess && modified)) __builtin_trap();
        volatile bool below = LameVersionBelow(version, "3.90") || LameVersionBelow(version, "3.94", 4);
        (void)below;
    }
    // The tag read from bytes that start at the mark, as the stream reader does.
    const TBasicLameTagReader fromBytes(data, size);
    if (!fromBytes.NoLameTag()) {
        const TLameSettings settings = LameSettingsOf(fromBytes);
        volatile std::size_t length = LameSettingsText(settings).size() + settings.CommandLine.size() +
                                      TDescriptiveLameTagReader(fromBytes).PresetText().size();
        (void)length;
    }
    volatile uint16_t crc = LameCRC16(data, size);
    (void)crc;
    const std::string path = WriteFuzzInput(data, size, ".mp3");
    try {
        const TDescriptiveLameTagReader lame(path);
        volatile std::size_t length = lame.PresetText().size() + lame.GuessText().size() +
                                      lame.ShortVersion().size() + lame.LongVersion().size();
        (void)length;
        if (lame.ShortVersion().size() > 5 || lame.LongVersion().size() > 16) __builtin_trap();
        for (char c : lame.LongVersion())
            if (c < 0x20 || c > 0x7E) __builtin_trap();
    } catch (const EReadError&) {
        // A file too short for the tag's fixed reads.
    }
    return 0;
}
