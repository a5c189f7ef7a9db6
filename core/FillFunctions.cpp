#include "core/FillFunctions.h"

#include "core/HealthChecks.h"
#include "io/Text.h"
#include "mpeg/MP3Encoder.h"
#include "readers/OggContent.h"
#include "readers/PcmRatio.h"

#include <algorithm>
#include <cstdlib>
#include <span>
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

// An MP4 atom's header: 32-bit size and type.
constexpr int64_t kMp4AtomHeaderBytes = 8;

// Musepack stream versions 4 to 7 code frames of 1152 samples.
constexpr int64_t kMusepackFrameSamples = 1152;

// OptimFROG: "OFR " and the 32-bit size of the header fields after it.
constexpr int64_t kOfrHeaderStart = 8;
constexpr uint32_t kOfrShortHeaderFields = 12, kOfrHeaderFields = 15;

// A WavPack DSD sample as stored holds 8 one-bit samples.
constexpr uint64_t kDSDBitsPerStoredSample = 8;
// The bytes at a WavPack file's end a scan looks at for the last block.
constexpr int64_t kWavPackTailProbe = 8 * 1024;

// Frames from the playing time, for formats that count no samples.
double FramesOfDuration(const TAudioItem& item) { return item.Duration * item.SampleRate; }

} // namespace

void ApplyTruncation(TAudioItem& item, double presentSeconds, int32_t headerBytes, bool bitRateFromLength) {
    const double declared = item.Duration;
    AddFinding(item.Health, TruncatedFinding(presentSeconds, declared));
    if (bitRateFromLength) item.BitRate = presentSeconds > 0 && declared > 0 ? Rounded(item.BitRate * declared / presentSeconds) : 0;
    item.Duration = presentSeconds;
    item.Ratio = WavRatio(item, presentSeconds * item.SampleRate, headerBytes);
}

