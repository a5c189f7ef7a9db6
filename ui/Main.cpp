#include "ui/Main.h"

#include "core/Columns.h"
#include "core/FolderScan.h"
#include "core/Playlists.h"
#include "core/Verify.h"
#include "io/Paths.h"
#include "report/HtmlReport.h"
#include "report/ListText.h"
#include "settings/Integration.h"
#include "ui/About.h"
#include "ui/Desktop.h"
#include "ui/ListModel.h"
#include "ui/Settings.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <sstream>
#include <thread>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

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
constexpr int kScanTimerMs = 100;
constexpr int kNoticeMs = 20000;
constexpr std::size_t kTakeBatch = 64;
constexpr int kScanThreadNice = 10;
constexpr int kProgressFolderChars = 48;

QString FromStd(const std::string& text) { return QString::fromStdString(text); }
std::string ToStd(const QString& text) { return text.toStdString(); }

// Every value known about one file, as label and text.
std::vector<std::pair<QString, QString>> DetailFields(const TAudioItem& item) {
    const QLocale locale;
    std::vector<std::pair<QString, QString>> fields = {
        {QStringLiteral("File Name"), FromStd(CellText(item, kColFileName))},
        {QStringLiteral("Folder"), FromStd(item.Folder)},
        {QStringLiteral("Relative Path"), FromStd(item.RelativePath)},
        {QStringLiteral("Type"), FromStd(item.FileType)},
        {QStringLiteral("Size"), QStringLiteral("%1 bytes (%2)")
                                     .arg(locale.toString(static_cast<qlonglong>(item.FileSize)),
                                          FromStd(SizeText(item.FileSize)))},
        {QStringLiteral("Length"), item.DurationSamples > 0
                                       ? QStringLiteral("%1 s (%2), %3 samples exactly")
                                             .arg(QString::number(item.Duration, 'f', 6),
                                                  FromStd(CellText(item, kColLength)),
                                                  locale.toString(static_cast<qlonglong>(item.DurationSamples)))
                                       : QStringLiteral("%1 s (%2)")
                                             .arg(QString::number(item.Duration, 'f', 3),
                                                  FromStd(CellText(item, kColLength)))},
        {QStringLiteral("Sample Rate"), QStringLiteral("%1 Hz").arg(item.SampleRate)},
        {QStringLiteral("Channels"), QString::number(item.Channels)},
        {QStringLiteral("Bits Per Sample"), QString::number(item.BitsPerSample)},
        {QStringLiteral("Ratio"), FromStd(CellText(item, kColRatio))},
        {QStringLiteral("Bitrate"), FromStd(CellText(item, kColBitrate))},
        {QStringLiteral("Encoder Info"), FromStd(CellText(item, kColEncoderInfo))},
        {QStringLiteral("Health"), FromStd(HealthSummary(item.Health))},
    };
    // What the encoder name rests on and the settings it recorded, when known.
    if (!item.EncoderEvidence.empty()) fields.emplace_back(QStringLiteral("Encoder Evidence"), FromStd(item.EncoderEvidence));
    if (!item.EncoderSettings.empty()) fields.emplace_back(QStringLiteral("Encoder Settings"), FromStd(item.EncoderSettings));
    fields.emplace_back(QStringLiteral("Lossless Check"),
                        item.OriginCheck.Done ? FromStd(item.OriginCheck.Text)
                                              : QStringLiteral("not checked (pop-up menu: Check Lossless Origin)"));
    fields.emplace_back(QStringLiteral("Full Path"), FromStd(item.FullPath));
    return fields;
}

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

// The scan's threads yield to the window's: a busy machine then delays the
// scan rather than the answer to a click.
void LowerThreadPriority() {
#ifdef _WIN32
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
#else
    // On Linux a thread has its own nice value; raising it needs no privilege.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), kScanThreadNice);
#endif
}

bool IsSupportedFile(const std::string& path) {
    const std::string extension = ExtensionOf(path);
    return extension.size() > 1 && IsSupportedExtension(extension.substr(1));
}

} // namespace

// A verify pass: copies of the items to check, read by one thread with its
// own readers; each result goes back to the window's thread with the row it
// belongs to. Destroying the run stops the thread after its current file.
struct TfrmMain::TVerifyRun {
    struct Job {
        std::size_t Row = 0;   // index into the analysis list's rows
        TAudioItem Item;
    };
    std::vector<Job> Jobs;
    std::atomic<bool> Cancel{false};
    std::atomic<std::size_t> Done{0};
    std::size_t WithFindings = 0;   // counted on the window's thread
    std::thread Thread;

    ~TVerifyRun() {
        Cancel = true;
        if (Thread.joinable()) Thread.join();
    }
};

// The icon lives in this library's resources, which a program linking the
// library statically has to register.
static void InitResources() { Q_INIT_RESOURCE(sondaro); }

QString SettingsFilePath(const QString& executablePath) {
    const QString folder = QFileInfo(executablePath).absolutePath();
    const QString beside = QDir(folder).filePath(QString::fromLatin1(kSettingsFileName));
    if (QFileInfo::exists(beside) || QFileInfo(folder).isWritable()) return beside;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return QDir(config).filePath(QString::fromLatin1(kSettingsFileName));
}

