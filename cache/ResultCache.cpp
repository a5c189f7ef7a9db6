#include "cache/ResultCache.h"

#include "core/AudioItemCodec.h"
#include "core/FormatRegistry.h"
#include "io/Paths.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// The table's own layout; the database's user_version combines it with the
// item codec's version, so a change of either makes the database anew.
constexpr int kTableVersion = 1;

// How long a statement waits for another program's lock before giving up.
constexpr int kBusyTimeoutMs = 1000;

const char* const kCreateTable =
    "CREATE TABLE results ("
    " path BLOB PRIMARY KEY,"      // the absolute path's bytes
    " size INTEGER NOT NULL,"
    " mtime INTEGER NOT NULL,"     // modification time, ns since 1970
    " inode INTEGER NOT NULL,"
    " version INTEGER NOT NULL,"   // the format's reader version
    " item BLOB NOT NULL"          // EncodeItemResults
    ") WITHOUT ROWID";

// The reader version of path's format; 0 when no format reads its extension.
int ReaderVersion(const std::string& path) {
    const TFormatEntry* format = FindFormat(FileTypeOf(path));
    return format ? format->Version : 0;
}

bool IsDamage(int code) {
    code &= 0xFF;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

// Runs statements without results; false with the reason on failure.
bool Exec(sqlite3* db, const char* sql, std::string& reason, int* code = nullptr) {
    char* message = nullptr;
    const int result = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    if (code) *code = result;
    if (result == SQLITE_OK) return true;
    reason = message ? message : sqlite3_errstr(result);
    sqlite3_free(message);
    return false;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

} // namespace

int TResultCache::SchemaVersion() { return kTableVersion * 1000 + kAudioItemCodecVersion; }

std::string TResultCache::DefaultPath() {
#ifdef _WIN32
    const char* local = std::getenv("LOCALAPPDATA");
    if (!local || !*local) return {};
    return std::string(local) + "\\Sondaro\\results.sqlite";
#else
    // A relative XDG_CACHE_HOME is to be ignored.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/sondaro/results.sqlite";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return {};
    return std::string(home) + "/.cache/sondaro/results.sqlite";
#endif
}

TResultCache::TResultCache(std::function<void(const std::string&)> onMessage) : onMessage_(std::move(onMessage)) {}

TResultCache::~TResultCache() {
    Flush();
    FinishLookups();
    CloseConnections();
    // Found damaged during the scan: the next one starts a new database.
    if (damaged_) {
        std::error_code code;
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(NativePath(path_ + suffix), code);
    }
}

void TResultCache::Say(const std::string& message) {
    const std::lock_guard<std::mutex> lock(messageMutex_);
    if (onMessage_) onMessage_(message);
}

void TResultCache::Disable(const std::string& reason) {
    if (disabled_.exchange(true)) return;
    Say("The results cache " + Quoted(path_) + " is not used for the rest of this scan: " + reason + ".");
}

void TResultCache::CloseConnections() {
    lookups_ = 0;
    pending_ = 0;
    sqlite3_finalize(find_);
    sqlite3_finalize(insert_);
    find_ = insert_ = nullptr;
    sqlite3_close_v2(reader_);
    sqlite3_close_v2(writer_);
    reader_ = writer_ = nullptr;
}

bool TResultCache::OpenConnections(const std::string& path, std::string& reason, int& code) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    code = sqlite3_open_v2(path.c_str(), &writer_, flags, nullptr);
    if (code != SQLITE_OK) {
        reason = writer_ ? sqlite3_errmsg(writer_) : "out of memory";
        return false;
    }
    // Another program writing the same database: wait a little, then give up.
    sqlite3_busy_timeout(writer_, kBusyTimeoutMs);
    // WAL: lookups and writes do not wait for each other, and a commit does
    // not wait for the disk. The log is written back when the last
    // connection closes, not in the middle of a scan (the desktop program
    // writes from its window's thread).
    if (!Exec(writer_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=0", reason,
              &code))
        return false;
    sqlite3_stmt* version = nullptr;
    int found = -1;
    code = sqlite3_prepare_v2(writer_, "PRAGMA user_version", -1, &version, nullptr);
    if (code == SQLITE_OK) {
        code = sqlite3_step(version);
        if (code == SQLITE_ROW) found = sqlite3_column_int(version, 0);
    }
    sqlite3_finalize(version);
    if (found < 0) {
        reason = sqlite3_errmsg(writer_);
        return false;
    }
    if (found != SchemaVersion()) {
        // Rows of another layout are of no use: the table is made anew.
        const std::string make = std::string("BEGIN IMMEDIATE; DROP TABLE IF EXISTS results; ") + kCreateTable +
                                 "; PRAGMA user_version=" + std::to_string(SchemaVersion()) + "; COMMIT";
        if (!Exec(writer_, make.c_str(), reason, &code)) {
            std::string ignored;
            Exec(writer_, "ROLLBACK", ignored);
            return false;
        }
    }
    code = sqlite3_prepare_v2(writer_,
                              "INSERT OR REPLACE INTO results (path, size, mtime, inode, version, item)"
                              " VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                              -1, &insert_, nullptr);
    if (code != SQLITE_OK) {
        reason = sqlite3_errmsg(writer_);
        return false;
    }
    code = sqlite3_open_v2(path.c_str(), &reader_, flags, nullptr);
    if (code != SQLITE_OK) {
        reason = reader_ ? sqlite3_errmsg(reader_) : "out of memory";
        return false;
    }
    sqlite3_busy_timeout(reader_, kBusyTimeoutMs);
    // Lookups read the pages in place rather than copying each one in.
    std::string ignored;
    Exec(reader_, "PRAGMA mmap_size=268435456", ignored);
    code = sqlite3_prepare_v2(reader_, "SELECT size, mtime, inode, version, item FROM results WHERE path = ?1", -1,
                              &find_, nullptr);
    if (code != SQLITE_OK) {
        reason = sqlite3_errmsg(reader_);
        return false;
    }
    return true;
}

bool TResultCache::Open(const std::string& path) {
    CloseConnections();
    disabled_ = true;
    path_ = path;
    if (path.empty()) {
        Say("The results cache is not used: there is no cache folder (HOME is not set).");
        return false;
    }
    std::error_code code;
    workingFolder_ = WithTrailingSeparator(std::filesystem::current_path(code).string());
    std::filesystem::create_directories(NativePath(FolderOf(path)), code);
    std::string reason;
    int result = SQLITE_OK;
    if (!OpenConnections(path, reason, result)) {
        CloseConnections();
        // Locked by another program, or not to be opened at all: left as it is.
        if (!IsDamage(result)) {
            Say("The results cache " + Quoted(path) + " cannot be used (" + reason + "); scanning without it.");
            return false;
        }
        // A damaged file, or one that is no database: made anew once.
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(NativePath(path + suffix), code);
        std::string again;
        if (!OpenConnections(path, again, result)) {
            CloseConnections();
            Say("The results cache " + Quoted(path) + " cannot be used (" + again + "); scanning without it.");
            return false;
        }
        Say("The results cache " + Quoted(path) + " could not be read (" + reason + ") and was made anew.");
    }
    disabled_ = false;
    return true;
}

std::string TResultCache::Key(const std::string& path) const {
    if (std::filesystem::path(NativePath(path)).is_absolute()) return path;
    return workingFolder_ + path;
}

std::unique_ptr<TAudioItem> TResultCache::Find(const std::string& path, const TFileStamp& stamp) {
    if (disabled_) return nullptr;
    const int version = ReaderVersion(path);
    if (version == 0) return nullptr;
    const std::string key = Key(path);
    // One lister at a time (the desktop program's stopped scan may still be
    // finishing its last file while the next scan lists).
    const std::lock_guard<std::mutex> lock(findMutex_);
    if (lookups_ == 0) {
        std::string reason;
        if (!Exec(reader_, "BEGIN", reason)) {
            Disable(reason);
            return nullptr;
        }
    }
    if (++lookups_ >= kLookupBatch) EndLookupsLocked();
    sqlite3_bind_blob(find_, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    std::unique_ptr<TAudioItem> item;
    const int step = sqlite3_step(find_);
    if (step == SQLITE_ROW) {
        if (sqlite3_column_int64(find_, 0) == stamp.Size && sqlite3_column_int64(find_, 1) == stamp.ModifiedNs &&
            static_cast<uint64_t>(sqlite3_column_int64(find_, 2)) == stamp.Inode &&
            sqlite3_column_int(find_, 3) == version) {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(find_, 4));
            const int length = sqlite3_column_bytes(find_, 4);
            item = std::make_unique<TAudioItem>();
            if (!DecodeItemResults(std::string_view(bytes ? bytes : "", static_cast<std::size_t>(length)), *item))
                item.reset();
        }
    } else if (step != SQLITE_DONE) {
        const std::string reason = sqlite3_errmsg(reader_);
        sqlite3_reset(find_);
        if (IsDamage(step)) {
            damaged_ = true;
            Disable("it is damaged (" + reason + ") and is made anew at the next scan");
        } else {
            Disable(reason);
        }
        return nullptr;
    }
    sqlite3_reset(find_);
    return item;
}

// Ends the read transaction; called with findMutex_ held. The statement in
// use finishes its step first: ending a transaction with it pending would fail.
void TResultCache::EndLookupsLocked() {
    if (lookups_ == 0 || !reader_) return;
    lookups_ = 0;
    sqlite3_reset(find_);
    std::string ignored;
    Exec(reader_, "COMMIT", ignored);
}

void TResultCache::FinishLookups() {
    const std::lock_guard<std::mutex> lock(findMutex_);
    EndLookupsLocked();
}

void TResultCache::Store(const std::string& path, const TFileStamp& stamp, const TAudioItem& item) {
    if (disabled_) return;
    const int version = ReaderVersion(path);
    if (version == 0) return;
    std::string reason;
    if (pending_ == 0 && !Exec(writer_, "BEGIN", reason)) {
        Disable(reason);
        return;
    }
    const std::string key = Key(path);
    const std::string bytes = EncodeItemResults(item);
    sqlite3_bind_blob(insert_, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert_, 2, stamp.Size);
    sqlite3_bind_int64(insert_, 3, stamp.ModifiedNs);
    sqlite3_bind_int64(insert_, 4, static_cast<sqlite3_int64>(stamp.Inode));
    sqlite3_bind_int(insert_, 5, version);
    sqlite3_bind_blob(insert_, 6, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    const int step = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    if (step != SQLITE_DONE) {
        reason = sqlite3_errmsg(writer_);
        std::string ignored;
        Exec(writer_, "ROLLBACK", ignored);
        pending_ = 0;
        if (IsDamage(step)) damaged_ = true;
        Disable((step & 0xFF) == SQLITE_BUSY ? "another program holds it locked" : reason);
        return;
    }
    if (++pending_ >= kBatchSize) Flush();
}

void TResultCache::Flush() {
    if (pending_ == 0 || !writer_) return;
    pending_ = 0;
    std::string reason;
    int code = SQLITE_OK;
    if (!Exec(writer_, "COMMIT", reason, &code)) {
        std::string ignored;
        Exec(writer_, "ROLLBACK", ignored);
        Disable((code & 0xFF) == SQLITE_BUSY ? "another program holds it locked" : reason);
    }
}
