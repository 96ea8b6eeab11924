#pragma once
// The one reading of an EVENTS row's columns, for every record that holds one: the station's
// EventRow, and the sender's copy, which keeps a NULL wherever a file may hold one.

#include "BoundSql.h"
#include "Statements.h"

#include <cstdint>
#include <optional>
#include <string>

namespace event_columns_detail {
inline void Take(const Row& r, int c, int64_t& v) {
    v = r.Int(c);
}
inline void Take(const Row& r, int c, int& v) {
    v = static_cast<int>(r.Int(c));
}
inline void Take(const Row& r, int c, double& v) {
    v = r.Real(c);
}
inline void Take(const Row& r, int c, std::string& v) {
    v = r.Text(c);
}
inline void Take(const Row& r, int c, std::optional<int64_t>& v) {
    v = r.OptInt(c);
}
inline void Take(const Row& r, int c, std::optional<double>& v) {
    v = r.OptReal(c);
}
} // namespace event_columns_detail

// Reads the row of a query that selects SQL_EVENT_COLUMNS into a record with EventRow's
// field names. A field held in std::optional reads NULL as none; a plain number reads it as
// 0, plain text as empty.
template <class Event> void ReadEventColumns(const Row& r, Event& e) {
    using event_columns_detail::Take;
    Take(r, 0, e.id);
    Take(r, 1, e.adr);
    Take(r, 2, e.kind);
    Take(r, 3, e.tstart);
    Take(r, 4, e.tend);
    Take(r, 5, e.vbefore);
    Take(r, 6, e.vafter);
    Take(r, 7, e.nbefore);
    Take(r, 8, e.nafter);
    Take(r, 9, e.tbefore);
    Take(r, 10, e.tafter);
    Take(r, 11, e.acked);
    Take(r, 12, e.memo);
}
