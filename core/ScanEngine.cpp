#include "core/ScanEngine.h"

#include "core/Analysis.h"
#include "core/FolderScan.h"
#include "core/Playlists.h"
#include "io/Paths.h"

#include <algorithm>
#include <exception>

unsigned TScanEngine::DefaultWorkers() { return std::max(1u, std::thread::hardware_concurrency()); }

TScanEngine::TScanEngine(unsigned workers, std::size_t window)
    : workerCount_(workers ? workers : DefaultWorkers()), window_(std::max<std::size_t>(1, window)) {}

TScanEngine::~TScanEngine() {
    Cancel();
    if (lister_.joinable()) lister_.join();
    for (std::thread& worker : workers_)
        if (worker.joinable()) worker.join();
}

void TScanEngine::Start(TScanLister lister, std::function<void()> onReady, std::function<void()> threadStart) {
    onReady_ = std::move(onReady);
    started_ = workerCount_ + 1;
    for (unsigned i = 0; i < workerCount_; ++i)
        workers_.emplace_back([this, threadStart] {
            if (threadStart) threadStart();
            RunWorker();
            ++exited_;
        });
    lister_ = std::thread([this, threadStart, lister = std::move(lister)] {
        if (threadStart) threadStart();
        RunLister(lister);
        ++exited_;
    });
}

void TScanEngine::Cancel() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        jobs_.clear();
        slots_.clear();
    }
    workCv_.notify_all();
    listCv_.notify_all();
    readyCv_.notify_all();
}

bool TScanEngine::Add(const std::string& root, const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex_);
    listCv_.wait(lock, [&] { return cancelled_ || progress_.Listed - progress_.Delivered < window_; });
    if (cancelled_) return false;
    jobs_.push_back({root, path});
    ++progress_.Listed;
    progress_.Folder = FolderOf(path);
    lock.unlock();
    workCv_.notify_one();
    return true;
}

void TScanEngine::RunLister(const TScanLister& lister) {
    try {
        lister([this](const std::string& root, const std::string& path) { return Add(root, path); });
    } catch (const std::exception&) {
        // A listing that fails part-way keeps what it listed.
    }
    std::unique_lock<std::mutex> lock(mutex_);
    progress_.ListingDone = true;
    workCv_.notify_all();
    // After a cancel the consumer has stopped listening.
    if (!cancelled_) Notify(lock);
}

void TScanEngine::RunWorker() {
    auto readers = std::make_unique<TFormatReaders>();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        workCv_.wait(lock, [&] { return cancelled_ || !jobs_.empty() || progress_.ListingDone; });
        if (cancelled_ || jobs_.empty()) return;
        TJob job = std::move(jobs_.front());
        jobs_.pop_front();
        TScanOutput output;
        output.Index = nextJob_++;
        output.Path = job.Path;
        lock.unlock();

        try {
            output.Item = AnalyseFile(*readers, job.Root, job.Path);
        } catch (const std::exception& e) {
            output.Error = e.what();
            if (output.Error.empty()) output.Error = "Cannot read file \"" + job.Path + "\".";
        }

        lock.lock();
        if (cancelled_) return;
        ++progress_.Analysed;
        const std::size_t slot = output.Index - progress_.Delivered;
        if (slots_.size() <= slot) slots_.resize(slot + 1);
        slots_[slot] = std::move(output);
        if (slot == 0) Notify(lock);
    }
}

// Called with the lock held; returns with it held.
void TScanEngine::Notify(std::unique_lock<std::mutex>& lock) {
    readyCv_.notify_all();
    if (!notifyArmed_ || !onReady_) return;
    notifyArmed_ = false;
    lock.unlock();
    onReady_();
    lock.lock();
}

bool TScanEngine::FinishedLocked() const {
    return cancelled_ || (progress_.ListingDone && progress_.Delivered == progress_.Listed);
}

bool TScanEngine::ReadyLocked() const { return !slots_.empty() && slots_.front().has_value(); }

TScanBatch TScanEngine::TakeLocked(std::size_t max) {
    TScanBatch batch;
    while (ReadyLocked() && batch.Outputs.size() < max) {
        batch.Outputs.push_back(std::move(*slots_.front()));
        slots_.pop_front();
        ++progress_.Delivered;
    }
    batch.More = ReadyLocked();
    batch.Finished = FinishedLocked();
    notifyArmed_ = true;
    return batch;
}

TScanBatch TScanEngine::TakeReady(std::size_t max) {
    TScanBatch batch;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        batch = TakeLocked(max);
    }
    if (!batch.Outputs.empty()) listCv_.notify_one();
    return batch;
}

TScanBatch TScanEngine::WaitReady(std::size_t max) {
    TScanBatch batch;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        readyCv_.wait(lock, [&] { return ReadyLocked() || FinishedLocked(); });
        batch = TakeLocked(max);
    }
    if (!batch.Outputs.empty()) listCv_.notify_one();
    return batch;
}

TScanProgress TScanEngine::Progress() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

TScanLister FolderLister(const std::string& path, bool recursive) {
    return [path, recursive](const TScanAdd& add) {
        bool stopped = false;
        TScanCallbacks callbacks;
        callbacks.AnalyseFile = [&](const std::string& root, const std::string& file) {
            if (!stopped && !add(root, file)) stopped = true;
        };
        callbacks.Pending = [&] { return stopped; };
        ScanFolder(path, recursive, callbacks);
    };
}

TScanLister PlaylistLister(const std::string& playlist) {
    return [playlist](const TScanAdd& add) {
        bool stopped = false;
        LoadPlaylist(
            playlist,
            [&](const std::string& root, const std::string& file) {
                if (!stopped && !add(root, file)) stopped = true;
            },
            [&] { return stopped; });
    };
}

void RunScan(const TScanLister& lister, unsigned workers, const std::function<void(TScanOutput&)>& deliver) {
    TScanEngine engine(workers);
    engine.Start(lister);
    for (;;) {
        TScanBatch batch = engine.WaitReady();
        for (TScanOutput& output : batch.Outputs) deliver(output);
        if (batch.Finished) return;
    }
}
