// TfrmSettings: the settings dialog — three switches, the order and
// visibility of the list columns, and a decorative page. There are no OK or
// Cancel buttons: closing the dialog, any way, applies it.
#pragma once

#include "settings/ColumnRows.h"

#include <QDialog>
#include <QListWidget>

#include <vector>

class QCheckBox;
class TfrmMain;

// The column list: checkable rows reordered by dragging a row within the list.
class TColumnListView : public QListWidget {
    Q_OBJECT
public:
    explicit TColumnListView(QWidget* parent = nullptr);

    void SetRows(const std::vector<TColumnRow>& rows);
    std::vector<TColumnRow> Rows() const;
    // Drops row dragged on the row under point (below all rows: the last).
    void DropRow(int dragged, const QPoint& point);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    // Sets the three check boxes from the main window's switches; a box that
    // becomes checked acts as a click (installs the folder command, turns
    // the fade on).
    explicit TfrmSettings(TfrmMain* main);

    // One row per column kind, in position order, checked when visible.
    void FillColumns();

    void chckbxShellClick(bool checked);
    void chckbxAlphaBlendClick(bool checked);

    QCheckBox* chckbxShell = nullptr;
    QCheckBox* chckbxAlphaBlend = nullptr;
    QCheckBox* chckbxRecursive = nullptr;
    TColumnListView* TntListView = nullptr;

    void done(int result) override;   // closing applies the dialog

private:
    TfrmMain* main_;
};
