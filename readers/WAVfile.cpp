#include "readers/WAVfile.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <exception>

namespace {

// RIFF header, little-endian: "RIFF" ("RF64", "BW64"), the size of
// everything after this field (LE32; 0xFFFFFFFF in the 64-bit forms, whose
// "ds64" chunk holds it), the form type "WAVE".
constexpr std::size_t kRiffHeaderSize = 12;
constexpr uint32_t kSizeInDs64 = 0xFFFFFFFF;

// Every chunk: a 4-byte identifier and the LE32 payload size; the payload is
// padded to an even length.
constexpr int64_t kChunkHeaderSize = 8;

// The "ds64" payload starts with the RIFF size, the data size and the
// sample count, 64 bits each, then a table of other chunk sizes.
constexpr std::size_t kDs64FieldsSize = 24;

// The "fmt " payload fields read: WAVEFORMAT plus wBitsPerSample (16
// bytes), then for WAVEFORMATEXTENSIBLE cbSize (2), wValidBitsPerSample
// (2), dwChannelMask (4) and the SubFormat GUID (16), 40 bytes in all.
constexpr std::size_t kFormatFieldsSize = 40;
// The SubFormat GUID of the standard formats: the format code in its first
// two bytes, then 00 00 00 00 10 00 80 00 00 AA 00 38 9B 71.
constexpr unsigned char kSubFormatBase[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The "fact" payload starts with dwSampleLength (LE32), the length in samples
// per channel of a compressed stream.
constexpr uint32_t kFactMinimumSize = 4;

// The canonical header size the ratio compares against.
constexpr double kCanonicalHeaderSize = 44;

// Format codes whose data size divided by the block alignment is the number
// of sample frames. Every other code is a compressed format whose sample
// count comes from the "fact" chunk.
constexpr uint16_t kFormatPCM = 1;
constexpr uint16_t kFormatIEEEFloat = 3;
constexpr uint16_t kFormatALaw = 6;
constexpr uint16_t kFormatMuLaw = 7;
constexpr uint16_t kFormatExtensible = 65534;

struct FormatNameEntry {
    uint16_t tag;
    const char* name;
};
constexpr std::array<FormatNameEntry, 9> kFormatNames = {{
    {1, "Windows PCM"},
    {2, "Microsoft ADPCM"},
    {3, "IEEE Float"},
    {6, "A-LAW"},
    {7, "MU-LAW"},
    {17, "DVI/IMA ADPCM"},
    {49, "GSM 6.10"},
    {80, "MPEG Layer I/II"},
    {85, "MPEG Layer III"},
}};

// "Format 0x" and the code in four hex digits.
std::string FormatCodeText(uint16_t tag) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = "Format 0x";
    for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(tag >> shift) & 0xF];
    return text;
}

std::string NameOfFormat(uint16_t tag) {
    for (const FormatNameEntry& entry : kFormatNames)
        if (entry.tag == tag) return entry.name;
    return FormatCodeText(tag);
}

bool IsSampleFormat(uint16_t tag) {
    return tag == kFormatPCM || tag == kFormatIEEEFloat || tag == kFormatALaw || tag == kFormatMuLaw ||
           tag == kFormatExtensible;
}

// Where the chunks the reader needs start (the offset of their 8-byte header),
// -1 when the file has none. The first chunk of each kind counts.
struct ChunkPlaces {
    int64_t format = -1;
    uint32_t formatSize = 0;
    int64_t data = -1;
    uint64_t dataSize = 0;
    int64_t fact = -1;
    uint32_t factSize = 0;
    int64_t ds64 = -1;
};

