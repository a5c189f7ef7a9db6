#include "core/Analysis.h"

#include "io/FileStream.h"
#include "io/Paths.h"
#include "io/Text.h"
#include "mpeg/MP3Analysis.h"
#include "readers/OggContent.h"

#include <string_view>

namespace {

// Copies the results every reader shares. BitsPerSample and Channels are
// copied separately because some formats fix them.
template <typename Reader>
void CopyCommon(const Reader& reader, TAudioItem& item) {
    item.FileSize = reader.FileSize();
    item.Duration = reader.Duration();
    item.SampleRate = reader.SampleRate();
    item.Ratio = reader.Ratio();
}

template <typename Reader>
bool Accepted(Reader& reader, const TAudioItem& item) {
    return reader.ReadFromFile(item.FullPath) && reader.Valid();
}

int32_t Rounded(double value) { return static_cast<int32_t>(RoundHalfEven(value)); }

void FillAAC(TAACfile& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = Rounded(r.BitRate() / 1000.0);   // this reader counts bit/s
    item.EncoderInfo = r.MPEGVersionName() + " " + r.ProfileName() + " " + r.HeaderTypeName();
}

void FillAC3(TAC3& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.EncoderInfo = r.IsEAC3() ? "E-AC-3" : "AC-3 ATSC A/52";
}

void FillAIFF(TAIFF& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate());
    item.EncoderInfo = "AIFF";
}

void FillMonkey(TMonkey& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate() / 1000000.0);   // thousandths of bit/s
    item.EncoderInfo = "Monkey's Audio " + r.VersionText() + ": " + r.CompressionText();
}

void FillDTS(TDTS& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.EncoderInfo = "DTS";
}

void FillFLAC(TFLACfile& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.EncoderInfo = r.Vendor().empty() ? std::string("FLAC") : r.Vendor();
}

void FillMp4(TMp4file& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.EncoderInfo = r.CodecName() + " " + r.EncodingTool();
}

void FillMusepack(TMPEGplus& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = 2;
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.EncoderInfo = "Musepack " + r.EncoderVersionText() + " SV " + r.StreamVersionText() + " " + r.ProfileName();
}

void FillOptimFrog(TOptimFrog& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.EncoderInfo = "OptimFROG " + r.VersionText() + " " + r.CompressionName();
}

void FillOggVorbis(TOggVorbis& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.EncoderInfo = "Vorbis " + r.EncoderRelease() + " - " + std::to_string(r.NominalBitRate()) + " kbps";
}

void FillSpeex(TSpeex& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.EncoderInfo = "Speex " + r.VersionText();
}

void FillTTA(TTTA& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate());
    item.EncoderInfo = "True Audio";
}

void FillTwinVQ(TTwinVQ& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.EncoderInfo = "Shame on you for having VQF files!";
}

void FillWAV(TWAVfile& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate());
    item.EncoderInfo = r.FormatName();
}

void FillWMA(TWMAfile& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.EncoderInfo = r.CodecName();
}

void FillWavPack(TWAVPackfile& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = Rounded(r.BitRate());
    item.EncoderInfo = "WavPack" + std::to_string(r.Version()) + " " + r.ModeText();
}

void FillOpus(TOpus& r, TFileStream& stream, TAudioItem& item) {
    if (!r.ReadFromStream(stream) || !r.Valid()) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.EncoderInfo = r.Vendor().empty() ? std::string("Opus") : "Opus " + r.Vendor();
}

void FillOggFLAC(TOggFLAC& r, TFileStream& stream, TAudioItem& item) {
    if (!r.ReadFromStream(stream) || !r.Valid()) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.EncoderInfo = r.Vendor().empty() ? std::string("FLAC") : r.Vendor();
}

// An Ogg file is read by what its first packet holds, whatever its extension
// among .ogg, .oga and .opus. Vorbis, and anything not recognised, goes to
// the Vorbis reader as before.
void FillOgg(TFormatReaders& readers, TAudioItem& item) {
    TOggContent content;
    {
        TFileStream stream(item.FullPath);
        content = IdentifyOggContent(stream);
        if (content == TOggContent::Opus) return FillOpus(readers.Opus, stream, item);
        if (content == TOggContent::FLAC) return FillOggFLAC(readers.OggFLAC, stream, item);
    }
    if (content == TOggContent::Speex) FillSpeex(readers.Speex, item);
    else FillOggVorbis(readers.OggVorbis, item);
}

