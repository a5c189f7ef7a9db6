#include "core/Playlists.h"

#include "io/Errors.h"
#include "core/FPLfile.h"
#include "io/FileStream.h"
#include "io/IniFile.h"
#include "io/Paths.h"
#include "io/Text.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

bool Cancelled(const TCancelCheck& cancelled) { return cancelled && cancelled(); }

void Analyse(const TEntryHandler& handler, const std::string& playlist, const std::string& path,
             TPlaylistResult& result) {
    try {
        // Entries are placed relative to the playlist's folder.
        handler(FolderOf(playlist), path);
    } catch (const std::exception& e) {
        result.Failures.push_back(FailureOf(path, e.what()));
    }
}

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kReadChunk = 64 * 1024;

// Reads a whole (INI) file in chunks, asking between chunks whether to stop.
// A file over kMaxPlsSize is no playlist and is not read (false, too large).
bool ReadWholeFile(const std::string& path, std::string& text, const TCancelCheck& cancelled, bool& tooLarge) {
    TFileStream stream(path);
    tooLarge = stream.Size() > kMaxPlsSize;
    if (tooLarge) return false;
    std::vector<char> chunk(kReadChunk);
    for (;;) {
        if (Cancelled(cancelled)) return false;
        const std::size_t got = stream.Read(chunk.data(), chunk.size());
        if (got == 0) return true;
        text.append(chunk.data(), got);
        if (static_cast<int64_t>(text.size()) > kMaxPlsSize) {   // it grew meanwhile
            tooLarge = true;
            return false;
        }
    }
}

// An index of a key "File<k>" with k written in plain decimal (the name the
// loader would look up), or -1.
int64_t EntryIndexOf(const std::string& key) {
    if (key.size() <= 4 || !EqualsIgnoreAsciiCase(key.substr(0, 4), "file")) return -1;
    const std::string digits = key.substr(4);
    int64_t index = 0;
    if (!ParseDigits(digits, index) || std::to_string(index) != digits) return -1;
    return index;
}

} // namespace

TPlaylistResult LoadM3u(const std::string& playlist, const TEntryHandler& handler, const TCancelCheck& cancelled) {
    TPlaylistResult result;
    std::unique_ptr<TFileStream> stream;
    try {
        stream = std::make_unique<TFileStream>(playlist);
    } catch (const std::exception& e) {
        result.Failures.push_back(FailureOf(playlist, e.what()));
        return result;
    }
    result.Loaded = true;

    // The file is read in chunks and split at CR, LF or CR LF; a line keeps at
    // most kMaxM3uLineLength bytes, so one huge line cannot fill the memory.
    std::string line;
    bool overlong = false;
    bool afterCR = false;
    int64_t lineNumber = 0;
    const auto endLine = [&] {
        ++lineNumber;
        if (lineNumber == 1 && line.compare(0, kUtf8ByteOrderMark.size(), kUtf8ByteOrderMark) == 0)
            line.erase(0, kUtf8ByteOrderMark.size());
        const std::string where = playlist + ": line " + std::to_string(lineNumber);
        if (overlong)
            result.Notes.push_back(where + " is longer than " + std::to_string(kMaxM3uLineLength) +
                                   " bytes and is not taken as a path");
        else if (line.find('\0') != std::string::npos)
            result.Notes.push_back(where + " holds a NUL byte and is not taken as a path");
        else if (!line.empty() && line[0] != '#')
            Analyse(handler, playlist, ResolvePlaylistEntry(line, playlist), result);
        line.clear();
        overlong = false;
    };
    std::vector<char> chunk(kReadChunk);
    for (;;) {
        if (Cancelled(cancelled)) return result;
        const std::size_t got = stream->Read(chunk.data(), chunk.size());
        if (got == 0) break;
        for (std::size_t i = 0; i < got; ++i) {
            const char c = chunk[i];
            if (afterCR) {
                afterCR = false;
                if (c == '\n') continue;   // CR LF is one line break
            }
            if (c == '\r' || c == '\n') {
                endLine();
                if (Cancelled(cancelled)) return result;
                afterCR = c == '\r';
            } else if (line.size() < kMaxM3uLineLength) {
                line += c;
            } else {
                overlong = true;
            }
        }
    }
    if (!line.empty() || overlong) endLine();
    return result;
}

TPlaylistResult LoadPls(const std::string& playlist, const TEntryHandler& handler, const TCancelCheck& cancelled) {
    TPlaylistResult result;
    TIniFile ini;
    std::string text;
    try {
        bool tooLarge = false;
        if (!ReadWholeFile(playlist, text, cancelled, tooLarge)) {
            if (tooLarge)
                result.Notes.push_back(playlist + " is larger than " + std::to_string(kMaxPlsSize >> 20) +
                                       " MiB and is not read as a playlist");
            return result;
        }
        ini.Parse(text);
        result.Loaded = true;
    } catch (const std::exception&) {
        // A missing or unreadable file reads as an empty INI: nothing is found.
    }
    const int32_t count = ini.ReadInteger("playlist", "NumberOfEntries", 0);
    // The entries are the keys File0 to File<count>, in index order. Only the
    // keys present are visited, so a huge count or index costs nothing.
    std::vector<std::pair<int64_t, std::string>> entries;
    for (auto& [key, value] : ini.Values("playlist")) {
        if (Cancelled(cancelled)) return result;
        const int64_t index = EntryIndexOf(key);
        if (index >= 0 && index <= count && !value.empty()) entries.emplace_back(index, std::move(value));
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : entries) {
        if (Cancelled(cancelled)) return result;
        Analyse(handler, playlist, ResolvePlaylistEntry(entry.second, playlist), result);
    }
    return result;
}

TPlaylistResult LoadFpl(const std::string& playlist, const TEntryHandler& handler, const TCancelCheck& cancelled) {
    TPlaylistResult result;
    TFPLfile fpl;
    if (!fpl.Open(playlist, cancelled)) return result;
    result.Loaded = true;
    for (std::size_t i = 0; i < fpl.Tracks().size(); ++i) {
        if (Cancelled(cancelled)) return result;
        Analyse(handler, playlist, fpl.Tracks()[i].Path, result);
    }
    return result;
}

bool IsPlaylistPath(const std::string& path) {
    const std::string extension = AsciiLower(ExtensionOf(path));
    return extension == ".m3u" || extension == ".pls" || extension == ".fpl";
}

TPlaylistResult LoadPlaylist(const std::string& playlist, const TEntryHandler& handler, const TCancelCheck& cancelled) {
    const std::string extension = AsciiLower(ExtensionOf(playlist));
    if (extension == ".m3u") return LoadM3u(playlist, handler, cancelled);
    if (extension == ".pls") return LoadPls(playlist, handler, cancelled);
    if (extension == ".fpl") return LoadFpl(playlist, handler, cancelled);
    return {};
}

TPlaylistResult LoadPlaylistIntoList(TAnalysisList& list, const std::string& playlist,
                                     const std::function<void()>& afterEntry) {
    return LoadPlaylist(playlist, [&](const std::string& root, const std::string& path) {
        list.AnalyseFile(root, path);
        if (afterEntry) afterEntry();
    });
}
