#include "mpeg/LameSettings.h"

#include <cstdio>

namespace {

const char* const kMethodNames[16] = {"unknown", "cbr", "abr", "vbr-old", "vbr-mtrh", "vbr-mt", "unknown", "unknown",
                                      "cbr 2-pass", "abr 2-pass", "unknown", "unknown", "unknown", "unknown",
                                      "unknown", "reserved"};
const char* const kStereoNames[8] = {"mono", "stereo", "dual channel", "joint stereo", "forced joint", "auto",
                                     "intensity", "undefined"};
const char* const kSourceRates[4] = {"32 kHz or less", "44.1 kHz", "48 kHz", "above 48 kHz"};

// Encoding flags (high nibble of the ATH byte).
constexpr uint8_t kNoGapNextFlag = 0x4, kNoGapPreviousFlag = 0x8;

bool IsCBR(uint8_t method) { return method == 1 || method == 8; }
bool IsABR(uint8_t method) { return method == 2 || method == 9; }
bool IsVBR(uint8_t method) { return method >= 3 && method <= 5; }

std::string Kilohertz(int hertz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", hertz / 1000.0);
    return text;
}

} // namespace

TLameSettings LameSettingsOf(const TBasicLameTagReader& tag) {
    TLameSettings s;
    s.Encoder = tag.EncoderMark();
    s.Version = tag.WrittenByFFmpeg() ? tag.LongVersion() : tag.ShortVersion();
    while (!s.Version.empty() && s.Version.back() == ' ') s.Version.pop_back();
    const uint8_t method = tag.VBRMethod();
    s.VBRMethod = kMethodNames[method & 0x0F];
    // The Xing quality field holds 100 - 10 × V - q.
    const int scale = tag.VBRScale();
    if (scale > 0 && scale <= 100) {
        s.Quality = (100 - scale) % 10;
        if (IsVBR(method)) s.VQuality = (100 - scale) / 10;
    }
    const uint16_t preset = tag.Preset();
    if (IsVBR(method) && preset >= 410 && preset <= 500 && preset % 10 == 0) s.VQuality = (500 - preset) / 10;
    // The bitrate byte saturates at 255; the preset field keeps a CBR or ABR
    // bitrate in full.
    s.BitRate = (IsCBR(method) || IsABR(method)) && preset >= 8 && preset <= 320 ? preset : tag.BitRateByte();
    s.LowpassHz = tag.Lowpass() * 100;
    s.StereoMode = kStereoNames[tag.StereoMode() & 7];
    s.NoiseShaping = tag.NoiseShaping();
    s.ATHType = tag.ATHType();
    s.NoGapPrevious = (tag.EncodingFlags() & kNoGapPreviousFlag) != 0;
    s.NoGapNext = (tag.EncodingFlags() & kNoGapNextFlag) != 0;
    s.SourceRate = kSourceRates[tag.SourceRateCode() & 3];
    s.UnwiseSettings = tag.UnwiseSettings();
    s.EncoderDelay = tag.EncoderDelay();
    s.EncoderPadding = tag.EncoderPadding();
    s.SettingsRecorded = method != 0 || scale != 0 || tag.Lowpass() != 0 || tag.Preset() != 0;
    if (!s.SettingsRecorded) {
        s.StereoMode.clear();
        s.SourceRate.clear();
        return s;
    }

    std::string& line = s.CommandLine;
    auto add = [&line](const std::string& part) { line += (line.empty() ? "" : " ") + part; };
    if (IsCBR(method)) add("-b " + std::to_string(s.BitRate));
    else if (IsABR(method)) add("--abr " + std::to_string(s.BitRate));
    else if (IsVBR(method) && s.VQuality >= 0) add("-V " + std::to_string(s.VQuality));
    if (method == 3) add("--vbr-old");
    if (s.Quality >= 0) add("-q " + std::to_string(s.Quality));
    if (s.LowpassHz > 0) add("--lowpass " + Kilohertz(s.LowpassHz));
    return s;
}

std::string LameSettingsText(const TLameSettings& s) {
    const std::string gapless = "delay " + std::to_string(s.EncoderDelay) + "; padding " + std::to_string(s.EncoderPadding);
    if (!s.SettingsRecorded) return gapless;
    std::string text = s.CommandLine.empty() ? std::string() : s.CommandLine + "; ";
    text += "method " + s.VBRMethod;
    if (s.VQuality >= 0) text += "; V " + std::to_string(s.VQuality);
    if (s.Quality >= 0) text += "; q " + std::to_string(s.Quality);
    if (s.BitRate > 0) text += "; bitrate " + std::to_string(s.BitRate);
    if (s.LowpassHz > 0) text += "; lowpass " + std::to_string(s.LowpassHz) + " Hz";
    text += "; " + s.StereoMode + "; noise shaping " + std::to_string(s.NoiseShaping) + "; ATH type " +
            std::to_string(s.ATHType) + "; source " + s.SourceRate;
    if (s.NoGapPrevious) text += "; nogap previous";
    if (s.NoGapNext) text += "; nogap next";
    if (s.UnwiseSettings) text += "; unwise settings";
    text += "; " + gapless;
    return text;
}
