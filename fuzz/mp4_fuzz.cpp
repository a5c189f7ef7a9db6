// Feeds each input to the MP4/M4A reader as a file and touches every result.
#include "FuzzSupport.h"
#include "readers/Mp4File.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMp4file mp4;
    const std::string path = WriteFuzzInput(data, size, ".m4a");
    mp4.ReadFromFile(path);
    volatile double sink = mp4.Duration() + mp4.Ratio() + mp4.BitRate() + mp4.Valid() + double(mp4.ExactSamples()) +
                           double(mp4.EditedDuration()) + mp4.HasITunesMarks();
    std::size_t bytes = mp4.CodecName().size() + mp4.EncodingTool().size() + mp4.Genre().size();
    for (const auto& picture : mp4.Pictures()) bytes += picture.Data.size();
    for (const auto& item : mp4.OtherBinaryItems()) bytes += item.Value.size();
    sink = sink + double(bytes);
    (void)sink;
    return 0;
}
