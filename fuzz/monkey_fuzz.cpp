// Feeds each input to the Monkey's Audio reader as an .ape file and reads
// every result, then through the fill function with its check of the frames
// present.
#include "FuzzSupport.h"
#include "core/AudioItem.h"
#include "core/FillFunctions.h"
#include "readers/Monkey.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMonkey reader;
    const std::string path = WriteFuzzInput(data, size, ".ape");
    reader.ReadFromFile(path);
    volatile double sink = reader.Duration() + reader.Ratio() + reader.BitRate() + reader.PeakRatio();
    sink = sink + static_cast<double>(reader.VersionText().size() + reader.CompressionText().size());
    static TFormatReaders readers;
    try {
        TFileStream stream(path);
        TAudioItem item;
        FillMonkey(readers, stream, item);
        // The audio present is never more than the header declares.
        if (item.Duration < 0 || item.Duration > readers.Monkey.Duration()) __builtin_trap();
        sink = sink + item.Ratio + item.BitRate;
    } catch (const std::exception&) {
        // Readers may report a damaged file by raising; only crashes count.
    }
    (void)sink;
    return 0;
}
