// TfrmMain: the main window — the folder tree, the result list with its
// filter, the detail panel and the status bar. It owns the analysis list
// (items, rows, totals); scans run in the background on the scan engine and
// the window only appends their rows. It routes the menus, the toolbar, the
// list's pop-up, header clicks, double clicks, drops and the fade.
#pragma once

#include "core/AnalysisList.h"
#include "core/ListOrder.h"
#ifdef SONDARO_HAVE_CACHE
#include "cache/ResultCache.h"
#endif
#include "core/ScanEngine.h"
#include "settings/SettingsFile.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <memory>

class QDockWidget;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTextEdit;
class QToolButton;
class QTreeView;
class TListModel;
class TOriginCheckRun;

struct TMainOptions {
    QString argument;         // the first command-line argument, if any
    QString executablePath;   // full path of the running program
    QString settingsPath;     // empty: chosen by SettingsFilePath
    unsigned workers = 0;     // scan threads; 0: one per processor
    QString cachePath;        // the results cache; empty: TResultCache::DefaultPath()
};

// "Sondaro.ini" beside the executable when that file exists or its folder is
// writable (a portable installation), otherwise in the user's configuration
// folder, so that an installed program keeps its settings.
QString SettingsFilePath(const QString& executablePath);

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(const TMainOptions& options, QWidget* parent = nullptr);
    // Stops a running scan, then writes the settings file.
    ~TfrmMain() override;

    // Folder tree.
    QString selectedPath() const;
    void browseTo(const QString& path);
    void scanSelected(bool invert);
    // Starts a background scan of path; a running scan is cancelled first.
    void scanFolder(const QString& path, bool recursive);
    // Starts a background load of a playlist.
    void loadPlaylist(const QString& playlist);
    // Analyses dropped folders, files and playlists.
    void openPaths(const QStringList& paths);
    bool isBusy() const { return engine_ != nullptr; }

    // Verify: reads every byte of the selected rows' files (every shown row
    // when none is selected) in the background and shows what it finds in
    // the Health column. Not while a scan runs.
    void verifyRows();
    bool isVerifying() const { return verify_ != nullptr; }

    // List.
    void buildColumns();
    // Appends an item analysed elsewhere: row and totals.
    void appendAnalysedItem(std::unique_ptr<TAudioItem> item);
    int rowCount() const;
    QString cellText(int row, int column) const;
    QStringList columnCaptions() const;
    QStringList statusTexts() const;
    const TSortState& sortState() const { return sortState_; }
    // The selected rows (display order) as tab-separated text with a caption line.
    QString selectedRowsText() const;
    // The texts of the detail panel.
    QString detailText() const;
    // The progress line while scanning ("Scanning 1,234 files, 3,400 files/s").
    QString progressText() const;
    // The last notice in the status bar ("Report written to ...").
    QString noticeText() const;

    // The lossless check of items in the background (several files at once),
    // with its progress in the status bar; Stop or Esc cancels it. The Lossless
    // Check column is shown when a check starts. False when this build has no check.
    bool checkItems(const std::vector<TAudioItem*>& items);
    bool isChecking() const { return checkRun_ != nullptr; }
    // The progress line of a check ("Checking 2 of 5 files").
    QString checkProgressText() const;
    // Opens the spectrogram of a file (computed in the background).
    void showSpectrogram(const TAudioItem& item);

    // Settings and switches.
    TSettings& settings() { return settings_; }
    QString settingsPath() const { return settingsPath_; }
    QString executablePath() const { return options_.executablePath; }
    bool alphaBlend() const { return alphaBlend_; }
    int alphaBlendValue() const { return alphaBlendValue_; }

    // The left Ctrl key, tracked by an application event filter.
    static bool isLeftCtrlDown();

    // Milliseconds without a move or resize event that end a gesture.
    static constexpr int kGestureQuietMs = 250;
    static constexpr int kRowBatchMs = 40;
    // Longest stretch the window spends appending rows before it serves events.
    static constexpr int kAppendSliceMs = 8;

