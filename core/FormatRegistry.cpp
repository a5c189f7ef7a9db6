#include "core/FormatRegistry.h"

#include "core/FillFunctions.h"
#include "io/Text.h"

// The last number of a row is its reader version: raise it when a change of
// the reader or its fill function changes any result of a file already read,
// so that the results cache reads that format's files again.
const std::vector<TFormatEntry>& FormatTable() {
    static const std::vector<TFormatEntry> table = {
        {"AAC (ADIF, ADTS)", {"aac"}, FillAAC, 1},
        {"AC-3 and E-AC-3", {"ac3", "eac3", "ec3"}, FillAC3, 1},
        {"AIFF, AIFF-C", {"aif", "aiff", "aifc"}, FillAIFF, 1},
        {"Monkey's Audio", {"ape", "mac"}, FillMonkey, 2},
        {"DSDIFF", {"dff"}, FillDSDIFF, 1},
        {"DSF", {"dsf"}, FillDSF, 1},
        {"DTS", {"dts"}, FillDTS, 1},
        {"FLAC", {"flac"}, FillFLAC, 1},
        {"Matroska and WebM audio", {"mka", "webm", "weba"}, FillMatroska, 1},
        {"MPEG audio (Layer I, II, III)", {"mpa", "mp1", "mp2", "mp3"}, FillMPEG, 2},
        {"MPEG-4 audio (AAC, ALAC, AC-3, Opus, MP3, FLAC)", {"mp4", "m4a", "m4b"}, FillMp4, 1},
        {"Musepack", {"mp+", "mpc", "mpp"}, FillMusepack, 2},
        {"OptimFROG", {"ofr"}, FillOptimFrog, 2},
        {"Ogg (Vorbis, Opus, FLAC, Speex)", {"ogg", "oga", "opus"}, FillOgg, 1},
        {"Speex", {"spx"}, FillSpeex, 1},
        {"True Audio", {"tta"}, FillTTA, 1},
        {"TwinVQ", {"vqf"}, FillTwinVQ, 1},
        {"WAV", {"wav"}, FillWAV, 1},
        {"Windows Media Audio", {"wma"}, FillWMA, 1},
        {"WavPack", {"wv"}, FillWavPack, 1},
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
