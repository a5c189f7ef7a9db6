// The encoding settings a LAME tag records, spelled out: what the JSON
// output, the report and the detail view show next to the encoder info.
#pragma once

#include "mpeg/BasicLameTagReader.h"

#include <cstdint>
#include <string>

struct TLameSettings {
    std::string Encoder;          // "LAME", "Lavc" or "Lavf"
    std::string Version;          // "3.100", "59.37"
    std::string VBRMethod;        // "cbr", "abr", "vbr-old", "vbr-mtrh", "vbr-mt", "cbr 2-pass", "abr 2-pass", "unknown"
    int VQuality = -1;            // -V level; -1 when not VBR or not recorded
    int Quality = -1;             // -q level; -1 when not recorded
    int BitRate = 0;              // kbit/s: the CBR or ABR target, the VBR minimum
    int LowpassHz = 0;            // 0 when not recorded
    std::string StereoMode;       // "mono", "stereo", "dual channel", "joint stereo", "forced joint", "auto", "intensity", "undefined"
    int NoiseShaping = 0;
    int ATHType = 0;
    bool NoGapPrevious = false;   // the track continues a previous one without gap
    bool NoGapNext = false;
    std::string SourceRate;       // "32 kHz or less", "44.1 kHz", "48 kHz", "above 48 kHz"
    bool UnwiseSettings = false;
    int EncoderDelay = 0;         // samples
    int EncoderPadding = 0;       // samples
    std::string CommandLine;      // "-V 2 -q 0 --lowpass 18.5", "--abr 160 ...", "-b 320 ..."
    // ffmpeg's tag records only the delay and padding: the other fields are
    // zero and mean nothing.
    bool SettingsRecorded = false;
};

// The settings of a tag (the tag must be present).
TLameSettings LameSettingsOf(const TBasicLameTagReader& tag);

// One line with every setting, for the JSON output and the report.
std::string LameSettingsText(const TLameSettings& settings);