public slots:
    void onFolderSelected();
    void onOpenTriggered();
    void onStopTriggered();
    void onHeaderClicked(int column);
    void onListDoubleClicked();
    void onListMenuAboutToShow();
    void onExportTriggered();
    void onCopyTriggered();
    void onVerifyTriggered() { verifyRows(); }
    void onOpenFolderTriggered();
    void onShowInFileManagerTriggered();
    void onFilterChanged(const QString& text);
    void onCurrentRowChanged();
    void onSettingsTriggered();
    void onAboutTriggered();
    void onCheckSelectedTriggered();
    void onCheckAllTriggered();
    void onSpectrogramTriggered();
    void setAlphaBlend(bool on);
    void setFolderCommand(bool installed);
    // Start and end of an interactive move or resize, and the fade's steps.
    void onSizeMoveStarted();
    void onSizeMoveEnded();
    void onFadeOutTick();
    void onFadeInTick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onFirstShow();
    void createComponents();
    void createActions();
    void readSettings();
    void writeSettings();
    // The stored switches at start: the fade, and the folder command written
    // again with the executable's current path.
    void applyStoredSwitches();
    void storeColumnWidths();
    void setStatusTexts(const TStatusTexts& texts);
    void reportFailures(const std::vector<TFailure>& failures);
    void onGestureEvent();
    // New rows are shown at most every kRowBatchMs, and always when forced.
    void showNewRows(bool force);
    void showError(const QString& text);
    void showNotice(const QString& text, const QString& openPath = {});

    // Background scans.
    void startScan(TScanLister lister, const QString& title, const QString& reportFolder, bool relativePaths);
    void onScanReady(int generation);
    void finishScan(bool cancelled);
    void cancelScan();
    void retireEngine();
    void updateProgress();
    void showWorkProgress();

    // Background verify pass.
    struct TVerifyRun;
    void onVerified(int generation, std::size_t row, const THealth& health);
    void finishVerify(bool cancelled);

    // The shown rows' items, the first selected one, and the rows selected.
    std::vector<const TListRow*> shownRows() const;
    std::vector<const TListRow*> selectedRows() const;
    const TAudioItem* currentItem() const;
    // The folder an export proposes: the scanned folder, else the tree's.
    QString reportFolder() const;
    void writeReport(const QString& path, const QString& filter);
    void runAuCDtect(const TAudioItem& item);

    // The lossless check (ui/MainCheck.cpp).
    void createCheckActions();
    void createCheckStatus();
    void onItemChecked(TAudioItem* item);
    void finishCheck(bool cancelled);
    // Cancels a running check and drops its results (before the items go).
    void stopCheck();
    // Stop or Esc: the check ends after the current blocks and says how far it got.
    void cancelCheck();
    void updateCheckProgress();
    // A WAV double-click without auCDtect offers the built-in check; false
    // when this build has none.
    bool offerOriginCheck(const TAudioItem& item, const QString& missingText);

    TMainOptions options_;
    QString settingsPath_;
    TSettings settings_;
    TAnalysisList list_;
    TSortState sortState_;
    // The columns shown: the settings' layout, with Relative Path added for
    // recursive scans and playlists while it is automatic.
    TColumnLayout shownColumns_;
    bool relativePaths_ = false;
    bool closing_ = false;
    bool shown_ = false;
    bool treeChangeAttached_ = false;

    // The results cache (opened at the first scan that uses it); it outlives
    // every engine, which may still look files up in it.
#ifdef SONDARO_HAVE_CACHE
    std::unique_ptr<TResultCache> cache_;
#endif
    bool cacheInScan_ = false;   // the scan under way uses cache_

    // The scan under way, its number (results of an earlier one are dropped),
    // its clock, its failures and the folder a report of it proposes.
    std::unique_ptr<TScanEngine> engine_;
    // Ended or cancelled scans whose threads may still be winding down: they
    // are destroyed once stopped, so the window never waits for them.
    std::vector<std::unique_ptr<TScanEngine>> retired_;
    int scanGeneration_ = 0;
    QElapsedTimer scanClock_;
    std::vector<TFailure> failures_;
    QString scanFolder_;
    QTimer scanTimer;   // progress and rows while scanning or verifying

    // The verify pass under way and its number (results of an earlier one,
    // or for rows of an earlier scan, are dropped).
    std::unique_ptr<TVerifyRun> verify_;
    int verifyGeneration_ = 0;
    bool verifyChanged_ = false;   // rows changed since the view last repainted

    // Fade.
    bool alphaBlend_ = false;
    int alphaBlendValue_ = 255;
    bool gestureActive_ = false;
    QTimer fadeOutTimer;
    QTimer fadeInTimer;
    QTimer gestureQuietTimer;
    QElapsedTimer rowBatch_;
    QTimer noticeTimer;

    QSplitter* splitter = nullptr;
    QTreeView* folderTree = nullptr;
    QFileSystemModel* folderModel = nullptr;
    QTreeView* listView = nullptr;
    TListModel* listModel = nullptr;
    QLineEdit* filterEdit = nullptr;
    QLabel* filterCount = nullptr;
    QDockWidget* detailDock = nullptr;
    QTextEdit* detailView = nullptr;
    QLabel* statusPanels[4] = {};
    QLabel* progressLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* noticeLabel = nullptr;
    QToolButton* noticeButton = nullptr;
    QString noticePath_;
    QMenu* listMenu = nullptr;
    QAction* openAction = nullptr;
    QAction* stopAction = nullptr;
    QAction* exportAction = nullptr;
    QAction* copyAction = nullptr;
    QAction* verifyAction = nullptr;
    QAction* openFolderAction = nullptr;
    QAction* showInFileManagerAction = nullptr;
    QAction* findAction = nullptr;
    QAction* settingsAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* aboutAction = nullptr;

    // The lossless check: the run under way (a child object), its progress,
    // and the actions of the pop-up menu and the detail panel.
    TOriginCheckRun* checkRun_ = nullptr;
    QTimer checkTimer;
    QLabel* checkLabel = nullptr;
    QProgressBar* checkBar = nullptr;
    QAction* checkSelectedAction = nullptr;
    QAction* checkAllAction = nullptr;
    QAction* spectrogramAction = nullptr;
    QPushButton* detailSpectrogramButton = nullptr;
};
