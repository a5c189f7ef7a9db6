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
#include "io/Platform.h"

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
    std::string Root;                   // the scan root (or playlist) the file was listed under
    std::string Path;
    std::unique_ptr<TAudioItem> Item;   // nullptr for an empty file or a failure
    std::string Error;                  // the failure's message; empty when analysed
    // With a result store: the file's stamp taken before it was read (HasStamp
    // false when it could not be taken), and whether the item came from the
    // store instead of the file.
    TFileStamp Stamp;
    bool HasStamp = false;
    bool FromStore = false;
};

// Earlier results the engine may use instead of reading a file (the results
// cache). Asked on the lister thread only, before the file is queued.
class TScanResultStore {
public:
    virtual ~TScanResultStore() = default;
    // The results stored for path under exactly this stamp; nullptr when there
    // are none. The item's location fields are set by the engine.
    virtual std::unique_ptr<TAudioItem> Find(const std::string& path, const TFileStamp& stamp) = 0;
    // The lister has asked for its last file.
    virtual void FinishLookups() {}
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
    // How many queued files ahead of the one it starts a worker asks the
    // system to prefetch, so that a cold scan reads ahead of the analysis.
    static constexpr std::size_t kPrefetchDistance = 16;
    // WaitReady returns once this many results are ready in order (or the
    // lister waits for room, or the listing is over and all is analysed), so
    // that a fast consumer is not woken for every file.
    static constexpr std::size_t kWaitBatch = 64;

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

    // Before Start: a store whose results stand for the files they match (the
    // engine does not own it; it must outlive the scan). A file the store
    // knows is not opened; every output then carries its file's stamp.
    void SetResultStore(TScanResultStore* store) { store_ = store; }

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
        std::size_t Index = 0;
        std::string Root;
        std::string Path;
        TFileStamp Stamp;
        bool HasStamp = false;
    };

    void RunLister(const TScanLister& lister);
    void RunWorker();
    bool Add(const std::string& root, const std::string& path);
    void PlaceLocked(TScanOutput output, std::unique_lock<std::mutex>& lock);
    bool FinishedLocked() const;
    bool WaitOverLocked() const;
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
    TScanResultStore* store_ = nullptr;
    std::deque<TJob> jobs_;
    std::deque<std::optional<TScanOutput>> slots_;   // slot 0 is the next result to deliver
    TScanProgress progress_;
    std::size_t readyRun_ = 0;          // filled slots from slot 0 on
    bool waiting_ = false;              // WaitReady is blocked
    bool listerBlocked_ = false;        // the lister waits for room in the window
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
// in listing order (store: see SetResultStore).
void RunScan(const TScanLister& lister, unsigned workers, const std::function<void(TScanOutput&)>& deliver,
             TScanResultStore* store = nullptr);
