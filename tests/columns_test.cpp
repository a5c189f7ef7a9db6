#include "core/Columns.h"
#include "core/ListOrder.h"
#include "core/Totals.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(Columns, DefaultLayoutOrder) {
    TColumnLayout layout = DefaultColumnLayout();
    const std::vector<int> tags = BuildColumns(layout);
    std::vector<std::string> captions;
    for (int tag : tags) captions.push_back(layout[tag].Caption);
    EXPECT_EQ(captions, (std::vector<std::string>{"File Name", "Type", "Size", "Length", "Ratio", "Bitrate",
                                                  "Encoder Info", "Sample Rate", "Channels", "Bits Per Sample",
                                                  "Health"}));
    EXPECT_EQ(layout[kColFileName].Index, 0);
    EXPECT_EQ(layout[kColBitsPerSample].Index, 9);
    EXPECT_EQ(layout[kColHealth].Index, 10);
}

TEST(Columns, PositionConflictsAndHiddenRecords) {
    TColumnLayout layout = DefaultColumnLayout();
    layout[kColRelativePath].Visible = true;
    layout[kColType].Pos = 1;   // claims File Name's position: the lower tag wins
    BuildColumns(layout);
    layout[kColBitrate].Visible = false;
    const int oldBitrateIndex = layout[kColBitrate].Index;
    const std::vector<int> tags = BuildColumns(layout);
    EXPECT_EQ(tags.front(), kColRelativePath);
    EXPECT_EQ(tags[1], kColFileName);
    EXPECT_EQ(std::count(tags.begin(), tags.end(), kColType), 0);   // its position was taken
    EXPECT_EQ(layout[kColBitrate].Index, oldBitrateIndex);          // hidden records keep their index
}

TEST(Columns, CellTexts) {
    TAudioItem rejected;
    rejected.FullPath = "/music/Album/x.flac";
    rejected.FileType = "FLAC";
    EXPECT_EQ(CellText(rejected, kColFileName), "x.flac");
    EXPECT_EQ(CellText(rejected, kColSize), "0.00 MB");
    EXPECT_EQ(CellText(rejected, kColLength), "00:00");
    EXPECT_EQ(CellText(rejected, kColSampleRate), "0");
    EXPECT_EQ(CellText(rejected, kColRatio), "0.00%");
    EXPECT_EQ(CellText(rejected, kColBitrate), "0 kbps");
    EXPECT_EQ(CellText(rejected, kColEncoderInfo), "File could not be scanned");

    TAudioItem item;
    item.Ratio = 52.305;
    item.EncoderInfo = std::string("Vendor\0junk", 11);
    EXPECT_EQ(CellText(item, kColRatio), "52.31%");
    EXPECT_EQ(CellText(item, kColEncoderInfo), "Vendor");   // a cell ends at its first zero
    EXPECT_EQ(item.EncoderInfo.size(), 11u);                 // the item keeps its bytes
}

TEST(Columns, SizeAndDurationTexts) {
    EXPECT_EQ(SizeText(5242880), "5.00 MB");
    EXPECT_EQ(SizeText(1048576), "1.00 MB");
    EXPECT_EQ(SizeText(1053818), "1.00 MB");
    EXPECT_EQ(SizeText(1053819), "1.01 MB");
    EXPECT_EQ(SizeText(0), "0.00 MB");
    EXPECT_EQ(SizeText(-5), "0.00 MB");
    EXPECT_EQ(SizeText(int64_t(5) << 30), "5120.00 MB");   // sizes beyond 32 bits
    EXPECT_EQ(DurationText(WholeSeconds(59.5)), "01:00");
    EXPECT_EQ(DurationText(WholeSeconds(3599.4)), "59:59");
    EXPECT_EQ(DurationText(3600), "1:00:00");
    EXPECT_EQ(DurationText(86400 + 3600 + 61), "1d 1:01:01");
    EXPECT_EQ(DurationText(0), "00:00");
    EXPECT_EQ(DurationText(2 * 3600 + 3 * 60 + 4), "2:03:04");
    EXPECT_EQ(TwoDigits(9), "09");
    EXPECT_EQ(TwoDigits(10), "10");
}

namespace {
TAudioItem Item(int64_t size, double duration, int32_t bitrate) {
    TAudioItem item;
    item.FileSize = size;
    item.Duration = duration;
    item.BitRate = bitrate;
    return item;
}
}

TEST(Totals, StatusTextsFromTwoFilesAndARejectedOne) {
    TAnalysisTotals totals;
    AddToTotals(totals, Item(1600000, 100, 128));
    AddToTotals(totals, Item(12000000, 300, 320));
    TStatusTexts texts = ShowTotals(totals, 2);
    EXPECT_EQ(texts[kPanelBitrate], "Average Bitrate: 272/272 kbps");
    EXPECT_EQ(texts[kPanelDuration], "Duration: 06:40");
    EXPECT_EQ(texts[kPanelSize], "Size: 12.97 MB");
    EXPECT_EQ(texts[kPanelFileCount], "File Count: 2");

    ResetTotals(totals);
    AddToTotals(totals, Item(1600000, 100, 128));
    AddToTotals(totals, Item(12000000, 300, 320));
    AddToTotals(totals, TAudioItem{});
    texts = ShowTotals(totals, 3);
    EXPECT_EQ(texts[kPanelBitrate], "Average Bitrate: 272/272 kbps");
    EXPECT_EQ(texts[kPanelFileCount], "File Count: 3");

    ResetTotals(totals);
    texts = ShowTotals(totals, 0);
    EXPECT_EQ(texts[kPanelSize], "Size: 0.00 MB");
    EXPECT_EQ(texts[kPanelBitrate], "Average Bitrate: 0/0 kbps");
}

