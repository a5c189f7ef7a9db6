// TAudioItem: the analysis record of one file, one per list row.
#pragma once

#include "core/Health.h"

#include <cstdint>
#include <string>

inline constexpr const char* kNotScannedText = "File could not be scanned";

// The lossless-origin check of a file, once it has run. The analysis never
// decodes audio; the front ends run the check (check/) and store its result
// here, so the list, the report and the outputs show it like any other value.
struct TOriginCheck {
    bool Done = false;
    std::string Verdict;        // "full band", "lossy origin", "upsampled", "padded bits", "silent", "narrow band",
                                // "not checked"
    std::string Text;           // the line the Lossless Check column shows
    double CutoffHz = 0;        // the cliff, 0 when none was found
    double TopHz = 0;           // the highest frequency with content
    double PassDb = 0;          // level under the cliff and above it, and the quantisation floor (dB per bin,
    double StopDb = 0;          // a full-scale sine = 0)
    double FloorDb = 0;
    double HolesFromHz = 0;     // the lowest band with holes, 0 when none
    int UpsampledFromHz = 0;
    int UsedBits = 0;           // bits the samples use, and those the file declares (0: floating point)
    int FileBits = 0;
    int64_t ClippingRuns = 0;
    // A lossy codec's frame grid (its transform's coefficients at zero on one
    // offset): the codec, the offset in samples, the shares of coefficients at
    // zero there and elsewhere, and how far the offset stands out (standard
    // deviations). GridCodec is empty when no grid was found.
    std::string GridCodec;
    int GridOffset = -1;
    double GridZeroShare = 0;
    double GridOtherShare = 0;
    double GridScore = 0;
};

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
    TOriginCheck OriginCheck;
};
