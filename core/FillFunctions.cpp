#include "core/FillFunctions.h"

#include "io/Text.h"
#include "mpeg/MP3Encoder.h"
#include "readers/OggContent.h"
#include "readers/PcmRatio.h"

#include <cstdlib>
#include <string>

namespace {

// Copies the results every reader shares. Channels, BitsPerSample and the
// ratio are set by each fill function because some formats fix them.
template <typename Reader>
void CopyCommon(const Reader& reader, TAudioItem& item) {
    item.FileSize = reader.FileSize();
    item.Duration = reader.Duration();
    item.SampleRate = reader.SampleRate();
}

template <typename Reader>
bool Accepted(Reader& reader, TFileStream& stream) {
    return reader.ReadFromStream(stream) && reader.Valid();
}

int32_t Rounded(double value) { return static_cast<int32_t>(RoundHalfEven(value)); }

// The ratio against a canonical PCM WAV file of the item's rate, channels and
// sample size; frames is the reader's sample count, or its playing time x rate.
double WavRatio(const TAudioItem& item, double frames, int32_t headerBytes = kCanonicalWavHeaderBytes) {
    return PcmRatio(item.FileSize, frames, item.SampleRate, item.Channels, item.BitsPerSample, headerBytes);
}

// AIFF compares against an uncompressed AIFF file: FORM, COMM and SSND
// headers of 54 bytes.
constexpr int32_t kCanonicalAiffHeaderBytes = 54;

// Frames from the playing time, for formats that count no samples.
double FramesOfDuration(const TAudioItem& item) { return item.Duration * item.SampleRate; }

// The playing time from the samples the encoder was given (the stream's
// samples less the encoder delay and padding the file records), when known.
void SetExactLength(TAudioItem& item, int64_t samples) {
    if (samples <= 0 || item.SampleRate <= 0) return;
    item.DurationSamples = samples;
    item.Duration = double(samples) / item.SampleRate;
}

} // namespace

TReadResult FillAAC(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TAACfile& r = readers.AACfile;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = Rounded(r.BitRate() / 1000.0);   // this reader counts bit/s
    // A VBR ADTS stream counts its frames of 1024 samples (2048 output
    // samples for HE-AAC); the others know only their playing time.
    const bool framesCounted = r.HeaderType() == TAACfile::kHeaderADTS && r.BitRateType() == TAACfile::kBitRateVBR;
    const double samplesPerFrame = r.Profile() == TAACfile::kProfileHE ? 2048 : 1024;
    item.Ratio = WavRatio(item, framesCounted ? double(r.FrameCount()) * samplesPerFrame : FramesOfDuration(item));
    item.EncoderInfo = r.MPEGVersionName() + " " + r.ProfileName() + " " + r.HeaderTypeName();
    return TReadResult::Ok();
}

TReadResult FillAC3(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TAC3& r = readers.AC3;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, FramesOfDuration(item));
    item.EncoderInfo = r.IsEAC3() ? "E-AC-3" : "AC-3 ATSC A/52";
    return TReadResult::Ok();
}

TReadResult FillAIFF(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TAIFF& r = readers.AIFF;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate());
    item.Ratio = WavRatio(item, static_cast<double>(r.SampleCount()), kCanonicalAiffHeaderBytes);
    item.EncoderInfo = r.FormatName();
    return TReadResult::Ok();
}

TReadResult FillMonkey(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TMonkey& r = readers.Monkey;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate() / 1000000.0);   // thousandths of bit/s
    item.Ratio = WavRatio(item, static_cast<double>(r.Samples()));
    item.EncoderInfo = "Monkey's Audio " + r.VersionText() + ": " + r.CompressionText();
    return TReadResult::Ok();
}

// DSD: one-bit samples at the DSD rate, named by that rate.
template <typename Reader>
TReadResult FillDSD(Reader& r, TAudioItem& item, double frames) {
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = Reader::kBitsPerSample;
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, frames);
    item.EncoderInfo = DsdRateName(r.SampleRate());
    return TReadResult::Ok();
}

