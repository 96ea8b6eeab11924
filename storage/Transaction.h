#pragma once
// The one way the station writes several statements as a whole: BEGIN IMMEDIATE takes the
// write lock before the first read, so a writer never finds at its first write that another
// connection got there first (a deferred BEGIN that read first cannot wait for that lock and
// fails at once).

#include <type_traits>
#include <utility>

class TSQLiteDatabase;

class WriteTransaction {
public:
    // Raises SQLiteError when the write lock cannot be had within the busy timeout.
    explicit WriteTransaction(TSQLiteDatabase& db);
    // Rolls back unless committed; never raises.
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void Commit();

private:
    TSQLiteDatabase& db_;
    bool open_ = true;
};

// Runs `work` in a write transaction: committed when it returns, rolled back when it (or
// the commit) raises, and the exception passed on.
template <class Work> decltype(auto) InWriteTransaction(TSQLiteDatabase& db, Work&& work) {
    WriteTransaction t(db);
    if constexpr (std::is_void_v<decltype(std::forward<Work>(work)())>) {
        std::forward<Work>(work)();
        t.Commit();
    } else {
        auto result = std::forward<Work>(work)();
        t.Commit();
        return result;
    }
}
