// TAudioItem: the analysis record of one file, one per list row.
#pragma once

#include "core/Health.h"

#include <cstdint>
#include <string>

inline constexpr const char* kNotScannedText = "File could not be scanned";

struct TAudioItem {
    std::string Folder;         // folder part of FullPath, with its trailing separator
    std::string RelativePath;   // Folder relative to the scan root; empty directly in the root
    std::string FullPath;       // the path exactly as the caller gave it
    std::string FileType;       // extension without its dot, upper-cased ("MP3", "MP+")
    int64_t FileSize = 0;       // bytes
    double Duration = 0;        // seconds; exact to the sample when DurationSamples is known
    int32_t SampleRate = 0;     // Hz
    int32_t Channels = 0;
    int32_t BitsPerSample = 0;
    double Ratio = 0;           // percent of the uncompressed PCM size
    int32_t BitRate = 0;        // kbit/s
    std::string EncoderInfo = kNotScannedText;
    std::string EncoderEvidence;   // the mark the encoder name rests on ("LAME tag", "frame header bits"); may be empty
    std::string EncoderSettings;   // the encoder's recorded settings in one line; may be empty
    THealth Health;                // findings, most serious first; empty: "OK"
    int64_t DurationSamples = 0;   // samples per channel without encoder delay and padding, when the file records them; else 0
};
