// ID3v1 (1.0 and 1.1) at the last 128 bytes of a file, and the Lyrics3
// version 2 block ("LYRICSBEGIN" ... size + "LYRICS200") before it.
#include "tags/ID3v1.h"

#include "io/FileStream.h"
#include "io/Text.h"

#include <array>
#include <cstring>
#include <exception>

namespace {

// ID3v1 block layout.
constexpr int64_t kTagSize = 128;
constexpr std::size_t kTitleAt = 3, kArtistAt = 33, kAlbumAt = 63, kYearAt = 93, kCommentAt = 97;
constexpr std::size_t kTextLength = 30, kYearLength = 4, kShortCommentLength = 28;
constexpr std::size_t kZeroByteAt = 125, kTrackAt = 126, kGenreAt = 127;

// Lyrics3 version 2 layout.
constexpr int64_t kLyricsFooterSize = 15;        // 6 size digits + "LYRICS200"
constexpr std::size_t kLyricsSizeDigits = 6;
constexpr std::string_view kLyricsEndMark = "LYRICS200";
constexpr std::string_view kLyricsBeginMark = "LYRICSBEGIN";
constexpr std::size_t kFieldHeaderSize = 8;      // 3-character id + 5 length digits
constexpr std::size_t kExtendedLength = 31;      // texts this long come only from Lyrics3

std::string Field(const unsigned char* block, std::size_t at, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(block + at), length);
}

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
            if (stream.Read(block.data(), block.size()) == block.size() && std::memcmp(block.data(), "TAG", 3) == 0) {
                exists_ = true;
                const bool v11 = (block[kZeroByteAt] == 0 && block[kTrackAt] != 0) ||
                                 (block[kZeroByteAt] == ' ' && block[kTrackAt] != ' ');
                versionID_ = v11 ? 2 : 1;
                SetTitle(TrimRight(Field(block.data(), kTitleAt, kTextLength)));
                SetArtist(TrimRight(Field(block.data(), kArtistAt, kTextLength)));
                SetAlbum(TrimRight(Field(block.data(), kAlbumAt, kTextLength)));
                year_ = TrimRight(Field(block.data(), kYearAt, kYearLength));
                SetComment(TrimRight(Field(block.data(), kCommentAt, v11 ? kShortCommentLength : kTextLength)));
                if (v11) track_ = block[kTrackAt];
                genreID_ = block[kGenreAt];
            }
        }

        // 2. The Lyrics3 version 2 footer just before the tag (or the end).
        const int64_t end = kLyricsFooterSize + (exists_ ? kTagSize : 0);
        if (size < end) return true;
        std::array<char, kLyricsFooterSize> footer{};
        stream.Seek(size - end);
        if (stream.Read(footer.data(), footer.size()) != footer.size()) return true;
        if (std::string_view(footer.data() + kLyricsSizeDigits, kLyricsEndMark.size()) != kLyricsEndMark) return true;
        int64_t lyricsSize = 0;
        if (!ParseDigits(std::string_view(footer.data(), kLyricsSizeDigits), lyricsSize)) lyricsSize = 0;
        lyrics3Size_ = static_cast<int32_t>(lyricsSize);

        // 3. The block: "LYRICSBEGIN" and its fields.
        if (lyrics3Size_ <= 0) return true;
        const int64_t blockStart = size - lyrics3Size_ - end;
        std::array<char, kLyricsBeginMark.size()> begin{};
        if (blockStart < 0 || (stream.Seek(blockStart), stream.Read(begin.data(), begin.size())) != begin.size() ||
            std::string_view(begin.data(), begin.size()) != kLyricsBeginMark) {
            lyrics3Present_ = false;
            lyrics3Size_ = 0;
            return true;
        }
        lyrics3Present_ = true;
        // Fields run up to the footer; a field header or content that would
        // pass the end of the file ends the loop.
        for (;;) {
            std::array<char, kFieldHeaderSize> header{};
            if (stream.Read(header.data(), header.size()) != header.size()) break;
            const std::string id(header.data(), 3);
            int64_t length = 0;
            if (!ParseDigits(std::string_view(header.data() + 3, 5), length)) break;
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
