// sondaro-cli --check: the lossless-origin check of every listed file, on one
// thread per processor, stored in the items and their rows.
#pragma once

#include "CliOutput.h"
#include "core/AnalysisList.h"

#include <functional>
#include <string>
#include <vector>

// Checks the file of every row of list and refreshes its row. A file that
// cannot be decoded keeps its row (the column says why) and its sentence is
// added to failures. progress, when set, is told the files done.
void CheckListedFiles(TAnalysisList& list, std::vector<std::string>& failures,
                      const std::function<void(std::size_t done, std::size_t count)>& progress);
