#include "settings/ColumnRows.h"

#include <algorithm>
#include <array>
#include <numeric>

std::vector<TColumnRow> ColumnRows(const TColumnLayout& layout) {
    std::array<int, kColumnCount> tags{};
    std::iota(tags.begin(), tags.end(), 0);
    std::stable_sort(tags.begin(), tags.end(), [&](int a, int b) { return layout[a].Pos < layout[b].Pos; });
    std::vector<TColumnRow> rows;
    for (int tag : tags) rows.push_back({layout[tag].Caption, layout[tag].Visible});
    return rows;
}

int DropTargetRow(int rowUnderPoint, int rowCount) {
    return rowUnderPoint >= 0 && rowUnderPoint < rowCount ? rowUnderPoint : rowCount - 1;
}

void MoveColumnRow(std::vector<TColumnRow>& rows, int dragged, int target) {
    const int count = static_cast<int>(rows.size());
    if (dragged < 0 || dragged >= count || target < 0 || target >= count || dragged == target) return;
    const TColumnRow row = rows[dragged];
    rows.erase(rows.begin() + dragged);
    // Above: take the target's place. Below: the target moved up by one when
    // the dragged row was removed, so its old index is now "after it".
    rows.insert(rows.begin() + target, row);
}

void ApplyColumnRows(TColumnLayout& layout, const std::vector<TColumnRow>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (TColumnItem& column : layout)
            if (column.Caption == rows[i].Caption) {
                column.Pos = static_cast<int32_t>(i);
                column.Visible = rows[i].Checked;
            }
}
