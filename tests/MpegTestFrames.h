// Builders for hand-made MPEG audio frames and LAME tags, shared by the MPEG
// and LAME tests.
#pragma once

#include "TestSupport.h"
#include "mpeg/MPEGaudio.h"

#include <cstring>
#include <string_view>

struct FrameSpec {
    uint8_t Version = 3;       // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    uint8_t Layer = 1;         // 1 Layer III, 2 Layer II, 3 Layer I
    uint8_t BitRateIndex = 9;  // 128 kbit/s for MPEG-1 Layer III
    uint8_t SampleRateIndex = 0;
    bool Padding = false;
    uint8_t Mode = 1;          // joint stereo
    bool Crc = false;
    bool Copyright = false;
    bool Original = false;
    uint8_t Filler = 0x55;     // payload byte (never a sync byte)
};

inline Bytes FrameHeader(const FrameSpec& s) {
    return Bytes{0xFF,
                 static_cast<uint8_t>(0xE0 | (s.Version << 3) | (s.Layer << 1) | (s.Crc ? 0 : 1)),
                 static_cast<uint8_t>((s.BitRateIndex << 4) | (s.SampleRateIndex << 2) | (s.Padding ? 2 : 0)),
                 static_cast<uint8_t>((s.Mode << 6) | (s.Copyright ? 8 : 0) | (s.Original ? 4 : 0))};
}

inline std::size_t FrameLengthOf(const FrameSpec& s) {
    FrameData frame;
    mpegframe::DecodeHeader(FrameHeader(s).data(), frame);
    return mpegframe::FrameLength(frame);
}

// One frame: header and filler payload.
inline Bytes Frame(const FrameSpec& s) {
    Bytes frame = FrameHeader(s);
    frame.resize(FrameLengthOf(s), s.Filler);
    return frame;
}

inline Bytes Frames(const FrameSpec& s, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) Append(out, Frame(s));
    return out;
}

inline void Put(Bytes& bytes, std::size_t at, std::string_view text) {
    if (bytes.size() < at + text.size()) bytes.resize(at + text.size());
    std::memcpy(bytes.data() + at, text.data(), text.size());
}

inline void PutByte(Bytes& bytes, std::size_t at, uint8_t value) {
    if (bytes.size() <= at) bytes.resize(at + 1);
    bytes[at] = value;
}

inline void PutBE32(Bytes& bytes, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) PutByte(bytes, at + i, static_cast<uint8_t>(value >> (24 - 8 * i)));
}

// The settings a LAME tag records.
struct LameTagSpec {
    std::string Mark = "Info";
    std::string Version = "3.97 ";   // 5 characters at mark + 124 (more run on)
    uint8_t VBRScale = 78;
    uint8_t VBRMethod = 1;
    uint8_t Lowpass = 190;
    uint8_t ATHType = 4;
    uint8_t BitRate = 128;
    uint8_t NoiseShaping = 2;
    uint8_t StereoMode = 3;
    uint16_t Preset = 0;
};

// Writes a Xing/Info mark with a LAME tag at offset mark of bytes.
inline void PutLameTag(Bytes& bytes, std::size_t mark, const LameTagSpec& t) {
    for (std::size_t i = mark; i < mark + 156; ++i) PutByte(bytes, i, 0);
    Put(bytes, mark, t.Mark);
    PutByte(bytes, mark + 119, t.VBRScale);
    Put(bytes, mark + 120, "LAME");
    PutByte(bytes, mark + 129, static_cast<uint8_t>(0x10 | t.VBRMethod));
    PutByte(bytes, mark + 130, t.Lowpass);
    PutByte(bytes, mark + 139, t.ATHType);
    PutByte(bytes, mark + 140, t.BitRate);
    PutByte(bytes, mark + 144, static_cast<uint8_t>(t.NoiseShaping | (t.StereoMode << 2)));
    PutByte(bytes, mark + 146, static_cast<uint8_t>(t.Preset >> 8));
    PutByte(bytes, mark + 147, static_cast<uint8_t>(t.Preset & 0xFF));
    // Written last: a longer text (old LAME versions) runs over the fields.
    for (std::size_t i = 0; i < 5; ++i) PutByte(bytes, mark + 124 + i, 0);
    Put(bytes, mark + 124, t.Version);
}

// A CBR MPEG-1 Layer III stream (128 kbit/s, 44.1 kHz, joint stereo) of the
// given frame count whose first frame carries a LAME tag at offset 36.
inline Bytes LameStream(const LameTagSpec& tag, int frames = 12) {
    FrameSpec shape;
    Bytes out = Frames(shape, frames);
    PutLameTag(out, 36, tag);
    return out;
}
