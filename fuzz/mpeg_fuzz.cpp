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
        // "Unexpected End Of File." from a LAME tag cut short.
    }
    // Every result, also of a stream that is not valid.
    volatile double sink = reader.Duration() + reader.Ratio() + reader.BitRate() + reader.SampleRate() +
                           static_cast<double>(reader.Samples()) + reader.FrameCount() + reader.EncoderID();
    (void)sink;
    volatile std::size_t length = reader.Encoder().size() + reader.Version().size() + reader.Layer().size() +
                                  reader.ChannelMode().size() + item.EncoderInfo.size();
    (void)length;
    return 0;
}
