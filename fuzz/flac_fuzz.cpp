// Runs one input through the FLAC reader and every result it offers.
#include "FuzzSupport.h"
#include "readers/FLACfile.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFLACfile flac;
    try {
        if (flac.ReadFromFile(WriteFuzzInput(data, size, ".flac"))) {
            volatile double sink = flac.Duration() + flac.Ratio() + flac.BitRate();
            (void)sink;
        }
        volatile std::size_t fields = flac.ExtraFields().size() + flac.OtherBlocks().size() + flac.Vendor().size();
        (void)fields;
    } catch (const std::exception&) {
        // A damaged file may be reported by raising; only crashes count.
    }
    return 0;
}
