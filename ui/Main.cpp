#include "ui/Main.h"

#include "io/Paths.h"
#include "report/HtmlReport.h"
#include "settings/Integration.h"
#include "ui/About.h"
#include "ui/Desktop.h"
#include "ui/ListModel.h"
#include "ui/PlaylistWorker.h"
#include "ui/Settings.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTreeView>

namespace {

// Qt's modifiers do not tell the two Control keys apart; their native codes do.
#ifdef _WIN32
// Both have scan code 0x1D; the right one carries the extended-key bit 0x100.
constexpr quint32 kLeftControlScanCode = 0x1D;
bool IsLeftCtrl(const QKeyEvent* key) {
    return key->key() == Qt::Key_Control && key->nativeScanCode() == kLeftControlScanCode;
}
#else
// The X11 key symbol of the left Control key.
constexpr quint32 kXK_Control_L = 0xFFE3;
bool IsLeftCtrl(const QKeyEvent* key) { return key->nativeVirtualKey() == kXK_Control_L; }
#endif

// Tracks presses and releases of the left Control key for the whole program.
class TLeftCtrlFilter : public QObject {
public:
    bool Down = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (IsLeftCtrl(key) && !key->isAutoRepeat())
                Down = event->type() == QEvent::KeyPress;
            break;
        }
        case QEvent::ApplicationDeactivate:
            // A release while another program has the keyboard never reaches us.
            Down = false;
            break;
        default: break;
        }
        return QObject::eventFilter(watched, event);
    }
};

TLeftCtrlFilter* leftCtrlFilter = nullptr;

constexpr int kFadeStep = 5;
constexpr int kFadeLow = 180;
constexpr int kFadeHigh = 255;
constexpr int kFadeIntervalMs = 10;
constexpr int kListFontPixels = 11;
constexpr std::size_t kFailuresShown = 20;

QString FromStd(const std::string& text) { return QString::fromStdString(text); }
std::string ToStd(const QString& text) { return text.toStdString(); }

} // namespace

QString SettingsFilePath(const QString& executablePath) {
    const QString folder = QFileInfo(executablePath).absolutePath();
    const QString beside = QDir(folder).filePath(QString::fromLatin1(kSettingsFileName));
    if (QFileInfo::exists(beside) || QFileInfo(folder).isWritable()) return beside;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return QDir(config).filePath(QString::fromLatin1(kSettingsFileName));
}

bool TfrmMain::isLeftCtrlDown() { return leftCtrlFilter && leftCtrlFilter->Down; }

// Readers (in the analysis list), components, settings, columns.
TfrmMain::TfrmMain(const TMainOptions& options, QWidget* parent) : QMainWindow(parent), options_(options) {
    if (!leftCtrlFilter) {
        leftCtrlFilter = new TLeftCtrlFilter;
        qApp->installEventFilter(leftCtrlFilter);
    }
    settingsPath_ = options_.settingsPath.isEmpty() ? SettingsFilePath(options_.executablePath)
                                                    : options_.settingsPath;
    createComponents();
    readSettings();
    buildColumns();
    applyStoredSwitches();
}

// Stops the worker before the list it reports to goes, then write the settings.
TfrmMain::~TfrmMain() {
    cancelPlaylist();
    writeSettings();
    // The views go before the analysis list their model reads from.
    listModel->clearRows();
    delete splitter;
}

