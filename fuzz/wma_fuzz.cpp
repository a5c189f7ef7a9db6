// Feeds each input to the WMA/ASF reader as a file and touches every result.
#include "FuzzSupport.h"
#include "readers/WMAfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWMAfile wma;
    const std::string path = WriteFuzzInput(data, size, ".wma");
    wma.ReadFromFile(path);
    volatile double sink = wma.Duration() + wma.Ratio() + wma.BitRate() + wma.Valid();
    sink = sink + double(wma.CodecName().size() + wma.Title().size() + wma.Track().size());
    (void)sink;
    return 0;
}
