#include "io/FileStream.h"
#include "io/Errors.h"
#include "io/Text.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

TEST(Text, TrimRemovesControlAndSpaceOnBothEnds) {
    EXPECT_EQ(Trim(std::string("\0\t  abc \x01 \0", 12)), "abc");
    EXPECT_EQ(TrimRight(std::string("  a b \0\0", 8)), "  a b");
    EXPECT_EQ(Trim(""), "");
}

TEST(Text, Utf8DecodingStopsAtFirstMalformedSequence) {
    EXPECT_EQ(DecodeUtf8("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(DecodeUtf8("ab\xC3"), "ab");             // truncated
    EXPECT_EQ(DecodeUtf8("ab\xC3(cd"), "ab");          // bad continuation
    EXPECT_EQ(DecodeUtf8("ab\x80z"), "ab");            // stray continuation
    EXPECT_EQ(DecodeUtf8("ab\xF0\x9F\x98\x80z"), "ab"); // four-byte sequences are not decoded
}

TEST(Text, Utf16LittleEndianDecoding) {
    const std::string text("A\0\xE9\0\x3D\xD8\x00\xDE\0\0B\0", 12);
    EXPECT_EQ(DecodeUtf16LE(text), "A\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(DecodeUtf16LE(text, false), std::string("A\xC3\xA9\xF0\x9F\x98\x80\0B", 9));
}

TEST(Text, RoundingHalvesToEven) {
    EXPECT_EQ(RoundHalfEven(128.5), 128);
    EXPECT_EQ(RoundHalfEven(129.5), 130);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(RoundHalfEven(1e300), std::numeric_limits<int64_t>::max());
}

TEST(Text, NumberFormatsRoundHalvesAwayFromZero) {
    EXPECT_EQ(FormatFixed(59.5, 0), "60");
    EXPECT_EQ(FormatFixed(0.5, 0), "1");
    EXPECT_EQ(FormatFixed(-0.5, 0), "-1");
    EXPECT_EQ(FormatFixed(5.0, 2), "5.00");
    EXPECT_EQ(FormatFixed(1053818.0 / 1048576.0, 2), "1.00");
    EXPECT_EQ(FormatFixed(1053819.0 / 1048576.0, 2), "1.01");
    EXPECT_EQ(FormatFixed(0.125, 2), "0.13");
    EXPECT_EQ(FormatFixed(99.995, 2), "100.00");
    EXPECT_EQ(FormatFixed(0.001, 2), "0.00");
    EXPECT_EQ(FormatFixed(-0.001, 2), "0.00");
    EXPECT_EQ(FormatFixed(123456789.0, 2), "123456789.00");
    EXPECT_EQ(FormatFixed(3.97, 2), "3.97");
    EXPECT_EQ(RoundHalfAwayFromZero(3599.4), 3599);
}

TEST(Text, DigitAndIntegerParsing) {
    int64_t v = -1;
    EXPECT_TRUE(ParseDigits("000123", v));
    EXPECT_EQ(v, 123);
    EXPECT_FALSE(ParseDigits(" 12", v));
    EXPECT_FALSE(ParseDigits("", v));
    EXPECT_FALSE(ParseDigits("+1", v));
    int32_t i = 0;
    EXPECT_TRUE(ParseInt32("-42", i));
    EXPECT_EQ(i, -42);
    EXPECT_FALSE(ParseInt32("4294967296", i));
    EXPECT_FALSE(ParseInt32("1x", i));
}

TEST(FileStream, ReadsExactBytesAcrossBufferRefillsAndSeeks) {
    TempDir dir;
    Bytes content;
    for (int k = 0; k < 300000; ++k) content.push_back(static_cast<unsigned char>(k * 7 + (k >> 8)));
    const std::string path = dir.Write("data.bin", content);
    TFileStream stream(path, 4096);
    EXPECT_EQ(stream.Size(), 300000);
    // Small reads all the way through.
    Bytes seen(content.size());
    std::size_t at = 0;
    while (at < seen.size()) {
        const std::size_t got = stream.Read(seen.data() + at, 13);
        if (got == 0) break;
        at += got;
    }
    EXPECT_EQ(at, content.size());
    EXPECT_EQ(seen, content);
    EXPECT_LT(stream.SystemReads(), 300000u / 4096u + 10u);
    // Seeks from each origin.
    unsigned char b[4];
    stream.Seek(-4, TFileStream::Origin::End);
    ASSERT_EQ(stream.Read(b, 10), 4u);
    EXPECT_EQ(b[0], content[299996]);
    stream.Seek(1000);
    stream.Seek(-10, TFileStream::Origin::Current);
    ASSERT_EQ(stream.Read(b, 1), 1u);
    EXPECT_EQ(b[0], content[990]);
    EXPECT_EQ(stream.Seek(-5), 0);
    stream.Seek(400000);
    EXPECT_EQ(stream.Read(b, 4), 0u);
    EXPECT_THROW(stream.ReadExact(b, 1), EReadError);
}

// The start and the end of a file read in turn stay in the two windows; a
// large read goes straight to the caller; a small file is one read; a file
// cut short after the open ends the reads without a loop.
TEST(FileStream, StartAndEndAreReadOnceLargeReadsGoStraightThrough) {
    TempDir dir;
    Bytes content;
    for (int k = 0; k < 300000; ++k) content.push_back(static_cast<unsigned char>(k * 7 + (k >> 8)));
    const std::string path = dir.Write("data.bin", content);
    TFileStream stream(path);
    unsigned char b[16];
    for (int turn = 0; turn < 3; ++turn) {
        stream.Seek(-10, TFileStream::Origin::End);
        ASSERT_EQ(stream.Read(b, 10), 10u);
        EXPECT_EQ(b[9], content[299999]);
        stream.Seek(100);
        ASSERT_EQ(stream.Read(b, 16), 16u);
        EXPECT_EQ(b[0], content[100]);
    }
    EXPECT_EQ(stream.SystemReads(), 2u);
    Bytes large(200000);
    stream.Seek(50);   // in neither window: one read straight into the caller's memory
    ASSERT_EQ(stream.Read(large.data(), large.size()), large.size());
    EXPECT_TRUE(std::equal(large.begin(), large.end(), content.begin() + 50));
    EXPECT_EQ(stream.SystemReads(), 3u);
    // The end of a large read is at the end of the file.
    stream.Seek(290000);
    Bytes tail(70000);
    ASSERT_EQ(stream.Read(tail.data(), tail.size()), 10000u);
    EXPECT_EQ(tail[9999], content[299999]);

    const std::string small = dir.Write("small.bin", Bytes(content.begin(), content.begin() + 5000));
    TFileStream smallStream(small);
    smallStream.Seek(-1, TFileStream::Origin::End);
    ASSERT_EQ(smallStream.Read(b, 1), 1u);
    EXPECT_EQ(b[0], content[4999]);
    smallStream.Seek(0);
    ASSERT_EQ(smallStream.Read(b, 4), 4u);
    EXPECT_EQ(smallStream.SystemReads(), 1u);

    TFileStream cut(path);
    std::filesystem::resize_file(path, 1000);
    cut.Seek(5000);
    EXPECT_EQ(cut.Read(b, 4), 0u);
    cut.Seek(990);
    EXPECT_EQ(cut.Read(b, 16), 10u);
}

// A jump reads what the caller asks for, ending at the end of the file
// rather than past it; reading on grows the fills from what was asked.
TEST(FileStream, ProbesEndAtTheEndAndGrowWhenReadingOn) {
    TempDir dir;
    Bytes content;
    for (int k = 0; k < 300000; ++k) content.push_back(static_cast<unsigned char>(k * 5 + (k >> 9)));
    const std::string path = dir.Write("data.bin", content);
    TFileStream stream(path);
    const uint64_t bytesBefore = TFileStream::TotalBytesRead();
    unsigned char b[16];
    // A tag at the very end, then a search a few KiB before it: one read of 8 KiB.
    stream.Seek(-128, TFileStream::Origin::End);
    ASSERT_EQ(stream.Read(b, 16), 16u);
    EXPECT_EQ(b[0], content[300000 - 128]);
    stream.Seek(300000 - 3500);
    ASSERT_EQ(stream.Read(b, 16), 16u);
    EXPECT_EQ(b[15], content[300000 - 3500 + 15]);
    EXPECT_EQ(stream.SystemReads(), 1u);
    EXPECT_EQ(TFileStream::TotalBytesRead() - bytesBefore, 8192u);
    // A jump asking for 20 KiB reads 20 KiB at once.
    Bytes chunk(20000);
    stream.Seek(100000);
    ASSERT_EQ(stream.Read(chunk.data(), chunk.size()), chunk.size());
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), content.begin() + 100000));
    EXPECT_EQ(stream.SystemReads(), 2u);
    // Reading on a little more takes twice the last fill, not a whole 64 KiB window.
    ASSERT_EQ(stream.Read(b, 16), 16u);
    EXPECT_EQ(b[0], content[120000]);
    EXPECT_EQ(stream.SystemReads(), 3u);
    EXPECT_EQ(TFileStream::TotalBytesRead() - bytesBefore, 8192u + 20000u + 40000u);
    // Back at the end: still in its window.
    stream.Seek(-1, TFileStream::Origin::End);
    ASSERT_EQ(stream.Read(b, 1), 1u);
    EXPECT_EQ(b[0], content[299999]);
    EXPECT_EQ(stream.SystemReads(), 3u);
}

