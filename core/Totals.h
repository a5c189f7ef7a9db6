// The analysis totals of the list and the four status texts made from them.
#pragma once

#include "core/AudioItem.h"

#include <array>
#include <cstdint>
#include <string>

struct TAnalysisTotals {
    int64_t TotalSize = 0;
    double TotalDuration = 0;
    // Sum of BitRate x Duration (each product rounded, halves to even) while
    // files are added; ShowTotals replaces it by the duration-weighted mean.
    int64_t BitRateDurationSum = 0;
    int32_t AverageBitRate = 0;   // from the bytes on disk, kbit/s
};

// Status panels, left to right.
enum StatusPanel { kPanelBitrate = 0, kPanelDuration = 1, kPanelSize = 2, kPanelFileCount = 3 };
using TStatusTexts = std::array<std::string, 4>;

inline constexpr std::array<int, 4> kStatusPanelWidths = {180, 130, 130, 150};

void ResetTotals(TAnalysisTotals& totals);
void AddToTotals(TAnalysisTotals& totals, const TAudioItem& item);

// The four status texts for rowCount rows. Computes AverageBitRate and
// replaces BitRateDurationSum by the weighted mean when there is any duration.
TStatusTexts ShowTotals(TAnalysisTotals& totals, std::size_t rowCount);

// The captions the panels show at start-up and while a scan runs.
TStatusTexts StartupStatusTexts();   // "Average Bitrate:", "Duration:", ...
TStatusTexts BareStatusTexts();      // "Average Bitrate: ", "Duration: ", ...
