#include "readers/PcmRatio.h"

double PcmRatio(int64_t fileSize, double frames, int32_t sampleRate, int32_t channels, int32_t bitsPerSample,
                int32_t headerBytes) {
    if (!(frames > 0) || sampleRate <= 0 || channels <= 0 || bitsPerSample <= 0) return 0;
    const double pcmSize = frames * (double(channels) * bitsPerSample / 8.0) + headerBytes;
    return static_cast<double>(fileSize) / pcmSize * 100;
}