// Walks the chunks from the end of the RIFF header to the end of the file
// (not only to the end the RIFF size claims: that size is often wrong). Only
// a whole chunk header counts. A data chunk of a 64-bit file whose size
// field says 0xFFFFFFFF takes its size from "ds64". Every step advances at
// least 8 bytes, so the walk is bounded by the file size.
ChunkPlaces FindChunks(TFileStream& stream, bool hasDs64, uint64_t ds64DataSize) {
    ChunkPlaces places;
    const int64_t size = stream.Size();
    int64_t at = kRiffHeaderSize;
    while (at <= size - kChunkHeaderSize) {
        unsigned char header[kChunkHeaderSize];
        stream.ReadZeroFilled(at, header, sizeof header);
        TByteReader r(header, sizeof header);
        const std::string id = r.Text(4);
        uint64_t chunkSize = r.LE32();
        if (id == "data" && hasDs64 && chunkSize == kSizeInDs64) chunkSize = ds64DataSize;
        if (places.format < 0 && id == "fmt ") {
            places.format = at;
            places.formatSize = static_cast<uint32_t>(chunkSize);
        } else if (places.data < 0 && id == "data") {
            places.data = at;
            places.dataSize = chunkSize;
        } else if (places.fact < 0 && id == "fact") {
            places.fact = at;
            places.factSize = static_cast<uint32_t>(chunkSize);
        }
        if (places.format >= 0 && places.data >= 0 && places.fact >= 0) break;
        if (chunkSize > uint64_t(size)) break;
        at += kChunkHeaderSize + static_cast<int64_t>(chunkSize + (chunkSize & 1));
    }
    return places;
}

} // namespace

void TWAVfile::ResetData() {
    valid_ = false;
    formatChunkSize_ = 0;
    formatTag_ = 0;
    channels_ = 0;
    sampleRate_ = 0;
    bytesPerSecond_ = 0;
    blockAlign_ = 0;
    bitsPerSample_ = 0;
    sampleCount_ = 0;
    dataChunkSize_ = 0;
    is64Bit_ = false;
    subFormatTag_ = 0;
    standardSubFormat_ = false;
    headerSize_ = 0;
    fileSize_ = 0;
    fileName_.clear();
    bitRate_ = 0;
}

bool TWAVfile::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        stream.Seek(0);
        const int64_t sizeOnDisk = stream.Size();

        unsigned char riffBytes[kRiffHeaderSize];
        stream.ReadZeroFilled(0, riffBytes, sizeof riffBytes);
        TByteReader riff(riffBytes, sizeof riffBytes);
        const std::string riffId = riff.Text(4);
        uint64_t riffSize = riff.LE32();
        const std::string formType = riff.Text(4);
        const bool is64Bit = riffId == "RF64" || riffId == "BW64";
        if ((riffId != "RIFF" && !is64Bit) || formType != "WAVE") return true;

        // The 64-bit forms put "ds64" first; its counts replace the 32-bit
        // fields that say 0xFFFFFFFF.
        uint64_t ds64DataSize = 0, ds64SampleCount = 0;
        bool hasDs64 = false;
        if (is64Bit) {
            unsigned char ds64Bytes[kChunkHeaderSize + kDs64FieldsSize];
            stream.ReadZeroFilled(kRiffHeaderSize, ds64Bytes, sizeof ds64Bytes);
            TByteReader ds64(ds64Bytes, sizeof ds64Bytes);
            const bool present = ds64.Expect("ds64");
            const uint32_t ds64Size = ds64.LE32();
            const uint64_t ds64RiffSize = ds64.LE64();
            const uint64_t dataSize = ds64.LE64();
            const uint64_t sampleCount = ds64.LE64();
            if (present && ds64Size >= kDs64FieldsSize) {
                if (riffSize == kSizeInDs64) riffSize = ds64RiffSize;
                ds64DataSize = dataSize;
                ds64SampleCount = sampleCount;
                hasDs64 = true;
            }
        }
        const ChunkPlaces places = FindChunks(stream, hasDs64, ds64DataSize);
        if (places.format < 0) return true;

        unsigned char formatBytes[kFormatFieldsSize];
        stream.ReadZeroFilled(places.format + kChunkHeaderSize, formatBytes, sizeof formatBytes);
        TByteReader format(formatBytes, std::min<std::size_t>(sizeof formatBytes, std::max<uint32_t>(places.formatSize, 16)));
        const uint16_t formatTag = format.LE16();
        const uint16_t channels = format.LE16();
        const uint32_t sampleRate = format.LE32();
        const uint32_t bytesPerSecond = format.LE32();
        const uint16_t blockAlign = format.LE16();
        const uint16_t bitsPerSample = format.LE16();
        format.Skip(2);                                 // cbSize
        format.Skip(2);                                 // wValidBitsPerSample
        format.Skip(4);                                 // dwChannelMask
        const uint16_t subFormatTag = format.LE16();
        const bool standardSubFormat = format.Expect(std::string_view(reinterpret_cast<const char*>(kSubFormatBase),
                                                                      sizeof kSubFormatBase));
        if (channels == 0) return true;

        valid_ = true;
        is64Bit_ = is64Bit;
        formatChunkSize_ = places.formatSize;
        formatTag_ = formatTag;
        channels_ = static_cast<uint8_t>(channels & 0xFF);
        sampleRate_ = sampleRate;
        bytesPerSecond_ = bytesPerSecond;
        blockAlign_ = blockAlign;
        bitsPerSample_ = static_cast<uint8_t>(bitsPerSample & 0xFF);
        if (formatTag_ == kFormatExtensible && !format.Overrun()) {
            subFormatTag_ = subFormatTag;
            standardSubFormat_ = standardSubFormat;
        }

        // A RIFF size that claims more than the file holds (0xFFFFFFFF from a
        // pipe, a cut-off download) gives way to the size on disk.
        fileSize_ = static_cast<int64_t>(std::min<uint64_t>(riffSize + 8, uint64_t(sizeOnDisk)));

        // The data size never counts more bytes than follow the data header.
        // Without a data chunk the header is taken to end where a data
        // chunk's payload right after the format chunk would begin.
        int64_t dataSize = 0;
        if (places.data >= 0) {
            headerSize_ = places.data + kChunkHeaderSize;
            dataChunkSize_ = places.dataSize;
            dataSize = static_cast<int64_t>(std::min<uint64_t>(places.dataSize, uint64_t(std::max<int64_t>(0, sizeOnDisk - headerSize_))));
        } else {
            headerSize_ = places.format + kChunkHeaderSize + places.formatSize + kChunkHeaderSize;
        }
        if (fileSize_ < headerSize_) headerSize_ = fileSize_;

        if (IsSampleFormat(formatTag_)) {
            sampleCount_ = blockAlign_ > 0 ? static_cast<uint64_t>(dataSize / blockAlign_) : 0;
        } else if (places.fact >= 0 && places.factSize >= kFactMinimumSize) {
            // The data size of a compressed format counts blocks, not samples.
            unsigned char factBytes[kFactMinimumSize];
            stream.ReadZeroFilled(places.fact + kChunkHeaderSize, factBytes, sizeof factBytes);
            TByteReader fact(factBytes, sizeof factBytes);
            const uint32_t samples = fact.LE32();
            sampleCount_ = hasDs64 && samples == kSizeInDs64 ? ds64SampleCount : samples;
        }

        fileName_ = stream.Path();
        bitRate_ = static_cast<double>(uint64_t{bytesPerSecond_} * 8) / 1000.0;
        return true;
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

