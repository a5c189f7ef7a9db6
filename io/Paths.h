// Path rules of the analysis: folder part, file name, extension, the relative
// path of a file's folder to the scan root, and resolving playlist entries.
//
// Two rule sets live side by side. Windows: "\" separates, ":" ends a drive
// (and, like "\", ends the folder part), "X:" and "\\server\share" are drives
// compared case-insensitively. POSIX: "/" separates, ":" is an ordinary
// character, there are no drives, an absolute path starts with "/", and
// folder names compare case-sensitively, as the file system does. The native
// style is the one the programs use; tests exercise both.
#pragma once

#include <string>
#include <string_view>

enum class PathStyle { Posix, Windows };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

// The separator of a style: "\" or "/".
char PathSeparator(PathStyle style = kNativePathStyle);

// path with a separator appended unless it already ends with one.
std::string WithTrailingSeparator(std::string_view path, PathStyle style = kNativePathStyle);

// The folder part: up to and including the last separator (or ":" on
// Windows); empty when there is none.
std::string FolderOf(std::string_view path, PathStyle style = kNativePathStyle);

// The text after the folder part.
std::string FileNameOf(std::string_view path, PathStyle style = kNativePathStyle);

// The extension with its dot (".mp3"): the text from the last "." provided no
// separator (or ":" on Windows) follows it; empty when there is none.
std::string ExtensionOf(std::string_view path, PathStyle style = kNativePathStyle);

// The item type: the extension without its dot, letters a-z upper-cased.
std::string FileTypeOf(std::string_view path, PathStyle style = kNativePathStyle);

// Relative path from base folder B to folder F (both ending in a separator):
// "Album/" for B=/Music/ and F=/Music/Album/, "../" when F is B's parent.
// On Windows a different drive gives F unchanged.
std::string RelativeFolderPath(std::string_view base, std::string_view folder,
                               PathStyle style = kNativePathStyle);

// RelativePath of an item: the relative path from root (with a separator
// appended when missing) to the folder of the file; a folder outside root
// (or on another drive) is given in full.
std::string RelativePathOf(std::string_view root, std::string_view folder,
                           PathStyle style = kNativePathStyle);

// Resolves a ".m3u" or ".pls" entry against the playlist's own path.
// Windows: "X:..." unchanged; "\..." gets the playlist's drive; else the
// playlist's folder is put in front. POSIX: "/..." unchanged; else the
// playlist's folder is put in front.
std::string ResolvePlaylistEntry(std::string_view entry, std::string_view playlist,
                                 PathStyle style = kNativePathStyle);

// The root folder of the drive that holds path: "D:\" for "D:\Tools\x.exe",
// "\\server\share\" for a file on a share; empty for a Windows path without
// a drive. POSIX has a single root: always "/".
std::string DriveRootOf(std::string_view path, PathStyle style = kNativePathStyle);

// True when a ".fpl" track path is absolute ("X:" or "\\server" on Windows,
// "/" on POSIX).
bool IsAbsoluteTrackPath(std::string_view path, PathStyle style = kNativePathStyle);