namespace {

// An APE tag whose stated size is less than its footer or more than the
// file: the readers step over it, the tag itself is damaged.
constexpr int64_t kAPEFooterBytes = 32;

// Where the audio of a file ends: before an ID3v1 tag (with its Lyrics3
// block) and an APE tag at the end, when they are there. A damaged APE tag
// size is left out.
int64_t AudioEndBeforeTags(const TID3v1& id3v1, const TAPETag& ape, int64_t fileSize) {
    int64_t end = fileSize - id3v1.TrailingTagSize();
    if (ape.Exists() && ape.Size() >= kAPEFooterBytes && ape.Size() <= end) end -= ape.Size();
    return std::max<int64_t>(end, 0);
}

// The bytes the stream reads around a header anyway (its buffer): a walk
// within them costs no read.
constexpr int64_t kScanWalkBytes = 64 * 1024;

void CheckAPETag(const TAPETag& tag, int64_t fileSize, TAudioItem& item) {
    if (tag.Exists() && (tag.Size() < kAPEFooterBytes || tag.Size() > fileSize))
        AddFinding(item.Health, Finding(THealthKind::TagDamaged));
}

// The MPEG stream's own findings: a cut VBR stream, the frame walk's
// damaged stretches, junk before the first frame, the LAME tag's CRC-16 and
// an ID3v2 tag that runs past the end.
void CheckMpegFindings(const TMPEGaudio& reader, TAudioItem& item) {
    const MPEGStreamFindings& f = reader.Findings();
    // The reader's length is already that of the frames present.
    if (f.Truncated && f.ClaimedDuration > item.Duration)
        AddFinding(item.Health, TruncatedFinding(item.Duration, f.ClaimedDuration));
    // Without a header that counts the frames, a last frame cut short tells
    // of a cut, but not how long the stream was.
    else if (!f.Truncated && f.LastFrameCut)
        AddFinding(item.Health, TruncatedFinding(item.Duration, kUnknownLength));
    if (f.DamagedStretches > 0) AddFinding(item.Health, DamagedFinding(f.DamagedStretches));
    if (f.JunkBytes > 0) AddFinding(item.Health, JunkFinding(f.JunkBytes));
    if (f.LameTagChecked && !f.LameTagCRCMatches) AddFinding(item.Health, Finding(THealthKind::LameTagDamaged));
    if (f.ID3v2PastEnd) AddFinding(item.Health, Finding(THealthKind::TagDamaged));
    CheckAPETag(reader.APETag(), reader.FileSize(), item);
}

// The end of an Ogg stream from what its reader saw: pages whose checksum
// failed are damage; a last page cut short, or a stream that ends without
// its end-of-stream page, was cut. presentSeconds is the audio up to the
// last whole page when the declared length may be longer (the length shown
// is that already otherwise, and what the stream would have held unknown).
void CheckOggEnd(const TOggStreamEnd& end, TAudioItem& item, double presentSeconds, bool bitRateFromLength) {
    if (end.ChecksumFailures > 0) AddFinding(item.Health, DamagedFinding(end.ChecksumFailures));
    if (!end.LastPageCut && end.EndOfStream) return;
    if (presentSeconds >= 0 && item.Duration > presentSeconds)
        ApplyTruncation(item, presentSeconds, kCanonicalWavHeaderBytes, bitRateFromLength);
    else
        AddFinding(item.Health, TruncatedFinding(item.Duration, kUnknownLength));
}

// The end of an Ogg stream: a last page that is cut, or a stream that ends
// without its end-of-stream page, was cut; a last page whose checksum fails
// is damage. The audio present ends at the last whole page's granule; what
// the stream would have held is unknown unless a cut page's granule was read.
void CheckOggTail(TFileStream& stream, TAudioItem& item, bool bitRateFromLength) {
    const TOggTail tail = ReadOggTail(stream);
    if (!tail.Found) return;
    if (tail.BadPages > 0) AddFinding(item.Health, DamagedFinding(tail.BadPages));
    if (!tail.CutPage && tail.EndOfStream) return;
    const double present = item.SampleRate > 0 ? static_cast<double>(tail.Granule) / item.SampleRate : 0;
    if (item.Duration > present) {
        ApplyTruncation(item, present, kCanonicalWavHeaderBytes, bitRateFromLength);
    } else {
        AddFinding(item.Health, TruncatedFinding(item.Duration, kUnknownLength));
    }
}

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
    CheckAPETag(r.APEtag(), stream.Size(), item);
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
    // Uncompressed sample frames need their bytes after the 54 header bytes
    // at the least; a shorter file was cut. Compressed AIFF-C is not judged.
    const bool uncompressed = !r.IsAIFC() || r.CompressionType() == "NONE" || r.CompressionType() == "twos" ||
                              r.CompressionType() == "sowt";
    const int64_t bytesPerFrame = int64_t{item.Channels} * ((item.BitsPerSample + 7) / 8);
    const int64_t declaredBytes = static_cast<int64_t>(r.SampleCount()) * bytesPerFrame;
    const int64_t presentBytes = std::max<int64_t>(stream.Size() - kCanonicalAiffHeaderBytes, 0);
    double presentSeconds = 0;
    if (uncompressed && bytesPerFrame > 0 && item.SampleRate > 0 &&
        TruncatedByBytes(declaredBytes, presentBytes, 0, item.Duration, presentSeconds))
        ApplyTruncation(item, presentSeconds, kCanonicalAiffHeaderBytes, false);
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
    // Frames declared past the end of the file: those whose bytes are all
    // there are the audio present. The old layout declares no frame sizes.
    const int64_t present =
        MonkeySamplesPresent(stream, r.Layout(), AudioEndBeforeTags(r.ID3v1(), r.APEtag(), stream.Size()));
    if (present >= 0 && item.SampleRate > 0)
        ApplyTruncation(item, static_cast<double>(present) / item.SampleRate, kCanonicalWavHeaderBytes, true);
    CheckAPETag(r.APEtag(), stream.Size(), item);
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
    // The last frame in the file's tail tells where its audio ends.
    if (r.Samples() > 0 && item.SampleRate > 0) {
        const auto& header = r.Header();
        constexpr std::size_t kStreamInfoAt = 8;   // after "fLaC" and the block header
        const int64_t present = FlacSamplesPresent(
            stream, r.AudioOffset(), std::span<const uint8_t>(header.data() + kStreamInfoAt, header.size() - kStreamInfoAt));
        if (present >= 0 && present < r.Samples())
            ApplyTruncation(item, static_cast<double>(present) / item.SampleRate, 0, true);
    }
    if (r.CommentRunsPast()) AddFinding(item.Health, Finding(THealthKind::TagDamaged));
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
    CheckMpegFindings(reader, item);

