// The MPEG audio reader and the whole MP3 step (stream reader, LAME tag
// reader, encoder info) on one input.
#include "FuzzSupport.h"
#include "core/AudioItem.h"
#include "core/FillFunctions.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMPEGaudio reader;
    const std::string path = WriteFuzzInput(data, size, ".mp3");
    TAudioItem item;
    item.FullPath = path;
    try {
        FillMPEGItem(reader, item);
    } catch (const std::exception&) {
        // No error is expected; a failure to open the input file is not the reader's.
    }
    // Every result, also of a stream that is not valid.
    volatile double sink = reader.Duration() + reader.Ratio() + reader.BitRate() + reader.SampleRate() +
                           static_cast<double>(reader.Samples()) + reader.FrameCount() + reader.EncoderID() +
                           static_cast<double>(reader.AudioFrames()) + reader.GuessedEncoderID();
    (void)sink;
    volatile std::size_t length = reader.Encoder().size() + reader.Version().size() + reader.Layer().size() +
                                  reader.ChannelMode().size() + item.EncoderInfo.size();
    (void)length;
    // The frame walk never counts more bytes than the file holds.
    const MPEGStreamFindings& found = reader.Findings();
    if (found.SkippedBytes < 0 || found.SkippedBytes > static_cast<int64_t>(size) || found.JunkBytes < 0 ||
        reader.FrameBytes() < 0 || (found.Walked && reader.FrameBytes() > static_cast<int64_t>(size)))
        __builtin_trap();
    return 0;
}
