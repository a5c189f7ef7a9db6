#include "io/FileStream.h"
#include "io/Errors.h"
#include "io/Text.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
