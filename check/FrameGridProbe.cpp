#include "check/FrameGridProbe.h"

#include "check/Mp3Grid.h"
#include "dsp/Mdct.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Frames per offset: 8 frames of the band above 11 kHz give several thousand
// coefficients per offset, enough for the scatter of the counts to be small.
constexpr int kFrames = 8;

// The long-block transforms of the codecs: AAC's 1,024 lines on 2,048
// samples at every rate; libvorbis's long blocks are as long from 32 kHz up,
// 1,024 samples (512 lines) from 16 to 24 kHz and 512 under 16 kHz.
constexpr std::size_t kLongBlockLines = 1024;
struct TVorbisBlock {
    int BelowRate;        // used for rates below this
    std::size_t Lines;
};
constexpr std::array<TVorbisBlock, 3> kVorbisLongBlocks = {{{1000000, 1024}, {32000, 512}, {16000, 256}}};
// AAC's Kaiser-Bessel-derived window (FFmpeg's and most encoders' choice for
// long blocks) takes alpha 4.
constexpr double kAacKbdAlpha = 4.0;
// The excess share of zeros through a codec's own window over that through
// the sine window: FFmpeg's AAC gave 7 times as much, Vorbis -q3 to -q10 1.6
// to 3 times; the frames of a Speex file showed through both alike.
constexpr double kOwnWindowMargin = 1.3;

// Stretches start no earlier than this (the first second is often a fade-in),
// unless the file is short.
constexpr double kLeadInSeconds = 1.0;
// Longer than any stream (a week at 192 kHz is 1.2e11 frames).
constexpr double kLongestFrames = 1e13;
// When the length is unknown, stretches start this far apart.
constexpr double kUnknownLengthSpacingSeconds = 20.0;

bool IsGrid(const TGridPeak& peak) {
    return peak.Score >= TFrameGridProbe::kGridScore && peak.ExcessShare() >= TFrameGridProbe::kGridExcessShare &&
           peak.Echoes <= TFrameGridProbe::kMostEchoes;
}

// MP3's granules: 18 per stretch (with 8 the next best offset scatters so
// much that a -V0 file stood out by 2.8, with 15 by 20), and the stretches of
// a file added together (its grid does not move). An MP3 grid counts when the best offset stands
// this many standard errors above the next best, over this many lines: LAME's
// files (-V 0 to -b 128, 11 to 48 kHz) stood 9 or more, genuine audio, AAC,
// Vorbis and Opus under 1.5.
constexpr int kMp3Granules = 18;
constexpr double kMp3Standout = 5.0;
constexpr std::size_t kMp3FewestLines = 200;

bool IsMp3Grid(const TMp3GridShares& shares, const TMp3GridPeak& peak) {
    return peak.Standout >= kMp3Standout && peak.Offset < shares.Counted.size() &&
           shares.Counted[peak.Offset] >= kMp3FewestLines;
}

}  // namespace

struct TFrameGridProbe::TTransforms {
    // A codec's transform, and the sine window of its size as the control.
    struct TMdctGrid {
        const char* Codec;
        std::unique_ptr<TMdct> Mdct;
        std::vector<float> Window;
        std::vector<float> Control;
    };
    std::vector<TMdctGrid> Grids;
    TMp3GridShares Mp3;   // every stretch's, added up
};

TFrameGridProbe::TFrameGridProbe(int sampleRate, int channels, double expectedFrames)
    : SampleRate(sampleRate), Channels(static_cast<std::size_t>(std::clamp(channels, 0, 2))) {
    if (SampleRate <= 0 || Channels == 0) return;
    // A length no file has (or none at all: NaN from a damaged container) is unknown.
    if (!(expectedFrames >= 0 && expectedFrames < kLongestFrames)) expectedFrames = 0;
    const double stretch = static_cast<double>(kStretchFrames);
    const double leadIn = kLeadInSeconds * SampleRate;
    if (expectedFrames >= stretch) {
        // Spread over the file: a quarter, half and three quarters in, or as
        // many stretches as fit after the lead-in.
        for (int i = 1; i <= kStretches; ++i) {
            double start = expectedFrames * i / (kStretches + 1) - stretch / 2;
            start = std::max(start, std::min(leadIn, expectedFrames - stretch));
            if (start < 0 || start + stretch > expectedFrames) continue;
            const std::size_t at = static_cast<std::size_t>(start);
            if (Starts.empty() || at >= Starts.back() + kStretchFrames) Starts.push_back(at);
        }
    } else if (expectedFrames <= 0) {
        for (int i = 0; i < kStretches; ++i)
            Starts.push_back(static_cast<std::size_t>(leadIn + i * kUnknownLengthSpacingSeconds * SampleRate));
    }
    if (Starts.empty()) Starts.push_back(0);   // a short file: from its start, if it is long enough
    Buffer.assign(Channels, std::vector<float>(kStretchFrames));
}

