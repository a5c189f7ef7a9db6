#include "SpectrogramTool.h"

#include "CliOutput.h"
#include "io/SharedModule.h"
#include "io/Text.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "io/Platform.h"
#else
#include <cerrno>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace {
#ifdef _WIN32
const char* const kToolName = "sondaro-spectrogram.exe";
const char kPathSeparator = ';';
const char* const kFolderSeparator = "\\";
#else
const char* const kToolName = "sondaro-spectrogram";
const char kPathSeparator = ':';
const char* const kFolderSeparator = "/";
#endif
} // namespace

std::vector<std::string> SpectrogramToolCandidates(const std::string& programFolder, const std::string& path) {
    std::vector<std::string> candidates;
    if (!programFolder.empty()) candidates.push_back(programFolder + kToolName);
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(kPathSeparator, start);
        if (end == std::string::npos) end = path.size();
        std::string folder = path.substr(start, end - start);
        if (!folder.empty()) {
            if (folder.back() != '/' && folder.back() != kFolderSeparator[0]) folder += kFolderSeparator;
            candidates.push_back(folder + kToolName);
        }
        start = end + 1;
    }
    return candidates;
}

#ifdef _WIN32

namespace {
// One argument as CommandLineToArgvW reads it back: in double quotes, with
// the backslashes before a quote doubled.
std::wstring QuotedArgument(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}
} // namespace

std::string FindSpectrogramTool(const std::vector<std::string>& candidates) {
    for (const std::string& candidate : candidates) {
        const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(candidate).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return candidate;
    }
    return {};
}

int RunSpectrogramTool(const std::string& tool, const std::string& out, const std::string& file, std::string& error) {
    const std::wstring program = WideFromUtf8(tool);
    std::wstring line = QuotedArgument(program) + L" " + QuotedArgument(WideFromUtf8(out)) + L" " +
                        QuotedArgument(WideFromUtf8(file));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        error = "Cannot run " + QuotedPath(tool) + ". " + Sentence(SystemErrorMessage(::GetLastError()));
        return -1;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

#else

std::string FindSpectrogramTool(const std::vector<std::string>& candidates) {
    for (const std::string& candidate : candidates) {
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

int RunSpectrogramTool(const std::string& tool, const std::string& out, const std::string& file, std::string& error) {
    std::string argument0 = tool, argument1 = out, argument2 = file;
    char* arguments[] = {argument0.data(), argument1.data(), argument2.data(), nullptr};
    pid_t child = 0;
    // The tool inherits standard output and error: its messages reach the user as it writes them.
    const int started = ::posix_spawn(&child, tool.c_str(), nullptr, nullptr, arguments, environ);
    if (started != 0) {
        error = "Cannot run " + QuotedPath(tool) + ". " + Sentence(std::strerror(started));
        return -1;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            error = "Cannot wait for " + QuotedPath(tool) + ". " + Sentence(std::strerror(errno));
            return -1;
        }
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) error = QuotedPath(tool) + " ended on signal " + std::to_string(WTERMSIG(status)) + ".";
    else error = QuotedPath(tool) + " did not end normally.";
    return -1;
}

#endif

int WriteSpectrogram(const std::string& out, const std::string& file) {
    const char* path = std::getenv("PATH");
    const std::vector<std::string> candidates = SpectrogramToolCandidates(ExecutableFolder(), path ? path : "");
    const std::string tool = FindSpectrogramTool(candidates);
    if (tool.empty()) {
        std::cerr << "sondaro-cli: The spectrogram needs the desktop program's tool " << kToolName
                  << ", which is not installed (looked beside this program and on the PATH). "
                     "Install Sondaro's desktop program, or build with Qt 6.\n";
        return 1;
    }
    std::string error;
    const int status = RunSpectrogramTool(tool, out, file, error);
    if (status < 0) {
        std::cerr << "sondaro-cli: " << VisibleText(error) << '\n';
        return 1;
    }
    return status;
}
