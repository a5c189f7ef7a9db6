// Helpers for the tests: temporary folders, writing byte fixtures, little-
// and big-endian packing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<unsigned char>;

// A fresh folder under the system temp folder, removed when it goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    // Writes bytes to name (sub-folders are created); returns the full path.
    std::string Write(const std::string& name, const Bytes& bytes) const;
    std::string Write(const std::string& name, std::string_view text) const;
    std::string Folder(const std::string& name) const;   // creates it
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string FixturePath(const std::string& name);   // tests/files/<name>
Bytes ReadAll(const std::string& path);

// Byte builders.
void Append(Bytes& out, std::string_view text);
void Append(Bytes& out, const Bytes& more);
void AppendZeros(Bytes& out, std::size_t count);
void AppendLE16(Bytes& out, uint32_t value);
void AppendLE32(Bytes& out, uint32_t value);
void AppendLE64(Bytes& out, uint64_t value);
void AppendBE16(Bytes& out, uint32_t value);
void AppendBE24(Bytes& out, uint32_t value);
void AppendBE32(Bytes& out, uint32_t value);
void AppendBE64(Bytes& out, uint64_t value);
Bytes ToBytes(std::string_view text);

// A text quoted for the shell (in single quotes).
std::string ShellQuoted(const std::string& text);

// What a shell command printed and how it ended.
struct ShellRun {
    int status = -1;   // the exit status; -1 when it did not exit
    std::string out;
    std::string err;
};
// Runs command through the shell with standard output and standard error
// captured apart.
ShellRun RunShell(const std::string& command);
// Runs the command-line program (SONDARO_CLI) with arguments; prefix goes
// before it (environment settings, a time limit).
ShellRun RunSondaroCli(const std::string& arguments, const std::string& prefix = "");
