// TAudioDecoder on arbitrary bytes: a damaged or hostile file decodes what it
// can or fails with "Cannot decode: ...", without a crash or a hang, and
// every block it hands out is as long as it says.
#include "FuzzSupport.h"
#include "decode/AudioDecoder.h"

#include <cmath>

namespace {
// FFmpeg probes by content; the extension only breaks ties.
const char* const kExtensions[] = {".flac", ".wav", ".aiff", ".wv", ".ape", ".tta", ".m4a", ".ogg", ".mp3"};
// Frames decoded at most per input: a tiny file claiming hours stops here.
constexpr std::size_t kMaxFrames = 1 << 21;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string path = WriteFuzzInput(data + 1, size - 1, kExtensions[data[0] % 9]);
    TAudioDecoder decoder;
    if (!decoder.Open(path)) {
        if (decoder.Error().rfind("Cannot decode: ", 0) != 0) __builtin_trap();
        return 0;
    }
    const TStreamInfo& info = decoder.Info();
    if (info.Channels < 1 || info.SampleRate < 1 || info.BitsPerSample < 0 || info.BitsPerSample > 32)
        __builtin_trap();
    TPcmBlock block;
    std::size_t frames = 0;
    while (frames < kMaxFrames && decoder.Read(block)) {
        if (block.Channels != info.Channels || block.Samples.size() != static_cast<std::size_t>(info.Channels))
            __builtin_trap();
        for (const std::vector<float>& samples : block.Samples)
            if (samples.size() != block.Frames) __builtin_trap();
        for (const std::vector<int32_t>& samples : block.IntSamples)
            if (samples.size() != block.Frames) __builtin_trap();
        frames += block.Frames;
    }
    if (!decoder.Error().empty() && decoder.Error().rfind("Cannot decode: ", 0) != 0) __builtin_trap();
    return 0;
}