TEST(Totals, ProductsAreRoundedHalfToEvenBeforeSumming) {
    TAnalysisTotals totals;
    AddToTotals(totals, Item(0, 0.5, 1));   // 0.5 rounds to 0
    AddToTotals(totals, Item(0, 1.5, 1));   // 1.5 rounds to 2
    EXPECT_EQ(totals.BitRateDurationSum, 2);
}

TEST(ListOrder, HeaderClickSequence) {
    TSortState state;
    ListViewColumnClick(state, 0);   // the very first click on column 0 sorts descending
    EXPECT_TRUE(state.Descending);
    ListViewColumnClick(state, 2);
    EXPECT_FALSE(state.Descending);
    ListViewColumnClick(state, 2);
    EXPECT_TRUE(state.Descending);
    ListViewColumnClick(state, 2);
    EXPECT_FALSE(state.Descending);
    ListViewColumnClick(state, 0);
    EXPECT_FALSE(state.Descending);
}

TEST(ListOrder, NumericColumnsArePaddedLengthIsNot) {
    TColumnLayout layout = DefaultColumnLayout();
    BuildColumns(layout);
    const std::set<int> numeric = NumericColumns(layout);
    const int rate = layout[kColSampleRate].Index, length = layout[kColLength].Index;
    EXPECT_TRUE(numeric.count(rate));
    EXPECT_FALSE(numeric.count(length));

    std::vector<std::string> a(10), b(10);
    a[rate] = "8000";
    b[rate] = "44100";
    a[length] = "1:00:00";
    b[length] = "59:59";
    EXPECT_EQ(SortKey(b, rate, numeric), "0000044100");
    EXPECT_EQ(ListViewCompare(a, b, TSortState{rate, false}, numeric), -1);
    EXPECT_EQ(ListViewCompare(a, b, TSortState{rate, true}, numeric), 1);
    EXPECT_EQ(ListViewCompare(a, b, TSortState{length, false}, numeric), -1);   // plain text: "1" < "5"

    // Column 0 is never padded, whatever it shows.
    a[0] = "9";
    b[0] = "10";
    EXPECT_EQ(ListViewCompare(a, b, TSortState{0, false}, {0}), 1);
    // Case is ignored; equal keys are equal.
    a[1] = "abc";
    b[1] = "ABC";
    EXPECT_EQ(ListViewCompare(a, b, TSortState{1, false}, numeric), 0);
}

TEST(ListOrder, HiddenColumnIsNoLongerNumeric) {
    TColumnLayout layout = DefaultColumnLayout();
    BuildColumns(layout);
    const int bitrateIndex = layout[kColBitrate].Index;
    layout[kColBitrate].Visible = false;
    const std::vector<int> tags = BuildColumns(layout);
    EXPECT_EQ(tags[bitrateIndex], kColEncoderInfo);   // Encoder Info moved into Bitrate's old place
    EXPECT_FALSE(NumericColumns(layout).count(bitrateIndex));
}

TEST(ListOrder, CollationKeysOrderLikeTheComparison) {
    const std::vector<std::string> texts = {"b", "A", "a", "0005.00 MB", "0010.00 MB", "Zed", "\xC3\xA9t\xC3\xA9"};
    for (const auto& x : texts)
        for (const auto& y : texts) {
            const int byKey = CollationKey(x) < CollationKey(y) ? -1 : (CollationKey(y) < CollationKey(x) ? 1 : 0);
            EXPECT_EQ(byKey, CompareTextIgnoreCase(x, y)) << x << " vs " << y;
        }
}

// The Lossless Check column: found by its tag, hidden in a fresh layout, its
// cell the check's line once the check has run.
TEST(Columns, LosslessCheckColumnIsFoundByItsTag) {
    EXPECT_EQ(ColumnRecord(kColLosslessCheck), kColumnCount - 1);
    EXPECT_EQ(ColumnRecord(99), -1);
    EXPECT_STREQ(ColumnDefaultOfTag(kColLosslessCheck).Caption, "Lossless Check");
    EXPECT_STREQ(ColumnDefaultOfTag(kColLosslessCheck).KeyStem, "LosslessCheck");
    TColumnLayout layout = DefaultColumnLayout();
    EXPECT_FALSE(ColumnOfTag(layout, kColLosslessCheck).Visible);
    EXPECT_EQ(ColumnOfTag(layout, kColLosslessCheck).Tag, kColLosslessCheck);
    ColumnOfTag(layout, kColLosslessCheck).Visible = true;
    const std::vector<int> tags = BuildColumns(layout);
    ASSERT_EQ(tags.size(), 12u);   // the eleven shown by default, then the check
    EXPECT_EQ(tags.back(), kColLosslessCheck);
    EXPECT_EQ(ColumnOfTag(layout, kColLosslessCheck).Index, 11);

    TAudioItem item;
    EXPECT_EQ(CellText(item, kColLosslessCheck), "");
    item.OriginCheck.Done = true;
    item.OriginCheck.Text = "Upsampled from 44.1 kHz";
    EXPECT_EQ(CellText(item, kColLosslessCheck), "Upsampled from 44.1 kHz");
}
