#include "core/ScanEngine.h"

#include "core/Analysis.h"
#include "core/FolderScan.h"
#include "core/Playlists.h"
#include "io/Paths.h"

#include <algorithm>
#include <exception>

namespace {

// The bytes prefetched of a file: what its first read takes (the streams'
// buffer), which holds the headers of nearly every format.
constexpr int64_t kPrefetchLength = 64 * 1024;

} // namespace

unsigned TScanEngine::DefaultWorkers() { return std::max(1u, std::thread::hardware_concurrency()); }

TScanEngine::TScanEngine(unsigned workers, std::size_t window)
    : workerCount_(workers ? workers : DefaultWorkers()), window_(std::max<std::size_t>(1, window)) {}

TScanEngine::~TScanEngine() {
    Cancel();
    if (lister_.joinable()) lister_.join();
    for (std::thread& worker : workers_)
        if (worker.joinable()) worker.join();
    // Files prefetched for jobs a cancel dropped are open still.
    ReleasePrefetchedFiles();
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
        readyRun_ = 0;
    }
    workCv_.notify_all();
    listCv_.notify_all();
    readyCv_.notify_all();
}

bool TScanEngine::Add(const std::string& root, const std::string& path) {
    TJob job{0, root, path, {}, false};
    std::unique_ptr<TAudioItem> stored;
    if (store_) {
        job.HasStamp = RegularFileStamp(path, job.Stamp);
        if (job.HasStamp && job.Stamp.Size > 0) stored = store_->Find(path, job.Stamp);
        if (stored) SetItemLocation(*stored, root, path);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cancelled_ && progress_.Listed - progress_.Delivered >= window_) {
        // The window is full: what is ready goes to a blocked consumer now,
        // and the lister goes on once a batch has been taken (not for every
        // file, which would wake both threads per file).
        listerBlocked_ = true;
        if (waiting_ && WaitOverLocked()) readyCv_.notify_all();
        const std::size_t room = std::min(kWaitBatch, window_);
        listCv_.wait(lock, [&] { return cancelled_ || progress_.Listed - progress_.Delivered + room <= window_; });
        listerBlocked_ = false;
    }
    if (cancelled_) return false;
    job.Index = progress_.Listed++;
    progress_.Folder = FolderOf(path);
    if (stored) {
        // Known to the store: done without a worker.
        TScanOutput output;
        output.Index = job.Index;
        output.Root = root;
        output.Path = path;
        output.Item = std::move(stored);
        output.Stamp = job.Stamp;
        output.HasStamp = true;
        output.FromStore = true;
        PlaceLocked(std::move(output), lock);
        return true;
    }
    jobs_.push_back(std::move(job));
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
    if (store_) store_->FinishLookups();
    std::unique_lock<std::mutex> lock(mutex_);
    progress_.ListingDone = true;
    workCv_.notify_all();
    readyCv_.notify_all();
    // After a cancel the consumer has stopped listening.
    if (!cancelled_) Notify(lock);
}

void TScanEngine::RunWorker() {
    auto readers = std::make_unique<TFormatReaders>();
    std::optional<TScanOutput> finished;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // One turn of the lock hands in the last result and takes the next job.
        if (finished) {
            if (cancelled_) return;
            PlaceLocked(std::move(*finished), lock);
            finished.reset();
        }
        workCv_.wait(lock, [&] { return cancelled_ || !jobs_.empty() || progress_.ListingDone; });
        if (cancelled_ || jobs_.empty()) return;
        TJob job = std::move(jobs_.front());
        jobs_.pop_front();
        // The file kPrefetchDistance places behind this one gets its first
        // pages asked for now; by its turn they are in memory.
        std::string prefetch;
        if (jobs_.size() >= kPrefetchDistance) prefetch = jobs_[kPrefetchDistance - 1].Path;
        lock.unlock();

        if (!prefetch.empty()) PrefetchFileStart(prefetch, kPrefetchLength);
        TScanOutput& output = finished.emplace();
        output.Index = job.Index;
        output.Root = std::move(job.Root);
        output.Path = std::move(job.Path);
        output.Stamp = job.Stamp;
        output.HasStamp = job.HasStamp;
        try {
            output.Item = AnalyseFile(*readers, output.Root, output.Path, verify_);
        } catch (const std::exception& e) {
            output.Error = e.what();
            if (output.Error.empty()) output.Error = "Cannot read file \"" + output.Path + "\".";
        }
        lock.lock();
    }
}

// Puts a finished output into its slot; called with the lock held.
void TScanEngine::PlaceLocked(TScanOutput output, std::unique_lock<std::mutex>& lock) {
    ++progress_.Analysed;
    const std::size_t slot = output.Index - progress_.Delivered;
    if (slots_.size() <= slot) slots_.resize(slot + 1);
    slots_[slot] = std::move(output);
    while (readyRun_ < slots_.size() && slots_[readyRun_].has_value()) ++readyRun_;
    // A blocked consumer is woken for a batch, or when nothing more can come
    // without the lister; the polling one whenever the next result is ready.
    if (waiting_ && WaitOverLocked()) readyCv_.notify_all();
    if (slot == 0) Notify(lock);
}

// True when WaitReady should stop waiting.
bool TScanEngine::WaitOverLocked() const {
    if (FinishedLocked()) return true;
    if (readyRun_ == 0) return false;
    // Nothing more comes before these are taken: the listing is over, or the
    // lister waits for room, and every listed file is analysed.
    const bool stalled = (progress_.ListingDone || listerBlocked_) && progress_.Analysed == progress_.Listed;
    return readyRun_ >= kWaitBatch || stalled;
}

// Tells the polling consumer that results are ready. Called with the lock
// held; returns with it held.
void TScanEngine::Notify(std::unique_lock<std::mutex>& lock) {
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
    readyRun_ -= batch.Outputs.size();
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
        waiting_ = true;
        readyCv_.wait(lock, [&] { return WaitOverLocked(); });
        waiting_ = false;
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

void RunScan(const TScanLister& lister, unsigned workers, const std::function<void(TScanOutput&)>& deliver,
             TScanResultStore* store, bool verify) {
    TScanEngine engine(workers);
    engine.SetResultStore(store);
    engine.SetVerify(verify);
    engine.Start(lister);
    for (;;) {
        TScanBatch batch = engine.WaitReady();
        for (TScanOutput& output : batch.Outputs) deliver(output);
        if (batch.Finished) return;
    }
}
