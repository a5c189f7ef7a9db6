// Feeds each input to the Musepack reader as an .mpc file and reads every
// result, then through the fill function and the verify pass, which walk
// the frames of stream version 7.
#include "FuzzSupport.h"
#include "core/AudioItem.h"
#include "core/FillFunctions.h"
#include "core/Verify.h"
#include "readers/Musepack.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMPEGplus reader;
    const std::string path = WriteFuzzInput(data, size, ".mpc");
    reader.ReadFromFile(path);
    volatile double sink = reader.Duration() + reader.Ratio() + reader.BitRate();
    sink = sink + static_cast<double>(reader.StreamVersionText().size() + reader.ProfileName().size() +
                                      reader.EncoderVersionText().size());
    static TFormatReaders readers;
    try {
        TFileStream stream(path);
        TAudioItem item;
        item.FileType = "MPC";
        FillMusepack(readers, stream, item);
        VerifyItem(readers, stream, item);
        if (item.Duration < 0) __builtin_trap();
        sink = sink + item.Ratio + item.BitRate;
    } catch (const std::exception&) {
        // Readers may report a damaged file by raising; only crashes count.
    }
    (void)sink;
    return 0;
}