void TfrmMain::createComponents() {
    setWindowTitle(QStringLiteral("Sondaro"));
    QFont windowFont = font();
    windowFont.setPixelSize(kListFontPixels);
    setFont(windowFont);

    splitter = new QSplitter(Qt::Horizontal, this);
    setCentralWidget(splitter);

    // Folder tree: folders only, hidden ones not shown, root "/".
    folderModel = new QFileSystemModel(this);
    folderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    folderModel->setRootPath(QStringLiteral("/"));
    folderTree = new QTreeView(splitter);
    folderTree->setObjectName(QStringLiteral("folderTree"));
    folderTree->setModel(folderModel);
    for (int c = 1; c < folderModel->columnCount(); ++c) folderTree->hideColumn(c);
    folderTree->setHeaderHidden(true);
    folderTree->setRootIsDecorated(true);
    folderTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(folderTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        const QModelIndex index = folderTree->indexAt(point);
        if (!index.isValid()) return;
        const QString folder = folderModel->filePath(index);
        QMenu menu(this);
        menu.addAction(QStringLiteral("Open in File Manager"), this, [folder] { Desktop().OpenFolder(folder); });
        menu.exec(folderTree->viewport()->mapToGlobal(point));
    });
    // Folders load in the background: keep the selected one in view as they arrive.
    connect(folderModel, &QFileSystemModel::directoryLoaded, this, [this] {
        const QModelIndex current = folderTree->currentIndex();
        if (current.isValid()) folderTree->scrollTo(current);
    });
    connect(folderTree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (treeChangeAttached_) onFolderSelected();
    });

    // The list: a model over the analysis list's rows.
    listModel = new TListModel(list_, this);
    listModel->setObjectName(QStringLiteral("listModel"));
    listView = new QTreeView(splitter);
    listView->setObjectName(QStringLiteral("listView"));
    listView->setModel(listModel);
    listView->setRootIsDecorated(false);
    listView->setUniformRowHeights(true);
    listView->setItemsExpandable(false);
    listView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listView->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView->setSortingEnabled(false);
    listView->setAllColumnsShowFocus(true);
    listView->header()->setSectionsClickable(true);
    listView->header()->setSectionsMovable(false);
    listView->header()->setStretchLastSection(false);
    QFont listFont = listView->font();
    listFont.setPixelSize(kListFontPixels);
    listView->setFont(listFont);
    connect(listView->header(), &QHeaderView::sectionClicked, this, &TfrmMain::onHeaderClicked);
    connect(listView, &QAbstractItemView::doubleClicked, this, [this] { onListDoubleClicked(); });
    splitter->setStretchFactor(1, 1);

    listMenu = new QMenu(this);
    exportAction = listMenu->addAction(QStringLiteral("Export"), this, &TfrmMain::onExportTriggered);
    exportAction->setObjectName(QStringLiteral("exportAction"));
    listView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(listView, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        onListMenuAboutToShow();
        listMenu->exec(listView->viewport()->mapToGlobal(point));
    });

    // Status bar: four panels.
    for (int i = 0; i < 4; ++i) {
        statusPanels[i] = new QLabel(this);
        statusPanels[i]->setMinimumWidth(kStatusPanelWidths[i]);
        statusBar()->addWidget(statusPanels[i]);
    }
    setStatusTexts(StartupStatusTexts());

    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("File"));
    settingsAction = fileMenu->addAction(QStringLiteral("Settings"), this, &TfrmMain::onSettingsTriggered);
    fileMenu->addSeparator();
    exitAction = fileMenu->addAction(QStringLiteral("Exit"), this, &QWidget::close);
    QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("Help"));
    aboutAction = helpMenu->addAction(QStringLiteral("About"), this, &TfrmMain::onAboutTriggered);
    settingsAction->setObjectName(QStringLiteral("settingsAction"));
    exitAction->setObjectName(QStringLiteral("exitAction"));
    aboutAction->setObjectName(QStringLiteral("aboutAction"));

    fadeOutTimer.setInterval(kFadeIntervalMs);
    fadeInTimer.setInterval(kFadeIntervalMs);
    connect(&fadeOutTimer, &QTimer::timeout, this, &TfrmMain::onFadeOutTick);
    connect(&fadeInTimer, &QTimer::timeout, this, &TfrmMain::onFadeInTick);
    gestureQuietTimer.setSingleShot(true);
    gestureQuietTimer.setInterval(kGestureQuietMs);
    connect(&gestureQuietTimer, &QTimer::timeout, this, &TfrmMain::onSizeMoveEnded);
}

void TfrmMain::showError(const QString& text) { Desktop().ShowError(this, text); }

// ---- Settings ---------------------------------------------------------------

