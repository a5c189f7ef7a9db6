#include "core/Columns.h"

#include "io/Paths.h"
#include "io/Text.h"

const std::array<TColumnDefault, kColumnCount> kColumnDefaults = {{
    {kColRelativePath, "Relative Path", "RelativePath", 0, 175, false},
    {kColFileName, "File Name", "FileName", 1, 175, true},
    {kColType, "Type", "Type", 2, 50, true},
    {kColSize, "Size", "Size", 3, 70, true},
    {kColLength, "Length", "Length", 4, 50, true},
    {kColSampleRate, "Sample Rate", "SampleRate", 8, 73, true},
    {kColChannels, "Channels", "Channels", 9, 56, true},
    {kColBitsPerSample, "Bits Per Sample", "BitsPerSample", 10, 38, true},
    {kColRatio, "Ratio", "Ratio", 5, 60, true},   // wide enough for "100.00%"
    {kColBitrate, "Bitrate", "Bitrate", 6, 62, true},
    {kColEncoderInfo, "Encoder Info", "EncoderInfo", 7, 250, true},
    {kColHealth, "Health", "Health", 11, 150, true},
    // Hidden until the first check runs.
    {kColLosslessCheck, "Lossless Check", "LosslessCheck", 12, 300, false},
}};

TColumnLayout DefaultColumnLayout() {
    TColumnLayout layout;
    for (int record = 0; record < kColumnCount; ++record) {
        const TColumnDefault& d = kColumnDefaults[record];
        layout[record] = TColumnItem{d.Caption, d.Pos, 0, d.Width, d.Visible, d.Tag};
    }
    return layout;
}

int ColumnRecord(int tag) {
    for (int record = 0; record < kColumnCount; ++record)
        if (kColumnDefaults[record].Tag == tag) return record;
    return -1;
}

TColumnItem& ColumnOfTag(TColumnLayout& layout, int tag) { return layout.at(static_cast<std::size_t>(ColumnRecord(tag))); }
const TColumnItem& ColumnOfTag(const TColumnLayout& layout, int tag) {
    return layout.at(static_cast<std::size_t>(ColumnRecord(tag)));
}
const TColumnDefault& ColumnDefaultOfTag(int tag) { return kColumnDefaults.at(static_cast<std::size_t>(ColumnRecord(tag))); }

std::vector<int> BuildColumns(TColumnLayout& layout) {
    std::vector<int> tags;
    for (int position = 0; position < kColumnCount; ++position) {
        for (const TColumnItem& record : layout) {
            if (record.Pos != position) continue;
            if (record.Visible) tags.push_back(record.Tag);
            break;
        }
    }
    for (std::size_t j = 0; j < tags.size(); ++j) ColumnOfTag(layout, tags[j]).Index = static_cast<int32_t>(j);
    return tags;
}

std::string CellText(const TAudioItem& item, int tag) {
    switch (tag) {
    case kColRelativePath: return item.RelativePath;
    case kColFileName: return FileNameOf(item.FullPath);
    case kColType: return item.FileType;
    case kColSize: return SizeText(item.FileSize);
    case kColLength: return DurationText(WholeSeconds(item.Duration));
    case kColSampleRate: return std::to_string(item.SampleRate);
    case kColChannels: return std::to_string(item.Channels);
    case kColBitsPerSample: return std::to_string(item.BitsPerSample);
    case kColRatio: return FormatFixed(item.Ratio, 2) + "%";
    case kColBitrate: return std::to_string(item.BitRate) + " kbps";
    case kColEncoderInfo: return std::string(UpToFirstZero(item.EncoderInfo));
    case kColHealth: return HealthText(item.Health);
    case kColLosslessCheck: return item.OriginCheck.Text;
    default: return {};
    }
}

std::vector<std::string> RowTexts(const TAudioItem& item, const std::vector<int>& columnTags) {
    std::vector<std::string> texts;
    texts.reserve(columnTags.size());
    for (int tag : columnTags) texts.push_back(CellText(item, tag));
    return texts;
}

std::string SizeText(int64_t bytes) {
    const double megabytes = bytes > 0 ? static_cast<double>(bytes) / 1048576.0 : 0.0;
    return FormatFixed(megabytes, 2) + " MB";
}

int64_t WholeSeconds(double seconds) { return RoundHalfAwayFromZero(seconds); }

std::string TwoDigits(int64_t n) { return n > 9 ? std::to_string(n) : "0" + std::to_string(n); }

std::string DurationText(int64_t s) {
    if (s < 0) s = 0;   // durations are never negative; keep the text sane if one is
    const int64_t days = s / 86400;
    const int64_t hours = (s % 86400) / 3600;
    const int64_t minutes = (s % 3600) / 60;
    const int64_t rest = s % 60;
    if (days > 0)
        return std::to_string(days) + "d " + std::to_string(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(rest);
    if (hours > 0) return std::to_string(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(rest);
    return TwoDigits(minutes) + ":" + TwoDigits(rest);
}
