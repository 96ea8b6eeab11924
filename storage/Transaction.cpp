#include "Transaction.h"

#include "SQLiteDatabase.h"

WriteTransaction::WriteTransaction(TSQLiteDatabase& db) : db_(db) {
    db_.ExecSQL("BEGIN IMMEDIATE");
}

WriteTransaction::~WriteTransaction() {
    if (!open_)
        return;
    try {
        db_.ExecSQL("ROLLBACK");
    } catch (const SQLiteError&) {
        // SQLite may have rolled back already (full disk, I/O error).
    }
}

void WriteTransaction::Commit() {
    db_.ExecSQL("COMMIT");
    open_ = false;
}
