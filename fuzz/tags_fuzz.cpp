// The three tag readers on one input: ID3v1 with Lyrics3, ID3v2 and APE.
#include "FuzzSupport.h"
#include "tags/APETag.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteFuzzInput(data, size, ".mp3");
    TID3v1 id3v1;
    TID3v2 id3v2;
    TAPETag ape;
    id3v1.ReadFromFile(path);
    id3v2.ReadFromFile(path);
    ape.ReadFromFile(path);
    return 0;
}
