// A shared library opened while the program runs (a plug-in module): open it
// by path, look up a symbol, close it. POSIX dlopen/dlsym, Windows
// LoadLibraryW/GetProcAddress. Paths are UTF-8.
#pragma once

#include <string>

class TSharedModule {
public:
    TSharedModule() = default;
    ~TSharedModule();
    TSharedModule(const TSharedModule&) = delete;
    TSharedModule& operator=(const TSharedModule&) = delete;
    TSharedModule(TSharedModule&& other) noexcept;
    TSharedModule& operator=(TSharedModule&& other) noexcept;

    // Opens the module at path with all its symbols bound at once and kept to
    // itself (no symbol of it serves another library). False with the
    // system's reason (dlerror, or the Windows error text) in error; a module
    // already open is closed first.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return handle_ != nullptr; }
    // The address of the exported symbol name, or nullptr with the reason in error.
    void* Symbol(const char* name, std::string& error) const;
    void Close();
    // Leaves the module loaded until the process ends, and forgets it: for a
    // module whose libraries keep state for the process's life (caches,
    // per-thread data), where unloading them at the end gains nothing.
    void KeepLoaded() { handle_ = nullptr; }

private:
    void* handle_ = nullptr;
};

// The folder of the running program with a trailing separator, or an empty
// text when the system does not tell where the program is.
std::string ExecutableFolder();
