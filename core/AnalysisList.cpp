#include "core/AnalysisList.h"


TAnalysisList::TAnalysisList(std::vector<int> columnTags)
    : readers_(std::make_unique<TFormatReaders>()), columnTags_(std::move(columnTags)) {
    if (columnTags_.empty()) {
        TColumnLayout layout = DefaultColumnLayout();
        columnTags_ = BuildColumns(layout);
    }
}

const TListRow* TAnalysisList::AnalyseFile(const std::string& root, const std::string& fullPath) {
    return AppendItem(::AnalyseFile(*readers_, root, fullPath, verify_));
}

const TListRow* TAnalysisList::AppendItem(std::unique_ptr<TAudioItem> item) {
    if (!item) return nullptr;
    TAudioItem* stored = items_.emplace_back(std::move(item)).get();
    rows_.push_back(TListRow{keepTexts_ ? RowTexts(*stored, columnTags_) : std::vector<std::string>{}, stored});
    AddToTotals(totals_, *stored);
    return &rows_.back();
}

void TAnalysisList::SetHealth(std::size_t row, THealth health) {
    if (row >= rows_.size()) return;
    TListRow& target = rows_[row];
    target.Item->Health = std::move(health);
    if (keepTexts_) target.Texts = RowTexts(*target.Item, columnTags_);
}

void TAnalysisList::Clear() {
    rows_.clear();
    items_.clear();
    ResetTotals(totals_);
}

TFailure FailureOf(const std::string& path, const std::string& reason) {
    if (reason.find("\"" + path + "\"") != std::string::npos) return {path, reason};
    return {path, path + ": " + reason};
}

void TAnalysisList::RefreshRow(std::size_t row) {
    if (row >= rows_.size() || !keepTexts_) return;
    rows_[row].Texts = RowTexts(*rows_[row].Item, columnTags_);
}