bool TfrmMain::isLeftCtrlDown() { return leftCtrlFilter && leftCtrlFilter->Down; }

TfrmMain::TfrmMain(const TMainOptions& options, QWidget* parent) : QMainWindow(parent), options_(options) {
    InitResources();
    if (!leftCtrlFilter) {
        leftCtrlFilter = new TLeftCtrlFilter;
        qApp->installEventFilter(leftCtrlFilter);
    }
    settingsPath_ = options_.settingsPath.isEmpty() ? SettingsFilePath(options_.executablePath)
                                                    : options_.settingsPath;
    createActions();
    createComponents();
    readSettings();
    buildColumns();
    applyStoredSwitches();
}

TfrmMain::~TfrmMain() {
    verify_.reset();
    stopCheck();   // before the items it checks go
    retireEngine();
    retired_.clear();   // waits for the threads of every scan
    writeSettings();
    // The views go before the analysis list their model reads from.
    listModel->clearRows();
    delete splitter;
}

void TfrmMain::createActions() {
    openAction = new QAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QStringLiteral("Open Folder..."), this);
    openAction->setObjectName(QStringLiteral("openAction"));
    openAction->setShortcut(QKeySequence::Open);
    connect(openAction, &QAction::triggered, this, &TfrmMain::onOpenTriggered);

    stopAction = new QAction(style()->standardIcon(QStyle::SP_BrowserStop), QStringLiteral("Stop"), this);
    stopAction->setObjectName(QStringLiteral("stopAction"));
    stopAction->setShortcut(Qt::Key_Escape);
    stopAction->setToolTip(QStringLiteral("Stop the scan (Esc)"));
    stopAction->setEnabled(false);
    connect(stopAction, &QAction::triggered, this, &TfrmMain::onStopTriggered);

    exportAction = new QAction(style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Export..."), this);
    exportAction->setObjectName(QStringLiteral("exportAction"));
    exportAction->setShortcut(QKeySequence::Save);
    exportAction->setToolTip(QStringLiteral("Save the list as an HTML report, CSV or JSON"));
    connect(exportAction, &QAction::triggered, this, &TfrmMain::onExportTriggered);

    copyAction = new QAction(QStringLiteral("Copy"), this);
    copyAction->setObjectName(QStringLiteral("copyAction"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction, &QAction::triggered, this, &TfrmMain::onCopyTriggered);

    verifyAction = new QAction(QStringLiteral("Verify"), this);
    verifyAction->setObjectName(QStringLiteral("verifyAction"));
    verifyAction->setToolTip(QStringLiteral("Read every byte of the selected files (all files when none is "
                                            "selected) for damage and changes"));
    connect(verifyAction, &QAction::triggered, this, &TfrmMain::onVerifyTriggered);

    openFolderAction = new QAction(QStringLiteral("Open containing folder"), this);
    openFolderAction->setObjectName(QStringLiteral("openFolderAction"));
    connect(openFolderAction, &QAction::triggered, this, &TfrmMain::onOpenFolderTriggered);

    showInFileManagerAction = new QAction(QStringLiteral("Show in file manager"), this);
    showInFileManagerAction->setObjectName(QStringLiteral("showInFileManagerAction"));
    connect(showInFileManagerAction, &QAction::triggered, this, &TfrmMain::onShowInFileManagerTriggered);

    findAction = new QAction(QStringLiteral("Find"), this);
    findAction->setObjectName(QStringLiteral("findAction"));
    findAction->setShortcut(QKeySequence::Find);
    connect(findAction, &QAction::triggered, this, [this] {
        filterEdit->setFocus(Qt::ShortcutFocusReason);
        filterEdit->selectAll();
    });

    settingsAction = new QAction(QStringLiteral("Settings"), this);
    settingsAction->setObjectName(QStringLiteral("settingsAction"));
    connect(settingsAction, &QAction::triggered, this, &TfrmMain::onSettingsTriggered);
    exitAction = new QAction(QStringLiteral("Exit"), this);
    exitAction->setObjectName(QStringLiteral("exitAction"));
    exitAction->setShortcut(QKeySequence::Quit);
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    aboutAction = new QAction(QStringLiteral("About"), this);
    aboutAction->setObjectName(QStringLiteral("aboutAction"));
    connect(aboutAction, &QAction::triggered, this, &TfrmMain::onAboutTriggered);
    createCheckActions();
}

void TfrmMain::createComponents() {
    setWindowTitle(QStringLiteral("Sondaro"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/sondaro.svg")));
    setAcceptDrops(true);
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
    listView->setTextElideMode(Qt::ElideRight);
    listView->header()->setSectionsClickable(true);
    listView->header()->setSectionsMovable(false);
    listView->header()->setStretchLastSection(false);
    listView->header()->setSortIndicatorShown(true);
    listView->header()->setSortIndicator(-1, Qt::AscendingOrder);
    QFont listFont = listView->font();
    listFont.setPixelSize(kListFontPixels);
    listView->setFont(listFont);
    listView->viewport()->installEventFilter(this);
    listView->addAction(copyAction);
    connect(listView->header(), &QHeaderView::sectionClicked, this, &TfrmMain::onHeaderClicked);
    connect(listView, &QAbstractItemView::doubleClicked, this, [this] { onListDoubleClicked(); });
    connect(listView->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TfrmMain::onCurrentRowChanged);
    splitter->setStretchFactor(1, 1);

    listMenu = new QMenu(this);
    listMenu->addAction(copyAction);
    listMenu->addAction(openFolderAction);
    listMenu->addAction(showInFileManagerAction);
    listMenu->addSeparator();
    listMenu->addAction(verifyAction);
    listMenu->addAction(exportAction);
    if (checkSelectedAction) {
        listMenu->addSeparator();
        listMenu->addAction(checkSelectedAction);
        listMenu->addAction(checkAllAction);
        listMenu->addAction(spectrogramAction);
    }
    listView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(listView, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        onListMenuAboutToShow();
        listMenu->exec(listView->viewport()->mapToGlobal(point));
    });

    // Toolbar: open, stop, export and the filter.
    QToolBar* toolBar = addToolBar(QStringLiteral("Main"));
    toolBar->setObjectName(QStringLiteral("mainToolBar"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->addAction(openAction);
    toolBar->addAction(stopAction);
    toolBar->addAction(exportAction);
    toolBar->addSeparator();
    filterEdit = new QLineEdit(toolBar);
    filterEdit->setObjectName(QStringLiteral("filterEdit"));
    filterEdit->setPlaceholderText(QStringLiteral("Filter (Ctrl+F): words in any column"));
    filterEdit->setClearButtonEnabled(true);
    filterEdit->setMaximumWidth(320);
    toolBar->addWidget(filterEdit);
    filterCount = new QLabel(toolBar);
    filterCount->setContentsMargins(8, 0, 0, 0);
    toolBar->addWidget(filterCount);
    connect(filterEdit, &QLineEdit::textChanged, this, &TfrmMain::onFilterChanged);

    // The detail panel of the current row.
    detailDock = new QDockWidget(QStringLiteral("Details"), this);
    detailDock->setObjectName(QStringLiteral("detailDock"));
    detailView = new QTextEdit(detailDock);
    detailView->setObjectName(QStringLiteral("detailView"));
    detailView->setReadOnly(true);
    detailView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    detailView->setPlaceholderText(QStringLiteral("Select a file to see everything known about it."));
    detailDock->setWidget(detailView);
    addDockWidget(Qt::BottomDockWidgetArea, detailDock);
    resizeDocks({detailDock}, {170}, Qt::Vertical);

    // Status bar: four panels, then the progress of a scan and notices.
    for (int i = 0; i < 4; ++i) {
        statusPanels[i] = new QLabel(this);
        statusPanels[i]->setMinimumWidth(kStatusPanelWidths[i]);
        statusBar()->addWidget(statusPanels[i]);
    }
    setStatusTexts(StartupStatusTexts());
    progressLabel = new QLabel(this);
    progressLabel->setObjectName(QStringLiteral("progressLabel"));
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setMaximumWidth(160);
    progressBar->setTextVisible(false);
    noticeLabel = new QLabel(this);
    noticeLabel->setObjectName(QStringLiteral("noticeLabel"));
    noticeButton = new QToolButton(this);
    noticeButton->setObjectName(QStringLiteral("noticeButton"));
    noticeButton->setText(QStringLiteral("Open report"));
    connect(noticeButton, &QToolButton::clicked, this, [this] { Desktop().OpenFile(noticePath_); });
    statusBar()->addPermanentWidget(progressLabel, 1);
    statusBar()->addPermanentWidget(progressBar);
    statusBar()->addPermanentWidget(noticeLabel);
    statusBar()->addPermanentWidget(noticeButton);
    progressLabel->hide();
    progressBar->hide();
    noticeLabel->hide();
    noticeButton->hide();
    noticeTimer.setSingleShot(true);
    noticeTimer.setInterval(kNoticeMs);
    connect(&noticeTimer, &QTimer::timeout, this, [this] {
        noticeLabel->hide();
        noticeButton->hide();
    });

    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->addAction(openAction);
    fileMenu->addAction(stopAction);
    fileMenu->addAction(exportAction);
    fileMenu->addAction(verifyAction);
    fileMenu->addSeparator();
    fileMenu->addAction(settingsAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);
    QMenu* editMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    editMenu->addAction(copyAction);
    editMenu->addAction(findAction);
    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* detailsAction = detailDock->toggleViewAction();
    detailsAction->setShortcut(Qt::Key_F9);
    viewMenu->addAction(detailsAction);
    QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    helpMenu->addAction(aboutAction);
    addAction(findAction);

    scanTimer.setInterval(kScanTimerMs);
    connect(&scanTimer, &QTimer::timeout, this, [this] {
        showNewRows(true);
        updateProgress();
        if (verifyChanged_) {
            verifyChanged_ = false;
            listModel->refreshRows();
            onCurrentRowChanged();
        }
    });
    fadeOutTimer.setInterval(kFadeIntervalMs);
    fadeInTimer.setInterval(kFadeIntervalMs);
    connect(&fadeOutTimer, &QTimer::timeout, this, &TfrmMain::onFadeOutTick);
    connect(&fadeInTimer, &QTimer::timeout, this, &TfrmMain::onFadeInTick);
    gestureQuietTimer.setSingleShot(true);
    gestureQuietTimer.setInterval(kGestureQuietMs);
    connect(&gestureQuietTimer, &QTimer::timeout, this, &TfrmMain::onSizeMoveEnded);
    createCheckStatus();
}

void TfrmMain::showError(const QString& text) { Desktop().ShowError(this, text); }

void TfrmMain::showNotice(const QString& text, const QString& openPath) {
    noticeLabel->setText(text);
    noticeLabel->show();
    noticePath_ = openPath;
    noticeButton->setVisible(!openPath.isEmpty());
    noticeTimer.start();
}

QString TfrmMain::noticeText() const { return noticeLabel->isHidden() ? QString() : noticeLabel->text(); }

// ---- Settings ---------------------------------------------------------------

void TfrmMain::readSettings() {
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
    splitter->setSizes({settings_.FolderTree, std::max(1, p.Width - settings_.FolderTree)});
}

void TfrmMain::storeColumnWidths() {
    const std::vector<int>& tags = list_.Columns();
    for (std::size_t i = 0; i < tags.size() && static_cast<int>(i) < listModel->columnCount(); ++i)
        ColumnOfTag(settings_.Columns, tags[i]).Width = listView->header()->sectionSize(static_cast<int>(i));
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
    storeColumnWidths();
    shownColumns_ = settings_.Columns;
    if (relativePaths_ && settings_.RelativePathAuto) shownColumns_[kColRelativePath].Visible = true;
    const std::vector<int> tags = ::BuildColumns(shownColumns_);
    for (int record = 0; record < kColumnCount; ++record) settings_.Columns[record].Index = shownColumns_[record].Index;
    list_.SetColumns(tags);
    QStringList captions;
    for (int tag : tags) captions << FromStd(ColumnOfTag(settings_.Columns, tag).Caption);
    listModel->setColumns(captions, tags);
    for (std::size_t i = 0; i < tags.size(); ++i)
        listView->header()->resizeSection(static_cast<int>(i), ColumnOfTag(settings_.Columns, tags[i]).Width);
    listView->header()->setSortIndicator(-1, Qt::AscendingOrder);
}

void TfrmMain::onHeaderClicked(int column) {
    showNewRows(true);
    ::ListViewColumnClick(sortState_, column);
    listModel->sortRows(sortState_, NumericColumns(shownColumns_));
    listView->header()->setSortIndicator(column, sortState_.Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TfrmMain::appendAnalysedItem(std::unique_ptr<TAudioItem> item) {
    if (list_.AppendItem(std::move(item))) showNewRows(!isBusy());
}

void TfrmMain::showNewRows(bool force) {
    if (!force && rowBatch_.isValid() && rowBatch_.elapsed() < kRowBatchMs) return;
    listModel->syncRows();
    rowBatch_.start();
    updateProgress();
    if (listModel->filter().isEmpty()) {
        filterCount->clear();
    } else {
        const QLocale locale;
        filterCount->setText(QStringLiteral("%1 of %2 rows")
                                 .arg(locale.toString(listModel->rowCount()), locale.toString(listModel->totalRows())));
    }
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

void TfrmMain::onFilterChanged(const QString& text) {
    listModel->setFilter(text);
    showNewRows(true);
}

std::vector<const TListRow*> TfrmMain::shownRows() const {
    std::vector<const TListRow*> rows;
    rows.reserve(listModel->rowCount());
    for (int r = 0; r < listModel->rowCount(); ++r) rows.push_back(&listModel->rowAt(r));
    return rows;
}

std::vector<const TListRow*> TfrmMain::selectedRows() const {
    QModelIndexList selected = listView->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<const TListRow*> rows;
    for (const QModelIndex& index : selected) rows.push_back(&listModel->rowAt(index.row()));
    return rows;
}

const TAudioItem* TfrmMain::currentItem() const {
    const std::vector<const TListRow*> rows = selectedRows();
    if (!rows.empty()) return rows.front()->Item;
    const QModelIndex current = listView->currentIndex();
    return current.isValid() ? listModel->rowAt(current.row()).Item : nullptr;
}

QString TfrmMain::selectedRowsText() const {
    const std::vector<const TListRow*> rows = selectedRows();
    if (rows.empty()) return {};
    std::vector<std::string> captions;
    for (const QString& caption : listModel->captions()) captions.push_back(ToStd(caption));
    std::ostringstream out;
    WriteSeparated(out, captions, rows, false);
    return FromStd(out.str());
}

void TfrmMain::onCopyTriggered() {
    const QString text = selectedRowsText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void TfrmMain::onOpenFolderTriggered() {
    if (const TAudioItem* item = currentItem()) Desktop().OpenFolder(FromStd(item->Folder));
}

void TfrmMain::onShowInFileManagerTriggered() {
    if (const TAudioItem* item = currentItem()) Desktop().ShowFileInFileManager(FromStd(item->FullPath));
}

void TfrmMain::onCurrentRowChanged() {
    const QModelIndex current = listView->currentIndex();
    if (!current.isValid()) {
        detailView->clear();
        return;
    }
    const TAudioItem* item = listModel->rowAt(current.row()).Item;
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\">");
    for (const auto& [label, value] : DetailFields(*item))
        html += QStringLiteral("<tr><td style=\"color:#555\">%1</td><td>&nbsp;&nbsp;</td><td>%2</td></tr>")
                    .arg(label.toHtmlEscaped(), value.toHtmlEscaped());
    html += QStringLiteral("</table>");
    detailView->setHtml(html);
}

QString TfrmMain::detailText() const { return detailView->toPlainText(); }

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    // The full text of a cell whose text does not fit its column.
    if (watched == listView->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = listView->indexAt(help->pos());
        const QString text = index.isValid() ? listModel->text(index.row(), index.column()) : QString();
        const QRect rect = listView->visualRect(index);
        // The Health cell lists every finding, one a line, when there are any.
        const std::vector<int>& tags = listModel->tags();
        if (index.isValid() && index.column() < static_cast<int>(tags.size()) && tags[index.column()] == kColHealth) {
            const THealth& health = listModel->rowAt(index.row()).Item->Health;
            if (!health.empty()) {
                QStringList lines;
                for (const std::string& finding : HealthTexts(health)) lines << FromStd(finding);
                QToolTip::showText(help->globalPos(), lines.join(QLatin1Char('\n')), listView->viewport(), rect);
                return true;
            }
        }
        const int margin = listView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, listView) + 1;
        if (!text.isEmpty() && listView->fontMetrics().horizontalAdvance(text) > rect.width() - 2 * margin)
            QToolTip::showText(help->globalPos(), text, listView->viewport(), rect);
        else
            QToolTip::hideText();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::onListMenuAboutToShow() {
    showNewRows(true);
    const bool selection = !selectedRows().empty();
    exportAction->setEnabled(listModel->rowCount() > 0);
    verifyAction->setEnabled(listModel->rowCount() > 0 && !isBusy() && !isVerifying());
    copyAction->setEnabled(selection);
    openFolderAction->setEnabled(selection);
    showInFileManagerAction->setEnabled(selection);
    if (checkSelectedAction) {
        checkSelectedAction->setEnabled(selection);
        checkAllAction->setEnabled(listModel->rowCount() > 0);
        spectrogramAction->setEnabled(currentItem() != nullptr);
    }
}

// ---- Export -----------------------------------------------------------------

QString TfrmMain::reportFolder() const {
    if (!scanFolder_.isEmpty()) return scanFolder_;
    const QString selected = selectedPath();
    return selected.isEmpty() ? QDir::homePath() : selected;
}

void TfrmMain::onExportTriggered() {
    showNewRows(true);
    if (listModel->rowCount() == 0) return;
    const QStringList filters{QStringLiteral("HTML report (*.html)"), QStringLiteral("CSV (*.csv)"),
                              QStringLiteral("JSON (*.json)")};
    QString filter = filters[0];
    const QString proposed = QDir(reportFolder()).filePath(QString::fromLatin1(kReportFileName));
    const QString path = Desktop().AskSavePath(this, proposed, filters, &filter);
    if (path.isEmpty()) return;
    writeReport(path, filter);
}

void TfrmMain::writeReport(const QString& path, const QString& filter) {
    // The file's extension decides the format; without a known one, the chosen file type.
    QString kind = QFileInfo(path).suffix().toLower();
    if (kind == QLatin1String("htm")) kind = QStringLiteral("html");
    if (kind != QLatin1String("html") && kind != QLatin1String("csv") && kind != QLatin1String("json"))
        kind = filter.contains(QLatin1String("*.csv"))    ? QStringLiteral("csv")
               : filter.contains(QLatin1String("*.json")) ? QStringLiteral("json")
                                                          : QStringLiteral("html");
    const std::vector<const TListRow*> rows = shownRows();
    TStatusTexts status;
    const TAnalysisTotals totals = TotalsOf(rows, status);
    std::vector<std::string> captions;
    for (const QString& caption : listModel->captions()) captions.push_back(ToStd(caption));

    std::string bytes;
    if (kind == QLatin1String("html")) {
        TReportInput input;
        input.Folder = ToStd(QDir::toNativeSeparators(reportFolder()));
        for (int c = 0; c < listModel->columnCount(); ++c)
            input.Columns.push_back({captions[c], listView->header()->sectionSize(c),
                                     listModel->tags()[c] == kColHealth});
        for (const TListRow* row : rows) {
            input.Rows.push_back(&row->Texts);
            input.Items.push_back(row->Item);
        }
        input.Totals = totals;
        bytes = EncodeReport(HtmlReportLines(input));
    } else {
        std::ostringstream out;
        if (kind == QLatin1String("csv")) WriteSeparated(out, captions, rows, true);
        else WriteJson(out, rows, failures_, totals, status);
        bytes = out.str();
    }

    // Written beside the target and renamed over it at the end, so a failed
    // export leaves neither a half-written report nor a damaged earlier one.
    // A link or anything else under the chosen name is not written through.
    const QFileInfo target(path);
    if (target.isSymLink() || (target.exists() && !target.isFile())) {
        showError(QStringLiteral("Cannot create file \"%1\". It exists and is not a regular file").arg(path));
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        showError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
        return;
    }
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (!file.commit()) {
        showError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, file.errorString()));
        return;
    }
    showNotice(QStringLiteral("Report written to %1").arg(QDir::toNativeSeparators(path)), path);
}

// ---- auCDtect ---------------------------------------------------------------

void TfrmMain::onListDoubleClicked() {
    const TAudioItem* item = currentItem();
    if (!item || item->FileType != "WAV") return;
    runAuCDtect(*item);
}

void TfrmMain::runAuCDtect(const TAudioItem& item) {
    const QString exeFolder = QFileInfo(options_.executablePath).absolutePath();
    const QString toolName = QString::fromLatin1(kAuCDtectName);
    QString tool = QDir(exeFolder).filePath(toolName);
    const bool beside = QFileInfo(tool).isFile();
#ifdef _WIN32
    if (!beside) tool.clear();
#else
    if (!beside) tool = QStandardPaths::findExecutable(toolName);
#endif
    if (tool.isEmpty()) {
        const QString missing =
            QStringLiteral("A double click on a WAV file checks it with auCDtect, which was not "
                           "found.\n\nPut the program \"%1\" in\n%2\nor in a folder on the PATH.")
                .arg(toolName, QDir::toNativeSeparators(exeFolder));
        // Without the outside checker, the built-in check is offered instead.
        if (!offerOriginCheck(item, missing)) Desktop().ShowMessage(this, QStringLiteral("auCDtect not found"), missing);
        return;
    }
    QString script;
    try {
        if (beside) {
            script = FromStd(WriteAuCDtectScript(ToStd(QDir::toNativeSeparators(exeFolder)), item.FullPath));
        } else {
            // A tool found on the PATH: the script goes to the user's data folder.
            const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
            QDir().mkpath(folder);
            script = QDir(folder).filePath(QString::fromLatin1(kAuCDtectScriptName));
            QSaveFile file(script);
            const std::string text = AuCDtectScript(ToStd(tool), item.FullPath);
            if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), static_cast<qint64>(text.size())) < 0 ||
                !file.commit())
                throw std::runtime_error(
                    ToStd(QStringLiteral("Cannot create file \"%1\". %2").arg(script, file.errorString())));
        }
    } catch (const std::exception& e) {
        showError(FromStd(e.what()));
        return;
    }
    if (!Desktop().RunInTerminal(script))
        Desktop().ShowMessage(this, QStringLiteral("No terminal program"),
                              QStringLiteral("auCDtect runs in a terminal window, but no terminal program was "
                                             "found.\n\nInstall one of x-terminal-emulator, gnome-terminal, konsole, "
                                             "xfce4-terminal, mate-terminal, lxterminal or xterm."));
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
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) folderTree->expand(parent);
    folderTree->setCurrentIndex(index);
    folderTree->scrollTo(index);
}

// A new selection cancels a running scan and starts its own at once.
void TfrmMain::onFolderSelected() { scanSelected(isLeftCtrlDown()); }

void TfrmMain::scanSelected(bool invert) {
    const QString path = selectedPath();
    if (path.isEmpty()) return;
    scanFolder(path, invert != settings_.RecursiveScanning);
}

void TfrmMain::onOpenTriggered() {
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Open Folder"), reportFolder());
    if (folder.isEmpty()) return;
    openPaths({folder});
}

void TfrmMain::scanFolder(const QString& path, bool recursive) {
    const std::string folder = ToStd(path);
    if (!FolderExists(folder)) return;
    settings_.LastFolder = folder;
    startScan(FolderLister(folder, recursive), QStringLiteral("Sondaro - ") + path, path, recursive);
}

void TfrmMain::loadPlaylist(const QString& playlist) {
    const std::string path = ToStd(playlist);
    startScan(PlaylistLister(path), QStringLiteral("Sondaro - ") + playlist, FromStd(FolderOf(path)), true);
}

void TfrmMain::openPaths(const QStringList& paths) {
    if (paths.isEmpty()) return;
    if (paths.size() == 1) {
        const QString path = QDir::toNativeSeparators(paths.front());
        if (QFileInfo(path).isDir()) {
            treeChangeAttached_ = false;
            browseTo(path);
            treeChangeAttached_ = true;
            scanFolder(path, settings_.RecursiveScanning);
            return;
        }
        if (IsPlaylistPath(ToStd(path))) {
            loadPlaylist(path);
            return;
        }
    }
    // Several items, or one audio file: each folder (recursive as set), playlist
    // and supported file, in the order given.
    std::vector<std::string> items;
    for (const QString& path : paths) items.push_back(ToStd(QDir::toNativeSeparators(path)));
    const bool recursive = settings_.RecursiveScanning;
    TScanLister lister = [items, recursive](const TScanAdd& add) {
        bool going = true;
        const TScanAdd guarded = [&](const std::string& root, const std::string& path) {
            return going = going && add(root, path);
        };
        for (const std::string& item : items) {
            if (FolderExists(item)) FolderLister(item, recursive)(guarded);
            else if (IsPlaylistPath(item)) PlaylistLister(item)(guarded);
            else if (RegularFileExists(item) && IsSupportedFile(item)) guarded(FolderOf(item), item);
            if (!going) return;
        }
    };
    const QString title = paths.size() == 1 ? QDir::toNativeSeparators(paths.front())
                                            : QStringLiteral("%1 dropped items").arg(paths.size());
    startScan(std::move(lister), QStringLiteral("Sondaro - ") + title, FromStd(FolderOf(items.front())), true);
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    openPaths(paths);
}

void TfrmMain::startScan(TScanLister lister, const QString& title, const QString& reportFolder, bool relativePaths) {
    if (engine_) {
        ++scanGeneration_;
        retireEngine();
    }
    // A verify pass and a check work on the rows about to go: they end first.
    if (verify_) finishVerify(true);
    stopCheck();
    // The view lets go of the rows before they go.
    listModel->clearRows();
    list_.Clear();
    relativePaths_ = relativePaths;
    buildColumns();
    detailView->clear();
    failures_.clear();
    setStatusTexts(BareStatusTexts());
    setWindowTitle(title);
    scanFolder_ = reportFolder;

    engine_ = std::make_unique<TScanEngine>(options_.workers);
    cacheInScan_ = false;
#ifdef SONDARO_HAVE_CACHE
    if (settings_.ResultsCache) {
        if (!cache_) {
            cache_ = std::make_unique<TResultCache>([](const std::string& message) {
                std::cerr << "sondaro: " + message + "\n";
            });
            cache_->Open(options_.cachePath.isEmpty() ? TResultCache::DefaultPath() : ToStd(options_.cachePath));
        }
        cacheInScan_ = cache_->IsOpen();
        if (cacheInScan_) engine_->SetResultStore(cache_.get());
    }
#endif
    const int generation = ++scanGeneration_;
    // Called on an engine thread: the results are taken on the window's.
    engine_->Start(
        std::move(lister),
        [this, generation] {
            QMetaObject::invokeMethod(this, [this, generation] { onScanReady(generation); }, Qt::QueuedConnection);
        },
        LowerThreadPriority);
    scanClock_.start();
    rowBatch_.start();
    showWorkProgress();
}

// A scan or a verify pass under way: Stop and the busy progress bar.
void TfrmMain::showWorkProgress() {
    stopAction->setEnabled(true);
    progressBar->setRange(0, 0);
    progressLabel->show();
    progressBar->show();
    updateProgress();
    scanTimer.start();
}

void TfrmMain::onScanReady(int generation) {
    if (generation != scanGeneration_ || !engine_) return;
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        TScanBatch batch = engine_->TakeReady(kTakeBatch);
        for (TScanOutput& output : batch.Outputs) {
#ifdef SONDARO_HAVE_CACHE
            if (cacheInScan_ && output.Item && output.HasStamp && !output.FromStore)
                cache_->Store(output.Path, output.Stamp, *output.Item);
#endif
            if (output.Item) list_.AppendItem(std::move(output.Item));
            else if (!output.Error.empty()) failures_.push_back(FailureOf(output.Path, output.Error));
        }
        if (batch.Finished) {
            finishScan(false);
            return;
        }
        if (!batch.More) break;
        // More is ready: serve the window's events first and come back.
        if (slice.elapsed() >= kAppendSliceMs) {
            QMetaObject::invokeMethod(this, [this, generation] { onScanReady(generation); }, Qt::QueuedConnection);
            break;
        }
    }
    showNewRows(false);
}

