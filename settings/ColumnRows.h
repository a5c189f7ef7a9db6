// The column list of the settings dialog: one row per column kind, in
// position order, checked when the column is visible; rows are reordered by
// dragging, and closing the dialog writes order and checks back.
#pragma once

#include "core/Columns.h"

#include <string>
#include <vector>

struct TColumnRow {
    std::string Caption;
    bool Checked = false;
};

// The rows for the layout, ordered by Pos. Every column kind appears exactly
// once: a hand-edited file in which two kinds share a position or a position
// lies outside 0 to 11 still lists all twelve (ties in tag order), so that
// closing the dialog writes a clean permutation of 0 to 10 again.
std::vector<TColumnRow> ColumnRows(const TColumnLayout& layout);

// Drop target of a drag: the row under the drop point, or the last row when
// the point is below all rows (rowUnderPoint < 0).
int DropTargetRow(int rowUnderPoint, int rowCount);

// Moves row dragged to target: before it when the target is above, otherwise
// after it. Out-of-range indexes change nothing.
void MoveColumnRow(std::vector<TColumnRow>& rows, int dragged, int target);

// Row i gives the record with its caption Pos = i and Visible = its check.
void ApplyColumnRows(TColumnLayout& layout, const std::vector<TColumnRow>& rows);
