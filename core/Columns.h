// The column kinds of the list, the column layout records, and the
// exact text of every cell.
#pragma once

#include "core/AudioItem.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The number of column kinds (layout records). Each record carries its tag;
// the records are in tag order, but tags need not run without a gap, so code
// that starts from a tag finds its record with ColumnOfTag / ColumnDefaultOfTag.
inline constexpr int kColumnCount = 13;

// Column tags: which item value a column shows.
enum ColumnTag : int {
    kColRelativePath = 0,
    kColFileName = 1,
    kColType = 2,
    kColSize = 3,
    kColLength = 4,
    kColSampleRate = 5,
    kColChannels = 6,
    kColBitsPerSample = 7,
    kColRatio = 8,
    kColBitrate = 9,
    kColEncoderInfo = 10,
    kColHealth = 11,
    kColLosslessCheck = 12,   // the lossless-origin check's verdict; empty until the check runs
};

// One column-layout record per column kind, indexed by tag.
struct TColumnItem {
    std::string Caption;
    int32_t Pos = 0;       // wanted position among the columns, 0 to kColumnCount - 1
    int32_t Index = 0;     // actual list index after the columns were last built
    int32_t Width = 0;     // pixels
    bool Visible = false;
    int32_t Tag = 0;
};

using TColumnLayout = std::array<TColumnItem, kColumnCount>;

// Fixed facts of a column kind: caption, settings key stem and defaults.
struct TColumnDefault {
    int32_t Tag;
    const char* Caption;
    const char* KeyStem;
    int32_t Pos;
    int32_t Width;
    bool Visible;
};
extern const std::array<TColumnDefault, kColumnCount> kColumnDefaults;

// The layout of a fresh installation (Index values all 0 until built).
TColumnLayout DefaultColumnLayout();

// The record of a tag, or -1 for a tag no column has.
int ColumnRecord(int tag);
// The layout record and the fixed facts of a tag (the tag must exist).
TColumnItem& ColumnOfTag(TColumnLayout& layout, int tag);
const TColumnItem& ColumnOfTag(const TColumnLayout& layout, int tag);
const TColumnDefault& ColumnDefaultOfTag(int tag);

// Builds the list columns from the layout: for each position from 0 on the
// first record (in tag order) claiming it, when visible. Returns the tags of
// the list columns in list order and sets Index of each shown record to its
// list index (hidden records keep their old Index).
std::vector<int> BuildColumns(TColumnLayout& layout);

// Text of one cell.
std::string CellText(const TAudioItem& item, int tag);

// One text per list column, in list-column order.
std::vector<std::string> RowTexts(const TAudioItem& item, const std::vector<int>& columnTags);

// bytes / 1 MiB with two decimals and " MB"; 0.00 MB for 0 or less.
std::string SizeText(int64_t bytes);
// Whole seconds of a duration: the "0" format (halves away from zero).
int64_t WholeSeconds(double seconds);
// "1d 2:03:04", "2:03:04", "03:04".
std::string DurationText(int64_t seconds);
// n, or "0" and n when n is below 10.
std::string TwoDigits(int64_t n);
