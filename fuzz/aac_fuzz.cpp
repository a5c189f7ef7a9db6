// Feeds each input to the AAC (ADIF/ADTS) reader as a file and touches every result.
#include "FuzzSupport.h"
#include "readers/AACfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TAACfile aac;
    const std::string path = WriteFuzzInput(data, size, ".aac");
    aac.ReadFromFile(path);
    volatile double sink = aac.Duration() + aac.Ratio() + aac.BitRate() + aac.Valid() + double(aac.FrameCount());
    sink = sink + double(aac.HeaderTypeName().size() + aac.MPEGVersionName().size() + aac.ProfileName().size() +
                         aac.BitRateTypeName().size());
    (void)sink;
    return 0;
}