void TfrmMain::updateProgress() {
    if (verify_ && !engine_) {
        const QLocale locale;
        progressLabel->setText(QStringLiteral("Verifying %1 of %2 files")
                                   .arg(locale.toString(static_cast<qulonglong>(verify_->Done.load())),
                                        locale.toString(static_cast<qulonglong>(verify_->Jobs.size()))));
        progressBar->setRange(0, static_cast<int>(std::min<std::size_t>(verify_->Jobs.size(), INT_MAX)));
        progressBar->setValue(static_cast<int>(std::min<std::size_t>(verify_->Done.load(), INT_MAX)));
        return;
    }
    if (!engine_) return;
    const TScanProgress progress = engine_->Progress();
    const QLocale locale;
    const double seconds = std::max(0.001, scanClock_.elapsed() / 1000.0);
    QString folder = FromStd(progress.Folder);
    if (folder.size() > kProgressFolderChars) folder = QStringLiteral("...") + folder.right(kProgressFolderChars - 3);
    progressLabel->setText(QStringLiteral("Scanning %1 files, %2 files/s   %3")
                               .arg(locale.toString(static_cast<qulonglong>(progress.Delivered)),
                                    locale.toString(qRound64(progress.Delivered / seconds)), folder));
    if (progress.Listed > 0) {
        progressBar->setRange(0, static_cast<int>(std::min<std::size_t>(progress.Listed, INT_MAX)));
        progressBar->setValue(static_cast<int>(std::min<std::size_t>(progress.Delivered, INT_MAX)));
    }
}

