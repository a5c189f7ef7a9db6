// The main window's lossless check: the pop-up menu's "Check Lossless Origin"
// for the selected rows or all rows, run in the background with its progress
// in the status bar, the spectrogram view, and the WAV double-click's offer
// when auCDtect is missing.
#include "ui/Main.h"

#include "core/Columns.h"
#include "ui/Desktop.h"
#include "ui/ListModel.h"

#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>

#ifdef SONDARO_CHECK
#include "ui/OriginCheckRun.h"
#include "ui/SpectrogramView.h"
#endif

namespace {
constexpr int kCheckProgressMs = 200;
}  // namespace

#ifdef SONDARO_CHECK

void TfrmMain::createCheckActions() {
    checkSelectedAction = new QAction(QStringLiteral("Check Lossless Origin"), this);
    checkSelectedAction->setObjectName(QStringLiteral("checkSelectedAction"));
    checkSelectedAction->setToolTip(QStringLiteral("Decode the selected files and look for signs of a lossy source"));
    connect(checkSelectedAction, &QAction::triggered, this, &TfrmMain::onCheckSelectedTriggered);
    checkAllAction = new QAction(QStringLiteral("Check Lossless Origin of All Rows"), this);
    checkAllAction->setObjectName(QStringLiteral("checkAllAction"));
    connect(checkAllAction, &QAction::triggered, this, &TfrmMain::onCheckAllTriggered);
    spectrogramAction = new QAction(QStringLiteral("Spectrogram..."), this);
    spectrogramAction->setObjectName(QStringLiteral("spectrogramAction"));
    connect(spectrogramAction, &QAction::triggered, this, &TfrmMain::onSpectrogramTriggered);
}

// The check's progress beside the scan's, and the detail panel's button.
void TfrmMain::createCheckStatus() {
    checkLabel = new QLabel(this);
    checkLabel->setObjectName(QStringLiteral("checkLabel"));
    checkBar = new QProgressBar(this);
    checkBar->setObjectName(QStringLiteral("checkBar"));
    checkBar->setMaximumWidth(160);
    checkBar->setTextVisible(false);
    checkBar->setRange(0, 1000);
    statusBar()->addPermanentWidget(checkLabel);
    statusBar()->addPermanentWidget(checkBar);
    checkLabel->hide();
    checkBar->hide();
    checkTimer.setInterval(kCheckProgressMs);
    connect(&checkTimer, &QTimer::timeout, this, &TfrmMain::updateCheckProgress);

    auto* panel = new QWidget(detailDock);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(detailView);
    detailSpectrogramButton = new QPushButton(QStringLiteral("Spectrogram..."), panel);
    detailSpectrogramButton->setObjectName(QStringLiteral("detailSpectrogramButton"));
    detailSpectrogramButton->setEnabled(false);
    layout->addWidget(detailSpectrogramButton, 0, Qt::AlignLeft);
    detailDock->setWidget(panel);
    connect(detailSpectrogramButton, &QPushButton::clicked, this, &TfrmMain::onSpectrogramTriggered);
    connect(listView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { detailSpectrogramButton->setEnabled(currentItem() != nullptr); });
}

