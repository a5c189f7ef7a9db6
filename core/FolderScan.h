// The folder scan: listing a folder's supported files and subfolders, and the
// breadth-first scan that hands every file to the analysis.
#pragma once

#include "core/AnalysisList.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// True when the extension (without its dot, any case) has a format in the
// format registry.
bool IsSupportedExtension(const std::string& extensionWithoutDot);

// Appends folder's supported files to files and its subfolders to folders.
// folder ends with a separator. A folder that cannot be listed (or whose
// listing breaks off) adds nothing, or what was read before the break, and
// returns false with the system's reason in error when error is given.
// POSIX: hidden entries (names starting with ".") are skipped; only regular
// files and folders count (symbolic links are followed). Entries come in name
// order: upper-cased characters compared by code point, then the characters
// themselves, ties by the raw name — a stable order in place of the file
// system's arbitrary one.
// Windows: entries with the hidden or the system attribute are skipped, and
// entries come in the file system's own order (NTFS keeps names sorted).
bool ListFolder(const std::string& folder, std::vector<std::string>& files, std::deque<std::string>& folders,
                std::string* error = nullptr);

// The name order ListFolder uses: true when a comes before b.
bool FolderNameLess(const std::string& a, const std::string& b);

struct TScanCallbacks {
    // Analyses one file (root is the scan root with its trailing separator).
    // An exception it raises is recorded as a failure and the scan goes on.
    std::function<void(const std::string& root, const std::string& path)> AnalyseFile;
    // Runs after every file (the desktop program serves its events here).
    std::function<void()> AfterFile;
    // Asked after each folder: true stops a recursive scan early.
    std::function<bool()> Pending;
};

struct TScanResult {
    bool Scanned = false;            // false when path is not an existing folder
    std::string Root;                // path with its trailing separator
    // Files that could not be analysed and folders that could not be listed
    // ("Cannot list folder "<path>". <reason>"), in scan order.
    std::vector<TFailure> Failures;
};

// Scans path (and, when recursive, its subfolders breadth-first). A folder
// reached twice in one scan (through a symbolic link) is scanned once.
TScanResult ScanFolder(const std::string& path, bool recursive, const TScanCallbacks& callbacks);

// Convenience: a whole scan into an analysis list (cleared first).
TScanResult ScanIntoList(TAnalysisList& list, const std::string& path, bool recursive,
                         const std::function<void()>& afterFile = {});

// What the program does with its first command-line argument at start-up.
struct TStartTarget {
    std::string Folder;       // folder to select in the tree
    bool IsPlaylist = false;  // the argument is a ".m3u", ".pls" or ".fpl"
    std::string Playlist;     // the argument, when IsPlaylist
};

// argument empty: the root of the file system that holds the program ("/";
// on Windows the root of the program's drive, such as "D:\").
// An existing file: its folder. Anything else: the argument taken as a folder.
TStartTarget ResolveStartTarget(const std::string& argument);

bool FolderExists(const std::string& path);
bool RegularFileExists(const std::string& path);
