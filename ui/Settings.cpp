#include "ui/Settings.h"

#include "settings/Integration.h"
#include "ui/Desktop.h"
#include "ui/Main.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

TColumnListView::TColumnListView(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
}

void TColumnListView::SetRows(const std::vector<TColumnRow>& rows) {
    clear();
    for (const TColumnRow& row : rows) {
        auto* item = new QListWidgetItem(QString::fromStdString(row.Caption), this);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled);
        item->setCheckState(row.Checked ? Qt::Checked : Qt::Unchecked);
    }
}

std::vector<TColumnRow> TColumnListView::Rows() const {
    std::vector<TColumnRow> rows;
    for (int i = 0; i < count(); ++i)
        rows.push_back({item(i)->text().toStdString(), item(i)->checkState() == Qt::Checked});
    return rows;
}

void TColumnListView::DropRow(int dragged, const QPoint& point) {
    const QModelIndex under = indexAt(point);
    const int target = DropTargetRow(under.isValid() ? under.row() : -1, count());
    std::vector<TColumnRow> rows = Rows();
    MoveColumnRow(rows, dragged, target);
    SetRows(rows);
    setCurrentRow(target);
}

void TColumnListView::dragEnterEvent(QDragEnterEvent* event) {
    // Only rows of this list are accepted.
    if (event->source() == this) event->acceptProposedAction();
    else event->ignore();
}

void TColumnListView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->source() == this) event->acceptProposedAction();
    else event->ignore();
}

void TColumnListView::dropEvent(QDropEvent* event) {
    if (event->source() != this) {
        event->ignore();
        return;
    }
    DropRow(currentRow(), event->position().toPoint());
    // The move is done here; the view must not remove the dragged row again.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

TfrmSettings::TfrmSettings(TfrmMain* main) : QDialog(main), main_(main) {
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
    chckbxShell = new QCheckBox(QStringLiteral("Integrate into context menu"));
    chckbxShell->setToolTip(QStringLiteral("Adds a \"View with Sondaro\" command to the file manager's folder menu"));
    chckbxAlphaBlend = new QCheckBox(QStringLiteral("Nice AlphaBlend Schnickschnack effect"));
    chckbxAlphaBlend->setToolTip(QStringLiteral("Only works with a compositing window manager"));
    chckbxRecursive = new QCheckBox(QStringLiteral("Recursive scanning"));
    chckbxRecursive->setToolTip(
        QStringLiteral("Can be temporarily overridden by holding down CTRL when clicking on a folder"));
    groupLayout->addWidget(chckbxShell);
    groupLayout->addWidget(chckbxAlphaBlend);
    groupLayout->addWidget(chckbxRecursive);
    generalLayout->addWidget(group);
    generalLayout->addStretch();
    pages->addTab(general, QStringLiteral("General"));

    // Columns.
    TntListView = new TColumnListView;
    pages->addTab(TntListView, QStringLiteral("Columns"));

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

    connect(chckbxShell, &QCheckBox::toggled, this, &TfrmSettings::chckbxShellClick);
    connect(chckbxAlphaBlend, &QCheckBox::toggled, this, &TfrmSettings::chckbxAlphaBlendClick);
    const TSettings& settings = main_->Settings();
    chckbxShell->setChecked(settings.Integration);
    chckbxAlphaBlend->setChecked(settings.AlphaBlend);
    chckbxRecursive->setChecked(settings.RecursiveScanning);
}

void TfrmSettings::FillColumns() { TntListView->SetRows(ColumnRows(main_->Settings().Columns)); }

void TfrmSettings::chckbxShellClick(bool checked) {
    const std::string dataHome = Desktop().DataHome().toStdString();
    try {
        if (checked) InstallFolderCommand(dataHome, main_->ExecutablePath().toStdString());
        else RemoveFolderCommand(dataHome);
    } catch (const std::exception& e) {
        Desktop().ShowError(main_, QString::fromStdString(e.what()));
    }
}

void TfrmSettings::chckbxAlphaBlendClick(bool checked) { main_->SetAlphaBlend(checked); }

void TfrmSettings::done(int result) {
    TSettings& settings = main_->Settings();
    settings.Integration = chckbxShell->isChecked();
    settings.AlphaBlend = chckbxAlphaBlend->isChecked();
    settings.RecursiveScanning = chckbxRecursive->isChecked();
    if (TntListView->count() == kColumnCount) ApplyColumnRows(settings.Columns, TntListView->Rows());
    QDialog::done(result);
}
