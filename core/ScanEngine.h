// TScanEngine: analyses the files of a scan on worker threads and hands the
// results back in the order the files were listed.
//
// One lister thread walks the folders (or a playlist, or a list of files)
// and queues every file; each worker owns its own TFormatReaders and takes
// the next queued file; finished results wait in a reorder buffer until all
// earlier ones are done, so the consumer sees them in listing order. The
// lister stays at most `window` files ahead of the consumer, which bounds
// the memory of a scan however large the folder. Cancel stops the lister at
// once and the workers after the file under way.
//
// The consumer either polls (TakeReady, woken by the onReady callback, as the
// desktop program does from its event loop) or blocks (WaitReady, RunScan).
#pragma once

#include "core/AnalysisList.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The result of one listed file.
struct TScanOutput {
    std::size_t Index = 0;              // position in listing order, from 0
    std::string Path;
    std::unique_ptr<TAudioItem> Item;   // nullptr for an empty file or a failure
    std::string Error;                  // the failure's message; empty when analysed
};

struct TScanProgress {
    std::size_t Listed = 0;      // files queued so far
    std::size_t Analysed = 0;    // files the workers have finished
    std::size_t Delivered = 0;   // results taken by the consumer
    bool ListingDone = false;
    std::string Folder;          // folder of the file listed last
};

// Queues one file (root: the scan root, or the playlist, as AnalyseFile
// takes it). Returns false once the scan is cancelled: the lister stops.
using TScanAdd = std::function<bool(const std::string& root, const std::string& path)>;
// Lists the files of one scan, in order, through add.
using TScanLister = std::function<void(const TScanAdd& add)>;

struct TScanBatch {
    std::vector<TScanOutput> Outputs;   // consecutive indexes, in order
    bool More = false;                  // further results were ready but over the limit
    bool Finished = false;              // every listed file was delivered, or the scan was cancelled
};

class TScanEngine {
public:
    static constexpr std::size_t kDefaultWindow = 4096;

    // workers 0: one per hardware thread.
    explicit TScanEngine(unsigned workers = 0, std::size_t window = kDefaultWindow);
    // Cancels the scan and waits for its threads.
    ~TScanEngine();
    TScanEngine(const TScanEngine&) = delete;
    TScanEngine& operator=(const TScanEngine&) = delete;

    // Starts one scan (an engine runs one). onReady is called from an engine
    // thread when results become ready or the scan ends; after a call it is
    // not called again until the consumer has called TakeReady. threadStart
    // runs first on each of the engine's threads (the desktop program lowers
    // their priority there, so that its window comes first).
    void Start(TScanLister lister, std::function<void()> onReady = {}, std::function<void()> threadStart = {});

    // Stops the scan: nothing more is listed or delivered.
    void Cancel();

    // Takes the ready results that follow the last delivered one, at most max.
    TScanBatch TakeReady(std::size_t max = SIZE_MAX);
    // Waits until results are ready or the scan has ended, then takes them.
    TScanBatch WaitReady(std::size_t max = SIZE_MAX);

    TScanProgress Progress() const;
    unsigned Workers() const { return workerCount_; }
    // True once every thread of the scan has ended (destroying the engine
    // then waits for nothing).
    bool Stopped() const { return exited_ == started_; }
    static unsigned DefaultWorkers();

private:
    struct TJob {
        std::string Root;
        std::string Path;
    };

    void RunLister(const TScanLister& lister);
    void RunWorker();
    bool Add(const std::string& root, const std::string& path);
    bool FinishedLocked() const;
    bool ReadyLocked() const;
    TScanBatch TakeLocked(std::size_t max);
    void Notify(std::unique_lock<std::mutex>& lock);

    const unsigned workerCount_;
    const std::size_t window_;
    std::function<void()> onReady_;

    mutable std::mutex mutex_;
    std::condition_variable workCv_;    // workers: a job is queued, the listing ended, or cancelled
    std::condition_variable listCv_;    // lister: the window has room, or cancelled
    std::condition_variable readyCv_;   // WaitReady: results ready, or the scan ended
    std::deque<TJob> jobs_;
    std::size_t nextJob_ = 0;           // index of jobs_.front()
    std::deque<std::optional<TScanOutput>> slots_;   // slot 0 is the next result to deliver
    TScanProgress progress_;
    bool cancelled_ = false;
    bool notifyArmed_ = true;

    std::atomic<unsigned> started_{0};
    std::atomic<unsigned> exited_{0};
    std::thread lister_;
    std::vector<std::thread> workers_;
};

// A folder (and, when recursive, its subfolders breadth-first), listed as the
// folder scan lists it.
TScanLister FolderLister(const std::string& path, bool recursive);

// The files of a playlist, resolved as the playlist loader resolves them.
TScanLister PlaylistLister(const std::string& playlist);

// Runs a whole scan and hands every result to deliver on the calling thread,
// in listing order.
void RunScan(const TScanLister& lister, unsigned workers, const std::function<void(TScanOutput&)>& deliver);
