// The three playlist readers on one input; entries are resolved but not analysed.
#include "FuzzSupport.h"
#include "core/FPLfile.h"
#include "core/Playlists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::size_t entries = 0;
    const TEntryHandler count = [&](const std::string&, const std::string&) { ++entries; };
    for (const char* extension : {".m3u", ".pls", ".fpl"}) LoadPlaylist(WriteFuzzInput(data, size, extension), count);
    return 0;
}
