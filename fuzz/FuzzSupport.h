// The readers take file paths, so each fuzz input is written to a scratch
// file (in /dev/shm when it exists) with the extension the reader expects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes data to a per-process scratch file named "input<extension>" and
// returns its path. The file is rewritten on every call.
std::string WriteFuzzInput(const uint8_t* data, std::size_t size, const std::string& extension);
