#include "mpeg/ID3v2Marks.h"

#include "io/ByteReader.h"
#include "io/FileStream.h"
#include "io/Text.h"

#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kHeaderSize = 10;
constexpr uint8_t kUnsynchronisationFlag = 0x80;
constexpr uint8_t kExtendedHeaderFlag = 0x40;
constexpr std::size_t kMaxFrames = 4096;
constexpr uint32_t kMaxTextFrame = 4096;   // longer software texts are not names

uint32_t SynchSafe(uint32_t value) {
    return ((value >> 24) & 0x7F) << 21 | ((value >> 16) & 0x7F) << 14 | ((value >> 8) & 0x7F) << 7 | (value & 0x7F);
}

// Decodes one string of a text frame body by its encoding byte (0 Latin-1,
// 1 UTF-16 with byte order mark, 2 UTF-16BE, 3 UTF-8); stops at its terminator.
std::string DecodeText(uint8_t encoding, std::string_view bytes) {
    std::string text;
    if (encoding == 1 || encoding == 2) {
        bool bigEndian = encoding == 2;
        if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF) {
            bigEndian = true;
            bytes.remove_prefix(2);
        } else if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
            bigEndian = false;
            bytes.remove_prefix(2);
        }
        std::string little(bytes.substr(0, bytes.size() & ~std::size_t{1}));
        if (bigEndian)
            for (std::size_t i = 0; i + 1 < little.size(); i += 2) std::swap(little[i], little[i + 1]);
        return DecodeUtf16LE(little);
    }
    bytes = UpToFirstZero(bytes);
    if (encoding == 3) return DecodeUtf8(bytes);
    for (char c : bytes) AppendUtf8(text, static_cast<unsigned char>(c));
    return text;
}

// The description of a COMM body: encoding, language, then the description.
std::string CommentDescription(std::string_view body) {
    if (body.size() < 4) return {};
    return DecodeText(static_cast<uint8_t>(body[0]), body.substr(4));
}

} // namespace

ID3v2EncoderMarks ReadID3v2EncoderMarks(TFileStream& stream, int64_t position) {
    ID3v2EncoderMarks marks;
    uint8_t bytes[kHeaderSize];
    if (stream.ReadZeroFilled(position, bytes, sizeof bytes) < sizeof bytes) return marks;
    TByteReader header(bytes, sizeof bytes);
    if (!header.Expect("ID3")) return marks;
    const uint8_t major = header.U8();
    header.U8();   // revision
    const uint8_t flags = header.U8();
    const uint32_t tagSize = SynchSafe(header.BE32());
    // Unsynchronised tags would need their bytes restored first; they are rare
    // enough to be left out.
    if (major < 2 || major > 4 || (flags & kUnsynchronisationFlag)) return marks;

    const int64_t end = position + static_cast<int64_t>(kHeaderSize) + tagSize;
    int64_t at = position + static_cast<int64_t>(kHeaderSize);
    if ((flags & kExtendedHeaderFlag) && major >= 3) {
        uint8_t size[4];
        stream.ReadZeroFilled(at, size, 4);
        TByteReader field(size, 4);
        const uint32_t stored = field.BE32();
        at += major == 4 ? SynchSafe(stored) : stored + 4;
    }
    const std::size_t frameHeaderSize = major == 2 ? 6 : 10;
    for (std::size_t n = 0; n < kMaxFrames && at + static_cast<int64_t>(frameHeaderSize) <= end; ++n) {
        uint8_t frameBytes[10] = {};
        stream.ReadZeroFilled(at, frameBytes, frameHeaderSize);
        TByteReader frame(frameBytes, frameHeaderSize);
        const std::string id = frame.Text(major == 2 ? 3 : 4);
        if (id.empty() || id[0] == '\0') break;   // padding
        uint32_t size = major == 2 ? frame.BE24() : frame.BE32();
        if (major == 4) size = SynchSafe(size);
        const int64_t body = at + static_cast<int64_t>(frameHeaderSize);
        if (body + size > end) break;
        const bool software = id == "TSSE" || id == "TSS";
        const bool encodedBy = id == "TENC" || id == "TEN";
        const bool comment = id == "COMM" || id == "COM";
        if ((software || encodedBy || comment) && size > 1 && size <= kMaxTextFrame) {
            std::string content(size, '\0');
            stream.ReadZeroFilled(body, content.data(), size);
            const auto encoding = static_cast<uint8_t>(content[0]);
            if (software) marks.Software = Trim(DecodeText(encoding, std::string_view(content).substr(1)));
            if (encodedBy) marks.EncodedBy = Trim(DecodeText(encoding, std::string_view(content).substr(1)));
            if (comment) {
                const std::string description = CommentDescription(content);
                if (description == "iTunSMPB" || description == "iTunNORM") marks.ITunes = true;
            }
        }
        at = body + size;
    }
    return marks;
}