TReadResult FillDSDIFF(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TDSDIFF& r = readers.DSDIFF;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    FillDSD(r, item, r.Duration() * r.SampleRate());
    if (r.IsDST()) item.EncoderInfo += " DST compressed";
    return TReadResult::Ok();
}

TReadResult FillDSF(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TDSF& r = readers.DSF;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    return FillDSD(r, item, static_cast<double>(r.Samples()));
}

TReadResult FillDTS(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TDTS& r = readers.DTS;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, FramesOfDuration(item));
    item.EncoderInfo = "DTS";
    return TReadResult::Ok();
}

TReadResult FillFLAC(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TFLACfile& r = readers.FLACfile;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    // FLAC compares against the bare samples, without a WAV header.
    item.Ratio = WavRatio(item, static_cast<double>(r.Samples()), 0);
    item.EncoderInfo = r.Vendor().empty() ? std::string("FLAC") : r.Vendor();
    return TReadResult::Ok();
}

TReadResult FillMatroska(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TMatroska& r = readers.Matroska;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, FramesOfDuration(item));
    item.EncoderInfo = r.WritingApp().empty() ? r.CodecName() : r.CodecName() + " " + r.WritingApp();
    return TReadResult::Ok();
}

TReadResult FillMPEG(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    return FillMPEGItem(readers.MPEGaudio, stream, item);
}

TReadResult FillMPEGItem(TMPEGaudio& reader, TAudioItem& item) {
    // Others may read and write the file meanwhile.
    TFileStream stream(item.FullPath, TFileStream::Share::ReadWrite);
    return FillMPEGItem(reader, stream, item);
}

TReadResult FillMPEGItem(TMPEGaudio& reader, TFileStream& stream, TAudioItem& item) {
    if (!Accepted(reader, stream)) return TReadResult::NotRecognised();
    CopyCommon(reader, item);
    item.Channels = reader.ChannelMode() == "Mono" ? 1 : 2;
    item.BitsPerSample = 16;
    item.Ratio = WavRatio(item, static_cast<double>(reader.Samples()));
    item.BitRate = reader.BitRate();

    const TMP3Encoder encoder = DescribeMP3Encoder(reader);
    const std::string streamText = reader.Version() + " " + reader.Layer();
    item.EncoderInfo = encoder.Text.empty() ? streamText : streamText + " " + encoder.Text;
    item.EncoderEvidence = encoder.Evidence;
    if (encoder.HasLameTag) item.EncoderSettings = LameSettingsText(encoder.Lame);
    SetExactLength(item, encoder.ExactSamples);
    return TReadResult::Ok();
}

TReadResult FillMp4(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TMp4file& r = readers.Mp4file;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, FramesOfDuration(item));
    item.EncoderInfo = r.CodecName() + " " + r.EncodingTool();
    if (!r.EncodingTool().empty()) {
        item.EncoderEvidence = "MP4 encoding tool";
    } else if (r.HasITunesMarks()) {
        item.EncoderInfo += "iTunes";
        item.EncoderEvidence = "iTunes freeform item";
    }
    SetExactLength(item, r.ExactSamples());
    return TReadResult::Ok();
}

namespace {

TReadResult FillMusepackSV8(TMusepackSV8& r, TFileStream& stream, TAudioItem& item) {
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, static_cast<double>(r.SampleCount() - r.BeginningSilence()));
    item.EncoderInfo = "Musepack " + r.EncoderVersionText() + " SV 8.0 " + r.ProfileName();
    return TReadResult::Ok();
}

} // namespace

TReadResult FillMusepack(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    if (IsMusepackSV8(stream)) return FillMusepackSV8(readers.MusepackSV8, stream, item);
    TMPEGplus& r = readers.MPEGplus;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = 2;
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    // Compared against 16-bit stereo PCM; frames of 1152 samples. An unknown
    // channel mode forms no PCM size.
    const bool knownMode = r.ChannelMode() == 1 || r.ChannelMode() == 2;
    item.Ratio = knownMode ? WavRatio(item, static_cast<double>(int64_t{r.FrameCount()} * 1152)) : 0;
    item.EncoderInfo = "Musepack " + r.EncoderVersionText() + " SV " + r.StreamVersionText() + " " + r.ProfileName();
    return TReadResult::Ok();
}

