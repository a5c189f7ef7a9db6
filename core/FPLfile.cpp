#include "core/FPLfile.h"

#include "io/ByteReader.h"
#include "io/Errors.h"
#include "io/FileStream.h"
#include "io/Paths.h"
#include "io/Text.h"

#include <array>
#include <cstring>

namespace {

// Header (28 bytes): four bytes that add up to 669 mark the format; the
// track count (32-bit little-endian) is at offset 20; nothing else is read.
constexpr std::size_t kHeaderSize = 28;
constexpr int kHeaderSum = 669;
constexpr std::size_t kMarkSize = 4, kTrackCountAt = 20;
constexpr int64_t kTrackDataSize = 28;        // per-track data after a "file://" string
constexpr std::size_t kStringBufferSize = 999; // longest string kept; longer ones are cut
constexpr std::string_view kFilePrefix = "file://";
constexpr uint32_t kStringsBetweenChecks = 4096;   // well under a millisecond of reading

int32_t ReadInt32At(TFileStream& stream, int64_t position) {
    unsigned char bytes[4];
    stream.Seek(position);
    stream.ReadExact(bytes, sizeof bytes);
    TByteReader value(bytes, sizeof bytes);
    return static_cast<int32_t>(value.LE32());
}

// Where a metadata value goes, by the key before it; nullptr for other keys.
std::string* ValueSlot(TFPLitem& track, const std::string& key, bool& utf8) {
    utf8 = false;
    if (key == "tracknumber") return &track.TrackNumber;
    if (key == "date") return &track.Date;
    if (key == "Genre") return &track.Genre;
    if (key == "samplerate") return &track.SampleRate;
    if (key == "channels") return &track.Channels;
    if (key == "bitrate") return &track.BitRate;
    if (key == "codec") return &track.Codec;
    utf8 = true;
    if (key == "Artist") return &track.Artist;
    if (key == "Title") return &track.Title;
    if (key == "Album") return &track.Album;
    if (key == "Comment") return &track.Comment;
    return nullptr;
}

} // namespace

std::string TFPLfile::TrackPath(int32_t i) const {
    if (i < 1 || static_cast<std::size_t>(i) > tracks_.size()) return {};
    return tracks_[static_cast<std::size_t>(i) - 1].Path;
}

bool TFPLfile::Open(const std::string& path, const std::function<bool()>& cancelled) {
    path_ = path;
    trackCount_ = 0;
    tracks_.clear();
    try {
        TFileStream stream(path);
        std::array<unsigned char, kHeaderSize> headerBytes{};
        stream.Read(headerBytes.data(), headerBytes.size());   // a short file leaves zeros
        TByteReader header(headerBytes.data(), headerBytes.size());
        int sum = 0;
        for (std::size_t k = 0; k < kMarkSize; ++k) sum += header.U8();
        header.Skip(kTrackCountAt - kMarkSize);
        const uint32_t trackCount = header.LE32();
        if (sum != kHeaderSum) return false;
        trackCount_ = static_cast<int32_t>(trackCount);

        const int64_t size = stream.Size();
        int64_t p = kHeaderSize;
        int64_t expected = 0;   // key and value strings expected in the current block
        int64_t read = 0;       // block strings read so far
        bool inTrack = false;   // a track beyond the table has no slot: its data is skipped
        std::string pendingKey;
        bool haveKey = false;
        std::string buffer;
        uint32_t strings = 0;
        while (p < size) {
            if (cancelled && ++strings % kStringsBetweenChecks == 0 && cancelled()) break;
            if (read == expected && expected != 0) {
                expected = 2 * static_cast<int64_t>(ReadInt32At(stream, p));
                read = 0;
                p += 4;
            }
            const int32_t length = ReadInt32At(stream, p);
            if (length < 0) break;   // a negative length cannot be skipped over
            p += 4;
            buffer.assign(std::min<std::size_t>(static_cast<std::size_t>(length), kStringBufferSize), '\0');
            stream.Seek(p);
            stream.ReadExact(buffer.data(), buffer.size());
            p += length;

            if (buffer.compare(0, kFilePrefix.size(), kFilePrefix) == 0) {
                std::string trackPath = DecodeUtf8(std::string_view(buffer).substr(kFilePrefix.size()));
                if (!IsAbsoluteTrackPath(trackPath)) trackPath = FolderOf(path) + trackPath;
                inTrack = static_cast<int64_t>(tracks_.size()) < trackCount_;
                if (inTrack) tracks_.push_back(TFPLitem{trackPath, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}});
                haveKey = false;
                p += kTrackDataSize;
                expected = 2 * static_cast<int64_t>(ReadInt32At(stream, p));
                if (expected == 0) {
                    p += 4;
                    expected = 2 * static_cast<int64_t>(ReadInt32At(stream, p));
                }
                p += 4;
            } else {
                ++read;
                if (inTrack && haveKey) {
                    bool utf8 = false;
                    if (std::string* slot = ValueSlot(tracks_.back(), pendingKey, utf8))
                        *slot = utf8 ? DecodeUtf8(buffer) : buffer;
                    haveKey = false;
                } else {
                    pendingKey = std::string(UpToFirstZero(buffer));
                    haveKey = true;
                }
            }
        }
    } catch (const EFOpenError&) {
        return false;
    } catch (const std::exception&) {
        // The file ended (or shrank) inside a record: keep the tracks found.
    }
    return true;
}
