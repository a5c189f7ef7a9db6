#include "readers/TwinVQ.h"

#include "io/FileStream.h"
#include "io/Text.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

// Header numbers are big-endian 32-bit fields of which only the low 16 bits
// are used.
uint16_t Low16(const unsigned char* p) { return uint16_t(p[2] << 8 | p[3]); }

// Header: "TWIN" file header and the "COMM" chunk, 40 bytes.
constexpr std::size_t kHeaderSize = 40;
// 0: "TWIN", 4: format version text (8 bytes, not used)
constexpr std::size_t kHeaderSizeField = 12;
// 16: "COMM" (not checked), 20: chunk size (not used)
constexpr std::size_t kChannelMode = 24;   // 0 mono, 1 stereo
constexpr std::size_t kBitRate = 28;       // kbit/s
constexpr std::size_t kSampleRate = 32;    // kHz
// 36: security level (not used)

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
    unsigned char h[kHeaderSize] = {};
    int64_t fileSize = 0;
    try {
        stream.Seek(0);
        if (stream.Read(h, sizeof h) < sizeof h) return false;
        fileSize = stream.Size();
    } catch (const std::exception&) {
        return false;
    }
    if (std::memcmp(h, "TWIN", 4) != 0) return true;

    const uint16_t headerBitRate = Low16(h + kBitRate);
    channels_ = ChannelsOf(Low16(h + kChannelMode));
    bitRate_ = static_cast<uint8_t>(headerBitRate);
    sampleRate_ = SampleRateOf(Low16(h + kSampleRate));
    fileSize_ = fileSize;
    // The duration is estimated from the audio bytes and the bitrate. Without
    // a bitrate there is nothing to estimate it from: the file is then not
    // Valid and keeps a duration of 0.
    valid_ = headerBitRate != 0;
    if (valid_) duration_ = std::abs(static_cast<double>(fileSize_ - Low16(h + kHeaderSizeField) - 20)) / 125 / headerBitRate;

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

std::string* TTwinVQ::TextOf(const unsigned char* id) {
    if (std::memcmp(id, "NAME", 4) == 0) return &title_;
    if (std::memcmp(id, "COMT", 4) == 0) return &comment_;
    if (std::memcmp(id, "AUTH", 4) == 0) return &author_;
    if (std::memcmp(id, "(c) ", 4) == 0) return &copyright_;
    if (std::memcmp(id, "FILE", 4) == 0) return &sourceFileName_;
    if (std::memcmp(id, "ALBM", 4) == 0) return &album_;
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
            unsigned char chunk[kChunkHeaderSize] = {};
            if (stream.Read(chunk, sizeof chunk) < sizeof chunk) break;
            if (std::any_of(chunk, chunk + 4, [](unsigned char c) { return c < 32; }) ||
                std::memcmp(chunk, "DATA", 4) == 0)
                break;
            const uint16_t size = Low16(chunk + 4);
            const int64_t dataStart = stream.Position();
            char text[kTextBufferSize] = {};
            stream.Read(text, std::min<std::size_t>(size, kTextBufferSize));
            if (std::string* property = TextOf(chunk)) *property = std::string(text, sizeof text);
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
