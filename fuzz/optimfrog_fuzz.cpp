// Runs one input through the OptimFROG reader and every result it offers,
// then through the fill function with its check for a file cut after the
// header.
#include "FuzzSupport.h"
#include "core/AudioItem.h"
#include "core/FillFunctions.h"
#include "readers/OptimFROG.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TOptimFrog ofr;
    static TFormatReaders readers;
    try {
        const std::string path = WriteFuzzInput(data, size, ".ofr");
        ofr.ReadFromFile(path);
        volatile double sink = ofr.Duration() + ofr.Ratio() + ofr.BitRate() + ofr.Valid() + ofr.Samples() +
                               ofr.BitsPerSample() + double(ofr.VersionText().size() + ofr.CompressionName().size());
        TFileStream stream(path);
        TAudioItem item;
        FillOptimFrog(readers, stream, item);
        sink = sink + item.Duration + item.Ratio;
        (void)sink;
    } catch (const std::exception&) {
        // A damaged file may be reported by raising; only crashes count.
    }
    return 0;
}
