// ID3v1 (1.0 and 1.1) at the last 128 bytes of a file, and the Lyrics3
// version 2 block ("LYRICSBEGIN" ... size + "LYRICS200") before it.
#include "tags/ID3v1.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <array>
#include <exception>

namespace {

// ID3v1 block: "TAG", title, artist, album (30 bytes each), year (4),
// comment (30), genre (1). In ID3v1.1 the comment's last two bytes are a
// zero (or space) and the track number.
constexpr int64_t kTagSize = 128;
constexpr std::string_view kTagMark = "TAG";
constexpr std::size_t kTextLength = 30, kYearLength = 4, kShortCommentLength = 28;
constexpr std::size_t kCommentZeroByte = 28, kCommentTrackByte = 29;

// Lyrics3 version 2 layout.
constexpr int64_t kLyricsFooterSize = 15;        // 6 size digits + "LYRICS200"
constexpr std::size_t kLyricsSizeDigits = 6;
constexpr std::string_view kLyricsEndMark = "LYRICS200";
constexpr std::string_view kLyricsBeginMark = "LYRICSBEGIN";
constexpr std::size_t kFieldHeaderSize = 8;      // 3-character id + 5 length digits
constexpr std::size_t kFieldIdLength = 3, kFieldLengthDigits = 5;
constexpr std::size_t kExtendedLength = 31;      // texts this long come only from Lyrics3

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// CR becomes CR LF, then the CR LF LF that a stored CR LF turned into collapses.
std::string NormaliseLineBreaks(const std::string& text) {
    return ReplaceAll(ReplaceAll(text, "\r", "\r\n"), "\r\n\n", "\r\n");
}

} // namespace

void TID3v1::ResetData() {
    exists_ = false;
    versionID_ = 1;
    title_.clear();
    artist_.clear();
    album_.clear();
    year_.clear();
    comment_.clear();
    track_ = 0;
    genreID_ = 255;
    extendedTitle_.clear();
    extendedArtist_.clear();
    extendedAlbum_.clear();
    extendedComment_.clear();
    lyrics3Present_ = false;
    lyrics3Size_ = 0;
    lyrics3Author_.clear();
    lyrics3Image_.clear();
    lyrics_.clear();
}

void TID3v1::SetTitle(std::string text) {
    title_ = std::move(text);
    extendedTitle_ = title_.size() >= kExtendedLength ? title_ : std::string();
}
void TID3v1::SetArtist(std::string text) {
    artist_ = std::move(text);
    extendedArtist_ = artist_.size() >= kExtendedLength ? artist_ : std::string();
}
void TID3v1::SetAlbum(std::string text) {
    album_ = std::move(text);
    extendedAlbum_ = album_.size() >= kExtendedLength ? album_ : std::string();
}
void TID3v1::SetComment(std::string text) {
    comment_ = std::move(text);
    extendedComment_ = comment_.size() >= kExtendedLength ? comment_ : std::string();
}

int64_t TID3v1::Lyrics3TotalSize() const { return lyrics3Size_ <= 0 ? 0 : int64_t(lyrics3Size_) + kLyricsFooterSize; }

int64_t TID3v1::TrailingTagSize() const { return Lyrics3TotalSize() + (exists_ ? kTagSize : 0); }

bool TID3v1::ReadFromStream(TFileStream& stream) {
    ResetData();
    try {
        stream.Seek(0);
        const int64_t size = stream.Size();

        // 1. The ID3v1 block.
        std::array<unsigned char, kTagSize> block{};
        if (size >= kTagSize) {
            stream.Seek(size - kTagSize);
            const std::size_t got = stream.Read(block.data(), block.size());
            TByteReader r(block.data(), got);
            if (got == block.size() && r.Expect(kTagMark)) {
                const std::string title = r.Text(kTextLength);
                const std::string artist = r.Text(kTextLength);
                const std::string album = r.Text(kTextLength);
                const std::string year = r.Text(kYearLength);
                const std::string comment = r.Text(kTextLength);
                const uint8_t genre = r.U8();
                if (!r.Overrun()) {
                    const char zero = comment[kCommentZeroByte], track = comment[kCommentTrackByte];
                    const bool v11 = (zero == 0 && track != 0) || (zero == ' ' && track != ' ');
                    exists_ = true;
                    versionID_ = v11 ? 2 : 1;
                    SetTitle(TrimRight(title));
                    SetArtist(TrimRight(artist));
                    SetAlbum(TrimRight(album));
                    year_ = TrimRight(year);
                    SetComment(TrimRight(v11 ? comment.substr(0, kShortCommentLength) : comment));
                    if (v11) track_ = static_cast<uint8_t>(track);
                    genreID_ = genre;
                }
            }
        }

        // 2. The Lyrics3 version 2 footer just before the tag (or the end).
        const int64_t end = kLyricsFooterSize + (exists_ ? kTagSize : 0);
        if (size < end) return true;
        std::array<unsigned char, kLyricsFooterSize> footerBytes{};
        stream.Seek(size - end);
        const std::size_t got = stream.Read(footerBytes.data(), footerBytes.size());
        TByteReader footer(footerBytes.data(), got);
        const std::string sizeDigits = footer.Text(kLyricsSizeDigits);
        if (!footer.Expect(kLyricsEndMark) || footer.Overrun()) return true;
        int64_t lyricsSize = 0;
        if (!ParseDigits(sizeDigits, lyricsSize)) lyricsSize = 0;
        lyrics3Size_ = static_cast<int32_t>(lyricsSize);

        // 3. The block: "LYRICSBEGIN" and its fields.
        if (lyrics3Size_ <= 0) return true;
        const int64_t blockStart = size - lyrics3Size_ - end;
        bool begins = false;
        if (blockStart >= 0) {
            std::array<unsigned char, kLyricsBeginMark.size()> beginBytes{};
            stream.Seek(blockStart);
            TByteReader begin(beginBytes.data(), stream.Read(beginBytes.data(), beginBytes.size()));
            begins = begin.Expect(kLyricsBeginMark);
        }
        if (!begins) {
            lyrics3Present_ = false;
            lyrics3Size_ = 0;
            return true;
        }
        lyrics3Present_ = true;
        // Fields run up to the footer; a field header or content that would
        // pass the end of the file ends the loop.
        for (;;) {
            std::array<unsigned char, kFieldHeaderSize> headerBytes{};
            const std::size_t headerGot = stream.Read(headerBytes.data(), headerBytes.size());
            TByteReader header(headerBytes.data(), headerGot);
            const std::string id = header.Text(kFieldIdLength);
            const std::string lengthDigits = header.Text(kFieldLengthDigits);
            if (header.Overrun()) break;
            int64_t length = 0;
            if (!ParseDigits(lengthDigits, length)) break;
            if (length > size - stream.Position()) break;
            std::string content(static_cast<std::size_t>(length), '\0');
            stream.Read(content.data(), content.size());
            if (id == "IND") continue;
            if (id == "LYR") lyrics_ = NormaliseLineBreaks(Trim(content));
            else if (id == "INF") SetComment(Trim(content));
            else if (id == "AUT") lyrics3Author_ = Trim(content);
            else if (id == "EAL") SetAlbum(Trim(content));
            else if (id == "EAR") SetArtist(Trim(content));
            else if (id == "ETT") SetTitle(Trim(content));
            else if (id == "IMG") lyrics3Image_ = content;
            else break;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TID3v1::ReadFromFile(const std::string& path) {
    try {
        TFileStream stream(path);
        return ReadFromStream(stream);
    } catch (const std::exception&) {
        ResetData();
        return false;
    }
}