bool TWAVfile::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}

// Without a sample count the playing time follows from the byte rate and the
// bytes after the header. Every zero divisor gives 0.
double TWAVfile::Duration() const {
    if (!valid_) return 0;
    if (sampleCount_ > 0) return sampleRate_ > 0 ? static_cast<double>(sampleCount_) / sampleRate_ : 0;
    if (bytesPerSecond_ == 0) return 0;
    return static_cast<double>(fileSize_ - headerSize_) / bytesPerSecond_;
}

// The file size against a canonical PCM file of the same length: sample
// frames of Channels x BitsPerSample / 8 bytes (0.5 for 4-bit mono) and a
// 44-byte header. A zero byte rate without a sample count gives 0.
double TWAVfile::Ratio() const {
    if (!valid_) return 0;
    const double bytesPerFrame = channels_ * bitsPerSample_ / 8.0;
    const auto size = static_cast<double>(fileSize_);
    if (sampleCount_ > 0) return size / (sampleCount_ * bytesPerFrame + kCanonicalHeaderSize) * 100;
    if (bytesPerSecond_ == 0) return 0;
    const double seconds = static_cast<double>(fileSize_ - headerSize_) / bytesPerSecond_;
    return size / (seconds * sampleRate_ * bytesPerFrame + kCanonicalHeaderSize) * 100;
}

// The name of the format code; the extensible format is named by its
// sub-format (a GUID outside the standard base shows the code 0xFFFE).
std::string TWAVfile::FormatName() const {
    if (!valid_) return {};
    if (formatTag_ == kFormatExtensible && standardSubFormat_) return NameOfFormat(subFormatTag_);
    return NameOfFormat(formatTag_);
}
