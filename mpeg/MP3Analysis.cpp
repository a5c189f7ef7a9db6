#include "mpeg/MP3Analysis.h"

#include "mpeg/DescriptiveLameTagReader.h"
#include "mpeg/LameVersion.h"

namespace {

// The LAME part of the encoder info: "LAME " and the version, then the stored
// or guessed preset. Versions before 3.90 stored no preset; their long version
// text ("3.88 (beta)") is shown instead.
std::string LameText(const TDescriptiveLameTagReader& lame) {
    const std::string shortVersion = lame.ShortVersion();
    if (LameVersionBelow(shortVersion, "3.90")) return "LAME " + lame.LongVersion() + " ";
    std::string preset = lame.PresetText();
    if (lame.PresetState() == TDescriptiveLameTagReader::kGuessTextIsAnswer)
        preset = lame.GuessText() + (lame.Modified() ? " (modified)" : " (?)");
    return "LAME " + shortVersion + " " + preset;
}

} // namespace

void FillMPEGItem(TMPEGaudio& reader, TAudioItem& item) {
    if (!reader.ReadFromFile(item.FullPath) || !reader.Valid()) return;
    item.FileSize = reader.FileSize();
    item.Duration = reader.Duration();
    item.SampleRate = reader.SampleRate();
    item.Channels = reader.ChannelMode() == "Mono" ? 1 : 2;
    item.BitsPerSample = 16;
    item.Ratio = reader.Ratio();
    item.BitRate = reader.BitRate();

    // Raises "Unexpected End Of File." for a file too short for the tag's
    // fixed reads; the numbers above stay filled and the encoder info is not set.
    const TDescriptiveLameTagReader lame(item.FullPath);
    const std::string stream = reader.Version() + " " + reader.Layer() + " ";
    if (lame.NoLameTag())
        item.EncoderInfo = stream + reader.Encoder();
    else
        item.EncoderInfo = stream + LameText(lame);
}