TFrameGridProbe::~TFrameGridProbe() = default;

void TFrameGridProbe::Add(const TPcmBlock& block) {
    std::size_t from = 0;
    while (from < block.Frames && NextStretch < Starts.size()) {
        const std::size_t here = Position + from;
        const std::size_t start = Starts[NextStretch];
        if (here < start) {
            from += std::min(block.Frames - from, start - here);
            continue;
        }
        const std::size_t take = std::min(block.Frames - from, kStretchFrames - Filled);
        for (std::size_t c = 0; c < Channels; ++c) {
            const bool present = c < block.Samples.size() && block.Samples[c].size() >= from + take;
            for (std::size_t i = 0; i < take; ++i) {
                const float value = present ? block.Samples[c][from + i] : 0.0f;
                Buffer[c][Filled + i] = std::isfinite(value) ? value : 0.0f;
            }
        }
        Filled += take;
        from += take;
        if (Filled == kStretchFrames) {
            AnalyseStretch();
            Filled = 0;
            ++NextStretch;
        }
    }
    Position += block.Frames;
}

void TFrameGridProbe::AnalyseStretch() {
    // A grid found is the answer; later stretches are not looked at.
    if (Result.Found()) return;
    if (!Transforms) {
        Transforms = std::make_unique<TTransforms>();
        // Vorbis first: where both windows give back the same share (a
        // Vorbis file's zeros can show as well through AAC's), it keeps the name.
        const auto add = [&](const char* codec, std::size_t lines, std::vector<float> window) {
            Transforms->Grids.push_back({codec, std::make_unique<TMdct>(lines), std::move(window), SineWindow(lines)});
        };
        for (const TVorbisBlock& block : kVorbisLongBlocks)
            if (SampleRate < block.BelowRate) add("Vorbis", block.Lines, VorbisWindow(block.Lines));
        add("AAC", kLongBlockLines, KaiserBesselDerivedWindow(kLongBlockLines, kAacKbdAlpha));
    }
    // One channel per stretch, taking turns: the codecs share one grid over
    // the channels, and a second channel would double the time for little.
    const std::size_t channel = static_cast<std::size_t>(Result.Stretches) % Channels;
    const float* samples = Buffer[channel].data();
    ++Result.Stretches;

    // MP3's hybrid filterbank, on the stretches so far: held to its own
    // measure of standing out.
    Transforms->Mp3.Add(Mp3GridTinyShares(samples, Filled, SampleRate, kMp3Granules, Starts[NextStretch]));
    const TMp3GridPeak mp3 = Mp3GridPeak(Transforms->Mp3);
    if (IsMp3Grid(Transforms->Mp3, mp3)) {
        Result.Codec = "MP3";
        Result.PeakCodec = "MP3";
        Result.Peak = TGridPeak{};
        Result.Peak.Offset = static_cast<int>(mp3.Offset);
        Result.Peak.Share = mp3.Share;
        Result.Peak.OtherShare = mp3.Median;
        Result.Peak.Score = mp3.Standout;
        return;
    }
    // The MDCT codecs. AAC's window and Vorbis's are alike, and a grid shows
    // through both; the codec's own window gives back more of its zeros, so
    // among grids the larger share names the codec. Without a grid, the
    // highest peak is kept as the evidence looked at.
    for (const TTransforms::TMdctGrid& transform : Transforms->Grids) {
        const TGridPeak peak =
            FindGridPeak(MdctGridTally(samples, Filled, SampleRate, *transform.Mdct, transform.Window, kFrames));
        if (peak.Offset < 0) continue;
        // The sine window is neither codec's long-block window here: a grid
        // must show clearly less through it than through its own.
        const bool grid = IsGrid(peak) && peak.ExcessShare() >= kOwnWindowMargin *
                                                                   ExcessShareAt(samples, Filled, SampleRate, *transform.Mdct,
                                                                                 transform.Control, kFrames, peak.Offset);
        const bool better = grid ? !Result.Found() || peak.Share > Result.Peak.Share
                                 : !Result.Found() && (Result.PeakCodec.empty() || peak.Score > Result.Peak.Score);
        if (!better) continue;
        Result.Peak = peak;
        Result.PeakCodec = transform.Codec;
        if (grid) Result.Codec = transform.Codec;
    }
}

void TFrameGridProbe::Finish() {
    if (NextStretch < Starts.size() && Filled > 0) {
        AnalyseStretch();
        Filled = 0;
        NextStretch = Starts.size();
    }
}
