// Error types raised by the analysis core. Readers that let errors pass raise
// these; everything above them (scan, playlist load, CLI) reports e.what().
#pragma once

#include <stdexcept>
#include <string>

// A file could not be opened: "Cannot open file "<path>". <system message>".
class EFOpenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file could not be created or written: "Cannot create file "<path>". <system message>".
class EFCreateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A fixed-size read came up short or a read failed ("Unexpected End Of File.").
class EReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kUnexpectedEndOfFile = "Unexpected End Of File.";
