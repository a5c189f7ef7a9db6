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
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTreeView>

#include <algorithm>

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

// A stored placement from a screen that is gone (or hand-edited) could put
// the window out of reach: it is moved, and shrunk if need be, into the
// available area of the screen it overlaps most, the primary one when none.
QRect OnScreen(const QRect& stored) {
    const QScreen* best = QGuiApplication::primaryScreen();
    qint64 bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shared = screen->availableGeometry().intersected(stored);
        const qint64 area = shared.isEmpty() ? 0 : qint64(shared.width()) * shared.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (!best) return stored;
    const QRect area = best->availableGeometry();
    QRect placed(stored.topLeft(), stored.size().boundedTo(area.size()));
    placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() + 1 - placed.height()));
    return placed;
}

} // namespace

QString SettingsFilePath(const QString& executablePath) {
    const QString folder = QFileInfo(executablePath).absolutePath();
    const QString beside = QDir(folder).filePath(QString::fromLatin1(kSettingsFileName));
    if (QFileInfo::exists(beside) || QFileInfo(folder).isWritable()) return beside;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return QDir(config).filePath(QString::fromLatin1(kSettingsFileName));
}

bool TfrmMain::LeftCtrlDown() { return leftCtrlFilter && leftCtrlFilter->Down; }

// FormCreate: readers (in the analysis list), components, settings, columns.
TfrmMain::TfrmMain(const TMainOptions& options, QWidget* parent) : QMainWindow(parent), options_(options) {
    if (!leftCtrlFilter) {
        leftCtrlFilter = new TLeftCtrlFilter;
        qApp->installEventFilter(leftCtrlFilter);
    }
    settingsPath_ = options_.SettingsPath.isEmpty() ? SettingsFilePath(options_.ExecutablePath)
                                                    : options_.SettingsPath;
    CreateComponents();
    ReadSettings();
    BuildColumns();
}

// FormDestroy: stop the worker before the list it reports to goes, then write the settings.
TfrmMain::~TfrmMain() {
    CancelPlaylist();
    WriteSettings();
    // The views go before the analysis list their model reads from.
    listModel_->Cleared();
    delete Splitter;
}

void TfrmMain::CreateComponents() {
    setWindowTitle(QStringLiteral("Sondaro"));
    QFont windowFont = font();
    windowFont.setPixelSize(kListFontPixels);
    setFont(windowFont);

    Splitter = new QSplitter(Qt::Horizontal, this);
    setCentralWidget(Splitter);

    // Folder tree: folders only, hidden ones not shown, root "/".
    treeModel_ = new QFileSystemModel(this);
    treeModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    treeModel_->setRootPath(QStringLiteral("/"));
    VirtualExplorerTreeview = new QTreeView(Splitter);
    VirtualExplorerTreeview->setObjectName(QStringLiteral("VirtualExplorerTreeview"));
    VirtualExplorerTreeview->setModel(treeModel_);
    for (int c = 1; c < treeModel_->columnCount(); ++c) VirtualExplorerTreeview->hideColumn(c);
    VirtualExplorerTreeview->setHeaderHidden(true);
    VirtualExplorerTreeview->setRootIsDecorated(true);
    VirtualExplorerTreeview->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(VirtualExplorerTreeview, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        const QModelIndex index = VirtualExplorerTreeview->indexAt(point);
        if (!index.isValid()) return;
        const QString folder = treeModel_->filePath(index);
        QMenu menu(this);
        menu.addAction(QStringLiteral("Open in File Manager"), this, [folder] { Desktop().OpenFolder(folder); });
        menu.exec(VirtualExplorerTreeview->viewport()->mapToGlobal(point));
    });
    // Folders load in the background: keep the selected one in view as they arrive.
    connect(treeModel_, &QFileSystemModel::directoryLoaded, this, [this] {
        const QModelIndex current = VirtualExplorerTreeview->currentIndex();
        if (current.isValid()) VirtualExplorerTreeview->scrollTo(current);
    });
    connect(VirtualExplorerTreeview->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (treeChangeAttached_) VirtualExplorerTreeviewChange();
    });

    // The list: a model over the analysis list's rows.
    listModel_ = new TListModel(list_, this);
    ListView = new QTreeView(Splitter);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setModel(listModel_);
    ListView->setRootIsDecorated(false);
    ListView->setUniformRowHeights(true);
    ListView->setItemsExpandable(false);
    ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setSortingEnabled(false);
    ListView->setAllColumnsShowFocus(true);
    ListView->header()->setSectionsClickable(true);
    ListView->header()->setSectionsMovable(false);
    ListView->header()->setStretchLastSection(false);
    QFont listFont = ListView->font();
    listFont.setPixelSize(kListFontPixels);
    ListView->setFont(listFont);
    connect(ListView->header(), &QHeaderView::sectionClicked, this, &TfrmMain::ListViewColumnClick);
    connect(ListView, &QAbstractItemView::doubleClicked, this, [this] { ListViewDblClick(); });
    Splitter->setStretchFactor(1, 1);

    PopupMenuListView = new QMenu(this);
    Export = PopupMenuListView->addAction(QStringLiteral("Export"), this, &TfrmMain::ExportClick);
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        PopupMenuListViewPopup();
        PopupMenuListView->exec(ListView->viewport()->mapToGlobal(point));
    });

    // Status bar: four panels.
    for (int i = 0; i < 4; ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setMinimumWidth(kStatusPanelWidths[i]);
        statusBar()->addWidget(panels_[i]);
    }
    SetStatusTexts(StartupStatusTexts());

    QMenu* File1 = menuBar()->addMenu(QStringLiteral("File"));
    Settings1 = File1->addAction(QStringLiteral("Settings"), this, &TfrmMain::Settings1Click);
    File1->addSeparator();
    Exit1 = File1->addAction(QStringLiteral("Exit"), this, &QWidget::close);
    QMenu* Help1 = menuBar()->addMenu(QStringLiteral("Help"));
    About1 = Help1->addAction(QStringLiteral("About"), this, &TfrmMain::About1Click);

    TimerABOn.setInterval(kFadeIntervalMs);
    TimerABOff.setInterval(kFadeIntervalMs);
    connect(&TimerABOn, &QTimer::timeout, this, &TfrmMain::TimerABOnTimer);
    connect(&TimerABOff, &QTimer::timeout, this, &TfrmMain::TimerABOffTimer);
    gestureQuiet_.setSingleShot(true);
    gestureQuiet_.setInterval(kGestureQuietMs);
    connect(&gestureQuiet_, &QTimer::timeout, this, &TfrmMain::SizeMoveEnded);
}

