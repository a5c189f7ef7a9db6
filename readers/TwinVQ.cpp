#include "readers/TwinVQ.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <string_view>

namespace {

// Header numbers are big-endian 32-bit fields of which only the low 16 bits
// are used.
uint16_t Low16(uint32_t field) { return static_cast<uint16_t>(field & 0xFFFF); }

// Header: the "TWIN" file header and the "COMM" chunk, 40 bytes:
//   0  "TWIN"
//   4  format version text, 8 bytes (not used)
//  12  header size
//  16  "COMM" (not checked), 20 chunk size (not used)
//  24  channel mode    0 mono, 1 stereo
//  28  bitrate         kbit/s
//  32  sample rate     kHz
//  36  security level  (not used)
constexpr std::size_t kHeaderSize = 40;
constexpr std::string_view kMarker = "TWIN";

// Text chunks follow from offset 16: 4-byte id, big-endian 32-bit size.
constexpr int64_t kFirstChunk = 16;
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kTextBufferSize = 250;

uint8_t ChannelsOf(uint16_t mode) {
    switch (mode) {
    case 0: return 1;
    case 1: return 2;
    default: return 0;
    }
}

// The header stores kHz; the three CD-derived rates are named by their
// rounded value. Other values are multiplied in 16-bit arithmetic.
uint16_t SampleRateOf(uint16_t kHz) {
    switch (kHz) {
    case 11: return 11025;
    case 22: return 22050;
    case 44: return 44100;
    default: return static_cast<uint16_t>(kHz * 1000);
    }
}

} // namespace

void TTwinVQ::ResetData() {
    valid_ = false;
    channels_ = 0;
    bitRate_ = 0;
    sampleRate_ = 0;
    fileSize_ = 0;
    duration_ = 0;
    title_.clear();
    comment_.clear();
    author_.clear();
    copyright_.clear();
    sourceFileName_.clear();
    album_.clear();
}

bool TTwinVQ::ReadFromStream(TFileStream& stream) {
    ResetData();
    unsigned char bytes[kHeaderSize] = {};
    std::size_t got = 0;
    int64_t fileSize = 0;
    try {
        stream.Seek(0);
        got = stream.Read(bytes, sizeof bytes);
        fileSize = stream.Size();
    } catch (const std::exception&) {
        return false;
    }
    TByteReader h(bytes, got);
    if (got < kHeaderSize) return false;
    if (!h.Expect(kMarker)) return true;   // read, but not Valid
    h.Skip(8);   // version text
    const uint16_t headerSize = Low16(h.BE32());
    h.Skip(8);   // "COMM" and its size
    const uint16_t channelMode = Low16(h.BE32());
    const uint16_t headerBitRate = Low16(h.BE32());
    const uint16_t sampleRateKHz = Low16(h.BE32());
    h.Skip(4);   // security level
    if (h.Overrun()) return false;

    channels_ = ChannelsOf(channelMode);
    bitRate_ = static_cast<uint8_t>(headerBitRate);
    sampleRate_ = SampleRateOf(sampleRateKHz);
    fileSize_ = fileSize;
    // The duration is estimated from the audio bytes and the bitrate. Without
    // a bitrate there is nothing to estimate it from: the file is then not
    // Valid and keeps a duration of 0.
    valid_ = headerBitRate != 0;
    if (valid_) duration_ = std::abs(static_cast<double>(fileSize_ - headerSize - 20)) / 125 / headerBitRate;
    ReadTextChunks(stream);
    for (std::string* text : {&title_, &comment_, &author_, &copyright_, &sourceFileName_, &album_})
        *text = Trim(*text);
    return true;
}

bool TTwinVQ::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

std::string* TTwinVQ::TextOf(const std::string& id) {
    if (id == "NAME") return &title_;
    if (id == "COMT") return &comment_;
    if (id == "AUTH") return &author_;
    if (id == "(c) ") return &copyright_;
    if (id == "FILE") return &sourceFileName_;
    if (id == "ALBM") return &album_;
    return nullptr;
}

// Walks the chunks after the file header up to "DATA" or the first id that
// is not text. A text keeps its first 250 bytes; the walk then goes on at
// the end of the chunk, so a long text cannot be misread as further chunks.
// Every chunk moves the position on by at least its 8-byte header.
void TTwinVQ::ReadTextChunks(TFileStream& stream) {
    try {
        stream.Seek(kFirstChunk);
        while (stream.Position() < stream.Size()) {
            unsigned char chunkBytes[kChunkHeaderSize] = {};
            TByteReader chunk(chunkBytes, stream.Read(chunkBytes, sizeof chunkBytes));
            const std::string id = chunk.Text(4);
            const uint16_t size = Low16(chunk.BE32());
            if (chunk.Overrun()) break;
            if (std::any_of(id.begin(), id.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }) ||
                id == "DATA")
                break;
            const int64_t dataStart = stream.Position();
            char text[kTextBufferSize] = {};
            stream.Read(text, std::min<std::size_t>(size, kTextBufferSize));
            if (std::string* property = TextOf(id)) *property = std::string(text, sizeof text);
            stream.Seek(dataStart + size);
        }
    } catch (const std::exception&) {
        // A damaged chunk ends the text scan; what was read stays.
    }
}

double TTwinVQ::Ratio() const {
    if (!valid_) return 0;
    // Reference: a 16-bit PCM WAV file with a 44-byte header.
    return static_cast<double>(fileSize_) / (sampleRate_ * duration_ * (channels_ * 16 / 8) + 44) * 100;
}
