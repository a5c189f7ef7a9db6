#include "core/Totals.h"

#include "core/Columns.h"
#include "io/Text.h"

#include <limits>

namespace {

int32_t ToInt32(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

} // namespace

void ResetTotals(TAnalysisTotals& totals) { totals = TAnalysisTotals{}; }

void AddToTotals(TAnalysisTotals& totals, const TAudioItem& item) {
    totals.TotalSize += item.FileSize;
    totals.BitRateDurationSum += RoundHalfEven(static_cast<double>(item.BitRate) * item.Duration);
    totals.TotalDuration += item.Duration;
}

TStatusTexts ShowTotals(TAnalysisTotals& totals, std::size_t rowCount) {
    TStatusTexts texts;
    texts[kPanelFileCount] = "File Count: " + std::to_string(rowCount);
    texts[kPanelSize] = "Size: " + SizeText(totals.TotalSize);
    texts[kPanelDuration] = "Duration: " + DurationText(WholeSeconds(totals.TotalDuration));
    if (totals.TotalDuration > 0) {
        totals.AverageBitRate =
            ToInt32(RoundHalfEven(static_cast<double>(totals.TotalSize) * 8 / (totals.TotalDuration * 1000)));
        totals.BitRateDurationSum =
            RoundHalfEven(static_cast<double>(totals.BitRateDurationSum) / totals.TotalDuration);
    }
    texts[kPanelBitrate] = "Average Bitrate: " + std::to_string(totals.AverageBitRate) + "/" +
                           std::to_string(totals.BitRateDurationSum) + " kbps";
    return texts;
}

TStatusTexts StartupStatusTexts() { return {"Average Bitrate:", "Duration:", "Size:", "File Count:"}; }

TStatusTexts BareStatusTexts() { return {"Average Bitrate: ", "Duration: ", "Size: ", "File Count: "}; }