void TfrmMain::readSettings() {
    TIniFile ini;
    ini.Load(ToStd(settingsPath_));
    settings_ = ::ReadSettings(ini);
    const TWindowPlacement& p = settings_.Position;
    move(p.Left, p.Top);
    resize(p.Width, p.Height);
    if (p.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
    splitter->setSizes({settings_.FolderTree, std::max(1, p.Width - settings_.FolderTree)});
}

void TfrmMain::storeColumnWidths() {
    for (TColumnItem& column : settings_.Columns)
        if (column.Visible && column.Index < listModel->columnCount())
            column.Width = listView->header()->sectionSize(column.Index);
}

void TfrmMain::writeSettings() {
    const bool maximized = isMaximized();
    if (!maximized) {
        settings_.Position.Left = x();
        settings_.Position.Top = y();
        settings_.Position.Width = width();
        settings_.Position.Height = height();
    }
    settings_.FolderTree = splitter->sizes().value(0, settings_.FolderTree);
    storeColumnWidths();
    try {
        SaveSettingsFile(ToStd(settingsPath_), settings_, maximized);
    } catch (const std::exception& e) {
        showError(FromStd(e.what()));
    }
}

void TfrmMain::applyStoredSwitches() {
    if (settings_.AlphaBlend) setAlphaBlend(true);
    if (settings_.Integration) setFolderCommand(true);
}

void TfrmMain::setFolderCommand(bool installed) {
    const std::string dataHome = ToStd(Desktop().DataHome());
    try {
        if (installed) InstallFolderCommand(dataHome, ToStd(options_.executablePath));
        else RemoveFolderCommand(dataHome);
    } catch (const std::exception& e) {
        showError(FromStd(e.what()));
    }
}

void TfrmMain::onSettingsTriggered() {
    storeColumnWidths();
    // A program that was moved writes the command with its new path.
    if (settings_.Integration) setFolderCommand(true);
    TfrmSettings dialog(settings_, this);
    connect(&dialog, &TfrmSettings::fadeSwitched, this, &TfrmMain::setAlphaBlend);
    connect(&dialog, &TfrmSettings::folderCommandSwitched, this, &TfrmMain::setFolderCommand);
    connect(&dialog, &TfrmSettings::columnsChanged, this, &TfrmMain::buildColumns);
    dialog.exec();
    // The recursive switch may have changed too: the folder is scanned again.
    scanSelected(false);
}

void TfrmMain::onAboutTriggered() {
    TfrmAbout frmAbout(this);
    frmAbout.exec();
}

// ---- Columns and list -------------------------------------------------------

void TfrmMain::buildColumns() {
    const std::vector<int> tags = ::BuildColumns(settings_.Columns);
    list_.SetColumns(tags);
    QStringList captions;
    for (int tag : tags) captions << FromStd(settings_.Columns[tag].Caption);
    listModel->setColumns(captions);
    for (std::size_t i = 0; i < tags.size(); ++i)
        listView->header()->resizeSection(static_cast<int>(i), settings_.Columns[tags[i]].Width);
}

void TfrmMain::onHeaderClicked(int column) {
    showNewRows(true);
    ::ListViewColumnClick(sortState_, column);
    listModel->sortRows(sortState_, NumericColumns(settings_.Columns));
}

void TfrmMain::appendAnalysedItem(std::unique_ptr<TAudioItem> item) {
    if (list_.AppendItem(std::move(item))) showNewRows(!busy_ && !isPlaylistLoading());
}

void TfrmMain::showNewRows(bool force) {
    if (!force && rowBatch_.isValid() && rowBatch_.elapsed() < kRowBatchMs) return;
    listModel->syncRows();
    rowBatch_.start();
}

int TfrmMain::rowCount() const { return listModel->rowCount(); }

QString TfrmMain::cellText(int row, int column) const { return listModel->text(row, column); }

QStringList TfrmMain::columnCaptions() const { return listModel->captions(); }

QStringList TfrmMain::statusTexts() const {
    QStringList texts;
    for (QLabel* panel : statusPanels) texts << panel->text();
    return texts;
}

void TfrmMain::setStatusTexts(const TStatusTexts& texts) {
    for (int i = 0; i < 4; ++i) statusPanels[i]->setText(FromStd(texts[i]));
}

void TfrmMain::onListMenuAboutToShow() {
    showNewRows(true);
    exportAction->setEnabled(listModel->rowCount() > 0);
}

void TfrmMain::onExportTriggered() {
    showNewRows(true);
    if (listModel->rowCount() == 0) return;
    TReportInput input;
    input.Folder = ToStd(selectedPath());
    for (int c = 0; c < listModel->columnCount(); ++c)
        input.Columns.push_back({ToStd(listModel->captions()[c]), listView->header()->sectionSize(c)});
    input.Rows.reserve(listModel->rowCount());
    for (int r = 0; r < listModel->rowCount(); ++r) input.Rows.push_back(&listModel->rowAt(r).Texts);
    input.Totals = list_.Totals();
    std::string path;
    try {
        path = WriteHtmlReport(input);
    } catch (const std::exception& e) {
        showError(FromStd(e.what()));
        return;
    }
    Desktop().ShowFileInFileManager(FromStd(path));
}

void TfrmMain::onListDoubleClicked() {
    QModelIndexList selected = listView->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    // The first selected row in list order.
    const auto first = std::min_element(selected.begin(), selected.end(),
                                        [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    const TAudioItem* item = listModel->rowAt(first->row()).Item;
    if (!item || item->FileType != "WAV") return;
    const QString folder = QDir::toNativeSeparators(QFileInfo(options_.executablePath).absolutePath());
    if (!QFileInfo(QDir(folder).filePath(QString::fromLatin1(kAuCDtectName))).isFile()) return;
    QString script;
    try {
        script = FromStd(WriteAuCDtectScript(ToStd(folder), item->FullPath));
    } catch (const std::exception& e) {
        showError(FromStd(e.what()));
        return;
    }
    Desktop().RunInTerminal(script);
}

// ---- Folder tree and scan ---------------------------------------------------

QString TfrmMain::selectedPath() const {
    const QModelIndex index = folderTree->currentIndex();
    if (!index.isValid()) return {};
    // The model speaks "/"; the core takes the system's separator.
    return QDir::toNativeSeparators(folderModel->filePath(index));
}

void TfrmMain::browseTo(const QString& path) {
    QString folder = QDir::fromNativeSeparators(path);
#ifdef _WIN32
    // A drive root ("C:/") keeps its slash.
    const qsizetype keep = folder.endsWith(QLatin1String(":/")) ? folder.size() : 1;
#else
    const qsizetype keep = 1;
#endif
    while (folder.size() > keep && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    const QModelIndex index = folderModel->index(folder);
    if (!index.isValid()) return;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        folderTree->expand(parent);
    folderTree->setCurrentIndex(index);
    folderTree->scrollTo(index);
}

void TfrmMain::onFolderSelected() {
    if (busy_) {
        pending_ = true;
        return;
    }
    scanSelected(isLeftCtrlDown());
}

void TfrmMain::scanSelected(bool invert) {
    const QString path = selectedPath();
    if (path.isEmpty()) return;
    // A scan started by another action during a scan (the settings dialog
    // closing) runs after the current one, like a new selection.
    if (busy_) {
        pending_ = true;
        return;
    }
    scanFolder(path, invert != settings_.RecursiveScanning);
}

void TfrmMain::scanFolder(const QString& path, bool recursive) {
    const std::string folder = ToStd(path);
    if (!FolderExists(folder)) return;
    cancelPlaylist();
    busy_ = true;
    list_.Clear();
    listModel->clearRows();
    setStatusTexts(BareStatusTexts());
    setWindowTitle(QStringLiteral("Sondaro - ") + path);

    TScanCallbacks callbacks;
    callbacks.AnalyseFile = [this](const std::string& root, const std::string& file) {
        if (list_.AnalyseFile(root, file)) showNewRows(false);
    };
    // Rows are painted and input is served after every file.
    callbacks.AfterFile = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    callbacks.Pending = [this] { return pending_; };
    rowBatch_.start();
    const TScanResult result = ::ScanFolder(folder, recursive, callbacks);
    showNewRows(true);

    setStatusTexts(list_.ShowTotals());
    busy_ = false;
    reportFailures(result.Failures);
    if (pending_) {
        pending_ = false;
        if (!closing_) scanSelected(isLeftCtrlDown());
    }
}

void TfrmMain::reportFailures(const std::vector<TFailure>& failures) {
    if (failures.empty() || closing_) return;
    QString text = QStringLiteral("%1 file(s) could not be scanned:").arg(failures.size());
    for (std::size_t i = 0; i < failures.size() && i < kFailuresShown; ++i)
        text += QLatin1Char('\n') + FromStd(failures[i].Message);
    if (failures.size() > kFailuresShown)
        text += QStringLiteral("\n... and %1 more").arg(failures.size() - kFailuresShown);
    showError(text);
}

// ---- Start-up and shut-down -------------------------------------------------

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // After the window is on screen, so that the first rows are painted as they come.
    QTimer::singleShot(0, this, &TfrmMain::onFirstShow);
}

void TfrmMain::onFirstShow() {
    treeChangeAttached_ = false;
    const TStartTarget target = ResolveStartTarget(ToStd(options_.Argument));
    browseTo(FromStd(target.Folder));
    treeChangeAttached_ = true;
    if (target.IsPlaylist) {
        setWindowTitle(QStringLiteral("Sondaro - ") + options_.Argument);
        startPlaylist(FromStd(target.Playlist));
        return;
    }
    // invert equals the setting, so the start-up scan covers the folder alone.
    scanSelected(settings_.RecursiveScanning);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    pending_ = true;
    closing_ = true;
    event->accept();
}

// ---- Playlist ---------------------------------------------------------------

bool TfrmMain::isPlaylistLoading() const { return playlistWorker_ && playlistWorker_->isRunning(); }

void TfrmMain::startPlaylist(const QString& playlist) {
    cancelPlaylist();
    const int generation = ++playlistGeneration_;
    playlistFailures_.clear();
    playlistWorker_ = std::make_unique<TThreadAddPlaylist>(
        ToStd(playlist), this,
        [this, generation](std::unique_ptr<TAudioItem> item) {
            if (generation == playlistGeneration_) appendAnalysedItem(std::move(item));
        },
        [this, generation](std::vector<TFailure> failures) {
            if (generation != playlistGeneration_) return;
            showNewRows(true);
            setStatusTexts(list_.ShowTotals());
            reportFailures(failures);
        });
    playlistWorker_->start();
}

void TfrmMain::cancelPlaylist() {
    if (!playlistWorker_) return;
    ++playlistGeneration_;   // items already on their way are dropped
    playlistWorker_->cancel();
    playlistWorker_.reset();
}

// ---- Fade -------------------------------------------------------------------

void TfrmMain::setAlphaBlend(bool on) {
    alphaBlend_ = on;
    if (!on) {
        fadeOutTimer.stop();
        fadeInTimer.stop();
        gestureQuietTimer.stop();
        gestureActive_ = false;
        alphaBlendValue_ = kFadeHigh;
        setWindowOpacity(1.0);
    }
}

// Qt reports no start or end of an interactive move or resize: the first
// move or resize event starts a gesture, and a gesture with no such event
// for kGestureQuietMs has ended.
void TfrmMain::onGestureEvent() {
    if (!alphaBlend_ || !shown_ || !isVisible()) return;
    if (!gestureActive_) onSizeMoveStarted();
    gestureQuietTimer.start();
}

void TfrmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    onGestureEvent();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    onGestureEvent();
}

void TfrmMain::onSizeMoveStarted() {
    if (!alphaBlend_) return;
    gestureActive_ = true;
    fadeInTimer.stop();
    fadeOutTimer.start();
}

void TfrmMain::onSizeMoveEnded() {
    gestureActive_ = false;
    gestureQuietTimer.stop();
    if (!alphaBlend_) return;
    fadeOutTimer.stop();
    fadeInTimer.start();
}

void TfrmMain::onFadeOutTick() {
    if (alphaBlendValue_ <= kFadeLow) {
        fadeOutTimer.stop();
        return;
    }
    alphaBlendValue_ -= kFadeStep;
    setWindowOpacity(alphaBlendValue_ / 255.0);
}

void TfrmMain::onFadeInTick() {
    if (alphaBlendValue_ >= kFadeHigh) {
        fadeInTimer.stop();
        return;
    }
    alphaBlendValue_ += kFadeStep;
    setWindowOpacity(alphaBlendValue_ / 255.0);
}