QString TfrmMain::progressText() const { return progressLabel->isHidden() ? QString() : progressLabel->text(); }

void TfrmMain::finishScan(bool cancelled) {
    ++scanGeneration_;   // results already on their way are dropped
    retireEngine();
#ifdef SONDARO_HAVE_CACHE
    if (cacheInScan_) cache_->Flush();
#endif
    cacheInScan_ = false;
    scanTimer.stop();
    showNewRows(true);
    stopAction->setEnabled(false);
    progressLabel->hide();
    progressBar->hide();
    setStatusTexts(list_.ShowTotals());
    if (cancelled) {
        showNotice(QStringLiteral("Scan stopped after %1 files").arg(QLocale().toString(list_.Rows().size())));
        return;
    }
    reportFailures(failures_);
}

void TfrmMain::retireEngine() {
    if (engine_) {
        engine_->Cancel();
        retired_.push_back(std::move(engine_));
    }
    std::erase_if(retired_, [](const std::unique_ptr<TScanEngine>& engine) { return engine->Stopped(); });
}

void TfrmMain::cancelScan() {
    if (engine_) finishScan(true);
}

void TfrmMain::onStopTriggered() {
    cancelScan();
    if (verify_) finishVerify(true);
    cancelCheck();
}

// ---- Verify -----------------------------------------------------------------