bool TfrmMain::checkItems(const std::vector<TAudioItem*>& items) {
    if (items.empty()) return true;
    stopCheck();
    // The column is hidden until a check fills it.
    TColumnItem& column = ColumnOfTag(settings_.Columns, kColLosslessCheck);
    if (!column.Visible) {
        column.Visible = true;
        // New columns reset the view: the selection and the current row are kept.
        const QModelIndexList selected = listView->selectionModel()->selectedRows();
        const int current = listView->currentIndex().row();
        buildColumns();
        for (std::size_t row = 0; row < list_.Rows().size(); ++row) list_.RefreshRow(row);
        if (current >= 0) listView->setCurrentIndex(listModel->index(current, 0));
        for (const QModelIndex& index : selected)
            listView->selectionModel()->select(listModel->index(index.row(), 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    checkRun_ = new TOriginCheckRun(items, options_.workers, this);
    connect(checkRun_, &TOriginCheckRun::itemChecked, this, &TfrmMain::onItemChecked);
    connect(checkRun_, &TOriginCheckRun::finished, this, &TfrmMain::finishCheck);
    checkRun_->start();
    stopAction->setEnabled(true);
    checkLabel->show();
    checkBar->show();
    updateCheckProgress();
    checkTimer.start();
    return true;
}

void TfrmMain::onItemChecked(TAudioItem* item) {
    for (std::size_t row = 0; row < list_.Rows().size(); ++row) {
        if (list_.Rows()[row].Item != item) continue;
        list_.RefreshRow(row);
        break;
    }
    listModel->refreshRows();
    if (currentItem() == item) onCurrentRowChanged();
}

void TfrmMain::finishCheck(bool cancelled) {
    if (!checkRun_) return;
    const int done = checkRun_->done(), count = checkRun_->count();
    checkRun_->deleteLater();
    checkRun_ = nullptr;
    checkTimer.stop();
    checkLabel->hide();
    checkBar->hide();
    stopAction->setEnabled(isBusy());
    const QLocale locale;
    showNotice(cancelled ? QStringLiteral("Check stopped after %1 of %2 files").arg(locale.toString(done), locale.toString(count))
                         : QStringLiteral("Checked %1 files").arg(locale.toString(count)));
}

void TfrmMain::stopCheck() {
    if (!checkRun_) return;
    checkRun_->cancel();
    // Deleting it waits for its threads; results still queued die with it.
    delete checkRun_;
    checkRun_ = nullptr;
    checkTimer.stop();
    checkLabel->hide();
    checkBar->hide();
    stopAction->setEnabled(isBusy());
}

void TfrmMain::cancelCheck() {
    if (checkRun_) checkRun_->cancel();
}

void TfrmMain::updateCheckProgress() {
    if (!checkRun_) return;
    checkLabel->setText(QStringLiteral("Checking %1 of %2 files")
                            .arg(QLocale().toString(checkRun_->done() + 1 > checkRun_->count() ? checkRun_->count()
                                                                                               : checkRun_->done() + 1),
                                 QLocale().toString(checkRun_->count())));
    checkBar->setValue(static_cast<int>(checkRun_->share() * 1000));
}

QString TfrmMain::checkProgressText() const {
    return checkLabel && !checkLabel->isHidden() ? checkLabel->text() : QString();
}

void TfrmMain::onCheckSelectedTriggered() {
    showNewRows(true);
    std::vector<TAudioItem*> items;
    for (const TListRow* row : selectedRows()) items.push_back(row->Item);
    checkItems(items);
}

void TfrmMain::onCheckAllTriggered() {
    showNewRows(true);
    std::vector<TAudioItem*> items;
    for (const TListRow* row : shownRows()) items.push_back(row->Item);
    checkItems(items);
}

void TfrmMain::onSpectrogramTriggered() {
    if (const TAudioItem* item = currentItem()) showSpectrogram(*item);
}

void TfrmMain::showSpectrogram(const TAudioItem& item) {
    auto* dialog = new TSpectrogramDialog(QString::fromStdString(item.FullPath), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

bool TfrmMain::offerOriginCheck(const TAudioItem& item, const QString& missingText) {
    const QString question =
        missingText + QStringLiteral("\n\nCheck the file with Sondaro's own lossless check instead? It decodes the "
                                     "file and looks for a lossy encoder's cutoff, upsampling and padded bits.");
    if (Desktop().AskYesNo(this, QStringLiteral("auCDtect not found"), question))
        checkItems({const_cast<TAudioItem*>(&item)});
    return true;
}

#else

void TfrmMain::createCheckActions() {}
void TfrmMain::createCheckStatus() {}
bool TfrmMain::checkItems(const std::vector<TAudioItem*>&) { return false; }
void TfrmMain::onItemChecked(TAudioItem*) {}
void TfrmMain::finishCheck(bool) {}
void TfrmMain::stopCheck() {}
void TfrmMain::cancelCheck() {}
void TfrmMain::updateCheckProgress() {}
QString TfrmMain::checkProgressText() const { return {}; }
void TfrmMain::onCheckSelectedTriggered() {}
void TfrmMain::onCheckAllTriggered() {}
void TfrmMain::onSpectrogramTriggered() {}
void TfrmMain::showSpectrogram(const TAudioItem&) {}
bool TfrmMain::offerOriginCheck(const TAudioItem&, const QString&) { return false; }

#endif
