// TAIFF on arbitrary bytes: no crash, hang or unbounded allocation, and the
// size it reports stays within the file.
#include "FuzzSupport.h"
#include "readers/AIFF.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TAIFF aiff;
    const std::string path = WriteFuzzInput(data, size, ".aiff");
    if (!aiff.ReadFromFile(path) || !aiff.Valid()) return 0;
    if (aiff.FileSize() > static_cast<int64_t>(size) || !std::isfinite(aiff.Duration()) ||
        !std::isfinite(aiff.Ratio()) || !std::isfinite(aiff.BitRate()))
        __builtin_trap();
    return 0;
}