void TfrmMain::verifyRows() {
    showNewRows(true);
    if (isBusy() || isVerifying()) return;
    std::vector<const TListRow*> rows = selectedRows();
    if (rows.empty()) rows = shownRows();
    if (rows.empty()) return;
    auto run = std::make_unique<TVerifyRun>();
    const TListRow* first = list_.Rows().data();
    for (const TListRow* row : rows)
        run->Jobs.push_back({static_cast<std::size_t>(row - first), *row->Item});
    const int generation = ++verifyGeneration_;
    TVerifyRun* state = run.get();
    // The thread reads only its own copies; results reach the window queued.
    state->Thread = std::thread([this, state, generation] {
        LowerThreadPriority();
        TFormatReaders readers;
        for (TVerifyRun::Job& job : state->Jobs) {
            if (state->Cancel) return;
            try {
                VerifyItem(readers, job.Item);
            } catch (const std::exception&) {
                // A file gone or locked since the scan keeps what the scan found.
            }
            const std::size_t row = job.Row;
            const THealth health = job.Item.Health;
            QMetaObject::invokeMethod(
                this, [this, generation, row, health] { onVerified(generation, row, health); }, Qt::QueuedConnection);
            ++state->Done;
        }
        QMetaObject::invokeMethod(
            this, [this, generation] { if (generation == verifyGeneration_ && verify_) finishVerify(false); },
            Qt::QueuedConnection);
    });
    verify_ = std::move(run);
    verifyAction->setEnabled(false);
    showWorkProgress();
}

