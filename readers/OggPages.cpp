#include "readers/OggPages.h"

#include "io/FileStream.h"

#include <array>
#include <cstring>

namespace {

constexpr int kSearchWindows = 50;
constexpr int64_t kWindowStep = 241;           // distance between window starts
constexpr int64_t kWindowTail = 10;            // the first window ends at the file end
constexpr std::size_t kWindowSize = 251;
constexpr std::size_t kLastMarkerOffset = 241; // highest start offset tried in a window

} // namespace

bool IsOggPageMarker(const unsigned char* data) {
    return std::memcmp(data, kOggPageMarker, sizeof kOggPageMarker) == 0;
}

uint32_t OggLE32(const unsigned char* data) {
    return uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
}

int32_t FindLastOggPageGranule(TFileStream& stream) {
    const int64_t size = stream.Size();
    for (int i = 1; i <= kSearchWindows; ++i) {
        int64_t start = size - (kWindowStep * i + kWindowTail);
        const bool reachesFileStart = start <= 0;
        if (reachesFileStart) start = 0;

        std::array<unsigned char, kWindowSize> window{};
        stream.Seek(start);
        stream.Read(window.data(), window.size());
        for (std::size_t n = kLastMarkerOffset + 1; n-- > 0;) {
            if (!IsOggPageMarker(window.data() + n)) continue;
            std::array<unsigned char, kOggMaxPageHeaderSize> page{};
            stream.Seek(start + static_cast<int64_t>(n));
            stream.Read(page.data(), page.size());
            return static_cast<int32_t>(OggLE32(page.data() + kOggGranuleOffset));
        }
        // Every later window would start at byte 0 as well.
        if (reachesFileStart) break;
    }
    return 0;
}
