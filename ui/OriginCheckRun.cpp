#include "ui/OriginCheckRun.h"

#include <QMetaObject>
#include <QPointer>

TOriginCheckRun::TOriginCheckRun(std::vector<TAudioItem*> items, unsigned threads, QObject* parent)
    : QObject(parent), items_(std::move(items)), threads_(threads), shares_(items_.size()) {}

TOriginCheckRun::~TOriginCheckRun() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
}

void TOriginCheckRun::cancel() { cancel_ = true; }

double TOriginCheckRun::share() const {
    if (items_.empty()) return 1.0;
    std::lock_guard<std::mutex> guard(shareLock_);
    double sum = 0;
    for (double share : shares_) sum += share;
    return sum / static_cast<double>(items_.size());
}

void TOriginCheckRun::start() {
    if (thread_.joinable()) return;
    TCheckBatch batch;
    for (const TAudioItem* item : items_) batch.Paths.push_back(item->FullPath);
    batch.Threads = threads_;
    batch.Cancel = &cancel_;
    const QPointer<TOriginCheckRun> self(this);
    batch.Progress = [this](std::size_t index, double share) {
        std::lock_guard<std::mutex> guard(shareLock_);
        shares_[index] = share;
    };
    batch.Done = [this, self](std::size_t index, TLosslessReport report) {
        {
            std::lock_guard<std::mutex> guard(shareLock_);
            shares_[index] = 1.0;
        }
        if (report.Error == "Cancelled") return;
        const TOriginCheck check = OriginCheckOf(report);
        // The item is written on the window's thread, where the list reads it.
        QMetaObject::invokeMethod(
            this,
            [this, self, index, check] {
                if (!self || cancel_) return;
                items_[index]->OriginCheck = check;
                ++done_;
                emit itemChecked(items_[index]);
            },
            Qt::QueuedConnection);
    };
    thread_ = std::thread([this, self, batch] {
        RunCheckBatch(batch);
        QMetaObject::invokeMethod(
            this,
            [this, self] {
                if (!self || finished_) return;
                finished_ = true;
                emit finished(cancel_.load());
            },
            Qt::QueuedConnection);
    });
}
