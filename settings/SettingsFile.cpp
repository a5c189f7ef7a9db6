#include "settings/SettingsFile.h"

namespace {

constexpr const char* kPosition = "Position";
constexpr const char* kColumns = "Columns";
constexpr const char* kSwitches = "Settings";

} // namespace

TSettings ReadSettings(const TIniFile& ini) {
    TSettings s;
    TWindowPlacement& p = s.Position;
    p.Left = ini.ReadInteger(kPosition, "Left", p.Left);
    p.Top = ini.ReadInteger(kPosition, "Top", p.Top);
    p.Width = ini.ReadInteger(kPosition, "Width", p.Width);
    p.Height = ini.ReadInteger(kPosition, "Height", p.Height);
    p.Maximized = ini.ReadBool(kPosition, "Maximized", p.Maximized);
    s.FolderTree = ini.ReadInteger(kColumns, "FolderTree", s.FolderTree);
    for (int record = 0; record < kColumnCount; ++record) {
        TColumnItem& column = s.Columns[record];
        const std::string stem = kColumnDefaults[record].KeyStem;
        column.Pos = ini.ReadInteger(kColumns, stem + "Pos", column.Pos);
        column.Width = ini.ReadInteger(kColumns, stem, column.Width);
        column.Visible = ini.ReadBool(kColumns, stem + "Visible", column.Visible);
    }
    s.RelativePathAuto = ini.ReadBool(kColumns, "RelativePathAuto", s.RelativePathAuto);
    s.Integration = ini.ReadBool(kSwitches, "Integration", s.Integration);
    s.AlphaBlend = ini.ReadBool(kSwitches, "AlphaBlend", s.AlphaBlend);
    s.RecursiveScanning = ini.ReadBool(kSwitches, "RecursiveScanning", s.RecursiveScanning);
    s.ResultsCache = ini.ReadBool(kSwitches, "ResultsCache", s.ResultsCache);
    s.LastFolder = ini.ReadString(kSwitches, "LastFolder", "");
    return s;
}

void WriteSettings(TIniFile& ini, const TSettings& s, bool maximized) {
    if (maximized) {
        ini.WriteBool(kPosition, "Maximized", true);
    } else {
        ini.WriteInteger(kPosition, "Left", s.Position.Left);
        ini.WriteInteger(kPosition, "Top", s.Position.Top);
        ini.WriteInteger(kPosition, "Width", s.Position.Width);
        ini.WriteInteger(kPosition, "Height", s.Position.Height);
        ini.WriteBool(kPosition, "Maximized", false);
    }
    ini.WriteInteger(kColumns, "FolderTree", s.FolderTree);
    for (int record = 0; record < kColumnCount; ++record) {
        const TColumnItem& column = s.Columns[record];
        const std::string stem = kColumnDefaults[record].KeyStem;
        ini.WriteInteger(kColumns, stem + "Pos", column.Pos);
        // The width comes from the list, so only a shown column has a current one.
        if (column.Visible) ini.WriteInteger(kColumns, stem, column.Width);
        ini.WriteBool(kColumns, stem + "Visible", column.Visible);
    }
    ini.WriteBool(kColumns, "RelativePathAuto", s.RelativePathAuto);
    ini.WriteBool(kSwitches, "Integration", s.Integration);
    ini.WriteBool(kSwitches, "AlphaBlend", s.AlphaBlend);
    ini.WriteBool(kSwitches, "RecursiveScanning", s.RecursiveScanning);
    ini.WriteBool(kSwitches, "ResultsCache", s.ResultsCache);
    if (!s.LastFolder.empty()) ini.WriteString(kSwitches, "LastFolder", s.LastFolder);
}

void SaveSettingsFile(const std::string& path, const TSettings& settings, bool maximized) {
    TIniFile ini;
    ini.Load(path);
    WriteSettings(ini, settings, maximized);
    if (!ini.Save(path)) throw ESettingsWriteError("Unable to write to " + path);
}
