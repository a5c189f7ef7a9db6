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
    QString executablePath;   // full path of the running program
    QString settingsPath;     // empty: chosen by SettingsFilePath
};

// "Sondaro.ini" beside the executable when that file exists or its folder is
// writable (a portable installation), otherwise in the user's configuration
// folder, so that an installed program keeps its settings.
QString SettingsFilePath(const QString& executablePath);

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(const TMainOptions& options, QWidget* parent = nullptr);
    // Stops the playlist worker, then writes the settings file.
    ~TfrmMain() override;

    // Folder tree.
    QString selectedPath() const;
    void browseTo(const QString& path);
    void scanSelected(bool invert);
    void scanFolder(const QString& path, bool recursive);
    bool isBusy() const { return busy_; }
    bool isPlaylistLoading() const;

    // List.
    void buildColumns();
    // Appends an item analysed elsewhere (the playlist worker): row and totals.
    void appendAnalysedItem(std::unique_ptr<TAudioItem> item);
    int rowCount() const;
    QString cellText(int row, int column) const;
    QStringList columnCaptions() const;
    QStringList statusTexts() const;
    const TSortState& sortState() const { return sortState_; }

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

public slots:
    void onFolderSelected();
    void onHeaderClicked(int column);
    void onListDoubleClicked();
    void onListMenuAboutToShow();
    void onExportTriggered();
    void onSettingsTriggered();
    void onAboutTriggered();
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

private:
    void onFirstShow();
    void createComponents();
    void readSettings();
    void writeSettings();
    void storeColumnWidths();
    void setStatusTexts(const TStatusTexts& texts);
    void reportFailures(const std::vector<TFailure>& failures);
    void startPlaylist(const QString& playlist);
    void cancelPlaylist();
    void onGestureEvent();
    // The stored switches at start: the fade, and the folder command written
    // again with the executable's current path.
    void applyStoredSwitches();
    // New rows are shown at most every kRowBatchMs, and always when forced.
    void showNewRows(bool force);
    void showError(const QString& text);

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
    QTimer fadeOutTimer;
    QTimer fadeInTimer;
    QTimer gestureQuietTimer;
    QElapsedTimer rowBatch_;

    // Playlist worker and the load it belongs to (items of a cancelled load are dropped).
    std::unique_ptr<TThreadAddPlaylist> playlistWorker_;
    int playlistGeneration_ = 0;
    std::vector<TFailure> playlistFailures_;

    QSplitter* splitter = nullptr;
    QTreeView* folderTree = nullptr;
    QFileSystemModel* folderModel = nullptr;
    QTreeView* listView = nullptr;
    TListModel* listModel = nullptr;
    QLabel* statusPanels[4] = {};
    QMenu* listMenu = nullptr;
    QAction* exportAction = nullptr;
    QAction* settingsAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* aboutAction = nullptr;
};
