// TWAVfile on arbitrary bytes: no crash, hang or unbounded allocation, and
// the sizes it reports stay within the file.
#include "FuzzSupport.h"
#include "readers/WAVfile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWAVfile wav;
    const std::string path = WriteFuzzInput(data, size, ".wav");
    if (!wav.ReadFromFile(path) || !wav.Valid()) return 0;
    const double duration = wav.Duration();
    const double ratio = wav.Ratio();
    const std::string name = wav.FormatName();
    if (wav.FileSize() > static_cast<int64_t>(size) || wav.HeaderSize() < 0 ||
        wav.HeaderSize() > wav.FileSize() || std::isnan(duration) || duration < 0 || std::isnan(ratio))
        __builtin_trap();
    return 0;
}
