// The entry point of the sondaro-check module: the lossless check of a list
// of files, over the check layer. Everything else in the module is hidden, so
// its copies of the layers it shares with the program serve only itself.
#include "CheckModule.h"

#include "check/ItemCheck.h"

#include <exception>
#include <mutex>

#ifdef _WIN32
#define SONDARO_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define SONDARO_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

bool CheckFiles(const std::vector<std::string>& paths, std::vector<TOriginCheck>& results,
                std::vector<std::string>& errors, const TCheckProgress& progress, std::string& error) {
    try {
        results.assign(paths.size(), TOriginCheck{});
        errors.assign(paths.size(), std::string());
        TCheckBatch batch;
        batch.Paths = paths;
        std::mutex lock;
        std::size_t done = 0;
        batch.Done = [&](std::size_t index, TLosslessReport report) {
            TOriginCheck check = OriginCheckOf(report);
            const std::lock_guard<std::mutex> guard(lock);
            results[index] = std::move(check);
            errors[index] = std::move(report.Error);
            if (progress) progress(++done, paths.size());
        };
        RunCheckBatch(batch);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "Unknown error";
    }
    return false;
}

} // namespace

SONDARO_MODULE_EXPORT const TCheckModuleApi* sondaro_check_module() {
    static const TCheckModuleApi api = [] {
        TCheckModuleApi table;
        table.Interface = kCheckModuleInterface;
        table.OriginCheckSize = sizeof(TOriginCheck);
        table.StringSize = sizeof(std::string);
        table.Version = SONDARO_VERSION;
        table.CheckFiles = &CheckFiles;
        return table;
    }();
    return &api;
}
