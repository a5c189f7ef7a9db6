// TfrmSettings: the settings dialog — three switches, the order and
// visibility of the list columns, and a decorative page. There are no OK or
// Cancel buttons: closing the dialog, any way, applies it to the settings
// object it was given and announces what changed.
#pragma once

#include "settings/ColumnRows.h"
#include "settings/SettingsFile.h"

#include <QDialog>
#include <QListWidget>

#include <vector>

class QCheckBox;

// The column list: checkable rows, reordered by dragging a row within the
// list or with Alt+Up / Alt+Down on the current row.
class TColumnListView : public QListWidget {
    Q_OBJECT
public:
    // The drag's payload: the dragged row's number, so that only rows of a
    // column list are accepted.
    static constexpr const char* kRowMimeType = "application/x-sondaro-column-row";

    explicit TColumnListView(QWidget* parent = nullptr);

    void setRows(const std::vector<TColumnRow>& rows);
    std::vector<TColumnRow> rows() const;
    // Drops row dragged on the row under point (below all rows: the last).
    void dropRow(int dragged, const QPoint& point);
    // Moves the current row up (-1) or down (+1).
    void moveCurrentRow(int step);

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void moveRow(int from, int to);
};

class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    // Shows the switches and the column layout of settings; closing the
    // dialog writes them back into settings.
    explicit TfrmSettings(TSettings& settings, QWidget* parent = nullptr);

    void done(int result) override;

    QCheckBox* integrationCheck = nullptr;
    QCheckBox* fadeCheck = nullptr;
    QCheckBox* recursiveCheck = nullptr;
    QCheckBox* cacheCheck = nullptr;
    TColumnListView* columnList = nullptr;

signals:
    // The user switched the folder command; it is installed or removed at once.
    void folderCommandSwitched(bool installed);
    // The user switched the fade effect; it applies at once.
    void fadeSwitched(bool on);
    // On closing, when the column order or visibility differs from before.
    void columnsChanged();

private:
    TSettings& settings_;
};
