// Runs one input through the whole analysis under every supported extension:
// every format reader is reached through the same dispatch the scan uses.
#include "FuzzSupport.h"
#include "core/Analysis.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFormatReaders readers;
    static const std::array<const char*, 20> extensions = {
        ".aac", ".ac3", ".aiff", ".ape", ".dff", ".dsf", ".dts", ".flac", ".mka", ".mp3",
        ".m4a", ".mpc", ".ofr", ".ogg", ".spx", ".tta", ".vqf", ".wav", ".wma", ".wv"};
    for (const char* extension : extensions) {
        const std::string path = WriteFuzzInput(data, size, extension);
        try {
            AnalyseFile(readers, "/", path);
        } catch (const std::exception&) {
            // Readers may report a damaged file by raising; only crashes count.
        }
    }
    return 0;
}
