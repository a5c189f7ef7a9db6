// Runs one input through the OptimFROG reader and every result it offers.
#include "FuzzSupport.h"
#include "readers/OptimFROG.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TOptimFrog ofr;
    try {
        ofr.ReadFromFile(WriteFuzzInput(data, size, ".ofr"));
        volatile double sink = ofr.Duration() + ofr.Ratio() + ofr.BitRate() + ofr.Valid() + ofr.Samples() +
                               ofr.BitsPerSample() + double(ofr.VersionText().size() + ofr.CompressionName().size());
        (void)sink;
    } catch (const std::exception&) {
        // A damaged file may be reported by raising; only crashes count.
    }
    return 0;
}
