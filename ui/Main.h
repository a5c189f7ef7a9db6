// TfrmMain: the main window — the folder tree, the result list and the status
// bar. It owns the analysis list (readers, items, rows, totals), runs the
// folder scan with rows appearing as files are analysed, and routes the
// menus, the list's pop-up, header clicks, double clicks and the fade.
#pragma once

#include "core/AnalysisList.h"
#include "core/FolderScan.h"
#include "core/ListOrder.h"
#include "settings/SettingsFile.h"

#include <QMainWindow>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>

class QFileSystemModel;
class QLabel;
class QMenu;
class QSplitter;
class QTreeView;
class TListModel;
class TThreadAddPlaylist;

struct TMainOptions {
    QString Argument;         // the first command-line argument, if any
    QString ExecutablePath;   // full path of the running program
    QString SettingsPath;     // empty: chosen by SettingsFilePath
};

// "Sondaro.ini" beside the executable when that file exists or its folder is
// writable (a portable installation), otherwise in the user's configuration
// folder, so that an installed program keeps its settings.
QString SettingsFilePath(const QString& executablePath);

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(const TMainOptions& options, QWidget* parent = nullptr);
    ~TfrmMain() override;   // FormDestroy

    // Folder tree.
    QString SelectedPath() const;
    void BrowseTo(const QString& path);
    void VirtualExplorerTreeviewChange();
    void ScanSelected(bool invert);
    void ScanFolder(const QString& path, bool recursive);
    bool Busy() const { return busy_; }
    bool PlaylistLoading() const;

    // List.
    void BuildColumns();
    void ListViewColumnClick(int column);
    void ListViewDblClick();
    void PopupMenuListViewPopup();
    void ExportClick();
    // Appends an item analysed elsewhere (the playlist worker): row and totals.
    void AppendAnalysedItem(std::unique_ptr<TAudioItem> item);
    int RowCount() const;
    QString CellText(int row, int column) const;
    QStringList ColumnCaptions() const;
    QStringList StatusTexts() const;
    const TSortState& SortState() const { return sortState_; }

    // Menus.
    void Settings1Click();
    void About1Click();

    // Settings and switches.
    TSettings& Settings() { return settings_; }
    QString SettingsPath() const { return settingsPath_; }
    QString ExecutablePath() const { return options_.ExecutablePath; }
    void SetAlphaBlend(bool on);
    bool AlphaBlend() const { return alphaBlend_; }
    int AlphaBlendValue() const { return alphaBlendValue_; }
    // Start and end of an interactive move or resize.
    void SizeMoveStarted();
    void SizeMoveEnded();
    void TimerABOnTimer();
    void TimerABOffTimer();

    // The left Ctrl key, tracked by an application event filter.
    static bool LeftCtrlDown();

    QAction* ExportAction() const { return Export; }
    QTreeView* List() const { return ListView; }
    TListModel* Model() const { return listModel_; }
    QTreeView* Tree() const { return VirtualExplorerTreeview; }

    // Milliseconds without a move or resize event that end a gesture.
    static constexpr int kGestureQuietMs = 250;
    static constexpr int kRowBatchMs = 40;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;   // FormCloseQuery
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormShow();
    void CreateComponents();
    void ReadSettings();
    void WriteSettings();
    void StoreColumnWidths();
    void SetStatusTexts(const TStatusTexts& texts);
    void ReportFailures(const std::vector<TFailure>& failures);
    void StartPlaylist(const QString& playlist);
    void CancelPlaylist();
    void GestureEvent();
    // New rows are shown at most every kRowBatchMs, and always when forced.
    void ShowNewRows(bool force);
    void ShowError(const QString& text);

    TMainOptions options_;
    QString settingsPath_;
    TSettings settings_;
    TAnalysisList list_;
    TSortState sortState_;
    bool busy_ = false;
    bool pending_ = false;
    bool closing_ = false;
    bool shown_ = false;
    bool treeChangeAttached_ = false;

    // Fade.
    bool alphaBlend_ = false;
    int alphaBlendValue_ = 255;
    bool gestureActive_ = false;
    QTimer TimerABOn;
    QTimer TimerABOff;
    QTimer gestureQuiet_;
    QElapsedTimer rowBatch_;

    // Playlist worker and the load it belongs to (items of a cancelled load are dropped).
    std::unique_ptr<TThreadAddPlaylist> playlistWorker_;
    int playlistGeneration_ = 0;
    std::vector<TFailure> playlistFailures_;

    QSplitter* Splitter = nullptr;
    QTreeView* VirtualExplorerTreeview = nullptr;
    QFileSystemModel* treeModel_ = nullptr;
    QTreeView* ListView = nullptr;
    TListModel* listModel_ = nullptr;
    QLabel* panels_[4] = {};
    QMenu* PopupMenuListView = nullptr;
    QAction* Export = nullptr;
    QAction* Settings1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* About1 = nullptr;
};