void TfrmMain::onVerified(int generation, std::size_t row, const THealth& health) {
    if (generation != verifyGeneration_ || !verify_) return;
    if (!health.empty()) ++verify_->WithFindings;
    list_.SetHealth(row, health);
    verifyChanged_ = true;
}

void TfrmMain::finishVerify(bool cancelled) {
    ++verifyGeneration_;   // results on their way are dropped
    const std::size_t done = verify_->Done;
    const std::size_t findings = verify_->WithFindings;
    verify_.reset();       // stops and joins the thread
    scanTimer.stop();
    listModel->refreshRows();
    onCurrentRowChanged();
    verifyChanged_ = false;
    verifyAction->setEnabled(true);
    stopAction->setEnabled(false);
    progressLabel->hide();
    progressBar->hide();
    const QLocale locale;
    const QString files = locale.toString(static_cast<qulonglong>(done)) +
                          (done == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
    if (cancelled)
        showNotice(QStringLiteral("Verify stopped after %1").arg(files));
    else
        showNotice(QStringLiteral("Verified %1: %2 with findings")
                       .arg(files, locale.toString(static_cast<qulonglong>(findings))));
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
    TStartTarget target;
    if (options_.argument.isEmpty()) {
        // Where the last session ended, else the user's home folder.
        target.Folder = FolderExists(settings_.LastFolder) ? settings_.LastFolder
                                                           : ToStd(QDir::toNativeSeparators(QDir::homePath()));
    } else {
        target = ResolveStartTarget(ToStd(options_.argument));
    }
    browseTo(FromStd(target.Folder));
    treeChangeAttached_ = true;
    if (target.IsPlaylist) {
        loadPlaylist(FromStd(target.Playlist));
        return;
    }
    // invert equals the setting, so the start-up scan covers the folder alone.
    scanSelected(settings_.RecursiveScanning);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    closing_ = true;
    if (verify_) finishVerify(true);
    stopCheck();
    if (engine_) finishScan(true);
    event->accept();
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
