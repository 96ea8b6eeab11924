#include "FaultTools.h"

#include <sqlite3.h>

#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

OtherProgram::OtherProgram(const std::string& file, bool readOnly) {
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(file.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "no handle";
        sqlite3_close(db_);
        throw std::runtime_error("other program cannot open " + file + ": " + msg);
    }
}

OtherProgram::~OtherProgram() {
    sqlite3_close(db_);
}

int OtherProgram::Exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

int OtherProgram::ExecBlobs(const std::string& sql, const std::vector<std::string>& blobs) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr);
    for (std::size_t i = 0; rc == SQLITE_OK && i < blobs.size(); ++i)
        rc = sqlite3_bind_blob64(s, static_cast<int>(i + 1), blobs[i].data(), blobs[i].size(),
                                 SQLITE_TRANSIENT);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(s) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db_);
    sqlite3_finalize(s);
    return rc;
}

std::vector<std::string> OtherProgram::Column(const std::string& query) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, query.c_str(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(query + ": " + sqlite3_errmsg(db_));
    std::vector<std::string> out;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(s, 0);
        out.push_back(t ? reinterpret_cast<const char*>(t) : "NULL");
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(query + ": " + sqlite3_errmsg(db_));
    return out;
}

std::string OtherProgram::IntegrityCheck() {
    std::string all;
    for (const std::string& line : Column("PRAGMA integrity_check"))
        all += (all.empty() ? "" : "\n") + line;
    return all;
}

std::vector<int> OtherProgram::StoredCodes() {
    std::vector<int> codes;
    for (const std::string& c : Column("SELECT fcode FROM DATA ORDER BY rowid"))
        codes.push_back(std::atoi(c.c_str()));
    return codes;
}

std::string ChildReport::Get(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? std::string("<missing " + key + ">") : it->second;
}

int ChildReport::Int(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? -999999 : std::atoi(it->second.c_str());
}

namespace {

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char n = s[++i];
        out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    }
    return out;
}

void WriteAll(int fd, const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void ParseLine(const std::string& line, ChildReport& r) {
    const std::size_t sp = line.find(' ');
    const std::string key = line.substr(0, sp);
    const std::string value = sp == std::string::npos ? "" : Unescape(line.substr(sp + 1));
    if (key == "box")
        r.messages.push_back(value);
    else
        r.values[key] = value;
}

} // namespace

void ChildOut::Put(const std::string& key, const std::string& value) {
    WriteAll(fd_, key + " " + Escape(value) + "\n");
}

void PutStoredState(ChildOut& out, const std::string& file) {
    OtherProgram check(file, true);
    std::string codes;
    for (int c : check.StoredCodes())
        codes += std::to_string(c) + " ";
    out.Put("codes", codes);
    out.Put("integrity", check.IntegrityCheck());
}

ChildReport RunInChild(const std::function<void(ChildOut&)>& work) {
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(fds[0]);
        ChildOut out(fds[1]);
        try {
            work(out);
            out.Put("finished", 1);
        } catch (const std::exception& e) {
            out.Put("escaped", e.what());
        } catch (...) {
            out.Put("escaped", "unknown exception");
        }
        close(fds[1]);
        _exit(0); // no atexit handlers, no Qt teardown in the child
    }
    close(fds[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ChildReport r;
    r.exitedNormally = WIFEXITED(status);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        ParseLine(text.substr(start, nl - start), r);
    return r;
}

bool WritesIgnoreFileModes(const std::string& dir) {
    const std::string probe = dir + "/mode-probe";
    const int made = open(probe.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0444);
    if (made >= 0)
        close(made);
    chmod(probe.c_str(), 0444);
    const int fd = open(probe.c_str(), O_WRONLY);
    if (fd >= 0)
        close(fd);
    unlink(probe.c_str());
    return fd >= 0;
}
