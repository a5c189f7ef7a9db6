#include "readers/TTA.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"

#include <array>
#include <string_view>

namespace {

// "TTA1" and the format header that follows it, little-endian:
//   0  marker            4  "TTA1"
//   4  audio format      2
//   6  channels          2
//   8  bits per sample   2
//  10  sample rate       4
//  14  data length       4  samples per channel
//  18  CRC               4  (not checked)
constexpr std::string_view kMarker = "TTA1";
constexpr std::size_t kHeaderSize = 22;

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

    // A header cut short reads as zeros beyond the end of the file.
    std::array<unsigned char, kHeaderSize> bytes{};
    stream.ReadZeroFilled(id3v2_.Exists() ? id3v2_.Size() : 0, bytes.data(), bytes.size());
    TByteReader header(bytes.data(), bytes.size());
    if (!header.Expect(kMarker)) return false;
    audioFormat_ = header.LE16();
    channels_ = header.LE16();
    bitsPerSample_ = header.LE16();
    sampleRate_ = header.LE32();
    samples_ = header.LE32();
    crc_ = header.LE32();
    if (header.Overrun()) return false;
    fileSize_ = stream.Size();

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
    // In floating point: both fields come from the file and may be 65535.
    const double bytesPerFrame = double(channels_) * bitsPerSample_ / 8.0;
    return double(fileSize_) / (double(samples_) * bytesPerFrame + 44) * 100;
}
