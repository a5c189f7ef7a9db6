// Decoded audio handed from the decoder to the checks: facts of the stream,
// and one block of planar samples at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TStreamInfo {
    std::string CodecName;      // FFmpeg's short codec name ("flac", "pcm_s24le", "mp3")
    bool Lossless = false;      // the codec is a lossless one (FLAC, ALAC, WavPack, PCM, ...)
    int SampleRate = 0;         // Hz
    int Channels = 0;
    // True bits per sample of an integer stream (24 for 24-bit FLAC stored in
    // 32-bit words); 0 for a floating-point stream.
    int BitsPerSample = 0;
    bool IntegerSamples = false;
    double Duration = 0;        // seconds, from the container; 0 when unknown
};

// Planar samples of one block. Samples holds every channel as float in
// [-1, 1); IntSamples, for integer streams only, the same samples as 32-bit
// integers aligned to the top bit (a 16-bit sample s is s * 65536), so the
// low bits a file never uses stay zero.
struct TPcmBlock {
    int Channels = 0;
    std::size_t Frames = 0;
    std::vector<std::vector<float>> Samples;
    std::vector<std::vector<int32_t>> IntSamples;
};