    const TMP3Encoder encoder = DescribeMP3Encoder(reader);
    const std::string streamText = reader.Version() + " " + reader.Layer();
    item.EncoderInfo = encoder.Text.empty() ? streamText : streamText + " " + encoder.Text;
    item.EncoderEvidence = encoder.Evidence;
    if (encoder.HasLameTag) item.EncoderSettings = LameSettingsText(encoder.Lame);
    // The tag's exact length is the whole stream's: a cut file keeps the
    // length of its frames.
    if (!HasFinding(item.Health, THealthKind::Truncated)) SetExactLength(item, encoder.ExactSamples);
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
    SetExactLength(item, r.ExactSamples());
    // A media data atom that runs past the end of the file: the file was
    // cut, and its audio is the share of the media bytes there.
    const int64_t fileSize = stream.Size();
    const int64_t mdatBody = r.MediaDataSize() - kMp4AtomHeaderBytes;
    if (mdatBody > 0 && r.MediaDataOffset() + r.MediaDataSize() > fileSize && item.Duration > 0) {
        const int64_t present = std::clamp<int64_t>(fileSize - r.MediaDataOffset() - kMp4AtomHeaderBytes, 0, mdatBody);
        ApplyTruncation(item, item.Duration * static_cast<double>(present) / static_cast<double>(mdatBody),
                        kCanonicalWavHeaderBytes, false);
    } else if (r.UserDataSize() > 0 && r.UserDataOffset() + r.UserDataSize() > fileSize) {
        AddFinding(item.Health, Finding(THealthKind::TagDamaged));   // the metadata atom runs past the end
    }
    item.EncoderInfo = r.CodecName() + " " + r.EncodingTool();
    if (!r.EncodingTool().empty()) {
        item.EncoderEvidence = "MP4 encoding tool";
    } else if (r.HasITunesMarks()) {
        item.EncoderInfo += "iTunes";
        item.EncoderEvidence = "iTunes freeform item";
    }
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
    // The packets present count the beginning silence too.
    if (r.Cut() && item.SampleRate > 0) {
        const uint64_t present = r.SamplesPresent();
        const uint64_t silence = r.BeginningSilence();
        ApplyTruncation(item, static_cast<double>(present > silence ? present - silence : 0) / item.SampleRate,
                        kCanonicalWavHeaderBytes, true);
    }
    item.EncoderInfo = "Musepack " + r.EncoderVersionText() + " SV 8.0 " + r.ProfileName();
    return TReadResult::Ok();
}

} // namespace

bool IsMusepackSV7(const TMPEGplus& r) { return r.StreamVersion() == 7 || r.StreamVersion() == 71; }

