// Runs one input through the TTA reader and every result it offers.
#include "FuzzSupport.h"
#include "readers/TTA.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TTTA tta;
    try {
        tta.ReadFromFile(WriteFuzzInput(data, size, ".tta"));
        volatile double sink = tta.Duration() + tta.Ratio() + tta.BitRate() + tta.Valid();
        (void)sink;
    } catch (const std::exception&) {
        // A damaged file may be reported by raising; only crashes count.
    }
    return 0;
}
