// The benchmark's small helper, built by bench/speed.py:
//   bench_io evict PATH...      drops the cached pages of every file below PATH
//                               (posix_fadvise DONTNEED), for cold runs
//   bench_io floor PATH...      opens every file below PATH, takes its size,
//                               reads its first 8 KiB and closes it: the least
//                               a scan that reads headers can do
//   bench_io run COMMAND...     runs COMMAND (its output to /dev/null) and
//                               prints "seconds maxrss_kb bytes_read status"
//                               (bytes read by read/pread calls, /proc/PID/io)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

template <class F>
void EachFile(const char* root, F&& each) {
    std::error_code code;
    for (fs::recursive_directory_iterator it(root, code), end; it != end; it.increment(code))
        if (it->is_regular_file(code)) each(it->path().c_str());
}

int Evict(int argc, char** argv) {
    for (int i = 2; i < argc; ++i)
        EachFile(argv[i], [](const char* path) {
            const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
            if (fd < 0) return;
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        });
    return 0;
}

int Floor(int argc, char** argv) {
    static char buffer[8192];
    long files = 0;
    for (int i = 2; i < argc; ++i)
        EachFile(argv[i], [&](const char* path) {
            const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
            if (fd < 0) return;
            struct stat info {};
            ::fstat(fd, &info);
            if (::pread(fd, buffer, sizeof buffer, 0) >= 0) ++files;
            ::close(fd);
        });
    std::printf("%ld\n", files);
    return 0;
}

int Run(char** argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvp(argv[2], argv + 2);
        _exit(127);
    }
    // Waits for the end without reaping, so that its I/O counters can be read.
    siginfo_t info {};
    ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long long bytes = -1;
    std::ifstream io("/proc/" + std::to_string(child) + "/io");
    for (std::string key; io >> key;) {
        long long value = 0;
        io >> value;
        if (key == "rchar:") bytes = value;
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    std::printf("%.6f %ld %lld %d\n", seconds, usage.ru_maxrss, bytes, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "evict") == 0) return Evict(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "floor") == 0) return Floor(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "run") == 0) return Run(argv);
    std::fprintf(stderr, "usage: bench_io evict|floor PATH... | run COMMAND...\n");
    return 2;
}
