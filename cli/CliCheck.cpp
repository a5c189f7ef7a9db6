#include "CliCheck.h"

#include "check/ItemCheck.h"

#include <mutex>

void CheckListedFiles(TAnalysisList& list, std::vector<std::string>& failures,
                      const std::function<void(std::size_t done, std::size_t count)>& progress) {
    TCheckBatch batch;
    for (const TListRow& row : list.Rows()) batch.Paths.push_back(row.Item->FullPath);
    std::vector<TLosslessReport> reports(batch.Paths.size());
    std::mutex lock;
    std::size_t done = 0;
    batch.Done = [&](std::size_t index, TLosslessReport report) {
        std::lock_guard<std::mutex> guard(lock);
        reports[index] = std::move(report);
        if (progress) progress(++done, reports.size());
    };
    RunCheckBatch(batch);
    for (std::size_t row = 0; row < reports.size(); ++row) {
        TAudioItem& item = *list.Rows()[row].Item;
        item.OriginCheck = OriginCheckOf(reports[row]);
        list.RefreshRow(row);
        if (!reports[row].Error.empty())
            failures.push_back("Cannot check " + QuotedPath(item.FullPath) + ". " + Sentence(reports[row].Error));
    }
}
