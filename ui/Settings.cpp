#include "ui/Settings.h"

#include <QCheckBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The dragged row's number carried by a drag of the column list, or -1.
int DraggedRow(const QMimeData* data) {
    if (!data || !data->hasFormat(QString::fromLatin1(TColumnListView::kRowMimeType))) return -1;
    bool ok = false;
    const int row = data->data(QString::fromLatin1(TColumnListView::kRowMimeType)).toInt(&ok);
    return ok ? row : -1;
}

QListWidgetItem* RelativePathRow(QListWidget* list) {
    const QList<QListWidgetItem*> found =
        list->findItems(QString::fromLatin1(kColumnDefaults[kColRelativePath].Caption), Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
}

} // namespace

TColumnListView::TColumnListView(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("columnList"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
}

void TColumnListView::setRows(const std::vector<TColumnRow>& rows) {
    clear();
    for (const TColumnRow& row : rows) {
        auto* item = new QListWidgetItem(QString::fromStdString(row.Caption), this);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled);
        item->setCheckState(row.Checked ? Qt::Checked : Qt::Unchecked);
    }
}

std::vector<TColumnRow> TColumnListView::rows() const {
    std::vector<TColumnRow> rows;
    for (int i = 0; i < count(); ++i)
        rows.push_back({item(i)->text().toStdString(), item(i)->checkState() == Qt::Checked});
    return rows;
}

void TColumnListView::moveRow(int from, int to) {
    if (from < 0 || from >= count() || to < 0 || to >= count() || from == to) return;
    // The item itself moves, with its caption and check state.
    QListWidgetItem* moved = takeItem(from);
    insertItem(to, moved);
    setCurrentRow(to);
}

void TColumnListView::dropRow(int dragged, const QPoint& point) {
    const QModelIndex under = indexAt(point);
    // Above the target the row goes before it, below it after it: either way
    // it ends up at the target's index once it has left its own place.
    moveRow(dragged, DropTargetRow(under.isValid() ? under.row() : -1, count()));
}

void TColumnListView::moveCurrentRow(int step) { moveRow(currentRow(), currentRow() + step); }

QStringList TColumnListView::mimeTypes() const { return {QString::fromLatin1(kRowMimeType)}; }

QMimeData* TColumnListView::mimeData(const QList<QListWidgetItem*>& items) const {
    if (items.isEmpty()) return nullptr;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowMimeType), QByteArray::number(row(items.first())));
    return data;
}

// The drop moves the row; unlike the view's own drag, nothing is removed
// afterwards whatever action the platform reports.
void TColumnListView::startDrag(Qt::DropActions) {
    QListWidgetItem* dragged = currentItem();
    if (!dragged) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(mimeData({dragged}));
    drag->exec(Qt::MoveAction);
}

void TColumnListView::dragEnterEvent(QDragEnterEvent* event) {
    // Only rows of this list are accepted.
    const bool ours = DraggedRow(event->mimeData()) >= 0 && (!event->source() || event->source() == this);
    if (ours) event->acceptProposedAction();
    else event->ignore();
}

void TColumnListView::dragMoveEvent(QDragMoveEvent* event) {
    const bool ours = DraggedRow(event->mimeData()) >= 0 && (!event->source() || event->source() == this);
    if (ours) event->acceptProposedAction();
    else event->ignore();
}

