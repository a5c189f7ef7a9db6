#include "check/Verdict.h"

#include "check/FrameGrid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace {

// Typical sources by the cutoff they leave in 44.1 kHz stereo audio. The
// cutoff lies at the lower edge of an encoder's lowpass transition band, or
// up to 100 Hz above it. The MP3 rows are LAME 3.100's transition bands
// ("lame --verbose" prints them): 64 kbps 10.9-11.2 kHz, 96/112 kbps
// 15.1-15.6, 128 kbps and -V5/-V6 16.5-17.1, 160 kbps and -V4 17.2-17.8, -V3
// 18.0-18.5, 192 kbps and -V2 18.7-19.2, 224/256 kbps and -V1 19.4-19.9,
// 320 kbps 20.1-20.6; -V0 has no lowpass but leaves its highest band out
// above about 20.4. The others were measured here: FFmpeg's AAC at 128 kbps
// 17.3, Vorbis -q3 17.3-17.9 and -q6 20.4, Opus (any bitrate) 20.0-20.1.
struct TCutoffSource {
    double UpToHz;    // cutoffs below this
    const char* Text;
};
constexpr std::array<TCutoffSource, 8> kSources = {{
    {12000, "MP3 at 64 kbps or less, or a low-bitrate AAC or Vorbis"},
    {16000, "MP3 at 96-112 kbps"},
    {17000, "MP3 at 128 kbps or -V5"},
    {17950, "MP3 at 160 kbps or -V4, AAC at 128 kbps or Vorbis -q3"},
    {18550, "MP3 -V3"},
    {19300, "MP3 at 192 kbps or -V2"},
    {20050, "MP3 at 224-256 kbps or -V1, or Opus"},
    {21000, "MP3 at 320 kbps or -V0, Vorbis -q6 or Opus"},
}};

// The rates a high-rate file may have been made from, lowest first.
constexpr std::array<int, 4> kLowerRates = {44100, 48000, 88200, 96000};

// A cutoff this close under a lower rate's Nyquist frequency marks upsampling
// from it: resamplers keep 91-95% of the band. A lower cutoff (20.1 kHz for
// 44.1 kHz) is an encoder's lowpass.
constexpr double kUpsampledBelow = 0.07;   // of the Nyquist frequency
constexpr double kUpsampledAbove = 0.01;

// Under 44.1 kHz an encoder's lowpass and a resampler's anti-alias filter end
// at the same place: LAME's from 91 to 96% of the band (8 to 32 kHz), sox's
// "rate -v" at 96%, so a cliff in the last tenth of the band tells nothing
// there (genuine 32 kHz audio made from 44.1 kHz was once called "cutoff
// 15.4 kHz, typical of MP3 at 96-112 kbps"). The frame grid still tells.
constexpr int kTypicalSourcesFromRate = 44100;
constexpr double kLowRateResamplerShare = 0.9;

// A long-term cliff this high can also be a genuine steep resampler's filter
// (sox's "rate -v" keeps 95% of the band), in 44.1 kHz audio or in 48 kHz
// audio made from a 44.1 kHz source: it counts only when, window by window,
// the band above lies at the floor from under 96% of 22.05 kHz. Such filters
// empty only the last 2-3% of the band (content to 21.3-21.5 kHz).
constexpr double kConfirmCliffFromHz = 20500.0;
constexpr double kSteadyEdgeMaxHz = 0.96 * 22050.0;
// A bandwidth switched frame by frame (TOccupancyFinding) counts when this
// many loud windows at least are empty above the edge, and as many full.
constexpr double kFewestSwitchedWindows = 3;

// Audio whose content ends below this without a cliff (a few tones, a
// low-passed recording fading into the floor) shows nothing either way: it is
// not called full band. At low sample rates the bar is 90% of the band.
constexpr double kNarrowBandHz = 16000.0;
constexpr double kNarrowBandShare = 0.9;

bool IsNarrowBand(const TLosslessReport& report) {
    const double nyquist = report.Stream.SampleRate / 2.0;
    return report.Cutoff.ContentHz < std::min(kNarrowBandHz, kNarrowBandShare * nyquist);
}

