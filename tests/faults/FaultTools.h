#pragma once
// Tools of the fault tests: a second SQLite connection that plays "another program" and
// checks what is on disk, and a forked child whose observations come back as text.

#include <functional>
#include <map>
#include <string>
#include <vector>

struct sqlite3;

// A connection of its own, through the C API only: never the station's access layer.
class OtherProgram {
public:
    explicit OtherProgram(const std::string& file, bool readOnly = false);
    ~OtherProgram();
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    // Runs a statement; returns SQLite's result code.
    int Exec(const std::string& sql);
    // Runs a statement with the given bytes bound as blobs to ?1, ?2, ...; the result code.
    int ExecBlobs(const std::string& sql, const std::vector<std::string>& blobs);
    // The first column of every row, as text ("NULL" for NULL).
    std::vector<std::string> Column(const std::string& query);
    std::string IntegrityCheck(); // "ok" when the file is sound
    // The fuel codes of DATA in the order the rows were stored.
    std::vector<int> StoredCodes();

private:
    sqlite3* db_ = nullptr;
};

// What a forked child reported: its "key value" lines, and how it ended.
struct ChildReport {
    std::map<std::string, std::string> values;
    std::vector<std::string> messages; // "box <text>" lines, in order
    bool exitedNormally = false;
    int exitCode = -1;
    int signal = 0;
    std::string Get(const std::string& key) const;
    int Int(const std::string& key) const;
};

// Collects a child's observations; one line each, so texts have their line breaks escaped.
class ChildOut {
public:
    explicit ChildOut(int fd) : fd_(fd) {}
    void Put(const std::string& key, const std::string& value);
    void Put(const std::string& key, long long value) { Put(key, std::to_string(value)); }
    void Box(const std::string& text) { Put("box", text); }

private:
    int fd_;
};

// Reports, as the keys "codes" (the stored fuel codes, space-separated) and "integrity",
// what another program finds in `file`.
void PutStoredState(ChildOut& out, const std::string& file);

// Runs `work` in a forked child (which never returns into the test) and collects its lines.
ChildReport RunInChild(const std::function<void(ChildOut&)>& work);

// True when this process can write into files whatever their mode bits say (root, or a
// capability that overrides them): probed with a read-only file in `dir`.
bool WritesIgnoreFileModes(const std::string& dir);