TReadResult FillOptimFrog(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TOptimFrog& r = readers.OptimFrog;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    // Floating-point samples carry a negative size; the PCM file holds as many bits.
    item.Ratio = PcmRatio(item.FileSize, static_cast<double>(r.Samples()), item.SampleRate, item.Channels,
                          std::abs(item.BitsPerSample), kCanonicalWavHeaderBytes);
    item.EncoderInfo = "OptimFROG " + r.VersionText() + " " + r.CompressionName();
    return TReadResult::Ok();
}

namespace {

TReadResult FillOpus(TOpus& r, TFileStream& stream, TAudioItem& item) {
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, static_cast<double>(r.Samples()));
    item.EncoderInfo = r.Vendor().empty() ? std::string("Opus") : "Opus " + r.Vendor();
    return TReadResult::Ok();
}

TReadResult FillOggFLAC(TOggFLAC& r, TFileStream& stream, TAudioItem& item) {
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    // Against the bare samples, as native FLAC.
    item.Ratio = WavRatio(item, static_cast<double>(r.Samples()), 0);
    item.EncoderInfo = r.Vendor().empty() ? std::string("FLAC") : r.Vendor();
    return TReadResult::Ok();
}

} // namespace

// Vorbis, and a first packet of no known codec, go to the Vorbis reader as
// before.
TReadResult FillOgg(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    switch (IdentifyOggContent(stream)) {
    case TOggContent::Opus: return FillOpus(readers.Opus, stream, item);
    case TOggContent::FLAC: return FillOggFLAC(readers.OggFLAC, stream, item);
    case TOggContent::Speex: return FillSpeex(readers, stream, item);
    default: return FillOggVorbis(readers, stream, item);
    }
}

TReadResult FillOggVorbis(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TOggVorbis& r = readers.OggVorbis;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, r.Samples());
    item.EncoderInfo = "Vorbis " + r.EncoderRelease() + " - " + std::to_string(r.NominalBitRate()) + " kbps";
    return TReadResult::Ok();
}

TReadResult FillSpeex(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TSpeex& r = readers.Speex;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, r.Samples());
    item.EncoderInfo = "Speex " + r.VersionText();
    return TReadResult::Ok();
}

TReadResult FillTTA(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TTTA& r = readers.TTA;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate());
    item.Ratio = WavRatio(item, r.Samples());
    item.EncoderInfo = "True Audio";
    return TReadResult::Ok();
}

TReadResult FillTwinVQ(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TTwinVQ& r = readers.TwinVQ;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, FramesOfDuration(item));
    item.EncoderInfo = "Shame on you for having VQF files!";
    return TReadResult::Ok();
}

TReadResult FillWAV(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TWAVfile& r = readers.WAVfile;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate());
    item.Ratio = WavRatio(item, r.SampleCount() > 0 ? double(r.SampleCount()) : FramesOfDuration(item));
    item.EncoderInfo = r.FormatName();
    return TReadResult::Ok();
}

TReadResult FillWMA(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TWMAfile& r = readers.WMAfile;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.Ratio = WavRatio(item, FramesOfDuration(item));
    item.EncoderInfo = r.CodecName();
    return TReadResult::Ok();
}

TReadResult FillWavPack(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    TWAVPackfile& r = readers.WAVPackfile;
    if (!Accepted(r, stream)) return TReadResult::NotRecognised();
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate());
    item.Ratio = WavRatio(item, static_cast<double>(r.Samples()));
    item.EncoderInfo = "WavPack" + std::to_string(r.Version()) + " " + r.ModeText();
    return TReadResult::Ok();
}
