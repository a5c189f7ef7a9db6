// The compression ratio every format shows: the file size against the size of
// the same audio stored as PCM in a plain WAV-style file.
#pragma once

#include <cstdint>

// fileSize / (frames x channels x bitsPerSample / 8 + headerBytes) x 100.
// frames counts sample frames (samples per channel); a format that knows only
// its playing time passes duration x sampleRate. headerBytes is the header of
// the PCM file the format compares against (44 for a canonical WAV file, 0
// when the format compares against the bare samples).
// 0 when the PCM size cannot be formed: no frames, or a sample rate, channel
// count or sample size of 0 (or less).
double PcmRatio(int64_t fileSize, double frames, int32_t sampleRate, int32_t channels, int32_t bitsPerSample,
                int32_t headerBytes);

// The header size of a canonical PCM WAV file.
inline constexpr int32_t kCanonicalWavHeaderBytes = 44;
