// Loading the three playlist formats: each entry is resolved to a file path
// and handed to the analysis, with the playlist's own path as the root.
#pragma once

#include "core/AnalysisList.h"

#include <functional>
#include <string>
#include <vector>

// Analyses one entry; an exception it raises is recorded as a failure and the
// load goes on with the next entry.
using TEntryHandler = std::function<void(const std::string& root, const std::string& path)>;

struct TPlaylistResult {
    bool Loaded = false;             // the playlist itself could be read
    std::vector<TFailure> Failures;  // entries that could not be analysed, in order
};

// ".m3u": one path per line; empty lines and "#" lines (extended M3U) are skipped.
TPlaylistResult LoadM3u(const std::string& playlist, const TEntryHandler& handler);
// ".pls": keys File0 .. File<NumberOfEntries> of section [playlist].
TPlaylistResult LoadPls(const std::string& playlist, const TEntryHandler& handler);
// ".fpl": the binary playlist's track paths.
TPlaylistResult LoadFpl(const std::string& playlist, const TEntryHandler& handler);

// Picks the loader by the lower-cased extension; another extension loads nothing.
TPlaylistResult LoadPlaylist(const std::string& playlist, const TEntryHandler& handler);

bool IsPlaylistPath(const std::string& path);

// Convenience: a playlist load into an analysis list (appends; not cleared).
TPlaylistResult LoadPlaylistIntoList(TAnalysisList& list, const std::string& playlist,
                                     const std::function<void()>& afterEntry = {});
