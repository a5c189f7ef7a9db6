// Runs one input through the Speex reader and every result it offers.
#include "FuzzSupport.h"
#include "readers/Speex.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSpeex speex;
    try {
        if (speex.ReadFromFile(WriteFuzzInput(data, size, ".spx"))) {
            volatile double sink = speex.Duration() + speex.Ratio() + speex.BitRate() + speex.Valid() +
                                   double(speex.VersionText().size() + speex.VorbisComment().Entries().size());
            (void)sink;
        }
    } catch (const std::exception&) {
        // A damaged file may be reported by raising; only crashes count.
    }
    return 0;
}
