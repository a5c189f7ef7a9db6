#include "io/Paths.h"

#include <gtest/gtest.h>

namespace {
constexpr PathStyle W = PathStyle::Windows;
constexpr PathStyle P = PathStyle::Posix;
}

TEST(Paths, FolderNameAndType) {
    EXPECT_EQ(FolderOf("C:\\Music\\a.mp3", W), "C:\\Music\\");
    EXPECT_EQ(FolderOf("C:a.mp3", W), "C:");
    EXPECT_EQ(FolderOf("a.mp3", W), "");
    EXPECT_EQ(FileNameOf("C:\\Music\\a.mp3", W), "a.mp3");
    EXPECT_EQ(FolderOf("/music/a:b.mp3", P), "/music/");
    EXPECT_EQ(FileNameOf("/music/a:b.mp3", P), "a:b.mp3");

    EXPECT_EQ(FileTypeOf("/x/a.mp3", P), "MP3");
    EXPECT_EQ(FileTypeOf("/x/a.Mp3", P), "MP3");
    EXPECT_EQ(FileTypeOf("/x/a.mp+", P), "MP+");
    EXPECT_EQ(FileTypeOf("/x/mp3", P), "");
    EXPECT_EQ(FileTypeOf("/x.d/file", P), "");       // no dot after the last separator
    EXPECT_EQ(FileTypeOf("C:\\x.d\\file", W), "");
    EXPECT_EQ(FileTypeOf("C:\\x\\a.b:c", W), "");    // ":" ends the folder on Windows
    EXPECT_EQ(FileTypeOf("/x/a.b:c", P), "B:C");
    EXPECT_EQ(ExtensionOf("/x/a.mp3.bak", P), ".bak");
}

TEST(Paths, RelativePathWindowsExamples) {
    EXPECT_EQ(RelativePathOf("C:\\Music", "C:\\Music\\Album\\", W), "Album\\");
    EXPECT_EQ(RelativePathOf("C:\\Music", "C:\\Music\\", W), "");
    EXPECT_EQ(RelativePathOf("C:\\Music", "D:\\Other\\", W), "D:\\Other\\");
    EXPECT_EQ(RelativePathOf("C:\\Music\\", "C:\\Music\\A\\B\\", W), "A\\B\\");
    EXPECT_EQ(RelativePathOf("c:\\music", "C:\\Music\\Album\\", W), "Album\\");   // case-insensitive
    // Outside the root (a playlist entry elsewhere): the full folder.
    EXPECT_EQ(RelativePathOf("C:\\Lists\\", "C:\\Music\\X\\", W), "C:\\Music\\X\\");
    EXPECT_EQ(RelativePathOf("D:\\lists", "D:\\lists\\sub\\", W), "sub\\");
    // UNC drives include the share name.
    EXPECT_EQ(RelativePathOf("\\\\srv\\share\\m", "\\\\srv\\share\\m\\a\\", W), "a\\");
    EXPECT_EQ(RelativePathOf("\\\\srv\\share\\m", "\\\\srv\\other\\m\\", W), "\\\\srv\\other\\m\\");
}

TEST(Paths, RelativePathPosix) {
    EXPECT_EQ(RelativePathOf("/music", "/music/Album/", P), "Album/");
    EXPECT_EQ(RelativePathOf("/music/", "/music/A/B/", P), "A/B/");
    EXPECT_EQ(RelativePathOf("/music", "/music/", P), "");
    EXPECT_EQ(RelativePathOf("/lists/", "/music/X/", P), "/music/X/");
    EXPECT_EQ(RelativePathOf("/home/u/lists", "/home/u/Music/A/", P), "/home/u/Music/A/");
    EXPECT_EQ(RelativePathOf("/Music", "/music/a/", P), "/music/a/");   // names are case-sensitive here
    EXPECT_EQ(RelativePathOf("/m", "/m/..x/", P), "..x/");   // a name that merely starts with two dots
    EXPECT_EQ(RelativePathOf("/", "/a/b/", P), "a/b/");
}

TEST(Paths, PlaylistEntryResolving) {
    EXPECT_EQ(ResolvePlaylistEntry("C:\\a.mp3", "D:\\lists\\x.m3u", W), "C:\\a.mp3");
    EXPECT_EQ(ResolvePlaylistEntry("\\b.mp3", "D:\\lists\\x.m3u", W), "D:\\b.mp3");
    EXPECT_EQ(ResolvePlaylistEntry("sub\\c.mp3", "D:\\lists\\x.m3u", W), "D:\\lists\\sub\\c.mp3");
    EXPECT_EQ(ResolvePlaylistEntry("/a.mp3", "/lists/x.m3u", P), "/a.mp3");
    EXPECT_EQ(ResolvePlaylistEntry("sub/c.mp3", "/lists/x.m3u", P), "/lists/sub/c.mp3");
    EXPECT_EQ(ResolvePlaylistEntry("c:d.mp3", "/lists/x.m3u", P), "/lists/c:d.mp3");
    EXPECT_TRUE(IsAbsoluteTrackPath("\\\\server\\share\\a.flac", W));
    EXPECT_TRUE(IsAbsoluteTrackPath("C:\\a.flac", W));
    EXPECT_FALSE(IsAbsoluteTrackPath("song.ogg", W));
    EXPECT_TRUE(IsAbsoluteTrackPath("/a.flac", P));
    EXPECT_FALSE(IsAbsoluteTrackPath("C:\\a.flac", P));
}
