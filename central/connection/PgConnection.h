#pragma once
// The one place that talks libpq. Every statement is a fixed text with "$n" parameters;
// values travel beside it and never become part of the text. Failures come back as values
// carrying libpq's own words; nothing is raised.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One parameter value: NULL when empty; sent as text, or as raw bytes for a bytea column.
struct PgParam {
    std::optional<std::string> value;
    bool binary = false;
};

// The rows of a query as texts (NULL as an empty optional).
using PgRows = std::vector<std::vector<std::optional<std::string>>>;

struct PgOutcome {
    bool ok = false;
    std::string error; // libpq's message when !ok
    PgRows rows;
    long long affected = 0;
};

// Asks the server to stop the statement a connection is running. Safe to use from any
// thread, and after the connection is gone (then it does nothing useful).
class PgCancel {
public:
    explicit PgCancel(void* cancel) : cancel_(cancel) {}
    ~PgCancel();
    PgCancel(const PgCancel&) = delete;
    PgCancel& operator=(const PgCancel&) = delete;
    void Send();

private:
    void* cancel_; // PGcancel
};

class PgConnection {
public:
    // Connects with the operator's connection string. A connect_timeout of 10 s is assumed
    // unless the string sets one. Texts are exchanged as UTF-8.
    // Returns null and sets `error` to what libpq said.
    static std::unique_ptr<PgConnection> Open(const std::string& conninfo, std::string& error);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    bool Healthy() const;
    PgOutcome Exec(const std::string& sql, const std::vector<PgParam>& params = {});
    // Prepares `sql` under `name` once per connection, then runs it with the values.
    PgOutcome Run(const std::string& name, const std::string& sql,
                  const std::vector<PgParam>& params);
    // For stopping this connection's statements from another thread.
    std::shared_ptr<PgCancel> Canceller() const;
    // The server's version as libpq reports it (e.g. 150020).
    int ServerVersion() const;

private:
    explicit PgConnection(void* conn) : conn_(conn) {}
    void* conn_; // PGconn
    std::vector<std::string> prepared_;
};

// Connects, asks the server one question and says what happened in a line for the operator:
// "Connected: ..." or libpq's error text.
std::string TestCentralConnection(const std::string& conninfo);

// The values a connection string sets, by keyword (key/value and URI forms alike); empty
// when libpq cannot read it.
std::map<std::string, std::string> PgConnOptions(const std::string& conninfo);

// Texts of numbers that read back to the same value, whatever the locale.
std::string PgNumber(long long v);
std::string PgNumber(double v);
