// Feeds each input to the Monkey's Audio reader as an .ape file and reads every result.
#include "FuzzSupport.h"
#include "readers/Monkey.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMonkey reader;
    reader.ReadFromFile(WriteFuzzInput(data, size, ".ape"));
    volatile double sink = reader.Duration() + reader.Ratio() + reader.BitRate() + reader.PeakRatio();
    sink = sink + static_cast<double>(reader.VersionText().size() + reader.CompressionText().size());
    (void)sink;
    return 0;
}
