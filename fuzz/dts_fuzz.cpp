// TDTS on arbitrary bytes: no crash, and a playing time and ratio that are
// real numbers.
#include "FuzzSupport.h"
#include "readers/DTS.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TDTS dts;
    const std::string path = WriteFuzzInput(data, size, ".dts");
    if (!dts.ReadFromFile(path)) return 0;
    if (dts.FileSize() != static_cast<int64_t>(size) || !std::isfinite(dts.Duration()) ||
        dts.Duration() < 0 || !std::isfinite(dts.Ratio()))
        __builtin_trap();
    return 0;
}
