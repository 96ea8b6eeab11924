#include "Statements.h"

#include "TItemNode.h"
#include "TextFormats.h"

using TextFormats::Int;
using TextFormats::Timestamp;

namespace Sql {

std::string QuoteText(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

std::string SeedTank(int id) {
    return "INSERT INTO TANKS (name, act) VALUES (\"Tank " + Int(id) + "\", 0)";
}

std::string SeedPicture(int id) {
    return "UPDATE TANKS SET pict = ? WHERE id = " + Int(id);
}

// Texts go in as proper string literals: a double-quoted text that contains a quote, or
// that names a column, would be refused or read as that column.
std::string UpdateTank(const TItemNode& n) {
    return "UPDATE TANKS SET name = " + QuoteText(n.Name) + ",capacity = \"" + Int(n.Capacity) +
           "\",ftype = " + QuoteText(n.FType) + ",act = \"" + Int(n.Act ? 1 : 0) + "\",lfuel = \"" +
           Int(n.LowFuel) + "\",ofuel = \"" + Int(n.OverFuel) + "\",memo = " + QuoteText(n.Memo) +
           ",pict = ? WHERE id = " + Int(n.id);
}

std::string UpdateFTable(int id) {
    return "UPDATE TANKS SET ftbl = ? WHERE id = " + Int(id);
}

std::string UpdateClb(int id) {
    return "UPDATE TANKS SET clb = ? WHERE id = " + Int(id);
}

std::string InsertData(double utc, int adr, int fl, int flc, int temp) {
    return "INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (\"" + Timestamp(utc) +
           "\", " + Int(adr) + ", " + Int(fl) + ", " + Int(flc) + ", " + Int(temp) + ")";
}

std::string InsertError(double utc, int adr, int code) {
    return "INSERT INTO error (tstamp, adr, code) VALUES (\"" + Timestamp(utc) + "\", " + Int(adr) +
           ", " + Int(code) + ")";
}

std::string SelectLevels(int adr, double utcFrom, double utcTo) {
    return "SELECT tstamp, flevel FROM DATA where adr = " + Int(adr) + " and tstamp > " +
           Timestamp(utcFrom) + " and tstamp < " + Timestamp(utcTo);
}

std::string SelectErrors(int adr, double utcFrom, double utcTo) {
    return "SELECT tstamp FROM error where adr = " + Int(adr) + " and tstamp > " +
           Timestamp(utcFrom) + " and tstamp < " + Timestamp(utcTo);
}

} // namespace Sql
