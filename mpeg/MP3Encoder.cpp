#include "mpeg/MP3Encoder.h"

#include "io/Text.h"
#include "mpeg/DescriptiveLameTagReader.h"
#include "mpeg/LameVersion.h"

namespace {

constexpr std::size_t kMaxNameLength = 64;   // an encoder text from a tag, cut to this

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

// ffmpeg's tag: the muxer writes it whatever the encoder, so it names LAME
// only when the frames carry LAME's own mark ("LAME (Lavc59.37) vbr"), and
// otherwise just ffmpeg ("Lavc59.37 cbr 128"). The tag records no settings;
// what the stream itself says about the bitrate follows.
std::string FFmpegLameText(const TBasicLameTagReader& tag, const TMPEGaudio& reader, bool lameMark) {
    const std::string ffmpeg = tag.EncoderMark() + tag.LongVersion();
    const std::string name = lameMark ? "LAME (" + ffmpeg + ")" : ffmpeg;
    if (reader.VBR().Found) return name + " vbr";
    return name + " cbr " + std::to_string(reader.BitRate());
}

// An encoder text from a tag, as it stands but for control characters and
// its length.
std::string TagText(const std::string& text) {
    std::string shown;
    for (char c : text) shown += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    shown = Trim(shown);
    if (shown.size() > kMaxNameLength) {
        std::size_t cut = kMaxNameLength;
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;   // whole UTF-8 characters
        shown.resize(cut);
    }
    return shown;
}

std::string APEEncoderText(const TAPETag& tag) {
    for (const AField& field : tag.Fields())
        if (EqualsIgnoreAsciiCase(field.Name, "Encoder") || EqualsIgnoreAsciiCase(field.Name, "Encoded By") ||
            EqualsIgnoreAsciiCase(field.Name, "Tool Name"))
            if (!Trim(field.Value).empty()) return field.Value;
    return {};
}

} // namespace

TMP3Encoder DescribeMP3Encoder(const TMPEGaudio& reader) {
    TMP3Encoder encoder;
    const TBasicLameTagReader& tag = reader.LameTag();
    if (!tag.NoLameTag()) {
        encoder.HasLameTag = true;
        encoder.Lame = LameSettingsOf(tag);
        // A tag with neither delay nor padding (ffmpeg's for an encoder that
        // reports none, Shine's for one) says nothing about the exact length,
        // nor does one whose padding was cut off with the end of the file.
        if ((tag.EncoderDelay() > 0 || tag.EncoderPadding() > 0) && !reader.Findings().Truncated) {
            const int64_t samplesPerFrame = int64_t{mpegframe::Coefficient(reader.Frame())} * 8;
            const int64_t samples = reader.AudioFrames() * samplesPerFrame - tag.EncoderDelay() - tag.EncoderPadding();
            encoder.ExactSamples = samples > 0 ? samples : 0;
        }
        if (tag.WrittenByFFmpeg()) {
            const bool lameMark = reader.VendorID().rfind("LAME", 0) == 0;
            encoder.Text = FFmpegLameText(tag, reader, lameMark);
            encoder.Evidence = lameMark ? "ffmpeg LAME tag, LAME mark in the frames" : "ffmpeg LAME tag";
        } else {
            encoder.Text = LameText(TDescriptiveLameTagReader(tag));
            encoder.Evidence = "LAME tag";
        }
        return encoder;
    }

    const uint8_t id = reader.EncoderID();
    if (id != 0) {
        encoder.Text = reader.Encoder();
        const std::string& vendor = reader.VendorID();
        if (vendor.rfind("LAME", 0) == 0 || reader.VBR().VendorID.rfind("LAME", 0) == 0)
            encoder.Evidence = "LAME mark in the frames";
        else if (vendor.rfind("GOGO", 0) == 0 || reader.VBR().VendorID.rfind("GOGO", 0) == 0 ||
                 reader.VBR().VendorID.rfind("MPGE", 0) == 0)
            encoder.Evidence = "GOGO mark in the frames";
        else
            encoder.Evidence = reader.VBR().ID + " header";
        return encoder;
    }

    const ID3v2EncoderMarks& marks = reader.ID3v2Marks();
    const std::string ape = APEEncoderText(reader.APETag());
    if (!TagText(marks.Software).empty()) {
        encoder.Text = TagText(marks.Software);
        encoder.Evidence = "ID3v2 TSSE";
    } else if (!TagText(marks.EncodedBy).empty()) {
        encoder.Text = TagText(marks.EncodedBy);
        encoder.Evidence = "ID3v2 TENC";
    } else if (!TagText(ape).empty()) {
        encoder.Text = TagText(ape);
        encoder.Evidence = "APE Encoder";
    } else if (marks.ITunes) {
        encoder.Text = "iTunes";
        encoder.Evidence = "iTunes comment";
    } else if (reader.GuessedEncoderID() != 0) {
        // Layer III only: the habits of the frame header bits, shown as a guess.
        encoder.Text = reader.Encoder() + "?";
        encoder.Evidence = "frame header bits";
        encoder.Guess = true;
    } else {
        encoder.Evidence = "none";
    }
    return encoder;
}
