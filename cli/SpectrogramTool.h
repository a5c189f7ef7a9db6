// sondaro-cli --spectrogram OUT.png FILE: the desktop program's spectrogram
// picture, written by its tool sondaro-spectrogram.
//
// The picture is drawn with Qt (fonts, labels, the colour legend), and the
// command line is Qt-free: rather than draw a second, different picture, the
// CLI runs the tool that the desktop program's package installs beside it,
// with no shell between (the arguments reach it as they are), lets its
// messages through and passes on its exit status. Without the desktop
// program (a build without Qt) there is no tool, and the CLI says so.
#pragma once

#include <string>
#include <vector>

// Where the tool is looked for, in order: beside the program (the build tree
// puts both there, and an install puts both into the same bin folder), then
// every folder of path (the PATH variable; empty entries are skipped rather
// than taken as the current folder).
std::vector<std::string> SpectrogramToolCandidates(const std::string& programFolder, const std::string& path);

// The first candidate that is an executable regular file, or an empty text.
std::string FindSpectrogramTool(const std::vector<std::string>& candidates);

// Runs tool with OUT.png and FILE and waits for it. Returns its exit status,
// or -1 with a sentence in error when it could not be started or did not end
// by itself.
int RunSpectrogramTool(const std::string& tool, const std::string& out, const std::string& file, std::string& error);

// Finds and runs the tool for sondaro-cli; the status to exit with (messages on standard error).
int WriteSpectrogram(const std::string& out, const std::string& file);
