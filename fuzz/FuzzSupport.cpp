#include "FuzzSupport.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

std::string WriteFuzzInput(const uint8_t* data, std::size_t size, const std::string& extension) {
    static const std::string folder = [] {
        const std::filesystem::path base =
            std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
        const auto dir = base / ("sondaro-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir.string();
    }();
    const std::string path = folder + "/input" + extension;
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    return path;
}