#ifndef _WIN32
namespace {
std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                                  std::filesystem::directory_iterator()));
}
} // namespace

// A prefetched file stays open for the stream that opens it next, which
// reads the same bytes without opening it again; what no stream takes is
// closed by the release, and no more than a few dozen are kept.
TEST(FileStream, PrefetchedFileIsHandedToItsStream) {
    TempDir dir;
    const Bytes content = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 5};
    const std::string path = dir.Write("a.wav", content);
    ReleasePrefetchedFiles();
    const std::size_t before = OpenDescriptors();
    PrefetchFileStart(path, 65536);
    EXPECT_EQ(OpenDescriptors(), before + 1);
    {
        TFileStream stream(path);
        EXPECT_EQ(OpenDescriptors(), before + 1);
        Bytes seen(content.size());
        ASSERT_EQ(stream.Read(seen.data(), seen.size()), content.size());
        EXPECT_EQ(seen, content);
        EXPECT_EQ(stream.Size(), 9);
    }
    EXPECT_EQ(OpenDescriptors(), before);
    // Another stream of the same path opens it itself.
    {
        TFileStream again(path);
        EXPECT_EQ(OpenDescriptors(), before + 1);
    }
    for (int i = 0; i < 100; ++i) PrefetchFileStart(dir.Write("f" + std::to_string(i) + ".wav", content), 65536);
    EXPECT_EQ(OpenDescriptors(), before + 64);
    ReleasePrefetchedFiles();
    EXPECT_EQ(OpenDescriptors(), before);
    // A folder named like a file is kept but refused by its stream, and closed.
    const std::string folder = (dir / "folder.mp3");
    std::filesystem::create_directory(folder);
    PrefetchFileStart(folder, 65536);
    EXPECT_THROW(TFileStream stream(folder), EFOpenError);
    EXPECT_EQ(OpenDescriptors(), before);
}
#endif

TEST(FileStream, OpenErrorNamesThePathAndReason) {
    TempDir dir;
    try {
        TFileStream stream(dir / "missing.mp3");
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + (dir / "missing.mp3") + "\". No such file or directory");
    }
    EXPECT_THROW(TFileStream stream(dir.Path().string()), EFOpenError);
}
