#include "readers/TTA.h"

#include "io/ByteOrder.h"
#include "io/FileStream.h"

#include <array>
#include <cstring>

namespace {

// "TTA1", then 18 bytes, little-endian.
constexpr char kMarker[4] = {'T', 'T', 'A', '1'};
constexpr std::size_t kFieldsSize = 18;
constexpr std::size_t kAudioFormat = 0;     // 2 bytes
constexpr std::size_t kChannels = 2;        // 2 bytes
constexpr std::size_t kBitsPerSample = 4;   // 2 bytes
constexpr std::size_t kSampleRate = 6;      // 4 bytes
constexpr std::size_t kDataLength = 10;     // 4 bytes: samples per channel
constexpr std::size_t kCRC = 14;            // 4 bytes

} // namespace

void TTTA::ResetData() {
    id3v1_.ResetData();
    id3v2_.ResetData();
    apeTag_.ResetData();
    valid_ = false;
    fileSize_ = 0;
    audioFormat_ = 0;
    channels_ = 0;
    bitsPerSample_ = 0;
    sampleRate_ = 0;
    samples_ = 0;
    crc_ = 0;
    bitRate_ = 0;
    duration_ = 0;
}

bool TTTA::ReadFromStream(TFileStream& stream) {
    ResetData();
    id3v2_.ReadFromStream(stream);
    id3v1_.ReadFromStream(stream);
    apeTag_.ReadFromStream(stream);

    stream.Seek(0);
    if (id3v2_.Exists()) stream.Seek(id3v2_.Size());
    char marker[4] = {};
    if (stream.Read(marker, sizeof marker) != sizeof marker || std::memcmp(marker, kMarker, sizeof kMarker) != 0)
        return false;

    std::array<uint8_t, kFieldsSize> fields{};
    stream.Read(fields.data(), fields.size());
    fileSize_ = stream.Size();
    audioFormat_ = LE16(fields.data() + kAudioFormat);
    channels_ = LE16(fields.data() + kChannels);
    bitsPerSample_ = LE16(fields.data() + kBitsPerSample);
    sampleRate_ = LE32(fields.data() + kSampleRate);
    samples_ = LE32(fields.data() + kDataLength);
    crc_ = LE32(fields.data() + kCRC);

    // Without samples or sample rate there is no duration to divide by.
    valid_ = sampleRate_ > 0 && samples_ > 0;
    if (valid_) {
        duration_ = double(samples_) / sampleRate_;
        bitRate_ = double(fileSize_) * 8 / duration_ / 1000;
    }
    return true;
}

bool TTTA::ReadFromFile(const std::string& path) {
    ResetData();
    TFileStream stream(path);
    return ReadFromStream(stream);
}

// Against a PCM WAV file (44-byte header) of the same format.
double TTTA::Ratio() const {
    if (!valid_) return 0.0;
    return double(fileSize_) / (double(samples_) * (channels_ * bitsPerSample_ / 8.0) + 44) * 100;
}
