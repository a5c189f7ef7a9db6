// The lossless check as a module loaded on demand: the one entry point of
// sondaro-check (.so/.dll) and the table of functions it hands out.
//
// sondaro-cli does not link FFmpeg and FFTW: mapping their libraries costs
// every run tens of milliseconds and megabytes, and only --check needs them.
// The module holds the check, decode and dsp layers; it is built with the
// program, from the same sources by the same compiler, so the table passes
// standard library types by reference. The interface number and the sizes
// below keep a module of another build from being used: raise
// kCheckModuleInterface whenever the table or a type it passes changes.
#pragma once

#include "core/AudioItem.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline constexpr std::uint32_t kCheckModuleInterface = 2;

// The exported C function that returns the table.
inline constexpr const char* kCheckModuleEntryName = "sondaro_check_module";

// Told the number of files done after each file.
using TCheckProgress = std::function<void(std::size_t done, std::size_t count)>;

struct TCheckModuleApi {
    // Read before anything else: a module of another interface stops here.
    std::uint32_t Interface = 0;
    // sizeof of the records passed, as the module was built; a mismatch
    // means another build even where the number was not raised.
    std::uint32_t OriginCheckSize = 0;
    std::uint32_t StringSize = 0;
    const char* Version = "";   // the program version the module was built for

    // Checks every file of paths, on one thread per processor: results[i] is
    // the record of paths[i] and errors[i] why it could not be checked (empty
    // when it was). progress may be empty. Nothing is thrown across the
    // boundary: false, with error set, when the check could not run at all.
    bool (*CheckFiles)(const std::vector<std::string>& paths, std::vector<TOriginCheck>& results,
                       std::vector<std::string>& errors, const TCheckProgress& progress, std::string& error) = nullptr;
};

using TCheckModuleEntry = const TCheckModuleApi* (*)();
