// Feeds each input to the Musepack reader as an .mpc file and reads every result.
#include "FuzzSupport.h"
#include "readers/Musepack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMPEGplus reader;
    reader.ReadFromFile(WriteFuzzInput(data, size, ".mpc"));
    volatile double sink = reader.Duration() + reader.Ratio() + reader.BitRate();
    sink = sink + static_cast<double>(reader.StreamVersionText().size() + reader.ProfileName().size() +
                                      reader.EncoderVersionText().size());
    (void)sink;
    return 0;
}
