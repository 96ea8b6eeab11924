#pragma once
// The write-ahead log's two files beside data.db take the file's permissions when they are
// made. Made while data.db was read-only, they stay read-only after data.db is writable
// again and every write then fails; this gives them the file's mode back first.

#include <string>

void MatchJournalFilesToDatabase(const std::string& dbFile);
