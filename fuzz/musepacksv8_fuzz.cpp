// TMusepackSV8 on arbitrary bytes: no crash, no hang, and a length, bitrate and ratio
// that are real numbers.
#include "FuzzSupport.h"
#include "readers/MusepackSV8.h"

#include <cmath>
#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMusepackSV8 reader;
    try {
        if (!reader.ReadFromFile(WriteFuzzInput(data, size, ".mpc"))) return 0;
    } catch (const std::exception&) {
        return 0;   // a damaged file may be reported by raising; only crashes count
    }
    const double duration = reader.Duration();
    if (!std::isfinite(duration) || duration < 0 || !std::isfinite(reader.Ratio()) || reader.BitRate() < 0)
        __builtin_trap();
    volatile double sink = double(reader.Valid()) + double(reader.Channels()) + double(reader.SampleRate()) + reader.EncoderVersionText().size() + reader.ProfileName().size();
    (void)sink;
    return 0;
}