void CheckMusepackSV7Frames(const TMPEGplus& r, TFileStream& stream, TAudioItem& item, int64_t walkLimit) {
    if (HasFinding(item.Health, THealthKind::Truncated) || item.SampleRate <= 0) return;
    const int64_t present =
        MusepackSV7FramesPresent(stream, r.ID3v2().Size(), r.FrameCount(),
                                 AudioEndBeforeTags(r.ID3v1(), r.APEtag(), stream.Size()), walkLimit);
    if (present >= 0 && present < r.FrameCount())
        ApplyTruncation(item, static_cast<double>(present * kMusepackFrameSamples) / item.SampleRate,
                        kCanonicalWavHeaderBytes, true);
}

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
    item.Ratio = knownMode ? WavRatio(item, static_cast<double>(int64_t{r.FrameCount()} * kMusepackFrameSamples)) : 0;
    // Stream version 7 gives each frame's length: the frames within the
    // bytes read with the header are walked here, all of them in verify.
    if (IsMusepackSV7(r) && knownMode) CheckMusepackSV7Frames(r, stream, item, kScanWalkBytes);
    CheckAPETag(r.APEtag(), stream.Size(), item);
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
    // The header declares the samples but not the size of the compressed
    // stream, and a stream of silence may be tiny: only a file that ends
    // with its header block, without a byte of audio after it, is certainly
    // cut. Header blocks hold 12 or 15 bytes of fields.
    const uint32_t fieldBytes = r.HeaderFieldBytes();
    if ((fieldBytes == kOfrShortHeaderFields || fieldBytes == kOfrHeaderFields) && r.Samples() > 0 &&
        AudioEndBeforeTags(r.ID3v1(), r.APEtag(), stream.Size()) <= r.HeaderAt() + kOfrHeaderStart + fieldBytes)
        ApplyTruncation(item, 0, kCanonicalWavHeaderBytes, true);
    CheckAPETag(r.APEtag(), stream.Size(), item);
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
    CheckOggEnd(r.StreamEnd(), item, -1, true);
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
    const double present = item.SampleRate > 0 ? static_cast<double>(std::max<int64_t>(r.Granule(), 0)) / item.SampleRate : -1;
    CheckOggEnd(r.StreamEnd(), item, present, true);
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
    CheckOggEnd(r.StreamEnd(), item, -1, true);
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
    CheckOggTail(stream, item, true);
    if (r.VorbisComment().RunsPast()) AddFinding(item.Health, Finding(THealthKind::TagDamaged));
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
    const int32_t apeBytes = r.APEtag().Exists() && r.APEtag().Size() <= r.FileSize() ? r.APEtag().Size() : 0;
    const int64_t audioEnd = r.FileSize() - r.ID3v1().TrailingTagSize() - std::max(apeBytes, 0);
    const int64_t present = TtaSamplesPresent(stream, r.ID3v2().Size(), r.Samples(), r.SampleRate(), audioEnd);
    if (present >= 0 && present < int64_t{r.Samples()} && item.SampleRate > 0)
        ApplyTruncation(item, static_cast<double>(present) / item.SampleRate, kCanonicalWavHeaderBytes, true);
    CheckAPETag(r.APEtag(), stream.Size(), item);
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
    // A data chunk that declares more bytes than follow its header. The sizes
    // 0 and 0xFFFFFFFF are what streaming writers leave when they cannot go back.
    const int64_t declared = r.DataChunkSize();
    const int64_t present = std::max<int64_t>(stream.Size() - r.HeaderSize(), 0);
    if (declared > 0 && declared != 0xFFFFFFFF && declared > present && r.BytesPerSecond() > 0) {
        const double declaredSeconds = static_cast<double>(declared) / r.BytesPerSecond();
        const double presentSeconds = declaredSeconds * static_cast<double>(present) / static_cast<double>(declared);
        // Sample formats already count only the samples present.
        item.Duration = declaredSeconds;
        ApplyTruncation(item, presentSeconds, kCanonicalWavHeaderBytes, false);
    }
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
    // The block nearest the end: one that runs past it, or ends before the
    // total, marks a cut file, and the last whole block tells how far its
    // samples go. Only the file's last bytes are looked at; verify looks
    // further back.
    if (r.Version() >= 4 && !r.SamplesFromLastBlock() && r.Samples() > 0 && item.SampleRate > 0) {
        const uint64_t dsd = r.IsDSD() ? kDSDBitsPerStoredSample : 1;
        const TWAVPackfile::TTailBlock tail = r.BlockNearEnd(stream, kWavPackTailProbe);
        if (tail.Found && (tail.RunsPast || tail.SamplesEnd * dsd < r.Samples())) {
            const uint64_t present = r.SamplesUpToLastBlock(stream) * dsd;
            if (present < r.Samples())
                ApplyTruncation(item, static_cast<double>(present) / item.SampleRate, kCanonicalWavHeaderBytes, true);
        }
    }
    CheckAPETag(r.APEtag(), stream.Size(), item);
    item.EncoderInfo = "WavPack" + std::to_string(r.Version()) + " " + r.ModeText();
    return TReadResult::Ok();
}
