// TAC3 on arbitrary bytes: no crash, and a playing time and ratio that are
// real numbers.
#include "FuzzSupport.h"
#include "readers/AC3.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TAC3 ac3;
    const std::string path = WriteFuzzInput(data, size, ".ac3");
    if (!ac3.ReadFromFile(path)) return 0;
    if (ac3.FileSize() != static_cast<int64_t>(size) || !std::isfinite(ac3.Duration()) ||
        ac3.Duration() < 0 || !std::isfinite(ac3.Ratio()))
        __builtin_trap();
    return 0;
}
