#include "io/FileReplace.h"

#include "io/Errors.h"
#include "io/Paths.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "io/Platform.h"

#include <algorithm>
#include <atomic>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

namespace {

constexpr const char* kNotRegular = "It exists and is not a regular file";

[[noreturn]] void RaiseCreateError(const std::string& path, const std::string& message) {
    throw EFCreateError("Cannot create file \"" + path + "\". " + message);
}

} // namespace

#ifdef _WIN32

void ReplaceFileContents(const std::string& path, std::string_view bytes) {
    const std::wstring target = WideFromUtf8(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        RaiseCreateError(path, kNotRegular);

    static std::atomic<unsigned> counter{0};
    const std::string temporary = FolderOf(path) + "." + FileNameOf(path) + "." +
                                  std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".tmp";
    const std::wstring wideTemporary = WideFromUtf8(temporary);
    // CREATE_NEW never opens what is already there, a link included.
    HANDLE file = ::CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) RaiseCreateError(path, SystemErrorMessage(::GetLastError()));
    DWORD error = 0;
    std::size_t done = 0;
    while (done < bytes.size() && error == 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) error = ::GetLastError();
        done += written;
    }
    if (error == 0 && !::FlushFileBuffers(file)) error = ::GetLastError();
    ::CloseHandle(file);
    if (error == 0 && !::MoveFileExW(wideTemporary.c_str(), target.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError();
    if (error != 0) {
        ::DeleteFileW(wideTemporary.c_str());
        RaiseCreateError(path, SystemErrorMessage(error));
    }
}

#else

void ReplaceFileContents(const std::string& path, std::string_view bytes) {
    // lstat: a link is judged itself, not by what it points to.
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) RaiseCreateError(path, std::strerror(errno));
    if (exists && !S_ISREG(existing.st_mode)) RaiseCreateError(path, kNotRegular);

    // mkstemp creates the name anew (O_EXCL): nothing planted is opened.
    std::string pattern = FolderOf(path) + "." + FileNameOf(path) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) RaiseCreateError(path, std::strerror(errno));
    const std::string temporary(name.data());

    // mkstemp makes the file private; the report gets the permissions of the
    // one it replaces, or those a new file would get under the umask.
    mode_t mode = existing.st_mode & 07777;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    int error = ::fchmod(fd, mode) == 0 ? 0 : errno;
    std::size_t done = 0;
    while (error == 0 && done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno != EINTR) error = errno;
            continue;
        }
        done += static_cast<std::size_t>(written);
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    // rename replaces the name itself: a link of that name is not followed.
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        RaiseCreateError(path, std::strerror(error));
    }
}

#endif
