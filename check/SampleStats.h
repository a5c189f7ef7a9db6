// What the samples themselves show: the bits a file really uses, and runs of
// full-scale samples (clipping).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TBitDepthFinding {
    int FileBits = 0;    // bits per sample the stream declares (0: floating point)
    int UsedBits = 0;    // bits down to the lowest one ever set (0: all samples zero)
    bool Padded() const { return FileBits > 0 && UsedBits > 0 && UsedBits < FileBits; }
};

// Runs of at least kClipRun samples in a row at the largest value the format
// holds (or its negative): what a signal clipped on its way to the file leaves.
inline constexpr std::size_t kClipRun = 3;

struct TClippingFinding {
    std::size_t Runs = 0;
    std::size_t Samples = 0;     // samples within those runs
};

class TSampleStats {
public:
    // fileBits: the stream's bits per sample for integer samples, 0 for float.
    TSampleStats(int channels, int fileBits);
    // Integer samples aligned to the top bit (a 16-bit s is s * 65536).
    void AddInt(int channel, const int32_t* samples, std::size_t count);
    // Float samples (full scale is 1.0); used when the stream is floating point.
    void AddFloat(int channel, const float* samples, std::size_t count);

    TBitDepthFinding BitDepth() const;
    // The runs still open at the end count too.
    TClippingFinding Clipping() const;

private:
    void Step(int channel, bool atFullScale);

    int FileBits;
    uint32_t UsedMask = 0;
    int32_t Top;       // the largest value of FileBits bits, aligned to the top bit
    int32_t Bottom;
    std::vector<std::size_t> RunLengths;   // per channel, the full-scale samples in a row so far
    TClippingFinding Clip;
};
