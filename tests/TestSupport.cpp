#include "TestSupport.h"

#include <atomic>
#include <cstdio>
#include <sys/wait.h>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    path_ = fs::temp_directory_path() /
            ("sondaro-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
             std::to_string(random()));
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
    const fs::path target = path_ / name;
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return target.string();
}

std::string TempDir::Write(const std::string& name, std::string_view text) const {
    return Write(name, ToBytes(text));
}

std::string TempDir::Folder(const std::string& name) const {
    const fs::path target = path_ / name;
    fs::create_directories(target);
    return target.string();
}

std::string FixturePath(const std::string& name) { return std::string(SONDARO_FIXTURES) + "/" + name; }

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }
void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
void AppendZeros(Bytes& out, std::size_t count) { out.insert(out.end(), count, 0); }
void AppendLE16(Bytes& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void AppendLE32(Bytes& out, uint32_t v) {
    AppendLE16(out, v & 0xFFFF);
    AppendLE16(out, v >> 16);
}
void AppendLE64(Bytes& out, uint64_t v) {
    AppendLE32(out, static_cast<uint32_t>(v));
    AppendLE32(out, static_cast<uint32_t>(v >> 32));
}
void AppendBE16(Bytes& out, uint32_t v) {
    out.push_back((v >> 8) & 0xFF);
    out.push_back(v & 0xFF);
}
void AppendBE24(Bytes& out, uint32_t v) {
    out.push_back((v >> 16) & 0xFF);
    AppendBE16(out, v & 0xFFFF);
}
void AppendBE32(Bytes& out, uint32_t v) {
    AppendBE16(out, v >> 16);
    AppendBE16(out, v & 0xFFFF);
}
void AppendBE64(Bytes& out, uint64_t v) {
    AppendBE32(out, static_cast<uint32_t>(v >> 32));
    AppendBE32(out, static_cast<uint32_t>(v));
}
Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string ShellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

ShellRun RunShell(const std::string& command) {
    ShellRun run;
    const TempDir scratch;
    const std::string errorFile = scratch / "stderr";
    if (FILE* pipe = ::popen((command + " 2>" + ShellQuoted(errorFile)).c_str(), "r")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
        const int status = ::pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const Bytes err = ReadAll(errorFile);
    run.err.assign(err.begin(), err.end());
    return run;
}

#ifdef SONDARO_CLI
ShellRun RunSondaroCli(const std::string& arguments, const std::string& prefix) {
    return RunShell(prefix + std::string(SONDARO_CLI) + " " + arguments);
}
#endif