void FillMusepackSV8(TMusepackSV8& r, TFileStream& stream, TAudioItem& item) {
    if (!r.ReadFromStream(stream) || !r.Valid()) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = 16;
    item.BitRate = r.BitRate();
    item.EncoderInfo = "Musepack " + r.EncoderVersionText() + " SV 8.0 " + r.ProfileName();
}

// Stream version 8 starts with "MPCK"; the older versions have a header of
// their own.
void FillAnyMusepack(TFormatReaders& readers, TAudioItem& item) {
    {
        TFileStream stream(item.FullPath);
        if (IsMusepackSV8(stream)) return FillMusepackSV8(readers.MusepackSV8, stream, item);
    }
    FillMusepack(readers.MPEGplus, item);
}

template <typename Reader>
void FillDSD(Reader& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = Reader::kBitsPerSample;
    item.BitRate = r.BitRate();
    item.EncoderInfo = DsdRateName(r.SampleRate());
}

void FillDSDIFF(TDSDIFF& r, TAudioItem& item) {
    FillDSD(r, item);
    if (r.Valid() && r.IsDST()) item.EncoderInfo += " DST compressed";
}

void FillMatroska(TMatroska& r, TAudioItem& item) {
    if (!Accepted(r, item)) return;
    CopyCommon(r, item);
    item.Channels = r.Channels();
    item.BitsPerSample = r.BitsPerSample();
    item.BitRate = r.BitRate();
    item.EncoderInfo = r.WritingApp().empty() ? r.CodecName() : r.CodecName() + " " + r.WritingApp();
}

} // namespace

void FillFromReader(TFormatReaders& readers, TAudioItem& item) {
    const std::string& type = item.FileType;
    const auto is = [&](std::initializer_list<std::string_view> names) {
        for (auto name : names)
            if (type == name) return true;
        return false;
    };
    if (is({"AAC"})) FillAAC(readers.AACfile, item);
    else if (is({"AC3", "EAC3", "EC3"})) FillAC3(readers.AC3, item);
    else if (is({"AIF", "AIFF"})) FillAIFF(readers.AIFF, item);
    else if (is({"APE", "MAC"})) FillMonkey(readers.Monkey, item);
    else if (is({"DFF"})) FillDSDIFF(readers.DSDIFF, item);
    else if (is({"DSF"})) FillDSD(readers.DSF, item);
    else if (is({"DTS"})) FillDTS(readers.DTS, item);
    else if (is({"FLAC"})) FillFLAC(readers.FLACfile, item);
    else if (is({"MKA", "WEBM", "WEBA"})) FillMatroska(readers.Matroska, item);
    else if (is({"MPA", "MP1", "MP2", "MP3"})) FillMPEGItem(readers.MPEGaudio, item);
    else if (is({"MP4", "M4A"})) FillMp4(readers.Mp4file, item);
    else if (is({"MP+", "MPC", "MPP"})) FillAnyMusepack(readers, item);
    else if (is({"OFR"})) FillOptimFrog(readers.OptimFrog, item);
    else if (is({"OGG", "OGA", "OPUS"})) FillOgg(readers, item);
    else if (is({"SPX"})) FillSpeex(readers.Speex, item);
    else if (is({"TTA"})) FillTTA(readers.TTA, item);
    else if (is({"VQF"})) FillTwinVQ(readers.TwinVQ, item);
    else if (is({"WAV"})) FillWAV(readers.WAVfile, item);
    else if (is({"WMA"})) FillWMA(readers.WMAfile, item);
    else if (is({"WV"})) FillWavPack(readers.WAVPackfile, item);
}

std::unique_ptr<TAudioItem> AnalyseFile(TFormatReaders& readers, const std::string& root,
                                        const std::string& fullPath) {
    if (FileSizeOf(fullPath) == 0) return nullptr;
    auto item = std::make_unique<TAudioItem>();
    item->Folder = FolderOf(fullPath);
    item->RelativePath = RelativePathOf(root, item->Folder);
    item->FullPath = fullPath;
    item->FileType = FileTypeOf(fullPath);
    FillFromReader(readers, *item);
    return item;
}
