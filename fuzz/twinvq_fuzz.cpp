// Feeds each input to the TwinVQ reader as a .vqf file and reads every result.
#include "FuzzSupport.h"
#include "readers/TwinVQ.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TTwinVQ reader;
    reader.ReadFromFile(WriteFuzzInput(data, size, ".vqf"));
    volatile double sink = reader.Duration() + reader.Ratio();
    sink = sink + static_cast<double>(reader.Title().size() + reader.Comment().size() + reader.Album().size());
    (void)sink;
    return 0;
}
