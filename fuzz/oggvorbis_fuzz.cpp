// Runs one input through the Ogg Vorbis reader and every result it offers.
#include "FuzzSupport.h"
#include "readers/OggVorbis.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TOggVorbis ogg;
    try {
        if (ogg.ReadFromFile(WriteFuzzInput(data, size, ".ogg"))) {
            volatile double sink = ogg.Duration() + ogg.Ratio() + ogg.BitRate() + ogg.Valid() +
                                   double(ogg.EncoderRelease().size());
            (void)sink;
        }
    } catch (const std::exception&) {
        // A damaged file may be reported by raising; only crashes count.
    }
    return 0;
}
