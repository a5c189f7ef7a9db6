// Looks for a lossy codec's frame grid (check/FrameGrid.h, check/Mp3Grid.h)
// in a few stretches of a decoded file, one channel each: MP3's hybrid
// filterbank (its counts added over the stretches, as its grid never moves),
// then the MDCTs of AAC and Vorbis, each stretch on its own (Vorbis moves its
// grid after short blocks). The first grid found ends the search.
#pragma once

#include "check/FrameGrid.h"
#include "decode/PcmBlock.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct TGridFinding {
    std::string Codec;       // "MP3", "AAC" or "Vorbis" when a grid was found; empty otherwise
    // The grid's peak; when none was found, the strongest MDCT peak of any
    // stretch. For MP3, OtherShare is the median share and Score the standout
    // over the next best offset (check/Mp3Grid.h).
    TGridPeak Peak;
    std::string PeakCodec;   // the transform that gave it, found or not
    int Stretches = 0;       // stretches analysed (none after the one that found a grid)
    bool Found() const { return !Codec.empty(); }
};

class TFrameGridProbe {
public:
    // expectedFrames: the length of the stream in sample frames, 0 when unknown.
    TFrameGridProbe(int sampleRate, int channels, double expectedFrames);
    ~TFrameGridProbe();
    TFrameGridProbe(const TFrameGridProbe&) = delete;
    TFrameGridProbe& operator=(const TFrameGridProbe&) = delete;

    void Add(const TPcmBlock& block);
    // Closes the stream: a stretch cut short by the end of a short file is
    // analysed when it still holds enough frames.
    void Finish();
    const TGridFinding& Finding() const { return Result; }

    // A peak this many standard deviations over its neighbours counts as a
    // grid, when it also holds this much more of the coefficients at zero:
    // audio that never went through a codec stays under 4.5 deviations, and
    // a few stray coefficients of white noise do not make a grid.
    static constexpr double kGridScore = 8.0;
    static constexpr double kGridExcessShare = 0.01;
    // More offsets than this standing half as high make a repeating signal,
    // not a grid: a codec's grid stood alone or with one more (Vorbis moving
    // it within the stretch); a tone whose period divides the frame repeats
    // its peak every period, and a Speex file's 20 ms frames gave three peaks.
    static constexpr int kMostEchoes = 1;
    // The stretches and their length in sample frames: the 8 frames the MDCTs
    // take at every offset, and 18 MP3 granules.
    static constexpr int kStretches = 3;
    static constexpr std::size_t kStretchFrames = 12288;

private:
    struct TTransforms;
    void AnalyseStretch();

    int SampleRate;
    std::size_t Channels;    // the channels looked at: the first two at most
    std::vector<std::size_t> Starts;   // where each stretch begins, in sample frames
    std::size_t NextStretch = 0;
    std::size_t Position = 0;          // sample frames seen
    std::vector<std::vector<float>> Buffer;   // per channel, the stretch being filled
    std::size_t Filled = 0;
    std::unique_ptr<TTransforms> Transforms;
    TGridFinding Result;
};
