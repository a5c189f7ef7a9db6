#include "TestSupport.h"

#include <atomic>
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
