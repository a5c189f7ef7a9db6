// The encoder marks an ID3v2 tag can carry: the software text ("TSSE"), the
// encoded-by text ("TENC") and iTunes' comments ("iTunSMPB", "iTunNORM").
// Only the frame headers are walked; the bodies of these few frames are read.
#pragma once

#include <cstdint>
#include <string>

class TFileStream;

struct ID3v2EncoderMarks {
    std::string Software;    // TSSE (TSS in ID3v2.2)
    std::string EncodedBy;   // TENC (TEN)
    bool ITunes = false;     // a COMM frame described "iTunSMPB" or "iTunNORM"
};

// Reads the marks of the ID3v2 tag at position (versions 2.2 to 2.4); an
// absent or damaged tag gives empty marks.
ID3v2EncoderMarks ReadID3v2EncoderMarks(TFileStream& stream, int64_t position);