void TfrmMain::ShowError(const QString& text) { Desktop().ShowError(this, text); }

// ---- Settings ---------------------------------------------------------------

void TfrmMain::ReadSettings() {
    TIniFile ini;
    ini.Load(ToStd(settingsPath_));
    settings_ = ::ReadSettings(ini);
    const TWindowPlacement& p = settings_.Position;
    // Bounded first so that no corner of the rectangle overflows an int.
    constexpr int kFar = 1 << 20;
    const QRect placed = OnScreen(QRect(std::clamp(p.Left, -kFar, kFar), std::clamp(p.Top, -kFar, kFar),
                                        std::clamp(p.Width, 1, kFar), std::clamp(p.Height, 1, kFar)));
    move(placed.topLeft());
    resize(placed.size());
    if (p.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
    Splitter->setSizes({settings_.FolderTree, std::max(1, p.Width - settings_.FolderTree)});
}

void TfrmMain::StoreColumnWidths() {
    for (TColumnItem& column : settings_.Columns)
        if (column.Visible && column.Index < listModel_->columnCount())
            column.Width = ListView->header()->sectionSize(column.Index);
}

void TfrmMain::WriteSettings() {
    const bool maximized = isMaximized();
    if (!maximized) {
        settings_.Position.Left = x();
        settings_.Position.Top = y();
        settings_.Position.Width = width();
        settings_.Position.Height = height();
    }
    settings_.FolderTree = Splitter->sizes().value(0, settings_.FolderTree);
    StoreColumnWidths();
    try {
        SaveSettingsFile(ToStd(settingsPath_), settings_, maximized);
    } catch (const std::exception& e) {
        ShowError(FromStd(e.what()));
    }
}

void TfrmMain::Settings1Click() {
    StoreColumnWidths();
    {
        TfrmSettings frmSettings(this);
        frmSettings.FillColumns();
        frmSettings.exec();
    }
    BuildColumns();
    ScanSelected(false);
}

void TfrmMain::About1Click() {
    TfrmAbout frmAbout(this);
    frmAbout.exec();
}

// ---- Columns and list -------------------------------------------------------

void TfrmMain::BuildColumns() {
    const std::vector<int> tags = ::BuildColumns(settings_.Columns);
    list_.SetColumns(tags);
    QStringList captions;
    for (int tag : tags) captions << FromStd(settings_.Columns[tag].Caption);
    listModel_->SetColumns(captions);
    for (std::size_t i = 0; i < tags.size(); ++i)
        ListView->header()->resizeSection(static_cast<int>(i), settings_.Columns[tags[i]].Width);
}

void TfrmMain::ListViewColumnClick(int column) {
    ShowNewRows(true);
    ::ListViewColumnClick(sortState_, column);
    listModel_->Sort(sortState_, NumericColumns(settings_.Columns));
}

void TfrmMain::AppendAnalysedItem(std::unique_ptr<TAudioItem> item) {
    if (list_.AppendItem(std::move(item))) ShowNewRows(!busy_ && !PlaylistLoading());
}

void TfrmMain::ShowNewRows(bool force) {
    if (!force && rowBatch_.isValid() && rowBatch_.elapsed() < kRowBatchMs) return;
    listModel_->SyncRows();
    rowBatch_.start();
}

int TfrmMain::RowCount() const { return listModel_->rowCount(); }

QString TfrmMain::CellText(int row, int column) const { return listModel_->Text(row, column); }

QStringList TfrmMain::ColumnCaptions() const { return listModel_->Captions(); }

QStringList TfrmMain::StatusTexts() const {
    QStringList texts;
    for (QLabel* panel : panels_) texts << panel->text();
    return texts;
}

void TfrmMain::SetStatusTexts(const TStatusTexts& texts) {
    for (int i = 0; i < 4; ++i) panels_[i]->setText(FromStd(texts[i]));
}

void TfrmMain::PopupMenuListViewPopup() {
    ShowNewRows(true);
    Export->setEnabled(listModel_->rowCount() > 0);
}

void TfrmMain::ExportClick() {
    ShowNewRows(true);
    if (listModel_->rowCount() == 0) return;
    TReportInput input;
    input.Folder = ToStd(SelectedPath());
    for (int c = 0; c < listModel_->columnCount(); ++c)
        input.Columns.push_back({ToStd(listModel_->Captions()[c]), ListView->header()->sectionSize(c)});
    input.Rows.reserve(listModel_->rowCount());
    for (int r = 0; r < listModel_->rowCount(); ++r) input.Rows.push_back(&listModel_->RowAt(r).Texts);
    input.Totals = list_.Totals();
    std::string path;
    try {
        path = WriteHtmlReport(input);
    } catch (const std::exception& e) {
        ShowError(FromStd(e.what()));
        return;
    }
    Desktop().ShowFileInFileManager(FromStd(path));
}

void TfrmMain::ListViewDblClick() {
    QModelIndexList selected = ListView->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    // The first selected row in list order.
    const auto first = std::min_element(selected.begin(), selected.end(),
                                        [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    const TAudioItem* item = listModel_->RowAt(first->row()).Item;
    if (!item || item->FileType != "WAV") return;
    const QString folder = QDir::toNativeSeparators(QFileInfo(options_.ExecutablePath).absolutePath());
    if (!QFileInfo(QDir(folder).filePath(QString::fromLatin1(kAuCDtectName))).isFile()) return;
    QString script;
    try {
        script = FromStd(WriteAuCDtectScript(ToStd(folder), item->FullPath));
    } catch (const std::exception& e) {
        ShowError(FromStd(e.what()));
        return;
    }
    Desktop().RunInTerminal(script);
}

// ---- Folder tree and scan ---------------------------------------------------

QString TfrmMain::SelectedPath() const {
    const QModelIndex index = VirtualExplorerTreeview->currentIndex();
    if (!index.isValid()) return {};
    // The model speaks "/"; the core takes the system's separator.
    return QDir::toNativeSeparators(treeModel_->filePath(index));
}

void TfrmMain::BrowseTo(const QString& path) {
    QString folder = QDir::fromNativeSeparators(path);
#ifdef _WIN32
    // A drive root ("C:/") keeps its slash.
    const qsizetype keep = folder.endsWith(QLatin1String(":/")) ? folder.size() : 1;
#else
    const qsizetype keep = 1;
#endif
    while (folder.size() > keep && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    const QModelIndex index = treeModel_->index(folder);
    if (!index.isValid()) return;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        VirtualExplorerTreeview->expand(parent);
    VirtualExplorerTreeview->setCurrentIndex(index);
    VirtualExplorerTreeview->scrollTo(index);
}

void TfrmMain::VirtualExplorerTreeviewChange() {
    if (busy_) {
        pending_ = true;
        return;
    }
    ScanSelected(LeftCtrlDown());
}

void TfrmMain::ScanSelected(bool invert) {
    const QString path = SelectedPath();
    if (path.isEmpty()) return;
    // A scan started by another action during a scan (the settings dialog
    // closing) runs after the current one, like a new selection.
    if (busy_) {
        pending_ = true;
        return;
    }
    ScanFolder(path, invert != settings_.RecursiveScanning);
}

void TfrmMain::ScanFolder(const QString& path, bool recursive) {
    const std::string folder = ToStd(path);
    if (!FolderExists(folder)) return;
    CancelPlaylist();
    busy_ = true;
    list_.Clear();
    listModel_->Cleared();
    SetStatusTexts(BareStatusTexts());
    setWindowTitle(QStringLiteral("Sondaro - ") + path);

    TScanCallbacks callbacks;
    callbacks.AnalyseFile = [this](const std::string& root, const std::string& file) {
        if (list_.AnalyseFile(root, file)) ShowNewRows(false);
    };
    // Rows are painted and input is served after every file.
    callbacks.AfterFile = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    callbacks.Pending = [this] { return pending_; };
    rowBatch_.start();
    const TScanResult result = ::ScanFolder(folder, recursive, callbacks);
    ShowNewRows(true);

    SetStatusTexts(list_.ShowTotals());
    busy_ = false;
    ReportFailures(result.Failures);
    if (pending_) {
        pending_ = false;
        if (!closing_) ScanSelected(LeftCtrlDown());
    }
}

void TfrmMain::ReportFailures(const std::vector<TFailure>& failures) {
    if (failures.empty() || closing_) return;
    QString text = QStringLiteral("%1 file(s) could not be scanned:").arg(failures.size());
    for (std::size_t i = 0; i < failures.size() && i < kFailuresShown; ++i)
        text += QLatin1Char('\n') + FromStd(failures[i].Message);
    if (failures.size() > kFailuresShown)
        text += QStringLiteral("\n... and %1 more").arg(failures.size() - kFailuresShown);
    ShowError(text);
}

// ---- Start-up and shut-down -------------------------------------------------

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // After the window is on screen, so that the first rows are painted as they come.
    QTimer::singleShot(0, this, &TfrmMain::FormShow);
}

void TfrmMain::FormShow() {
    treeChangeAttached_ = false;
    const TStartTarget target = ResolveStartTarget(ToStd(options_.Argument));
    BrowseTo(FromStd(target.Folder));
    treeChangeAttached_ = true;
    if (target.IsPlaylist) {
        setWindowTitle(QStringLiteral("Sondaro - ") + options_.Argument);
        StartPlaylist(FromStd(target.Playlist));
        return;
    }
    // invert equals the setting, so the start-up scan covers the folder alone.
    ScanSelected(settings_.RecursiveScanning);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    pending_ = true;
    closing_ = true;
    event->accept();
}

// ---- Playlist ---------------------------------------------------------------

bool TfrmMain::PlaylistLoading() const { return playlistWorker_ && playlistWorker_->isRunning(); }

void TfrmMain::StartPlaylist(const QString& playlist) {
    CancelPlaylist();
    const int generation = ++playlistGeneration_;
    playlistFailures_.clear();
    playlistWorker_ = std::make_unique<TThreadAddPlaylist>(
        ToStd(playlist), this,
        [this, generation](std::unique_ptr<TAudioItem> item) {
            if (generation == playlistGeneration_) AppendAnalysedItem(std::move(item));
        },
        [this, generation](std::vector<TFailure> failures) {
            if (generation != playlistGeneration_) return;
            ShowNewRows(true);
            SetStatusTexts(list_.ShowTotals());
            ReportFailures(failures);
        });
    playlistWorker_->start();
}

void TfrmMain::CancelPlaylist() {
    if (!playlistWorker_) return;
    ++playlistGeneration_;   // items already on their way are dropped
    playlistWorker_->Cancel();
    playlistWorker_.reset();
}

// ---- Fade -------------------------------------------------------------------

void TfrmMain::SetAlphaBlend(bool on) {
    alphaBlend_ = on;
    if (!on) {
        TimerABOn.stop();
        TimerABOff.stop();
        gestureQuiet_.stop();
        gestureActive_ = false;
        alphaBlendValue_ = kFadeHigh;
        setWindowOpacity(1.0);
    }
}

// Qt reports no start or end of an interactive move or resize: the first
// move or resize event starts a gesture, and a gesture with no such event
// for kGestureQuietMs has ended.
void TfrmMain::GestureEvent() {
    if (!alphaBlend_ || !shown_ || !isVisible()) return;
    if (!gestureActive_) SizeMoveStarted();
    gestureQuiet_.start();
}

void TfrmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    GestureEvent();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    GestureEvent();
}

void TfrmMain::SizeMoveStarted() {
    if (!alphaBlend_) return;
    gestureActive_ = true;
    TimerABOff.stop();
    TimerABOn.start();
}

void TfrmMain::SizeMoveEnded() {
    gestureActive_ = false;
    gestureQuiet_.stop();
    if (!alphaBlend_) return;
    TimerABOn.stop();
    TimerABOff.start();
}

void TfrmMain::TimerABOnTimer() {
    if (alphaBlendValue_ <= kFadeLow) {
        TimerABOn.stop();
        return;
    }
    alphaBlendValue_ -= kFadeStep;
    setWindowOpacity(alphaBlendValue_ / 255.0);
}

void TfrmMain::TimerABOffTimer() {
    if (alphaBlendValue_ >= kFadeHigh) {
        TimerABOff.stop();
        return;
    }
    alphaBlendValue_ += kFadeStep;
    setWindowOpacity(alphaBlendValue_ / 255.0);
}
