#include "CliCheck.h"

#include "CliOutput.h"
#include "core/FolderScan.h"

#include <cstring>

std::vector<std::string> CheckModuleCandidates(const std::string& programFolder, const std::string& moduleFolder,
                                               const std::string& moduleName) {
    std::vector<std::string> candidates{programFolder + moduleName};
    if (!moduleFolder.empty() && moduleFolder != "./") candidates.push_back(programFolder + moduleFolder + moduleName);
    return candidates;
}

namespace {
// dlerror names the file before its reason ("PATH: invalid ELF header"); the
// message names it already.
std::string ReasonWithoutPath(const std::string& reason, const std::string& path) {
    const std::string prefix = path + ": ";
    return reason.rfind(prefix, 0) == 0 ? reason.substr(prefix.size()) : reason;
}
} // namespace

bool TCheckModule::Load(const std::vector<std::string>& candidates, std::string& error) {
    api_ = nullptr;
    std::string tried;
    for (const std::string& path : candidates) {
        if (!RegularFileExists(path)) {
            tried += (tried.empty() ? "" : ", ") + QuotedPath(path);
            continue;
        }
        // The first module found is the one meant: one that fails is reported, not passed over.
        std::string reason;
        if (!module_.Open(path, reason)) {
            error = "The lossless check module " + QuotedPath(path) +
                    " cannot be loaded: " + Sentence(ReasonWithoutPath(reason, path));
            return false;
        }
        const auto entry = reinterpret_cast<TCheckModuleEntry>(module_.Symbol(kCheckModuleEntryName, reason));
        const TCheckModuleApi* api = entry != nullptr ? entry() : nullptr;
        if (api == nullptr) {
            module_.Close();
            error = "The file " + QuotedPath(path) + " is no lossless check module of Sondaro: " +
                    Sentence(ReasonWithoutPath(reason.empty() ? "it offers no check" : reason, path));
            return false;
        }
        const bool sameBuild = api->Interface == kCheckModuleInterface &&
                               api->OriginCheckSize == sizeof(TOriginCheck) &&
                               api->StringSize == sizeof(std::string) && api->Version != nullptr &&
                               std::strcmp(api->Version, SONDARO_VERSION) == 0 && api->CheckFiles != nullptr;
        if (!sameBuild) {
            // Only the first field is read from a module of another interface.
            std::string what = "interface " + std::to_string(api->Interface);
            if (api->Interface == kCheckModuleInterface && api->Version != nullptr)
                what += ", version " + std::string(api->Version);
            module_.Close();
            error = "The lossless check module " + QuotedPath(path) + " belongs to another build of Sondaro (" +
                    what + "; this program needs interface " + std::to_string(kCheckModuleInterface) +
                    ", version " SONDARO_VERSION "). Install the module of this program.";
            return false;
        }
        api_ = api;
        return true;
    }
    error = "The lossless check module cannot be found (tried " + (tried.empty() ? std::string("no path") : tried) +
            "). Install it with the program, or build with FFmpeg's libraries and FFTW.";
    return false;
}

bool TCheckModule::Load(std::string& error) {
    const std::string folder = ExecutableFolder();
    if (folder.empty()) {
        error = "The lossless check module cannot be found: the system does not tell where this program is.";
        return false;
    }
    return Load(CheckModuleCandidates(folder, SONDARO_CHECK_MODULE_FOLDER, SONDARO_CHECK_MODULE_NAME), error);
}

void TCheckModule::CheckListedFiles(TAnalysisList& list, std::vector<std::string>& failures,
                                    const TCheckProgress& progress) {
    std::vector<std::string> paths;
    paths.reserve(list.Rows().size());
    for (const TListRow& row : list.Rows()) paths.push_back(row.Item->FullPath);
    std::vector<TOriginCheck> results;
    std::vector<std::string> errors;
    std::string error;
    if (api_ == nullptr || !api_->CheckFiles(paths, results, errors, progress, error)) {
        failures.push_back("The lossless check failed. " + Sentence(api_ == nullptr ? "The module is not loaded" : error));
        return;
    }
    for (std::size_t row = 0; row < paths.size() && row < results.size() && row < errors.size(); ++row) {
        TAudioItem& item = *list.Rows()[row].Item;
        item.OriginCheck = std::move(results[row]);
        list.RefreshRow(row);
        if (!errors[row].empty())
            failures.push_back("Cannot check " + QuotedPath(item.FullPath) + ". " + Sentence(errors[row]));
    }
}
