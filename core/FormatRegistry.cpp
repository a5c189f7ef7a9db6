#include "core/FormatRegistry.h"

#include "core/FillFunctions.h"
#include "io/Text.h"

const std::vector<TFormatEntry>& FormatTable() {
    static const std::vector<TFormatEntry> table = {
        {"AAC (ADIF, ADTS)", {"aac"}, FillAAC},
        {"AC-3 and E-AC-3", {"ac3", "eac3", "ec3"}, FillAC3},
        {"AIFF, AIFF-C", {"aif", "aiff", "aifc"}, FillAIFF},
        {"Monkey's Audio", {"ape", "mac"}, FillMonkey},
        {"DSDIFF", {"dff"}, FillDSDIFF},
        {"DSF", {"dsf"}, FillDSF},
        {"DTS", {"dts"}, FillDTS},
        {"FLAC", {"flac"}, FillFLAC},
        {"Matroska and WebM audio", {"mka", "webm", "weba"}, FillMatroska},
        {"MPEG audio (Layer I, II, III)", {"mpa", "mp1", "mp2", "mp3"}, FillMPEG},
        {"MPEG-4 audio (AAC, ALAC, AC-3, Opus, MP3, FLAC)", {"mp4", "m4a", "m4b"}, FillMp4},
        {"Musepack", {"mp+", "mpc", "mpp"}, FillMusepack},
        {"OptimFROG", {"ofr"}, FillOptimFrog},
        {"Ogg (Vorbis, Opus, FLAC, Speex)", {"ogg", "oga", "opus"}, FillOgg},
        {"Speex", {"spx"}, FillSpeex},
        {"True Audio", {"tta"}, FillTTA},
        {"TwinVQ", {"vqf"}, FillTwinVQ},
        {"WAV", {"wav"}, FillWAV},
        {"Windows Media Audio", {"wma"}, FillWMA},
        {"WavPack", {"wv"}, FillWavPack},
    };
    return table;
}

const TFormatEntry* FindFormat(std::string_view extensionWithoutDot) {
    const std::string lower = AsciiLower(extensionWithoutDot);
    for (const TFormatEntry& entry : FormatTable())
        for (const std::string& extension : entry.Extensions)
            if (extension == lower) return &entry;
    return nullptr;
}

std::vector<std::string> SupportedExtensions() {
    std::vector<std::string> all;
    for (const TFormatEntry& entry : FormatTable())
        all.insert(all.end(), entry.Extensions.begin(), entry.Extensions.end());
    return all;
}
