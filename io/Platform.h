// What the core asks of the operating system beyond the standard library:
// paths for the standard library's file functions, and on Windows the
// conversions between the program's UTF-8 texts and the system's UTF-16 ones.
//
// The program's texts and paths are UTF-8 everywhere. On POSIX those bytes
// are the file names themselves; Windows names files in UTF-16 and would read
// a narrow path in the ANSI code page, so every file name is converted before
// it reaches the system.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// A UTF-8 path as the standard library's streams and std::filesystem take it.
std::filesystem::path NativePath(const std::string& utf8);

#ifdef _WIN32
// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD rather than being dropped.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

// The system's text for an error code (GetLastError) in UTF-8, without the
// line break and final period Windows puts at its end, like strerror's texts.
std::string SystemErrorMessage(unsigned long code);

// Full path of the running program (GetModuleFileNameW), in UTF-8.
std::string ExecutablePath();
#endif