void TColumnListView::dropEvent(QDropEvent* event) {
    const int dragged = DraggedRow(event->mimeData());
    if (dragged < 0 || (event->source() && event->source() != this)) {
        event->ignore();
        return;
    }
    dropRow(dragged, event->position().toPoint());
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void TColumnListView::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::AltModifier && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        moveCurrentRow(event->key() == Qt::Key_Up ? -1 : +1);
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

TfrmSettings::TfrmSettings(TSettings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
    setFixedSize(289, 360);

    auto* pages = new QTabWidget(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);

    // General.
    auto* general = new QWidget;
    auto* generalLayout = new QVBoxLayout(general);
    auto* group = new QGroupBox(QStringLiteral("Settings for sane people:"));
    auto* groupLayout = new QVBoxLayout(group);
    integrationCheck = new QCheckBox(QStringLiteral("Integrate into context menu"));
    integrationCheck->setObjectName(QStringLiteral("integrationCheck"));
    integrationCheck->setToolTip(QStringLiteral("Adds a \"View with Sondaro\" command to the file manager's folder menu"));
    fadeCheck = new QCheckBox(QStringLiteral("Nice AlphaBlend Schnickschnack effect"));
    fadeCheck->setObjectName(QStringLiteral("fadeCheck"));
    fadeCheck->setToolTip(QStringLiteral("Only works with a compositing window manager"));
    recursiveCheck = new QCheckBox(QStringLiteral("Recursive scanning"));
    recursiveCheck->setObjectName(QStringLiteral("recursiveCheck"));
    recursiveCheck->setToolTip(
        QStringLiteral("Can be temporarily overridden by holding down CTRL when clicking on a folder"));
    groupLayout->addWidget(integrationCheck);
    groupLayout->addWidget(fadeCheck);
    cacheCheck = new QCheckBox(QStringLiteral("Remember the results of unchanged files"));
    cacheCheck->setObjectName(QStringLiteral("cacheCheck"));
    cacheCheck->setToolTip(QStringLiteral(
        "A file whose path, size, modification time and inode are unchanged since an earlier scan is not read "
        "again; its results come from the results cache"));
    groupLayout->addWidget(recursiveCheck);
    groupLayout->addWidget(cacheCheck);
    generalLayout->addWidget(group);
    generalLayout->addStretch();
    pages->addTab(general, QStringLiteral("General"));

    // Columns.
    columnList = new TColumnListView;
    columnList->setToolTip(QStringLiteral("Drag a row, or press Alt+Up / Alt+Down, to move a column"));
    auto* columns = new QWidget;
    auto* columnsLayout = new QVBoxLayout(columns);
    columnsLayout->addWidget(columnList);
    auto* columnsHint = new QLabel(QStringLiteral("Drag a row, or press Alt+Up / Alt+Down, to move a column. "
                                                  "Relative Path partly checked: shown for recursive scans and "
                                                  "playlists."));
    columnsHint->setWordWrap(true);
    columnsLayout->addWidget(columnsHint);
    pages->addTab(columns, QStringLiteral("Columns"));

    // A decorative page: nothing reads or acts on these controls.
    auto* obecalp = new QWidget;
    auto* obecalpLayout = new QVBoxLayout(obecalp);
    auto* papala = new QGroupBox(QStringLiteral("PapalaPapIHaveToCustomizeEverything"));
    auto* papalaLayout = new QVBoxLayout(papala);
    papalaLayout->addWidget(new QLabel(QStringLiteral("Flux capacity:")));
    papalaLayout->addWidget(new QSpinBox);
    papalaLayout->addWidget(new QCheckBox(QStringLiteral("Reticulate splines")));
    papalaLayout->addWidget(new QCheckBox(QStringLiteral("Polish the bits")));
    papalaLayout->addWidget(new QLabel(QStringLiteral("Enthusiasm:")));
    papalaLayout->addWidget(new QSlider(Qt::Horizontal));
    obecalpLayout->addWidget(papala);
    auto* warp = new QGroupBox(QStringLiteral("W.A.R.P. Engine:"));
    auto* warpLayout = new QVBoxLayout(warp);
    const char* modes[] = {"Impulse scan", "Warp 1 scan", "Transwarp scan", "Quantum slipstream scan"};
    for (const char* mode : modes) warpLayout->addWidget(new QRadioButton(QString::fromLatin1(mode)));
    obecalpLayout->addWidget(warp);
    pages->addTab(obecalp, QStringLiteral("O.B.E.C.A.L.P."));

    // The boxes show the stored switches; only the user's clicks act.
    integrationCheck->setChecked(settings_.Integration);
    fadeCheck->setChecked(settings_.AlphaBlend);
    recursiveCheck->setChecked(settings_.RecursiveScanning);
    cacheCheck->setChecked(settings_.ResultsCache);
    columnList->setRows(ColumnRows(settings_.Columns));
    // Relative Path has a third state: shown for recursive scans and playlists only.
    if (QListWidgetItem* relative = RelativePathRow(columnList)) {
        relative->setFlags(relative->flags() | Qt::ItemIsUserTristate);
        relative->setToolTip(QStringLiteral("Partly checked: shown for recursive scans and playlists"));
        if (settings_.RelativePathAuto && !settings_.Columns[kColRelativePath].Visible)
            relative->setCheckState(Qt::PartiallyChecked);
    }
    connect(integrationCheck, &QCheckBox::toggled, this, &TfrmSettings::folderCommandSwitched);
    connect(fadeCheck, &QCheckBox::toggled, this, &TfrmSettings::fadeSwitched);
}

void TfrmSettings::done(int result) {
    settings_.Integration = integrationCheck->isChecked();
    settings_.AlphaBlend = fadeCheck->isChecked();
    settings_.RecursiveScanning = recursiveCheck->isChecked();
    settings_.ResultsCache = cacheCheck->isChecked();
    if (QListWidgetItem* relative = RelativePathRow(columnList))
        settings_.RelativePathAuto = relative->checkState() == Qt::PartiallyChecked;
    if (columnList->count() == kColumnCount) {
        const TColumnLayout before = settings_.Columns;
        ApplyColumnRows(settings_.Columns, columnList->rows());
        bool changed = false;
        for (int tag = 0; tag < kColumnCount; ++tag)
            changed = changed || before[tag].Pos != settings_.Columns[tag].Pos ||
                      before[tag].Visible != settings_.Columns[tag].Visible;
        if (changed) emit columnsChanged();
    }
    QDialog::done(result);
}
