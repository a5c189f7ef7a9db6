// sondaro-cli --check: loads the lossless-check module (sondaro-check) and
// checks the file of every listed row with it, storing the results in the
// items and their rows.
#pragma once

#include "CheckModule.h"
#include "core/AnalysisList.h"
#include "io/SharedModule.h"

#include <string>
#include <vector>

// Where the module is looked for, in order: beside the program (the build
// tree, or a folder holding both), then the install folder for modules
// relative to the program's folder (moduleFolder, e.g. "../lib/sondaro/"), so
// that an installed tree moved elsewhere still finds it. programFolder ends
// with a separator.
std::vector<std::string> CheckModuleCandidates(const std::string& programFolder, const std::string& moduleFolder,
                                               const std::string& moduleName);

class TCheckModule {
public:
    TCheckModule() = default;
    // The module stays loaded to the end of the process: FFmpeg and FFTW,
    // loaded with it, keep their planners and caches in globals of their own,
    // which an unload would discard (and leak) just before the exit.
    ~TCheckModule() { module_.KeepLoaded(); }
    TCheckModule(const TCheckModule&) = delete;
    TCheckModule& operator=(const TCheckModule&) = delete;

    // Loads the module from the first candidate that exists. False with a
    // sentence in error that names the paths tried and the system's reason,
    // or, for a module of another build, what it is and what is needed.
    bool Load(const std::vector<std::string>& candidates, std::string& error);
    // The candidates of this program's build and place.
    bool Load(std::string& error);

    // Checks the file of every row of list and refreshes its row. A file that
    // cannot be decoded keeps its row (the column says why) and its sentence
    // is added to failures. progress, when set, is told the files done.
    void CheckListedFiles(TAnalysisList& list, std::vector<std::string>& failures, const TCheckProgress& progress);

private:
    TSharedModule module_;
    const TCheckModuleApi* api_ = nullptr;
};
