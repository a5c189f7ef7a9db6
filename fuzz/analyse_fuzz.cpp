// Runs one input through the whole analysis under one extension of every
// format in the registry: every format reader is reached through the same
// dispatch the scan uses.
#include "FuzzSupport.h"
#include "core/Analysis.h"
#include "core/FormatRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFormatReaders readers;
    for (const TFormatEntry& format : FormatTable()) {
        const std::string path = WriteFuzzInput(data, size, "." + format.Extensions.front());
        try {
            AnalyseFile(readers, "/", path);
        } catch (const std::exception&) {
            // Readers may report a damaged file by raising; only crashes count.
        }
    }
    return 0;
}
