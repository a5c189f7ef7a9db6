// Feeds each input to the WavPack reader as a .wv file and reads every result.
// This reader lets stream errors through to its caller; none may escape for
// a file that exists, so nothing is caught here.
#include "FuzzSupport.h"
#include "readers/WAVPackFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWAVPackfile reader;
    reader.ReadFromFile(WriteFuzzInput(data, size, ".wv"));
    volatile double sink = reader.Duration() + reader.Ratio() + reader.BitRate();
    sink = sink + static_cast<double>(reader.ModeText().size());
    (void)sink;
    return 0;
}
