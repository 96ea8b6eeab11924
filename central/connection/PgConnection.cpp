#include "PgConnection.h"

#include "SecretMask.h"

#include <algorithm>
#include <charconv>
#include <libpq-fe.h>

namespace {

PGconn* C(void* p) {
    return static_cast<PGconn*>(p);
}

// libpq's messages span lines ("...\n\tIs the server running..."): one line for the log.
std::string Trimmed(const char* text) {
    std::string s;
    bool space = false;
    for (const char* p = text ? text : ""; *p; ++p) {
        const bool blank = *p == '\n' || *p == '\t' || *p == ' ' || *p == '\r';
        if (blank && !s.empty())
            space = true;
        if (blank)
            continue;
        if (space)
            s.push_back(' ');
        space = false;
        s.push_back(*p);
    }
    return s;
}

PgOutcome Collect(PGconn* conn, PGresult* res) {
    PgOutcome out;
    const ExecStatusType st = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) {
        out.ok = true;
        const char* n = PQcmdTuples(res);
        out.affected = (n && *n) ? std::atoll(n) : 0;
        for (int r = 0; r < PQntuples(res); ++r) {
            std::vector<std::optional<std::string>> row;
            for (int c = 0; c < PQnfields(res); ++c) {
                if (PQgetisnull(res, r, c))
                    row.emplace_back();
                else
                    row.emplace_back(std::string(PQgetvalue(res, r, c), PQgetlength(res, r, c)));
            }
            out.rows.push_back(std::move(row));
        }
    } else {
        out.error = Trimmed(res ? PQresultErrorMessage(res) : PQerrorMessage(conn));
        if (out.error.empty())
            out.error = Trimmed(PQerrorMessage(conn));
    }
    PQclear(res);
    return out;
}

struct ParamArrays {
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    explicit ParamArrays(const std::vector<PgParam>& params) {
        for (const PgParam& p : params) {
            values.push_back(p.value ? p.value->c_str() : nullptr);
            lengths.push_back(p.value ? static_cast<int>(p.value->size()) : 0);
            formats.push_back(p.binary ? 1 : 0);
        }
    }
};

} // namespace

std::unique_ptr<PgConnection> PgConnection::Open(const std::string& conninfo, std::string& error) {
    // A keyword given twice counts with its last value, so the operator's own timeout wins.
    const std::string full = "connect_timeout=10 " + conninfo;
    PGconn* conn = PQconnectdb(full.c_str());
    if (!conn) {
        error = "out of memory";
        return nullptr;
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        // libpq quotes pieces of a string it cannot read: no password reaches a log.
        error = MaskPasswords(Trimmed(PQerrorMessage(conn)), conninfo);
        PQfinish(conn);
        return nullptr;
    }
    if (PQsetClientEncoding(conn, "UTF8") != 0) {
        error = Trimmed(PQerrorMessage(conn));
        PQfinish(conn);
        return nullptr;
    }
    std::unique_ptr<PgConnection> c(new PgConnection(conn));
    // A server that stops answering must not hold the sender for ever.
    PgOutcome t = c->Exec("SET statement_timeout = '120s'");
    if (!t.ok) {
        error = t.error;
        return nullptr;
    }
    return c;
}

PgConnection::~PgConnection() {
    PQfinish(C(conn_));
}

bool PgConnection::Healthy() const {
    return PQstatus(C(conn_)) == CONNECTION_OK;
}

std::shared_ptr<PgCancel> PgConnection::Canceller() const {
    return std::make_shared<PgCancel>(PQgetCancel(C(conn_)));
}

PgCancel::~PgCancel() {
    if (cancel_)
        PQfreeCancel(static_cast<PGcancel*>(cancel_));
}

void PgCancel::Send() {
    char why[256];
    if (cancel_)
        PQcancel(static_cast<PGcancel*>(cancel_), why, sizeof why);
}

int PgConnection::ServerVersion() const {
    return PQserverVersion(C(conn_));
}

PgOutcome PgConnection::Exec(const std::string& sql, const std::vector<PgParam>& params) {
    ParamArrays a(params);
    return Collect(C(conn_),
                   PQexecParams(C(conn_), sql.c_str(), static_cast<int>(params.size()), nullptr,
                                a.values.data(), a.lengths.data(), a.formats.data(), 0));
}

PgOutcome PgConnection::Run(const std::string& name, const std::string& sql,
                            const std::vector<PgParam>& params) {
    if (std::find(prepared_.begin(), prepared_.end(), name) == prepared_.end()) {
        PgOutcome p = Collect(C(conn_), PQprepare(C(conn_), name.c_str(), sql.c_str(),
                                                  static_cast<int>(params.size()), nullptr));
        if (!p.ok)
            return p;
        prepared_.push_back(name);
    }
    ParamArrays a(params);
    return Collect(C(conn_),
                   PQexecPrepared(C(conn_), name.c_str(), static_cast<int>(params.size()),
                                  a.values.data(), a.lengths.data(), a.formats.data(), 0));
}

std::map<std::string, std::string> PgConnOptions(const std::string& conninfo) {
    std::map<std::string, std::string> out;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    PQfreemem(error);
    if (!options)
        return out;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val)
            out[o->keyword] = o->val;
    PQconninfoFree(options);
    return out;
}

std::string TestCentralConnection(const std::string& conninfo) {
    std::string error;
    auto conn = PgConnection::Open(conninfo, error);
    if (!conn)
        return error.empty() ? std::string("could not connect") : error;
    PgOutcome r =
        conn->Exec("SELECT current_user, current_database(), current_setting('server_version')");
    if (!r.ok)
        return r.error;
    const auto text = [&](int c) { return r.rows.at(0).at(c).value_or(""); };
    return "Connected as " + text(0) + " to " + text(1) + " (PostgreSQL " + text(2) + ")";
}

std::string PgNumber(long long v) {
    return std::to_string(v);
}

std::string PgNumber(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc())
        return "NaN";
    return std::string(buf, end);
}
