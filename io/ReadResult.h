// TReadResult: how a format reader or a fill function reports on one file.
//
//   Read           the file was read; its values are filled
//   NotRecognised  not this format, or a header too damaged to use: the list
//                  shows the file as "File could not be scanned"
//   ReadError      reading failed part way (a short fixed-size read, an I/O
//                  error); the message names the fault, and the file is
//                  reported as a failure instead of a row
//
// One place in the analysis (AnalyseFile) turns a result into a row or a
// reported failure.
#pragma once

#include <string>
#include <utility>

enum class TReadStatus { Read, NotRecognised, ReadError };

struct TReadResult {
    TReadStatus Status = TReadStatus::Read;
    std::string Message;   // for ReadError

    static TReadResult Ok() { return {}; }
    static TReadResult NotRecognised() { return {TReadStatus::NotRecognised, {}}; }
    static TReadResult Error(std::string message) { return {TReadStatus::ReadError, std::move(message)}; }
    // Read when accepted, NotRecognised otherwise.
    static TReadResult From(bool accepted) { return accepted ? Ok() : NotRecognised(); }

    bool IsRead() const { return Status == TReadStatus::Read; }
};
