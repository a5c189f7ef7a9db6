#include "core/Playlists.h"

#include "io/Errors.h"
#include "core/FPLfile.h"
#include "io/FileStream.h"
#include "io/IniFile.h"
#include "io/Paths.h"
#include "io/Text.h"

#include <algorithm>

namespace {

void Analyse(const TEntryHandler& handler, const std::string& playlist, const std::string& path,
             TPlaylistResult& result) {
    try {
        // Entries are placed relative to the playlist's folder.
        handler(FolderOf(playlist), path);
    } catch (const std::exception& e) {
        result.Failures.push_back({path, e.what()});
    }
}

std::string ReadWholeFile(const std::string& path) {
    TFileStream stream(path);
    std::string text;
    char chunk[64 * 1024];
    for (;;) {
        const std::size_t got = stream.Read(chunk, sizeof chunk);
        if (got == 0) break;
        text.append(chunk, got);
    }
    return text;
}

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

} // namespace

TPlaylistResult LoadM3u(const std::string& playlist, const TEntryHandler& handler) {
    TPlaylistResult result;
    std::string text;
    try {
        text = ReadWholeFile(playlist);
    } catch (const std::exception& e) {
        result.Failures.push_back({playlist, e.what()});
        return result;
    }
    result.Loaded = true;
    if (text.compare(0, kUtf8ByteOrderMark.size(), kUtf8ByteOrderMark) == 0) text.erase(0, kUtf8ByteOrderMark.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        // CR LF is one line break; a lone CR or LF is one too.
        start = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
        if (line.empty() || line[0] == '#') continue;
        Analyse(handler, playlist, ResolvePlaylistEntry(line, playlist), result);
    }
    return result;
}

TPlaylistResult LoadPls(const std::string& playlist, const TEntryHandler& handler) {
    TPlaylistResult result;
    TIniFile ini;
    result.Loaded = ini.Load(playlist);
    const int32_t count = ini.ReadInteger("playlist", "NumberOfEntries", 0);
    // Keys File0 to File<count> are looked up. The highest File<k> key present
    // bounds the loop, so a huge count in a damaged file costs nothing.
    int64_t highest = 0;
    for (const std::string& key : ini.Keys("playlist")) {
        int64_t index = 0;
        if (key.size() > 4 && EqualsIgnoreAsciiCase(key.substr(0, 4), "file") && ParseDigits(key.substr(4), index))
            highest = std::max(highest, index);
    }
    const int64_t last = std::min<int64_t>(count, highest);
    for (int64_t k = 0; k <= last; ++k) {
        const std::string value = ini.ReadString("playlist", "File" + std::to_string(k), "");
        if (value.empty()) continue;
        Analyse(handler, playlist, ResolvePlaylistEntry(value, playlist), result);
    }
    return result;
}

TPlaylistResult LoadFpl(const std::string& playlist, const TEntryHandler& handler) {
    TPlaylistResult result;
    TFPLfile fpl;
    if (!fpl.Open(playlist)) return result;
    result.Loaded = true;
    for (std::size_t i = 0; i < fpl.Tracks().size(); ++i) Analyse(handler, playlist, fpl.Tracks()[i].Path, result);
    return result;
}

bool IsPlaylistPath(const std::string& path) {
    const std::string extension = AsciiLower(ExtensionOf(path));
    return extension == ".m3u" || extension == ".pls" || extension == ".fpl";
}

TPlaylistResult LoadPlaylist(const std::string& playlist, const TEntryHandler& handler) {
    const std::string extension = AsciiLower(ExtensionOf(playlist));
    if (extension == ".m3u") return LoadM3u(playlist, handler);
    if (extension == ".pls") return LoadPls(playlist, handler);
    if (extension == ".fpl") return LoadFpl(playlist, handler);
    return {};
}

TPlaylistResult LoadPlaylistIntoList(TAnalysisList& list, const std::string& playlist,
                                     const std::function<void()>& afterEntry) {
    return LoadPlaylist(playlist, [&](const std::string& root, const std::string& path) {
        list.AnalyseFile(root, path);
        if (afterEntry) afterEntry();
    });
}