// Fewer seconds than this say too little about the bits a file uses.
constexpr double kBitDepthSeconds = 0.1;

int UpsampledFrom(const TLosslessReport& report) {
    if (!report.Cutoff.Found || report.Stream.SampleRate < 88200) return 0;
    for (int rate : kLowerRates) {
        if (rate * 2 > report.Stream.SampleRate + 1000) break;
        const double nyquist = rate / 2.0;
        if (report.Cutoff.CutoffHz >= nyquist * (1.0 - kUpsampledBelow) &&
            report.Cutoff.CutoffHz <= nyquist * (1.0 + kUpsampledAbove))
            return rate;
    }
    return 0;
}

// The per-window evidence applies to 44.1 and 48 kHz audio, and needs enough loud windows.
bool HasOccupancy(const TLosslessReport& report) {
    return report.Stream.SampleRate > 0 && report.Stream.SampleRate < 88200 &&
           report.Occupancy.LoudWindows >= TBandOccupancy::kFewestWindows;
}

// A cliff that reaches the floor below kFullBandHz, confirmed window by window when it is high.
bool CliffIsLossy(const TLosslessReport& report) {
    const TCutoffFinding& cutoff = report.Cutoff;
    if (!cutoff.Found || !cutoff.ReachesFloor || cutoff.CutoffHz >= kFullBandHz) return false;
    if (report.Stream.SampleRate > 0 && report.Stream.SampleRate < kTypicalSourcesFromRate &&
        cutoff.CutoffHz >= kLowRateResamplerShare * report.Stream.SampleRate / 2.0)
        return false;
    if (cutoff.CutoffHz < kConfirmCliffFromHz) return true;
    // Too few loud windows to confirm it: the cliff alone does not tell a
    // steep filter from an encoder's.
    if (!HasOccupancy(report)) return false;
    const double edge = report.Occupancy.SteadyEdgeHz;
    return edge > 0 && edge <= kSteadyEdgeMaxHz;
}

bool BandwidthSwitched(const TLosslessReport& report) {
    const TOccupancyFinding& occupancy = report.Occupancy;
    const double loud = static_cast<double>(occupancy.LoudWindows);
    return HasOccupancy(report) && occupancy.SwitchedEdgeHz > 0 &&
           occupancy.EmptyAboveSwitchedEdge * loud >= kFewestSwitchedWindows &&
           occupancy.FullAboveSwitchedEdge * loud >= kFewestSwitchedWindows;
}

std::string Percent(double share) { return std::to_string(static_cast<int>(std::lround(share * 100))) + "%"; }

// "12.3%": a share to a tenth of a percent, for the small shares of the grid evidence.
std::string PercentTenths(double share) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", share * 100);
    return text;
}

// "an AAC", "a Vorbis", "an MP3".
std::string GridArticle(const std::string& codec) {
    const bool vowelSound = !codec.empty() && (codec[0] == 'A' || codec[0] == 'M');
    return (vowelSound ? "an " : "a ") + codec;
}

