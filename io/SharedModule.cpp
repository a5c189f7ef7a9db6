#include "io/SharedModule.h"

#include "io/Paths.h"
#include "io/Platform.h"

#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

TSharedModule::~TSharedModule() { Close(); }

TSharedModule::TSharedModule(TSharedModule&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

TSharedModule& TSharedModule::operator=(TSharedModule&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

#ifdef _WIN32

bool TSharedModule::Open(const std::string& path, std::string& error) {
    Close();
    // The module's own folder is searched for the libraries it needs.
    HMODULE module = ::LoadLibraryExW(WideFromUtf8(path).c_str(), nullptr,
                                      LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module == nullptr) {
        error = SystemErrorMessage(::GetLastError());
        return false;
    }
    handle_ = module;
    return true;
}

void* TSharedModule::Symbol(const char* name, std::string& error) const {
    if (handle_ == nullptr) {
        error = "No module is open";
        return nullptr;
    }
    FARPROC address = ::GetProcAddress(static_cast<HMODULE>(handle_), name);
    if (address == nullptr) {
        error = SystemErrorMessage(::GetLastError());
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

void TSharedModule::Close() {
    if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

#else

namespace {
// dlerror's text, which also clears it; a fallback when there is none.
std::string LastDlError() {
    const char* text = ::dlerror();
    return text != nullptr ? text : "Unknown error";
}
} // namespace

bool TSharedModule::Open(const std::string& path, std::string& error) {
    Close();
    // A path with no "/" would be searched for on the library path: always name a folder.
    const std::string named = path.find('/') == std::string::npos ? "./" + path : path;
    ::dlerror();
    handle_ = ::dlopen(named.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        error = LastDlError();
        return false;
    }
    return true;
}

void* TSharedModule::Symbol(const char* name, std::string& error) const {
    if (handle_ == nullptr) {
        error = "No module is open";
        return nullptr;
    }
    ::dlerror();
    void* address = ::dlsym(handle_, name);
    if (address == nullptr) error = LastDlError();
    return address;
}

void TSharedModule::Close() {
    if (handle_ != nullptr) ::dlclose(handle_);
    handle_ = nullptr;
}

#endif

std::string ExecutableFolder() { return FolderOf(ExecutablePath()); }
