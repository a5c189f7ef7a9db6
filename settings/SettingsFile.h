// The settings file "Sondaro.ini": window placement, folder tree width, the
// layout of the eleven list columns and three switches. Read once when the
// main window is created, written once when it is destroyed.
#pragma once

#include "core/Columns.h"
#include "io/IniFile.h"

#include <cstdint>
#include <stdexcept>
#include <string>

inline constexpr const char* kSettingsFileName = "Sondaro.ini";

struct TWindowPlacement {
    int32_t Left = 0;
    int32_t Top = 0;
    // Wide enough for the tree and every default column on a 1366 x 768 screen.
    int32_t Width = 1120;
    int32_t Height = 660;
    bool Maximized = false;
};

struct TSettings {
    TWindowPlacement Position;
    int32_t FolderTree = 190;
    TColumnLayout Columns = DefaultColumnLayout();
    bool Integration = false;
    bool AlphaBlend = false;
    bool RecursiveScanning = false;
    // Files unchanged since an earlier scan are taken from the results cache.
    bool ResultsCache = true;
    // Relative Path shown for recursive scans and playlists while the user
    // has not switched the column on or off.
    bool RelativePathAuto = true;
    // The folder scanned last, where the next start begins.
    std::string LastFolder;
};

// A settings file that could not be written: "Unable to write to <file>".
class ESettingsWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads every key; a missing or unreadable value gives its default.
TSettings ReadSettings(const TIniFile& ini);

// Writes the keys into ini. When maximized only "Maximized" = 1 is written
// (the last normal placement stays in the file). The width key is written
// only for a visible column (its width is the list's current one); a hidden
// column's stored width is left as it was.
void WriteSettings(TIniFile& ini, const TSettings& settings, bool maximized);

// Loads path (if it exists), writes the keys and saves it again. Raises
// ESettingsWriteError when the file cannot be written.
void SaveSettingsFile(const std::string& path, const TSettings& settings, bool maximized);
