// TOriginCheckRun: the lossless check of some listed files in the background,
// several at once (one thread per processor), each result handed to the
// window's thread as it comes. Cancel stops every file after its current
// block; a run that is cancelled or destroyed delivers nothing more.
#pragma once

#include "check/ItemCheck.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TOriginCheckRun : public QObject {
    Q_OBJECT
public:
    // items: the items to check; they must outlive the run or be abandoned
    // with cancel() before they go.
    TOriginCheckRun(std::vector<TAudioItem*> items, unsigned threads, QObject* parent = nullptr);
    // Cancels and waits for the threads.
    ~TOriginCheckRun() override;

    void start();
    void cancel();
    bool running() const { return thread_.joinable() && !finished_; }
    int count() const { return static_cast<int>(items_.size()); }
    int done() const { return done_; }
    // Share of the whole run done, 0 to 1 (files done plus the parts of those under way).
    double share() const;

signals:
    // On the window's thread: one item's result is stored in it.
    void itemChecked(TAudioItem* item);
    // On the window's thread, once: every file was checked, or the run was cancelled.
    void finished(bool cancelled);

private:
    std::vector<TAudioItem*> items_;
    unsigned threads_;
    std::atomic<bool> cancel_{false};
    std::thread thread_;
    bool finished_ = false;
    int done_ = 0;
    mutable std::mutex shareLock_;
    std::vector<double> shares_;
};
