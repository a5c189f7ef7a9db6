// The lossless-origin check of one file: decode it, take its long-term
// spectrum and sample statistics, and say what they show.
#pragma once

#include "check/Cutoff.h"
#include "check/FrameGridProbe.h"
#include "check/Holes.h"
#include "check/Occupancy.h"
#include "check/SampleStats.h"
#include "decode/PcmBlock.h"
#include "dsp/Welch.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

enum class TCheckVerdict {
    NotChecked,   // the file could not be decoded, or the check was cancelled
    FullBand,     // nothing found
    LossyOrigin,  // a cliff below 21 kHz, or holes above 16 kHz
    Upsampled,    // a high-rate file whose content ends at a lower rate's Nyquist frequency
    PaddedBits,   // only the verdict when nothing about the spectrum was found
    Silent,       // no content to judge
    NarrowBand,   // no cliff, but nothing above the floor high enough to judge either
};

struct TLosslessReport {
    TStreamInfo Stream;
    std::string Error;            // "Cannot decode: ...", or "Cancelled"; empty when checked
    double SecondsChecked = 0;
    int DamagedPackets = 0;       // packets the decoder could not decode and skipped
    TCutoffFinding Cutoff;
    THolesFinding Holes;
    TOccupancyFinding Occupancy;
    TBitDepthFinding BitDepth;
    TClippingFinding Clipping;
    TGridFinding Grid;
    int UpsampledFromHz = 0;      // the rate the content seems to come from; 0 when not upsampled
    double LossyCutoffHz = 0;     // the cutoff a lossy verdict names (the cliff's, or the switched band's edge)
    TCheckVerdict Verdict = TCheckVerdict::NotChecked;
    std::string Text;             // one line for the list: the verdict with its evidence
};

// The check on a decoded stream, block by block; safe on any samples (NaN,
// infinities, silence, a single sample).
class TLosslessAnalyser {
public:
    explicit TLosslessAnalyser(const TStreamInfo& stream);
    ~TLosslessAnalyser();
    void Add(const TPcmBlock& block);
    TLosslessReport Finish();

    // The Welch window size used for a sample rate: about 10 Hz per bin.
    static std::size_t WindowSize(int sampleRate);

private:
    TStreamInfo Stream;
    TWelchSpectrum Spectrum;
    THoleCounter HoleCounter;
    TBandOccupancy Occupancy;
    TSampleStats Stats;
    TFrameGridProbe Grid;
    std::size_t Frames = 0;
};

// Cancel, when set, is polled between blocks; Progress gets the share of the
// file done (0 to 1) when the length is known.
struct TCheckControl {
    const std::atomic<bool>* Cancel = nullptr;
    std::function<void(double)> Progress;
};

TLosslessReport CheckLossless(const std::string& path, const TCheckControl& control = {});
