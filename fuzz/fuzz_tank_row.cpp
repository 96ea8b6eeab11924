// A TANKS row with arbitrary values and blobs of any length and type, loaded into a record:
// nothing may read past a blob's end, and every lookup stays inside the table.
#include "Database.h"
#include "SQLiteHandle.h"
#include "Statements.h"
#include "TItemNode.h"

#include <cstdint>
#include <sqlite3.h>
#include <string>

namespace {

TSQLiteDatabase& Db() {
    static TSQLiteDatabase db(":memory:");
    static bool made = false;
    if (!made) {
        db.ExecSQL(Sql::kCreateTanks);
        made = true;
    }
    return db;
}

// Takes the next length-prefixed piece of the input.
std::string Take(const uint8_t*& p, const uint8_t* end) {
    if (p >= end)
        return {};
    size_t len = *p++;
    if (len == 255 && end - p >= 2) {
        len = static_cast<size_t>(p[0]) | (static_cast<size_t>(p[1]) << 8);
        p += 2;
    }
    len = std::min<size_t>(len, static_cast<size_t>(end - p));
    std::string s(reinterpret_cast<const char*>(p), len);
    p += len;
    return s;
}

void Bind(sqlite3_stmt* s, int i, const std::string& v, uint8_t kind) {
    switch (kind % 5) {
    case 0:
        sqlite3_bind_null(s, i);
        break;
    case 1:
        sqlite3_bind_int64(s, i, static_cast<int64_t>(std::hash<std::string>{}(v)));
        break;
    case 2:
        sqlite3_bind_double(s, i, static_cast<double>(v.size()) / 3.0);
        break;
    case 3:
        sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        break;
    default:
        sqlite3_bind_blob(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSQLiteDatabase& db = Db();
    db.ExecSQL("DELETE FROM TANKS");
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(SQLiteHandle::Of(db),
                       "INSERT INTO TANKS (id,name,capacity,ftype,act,lfuel,ofuel,memo,pict,ftbl,"
                       "clb) VALUES (?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &s, nullptr);
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    const uint8_t kinds = size > 0 ? *p++ : 0;
    sqlite3_bind_int64(s, 1, size > 1 ? *p++ : 1);
    for (int c = 2; c <= 11; ++c) {
        const std::string v = Take(p, end);
        Bind(s, c, v, static_cast<uint8_t>(kinds + c * (v.empty() ? 1 : v[0])));
    }
    sqlite3_step(s);
    sqlite3_finalize(s);

    TSQLiteTable t = db.GetTable(Sql::kSelectTanks);
    for (; !t.Eof(); t.Next()) {
        TItemNode node;
        LoadTankFromRow(t, node);
        int64_t sum = 0;
        for (unsigned code = 0; code < 70000; code += 97)
            sum += LitresForCode(node, code);
        if (node.Capacity != LitresForCode(node, 4095) || sum == INT64_MIN)
            __builtin_trap();
    }
    return 0;
}
