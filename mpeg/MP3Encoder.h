// The encoder of an MPEG audio file, named only from the marks the file
// carries: a LAME or ffmpeg tag, LAME/GOGO text in the first frames, a VBRI or
// Xing header, ID3v2 and APE encoder texts, iTunes' comments; for Layer III
// without any of them, a guess from the frame header bits.
#pragma once

#include "mpeg/LameSettings.h"
#include "mpeg/MPEGaudio.h"

#include <cstdint>
#include <string>

// The encoder of an MPEG audio file and what it was told from.
struct TMP3Encoder {
    // The encoder info without the stream's version and layer: "LAME 3.100
    // V2: preset standard", "FhG", "Blade?" (a guess), or empty (no mark).
    std::string Text;
    // The mark the name rests on: "LAME tag", "ffmpeg LAME tag", "LAME mark
    // in the frames", "GOGO mark in the frames", "VBRI header", "Xing header",
    // "ID3v2 TSSE", "ID3v2 TENC", "APE Encoder", "iTunes comment",
    // "frame header bits" (a guess), or "none".
    std::string Evidence;
    bool Guess = false;
    bool HasLameTag = false;
    TLameSettings Lame;
    // The sample count without the encoder delay and padding, from a LAME or
    // ffmpeg tag; 0 when the file carries no such tag, the tag records
    // neither delay nor padding, or the file is cut short of its frames.
    int64_t ExactSamples = 0;
};

// Names the encoder of a stream the reader has read (Valid).
TMP3Encoder DescribeMP3Encoder(const TMPEGaudio& reader);
