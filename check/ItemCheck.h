// The lossless check of listed files: its result as the item's value, and a
// batch of files checked on several threads at once.
#pragma once

#include "check/LosslessCheck.h"
#include "core/AudioItem.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The item's record of a report.
TOriginCheck OriginCheckOf(const TLosslessReport& report);
// "full band", "lossy origin", ...: the verdict as the JSON output names it.
const char* VerdictName(TCheckVerdict verdict);

// Checks the files of paths on up to threads threads (0: one per processor),
// each file once. Done is called, on the worker's thread, with the index of
// each file as it is finished; Progress (may be empty) with the index and the
// share of that file done. Cancel stops every worker after its current block.
// Returns when every worker has ended.
struct TCheckBatch {
    std::vector<std::string> Paths;
    unsigned Threads = 0;
    const std::atomic<bool>* Cancel = nullptr;
    std::function<void(std::size_t index, TLosslessReport report)> Done;
    std::function<void(std::size_t index, double share)> Progress;
};
void RunCheckBatch(const TCheckBatch& batch);
