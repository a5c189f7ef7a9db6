// Loading the three playlist formats: each entry is resolved to a file path
// and handed to the analysis, with the playlist's own path as the root.
#pragma once

#include "core/AnalysisList.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Analyses one entry; an exception it raises is recorded as a failure and the
// load goes on with the next entry.
using TEntryHandler = std::function<void(const std::string& root, const std::string& path)>;
// Asked between entries and during long reads: true stops the load there
// (the desktop program's worker when its window closes). Empty: never stop.
using TCancelCheck = std::function<bool()>;

// An ".m3u" line longer than this is not a path; it is skipped with a note.
inline constexpr std::size_t kMaxM3uLineLength = 64 * 1024;
// A ".pls" is read whole; a larger file is not read (with a note).
inline constexpr int64_t kMaxPlsSize = 64 * 1024 * 1024;

struct TPlaylistResult {
    bool Loaded = false;             // the playlist itself could be read
    std::vector<TFailure> Failures;  // entries that could not be analysed, in order
    std::vector<std::string> Notes;  // what was skipped as no playlist content, naming the playlist
};

// ".m3u": one path per line; empty lines and "#" lines (extended M3U) are
// skipped, as are lines over kMaxM3uLineLength bytes and lines holding a NUL
// byte (a note says so).
TPlaylistResult LoadM3u(const std::string& playlist, const TEntryHandler& handler, const TCancelCheck& cancelled = {});
// ".pls": keys File0 .. File<NumberOfEntries> of section [playlist], those
// present, in index order.
TPlaylistResult LoadPls(const std::string& playlist, const TEntryHandler& handler, const TCancelCheck& cancelled = {});
// ".fpl": the binary playlist's track paths.
TPlaylistResult LoadFpl(const std::string& playlist, const TEntryHandler& handler, const TCancelCheck& cancelled = {});

// Picks the loader by the lower-cased extension; another extension loads nothing.
TPlaylistResult LoadPlaylist(const std::string& playlist, const TEntryHandler& handler,
                             const TCancelCheck& cancelled = {});

bool IsPlaylistPath(const std::string& path);

// Convenience: a playlist load into an analysis list (appends; not cleared).
TPlaylistResult LoadPlaylistIntoList(TAnalysisList& list, const std::string& playlist,
                                     const std::function<void()>& afterEntry = {});