std::string SizeOf(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string KiloHertzText(double hertz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f kHz", hertz / 1000.0);
    return text;
}

std::string TypicalSourceOf(double cutoffHz) {
    for (const TCutoffSource& source : kSources)
        if (cutoffHz < source.UpToHz) return source.Text;
    return {};
}

void ComposeVerdict(TLosslessReport& report) {
    report.UpsampledFromHz = 0;
    report.LossyCutoffHz = 0;
    if (!report.Error.empty()) {
        report.Verdict = TCheckVerdict::NotChecked;
        report.Text = report.Error;
        return;
    }
    std::string text;
    report.Verdict = TCheckVerdict::NotChecked;   // set below; a report may be composed again
    const TCutoffFinding& cutoff = report.Cutoff;
    report.UpsampledFromHz = UpsampledFrom(report);
    if (cutoff.Silent) {
        report.Verdict = TCheckVerdict::Silent;
        text = "Silent: nothing to judge";
    } else if (report.UpsampledFromHz > 0) {
        report.Verdict = TCheckVerdict::Upsampled;
        text = "Upsampled from " + KiloHertzText(report.UpsampledFromHz);
    } else if (CliffIsLossy(report)) {
        report.Verdict = TCheckVerdict::LossyOrigin;
        report.LossyCutoffHz = cutoff.CutoffHz;
        text = "Lossy origin likely: cutoff " + KiloHertzText(cutoff.CutoffHz);
        // The encoders' lowpass frequencies depend on the rate: what they are
        // typical of is known for 44.1 and 48 kHz audio (and for audio
        // upsampled from it).
        const bool lowRate = report.Stream.SampleRate > 0 && report.Stream.SampleRate < kTypicalSourcesFromRate;
        const std::string source = lowRate ? "" : TypicalSourceOf(cutoff.CutoffHz);
        if (!source.empty()) text += ", typical of " + source;
    } else if (BandwidthSwitched(report)) {
        report.Verdict = TCheckVerdict::LossyOrigin;
        report.LossyCutoffHz = report.Occupancy.SwitchedEdgeHz;
        text = "Lossy origin likely: cutoff " + KiloHertzText(report.Occupancy.SwitchedEdgeHz) + " in " +
               Percent(report.Occupancy.EmptyAboveSwitchedEdge) +
               " of the audio, typical of AAC, Vorbis or MP3 -V0 setting their bandwidth frame by frame";
    } else if (report.Holes.Found) {
        report.Verdict = TCheckVerdict::LossyOrigin;
        text = "Lossy origin likely: holes from " + KiloHertzText(report.Holes.FromHz) + " in " +
               std::to_string(static_cast<int>(std::lround(report.Holes.Fraction * 100))) + "% of the audio";
    }
    if (report.Grid.Found()) {
        if (report.Verdict == TCheckVerdict::LossyOrigin) {
            // The band told the lossy origin; the grid names the codec.
            text += "; " + report.Grid.Codec + " frame grid found";
        } else if (text.empty()) {
            report.Verdict = TCheckVerdict::LossyOrigin;
            text = "Lossy origin likely: quantised on " + GridArticle(report.Grid.Codec) + " frame grid (" +
                   PercentTenths(report.Grid.Peak.Share) + " of the coefficients above " +
                   KiloHertzText(GridBandLowHz(report.Stream.SampleRate)) + " at zero, " +
                   PercentTenths(report.Grid.Peak.OtherShare) + " off the grid)";
        }
    }
    const TBitDepthFinding& bits = report.BitDepth;
    const bool padded = bits.Padded() && report.SecondsChecked >= kBitDepthSeconds;
    if (padded) {
        const std::string padding =
            std::to_string(bits.UsedBits) + "-bit audio in a " + std::to_string(bits.FileBits) + "-bit file";
        if (text.empty()) {
            report.Verdict = TCheckVerdict::PaddedBits;
            text = padding;
        } else {
            text += "; " + padding;
        }
    }
    if (text.empty() && IsNarrowBand(report)) {
        if (cutoff.ContentHz > 0) {
            report.Verdict = TCheckVerdict::NarrowBand;
            text = "Narrow band: content only to " + KiloHertzText(cutoff.ContentHz) + ", nothing to judge above";
        } else {
            report.Verdict = TCheckVerdict::Silent;
            text = "Too quiet: nothing above the quantisation floor to judge";
        }
    }
    if (text.empty()) {
        report.Verdict = TCheckVerdict::FullBand;
        text = "Full band to " + KiloHertzText(cutoff.TopHz);
    }
    if (report.Clipping.Runs > 0)
        text += "; clipping: " + SizeOf(report.Clipping.Runs, "run", "runs") + " of full-scale samples";
    if (report.DamagedPackets > 0)
        text += "; " + SizeOf(static_cast<std::size_t>(report.DamagedPackets), "damaged packet", "damaged packets") +
                " skipped";
    report.Text = text;
}
