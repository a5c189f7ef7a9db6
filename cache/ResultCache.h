// TResultCache: the results of files already read, kept in a SQLite
// database so that a scan of an unchanged file does not open it.
//
// A row is keyed by the file's path (made absolute) and holds the file's
// size, modification time (ns) and file number when it was read, the
// version of its format's reader (core/FormatRegistry) and the item's result
// fields (core/AudioItemCodec). A file matches only when all of them match;
// a reader version raised in the registry makes that format's rows stale.
// The database carries a schema version: a database of another version, or
// one that cannot be read, is deleted and made anew. Any fault later (a
// damaged file, a database locked by another program for long) switches the
// cache off for the rest of the run with a message; the scan itself never
// fails because of it.
//
// Threads: Find runs on the scans' lister threads (one at a time) and
// Store/Flush on the consumer that takes results in order; each side has its
// own connection, and the database is in WAL mode, so neither waits for the
// other.
#pragma once

#include "core/ScanEngine.h"
#include "io/Platform.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

class TResultCache : public TScanResultStore {
public:
    // The database file: $XDG_CACHE_HOME/sondaro/results.sqlite, else
    // ~/.cache/sondaro/results.sqlite (Windows: %LOCALAPPDATA%\Sondaro\).
    // Empty when no such folder can be named.
    static std::string DefaultPath();

    // Rows written in one transaction; lookups made in one read transaction
    // (which saves the database's locking calls per file).
    static constexpr int kBatchSize = 2000;
    static constexpr int kLookupBatch = 4096;

    // onMessage receives each sentence about the cache (damaged and rebuilt,
    // switched off); it may be called from either thread.
    explicit TResultCache(std::function<void(const std::string&)> onMessage = {});
    ~TResultCache() override;   // writes what is pending
    TResultCache(const TResultCache&) = delete;
    TResultCache& operator=(const TResultCache&) = delete;

    // Opens the database at path (its folder is created), making it anew when
    // it is damaged or of another schema. False, with a message, when there is
    // no usable cache; the scan then goes on without it.
    bool Open(const std::string& path);
    bool IsOpen() const { return !disabled_; }

    std::unique_ptr<TAudioItem> Find(const std::string& path, const TFileStamp& stamp) override;
    void FinishLookups() override;

    // Keeps item's results for path read under stamp (a file of a format the
    // registry knows). Written in batches of kBatchSize rows.
    void Store(const std::string& path, const TFileStamp& stamp, const TAudioItem& item);
    // Writes the rows kept so far.
    void Flush();

    // The schema version the database carries (its user_version).
    static int SchemaVersion();

private:
    std::string Key(const std::string& path) const;
    bool OpenConnections(const std::string& path, std::string& reason, int& code);
    void CloseConnections();
    void EndLookupsLocked();
    void Disable(const std::string& reason);
    void Say(const std::string& message);

    std::function<void(const std::string&)> onMessage_;
    std::mutex messageMutex_;
    std::mutex findMutex_;
    std::string path_;
    std::string workingFolder_;   // for relative paths
    sqlite3* reader_ = nullptr;
    sqlite3* writer_ = nullptr;
    sqlite3_stmt* find_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    int pending_ = 0;             // rows in the open transaction
    int lookups_ = 0;             // Finds in the reader's open transaction
    std::atomic<bool> disabled_{true};
    std::atomic<bool> damaged_{false};   // the file is deleted when the cache closes
};
