#include "Database.h"

#include "OperatorMessages.h"
#include "Schema.h"
#include "Statements.h"
#include "TItemNode.h"
#include "Transaction.h"

#include <cctype>
#include <set>

// TANKS and its 14 tanks appear together or not at all: a start that failed half way
// (disk full, killed) must not leave a table with some of the tanks, which every later start
// would take as found and never complete.
static void CreateSeededTanks(TSQLiteDatabase& db, const std::string& defaultPicture) {
    InWriteTransaction(db, [&] {
        db.ExecSQL(Sql::kCreateTanks);
        for (int i = 1; i <= 14; ++i) {
            db.ExecSQL(Sql::SeedTank(i));
            db.UpdateBlob(Sql::SeedPicture(i), defaultPicture);
        }
    });
}

bool CreateDatabase(TSQLiteDatabase& db, const std::string& defaultPicture,
                    OperatorMessages& messages) {
    try {
        if (!db.TableExists("TANKS"))
            CreateSeededTanks(db, defaultPicture);
        if (!db.TableExists("DATA")) {
            db.ExecSQL(Sql::kCreateData);
            db.ExecSQL(kCreateDataIndex);
        }
        if (!db.TableExists("ERROR")) {
            db.ExecSQL(Sql::kCreateError);
            db.ExecSQL(kCreateErrorIndex);
        }
        // The tables added later; a failure here only keeps events off, which the station
        // reports when it starts them.
        MigrateSchema(db);
    } catch (const std::exception&) {
        messages.ShowMessage(kMsgCreationFailed);
        return false;
    }
    return true;
}

void LoadTankFromRow(const TSQLiteTable& row, TItemNode& node) {
    node.id = static_cast<uint8_t>(row.FieldAsInteger("id"));
    node.Name = row.FieldText("name");
    node.Img = row.FieldIsNull("pict") ? std::string() : row.FieldAsBlob("pict");
    node.Act = row.FieldAsInteger("act") == 1;
    node.FType = row.FieldText("ftype");
    if (!row.FieldIsNull("ftbl"))
        OverlayFTable(node.FTable, row.FieldAsBlob("ftbl"));
    if (!row.FieldIsNull("clb"))
        OverlayClbArray(node.ClbArray, row.FieldAsBlob("clb"));
    node.Capacity = LitresForCode(node, kClbEntryCount - 1);
    node.LowFuel = static_cast<int32_t>(row.FieldAsInteger("lfuel"));
    node.OverFuel = static_cast<int32_t>(row.FieldAsInteger("ofuel"));
    node.Memo = row.FieldText("memo");
}

std::vector<int64_t> LoadTanks(TSQLiteDatabase& db, const std::function<TItemNode&()>& appendTile) {
    TSQLiteTable rows = db.GetTable(Sql::kSelectTanks);
    std::vector<int64_t> skipped;
    std::set<int64_t> seen;
    for (; !rows.Eof(); rows.Next()) {
        const int64_t id = rows.FieldAsInteger("id");
        if (id < 0 || id > 255 || !seen.insert(id).second) {
            skipped.push_back(id);
            continue;
        }
        LoadTankFromRow(rows, appendTile());
    }
    return skipped;
}

std::string SkippedTanksText(const std::vector<int64_t>& ids) {
    std::string text = "Tanks not loaded (id out of range or used twice):";
    for (std::size_t i = 0; i < ids.size(); ++i)
        text += (i ? ", " : " ") + std::to_string(ids[i]);
    return text;
}

void SaveTank(TSQLiteDatabase& db, const TItemNode& node, OperatorMessages& messages) {
    if (!db.TableExists("TANKS")) {
        messages.ShowMessage(kMsgTableMissing);
        return;
    }
    db.UpdateBlob(Sql::UpdateTank(node), node.Img);
    db.UpdateBlob(Sql::UpdateFTable(node.id), EncodeFTable(node.FTable));
    db.UpdateBlob(Sql::UpdateClb(node.id), EncodeClbArray(node.ClbArray));
}

static bool IndexExists(TSQLiteDatabase& db, const std::string& name) {
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return db.GetTable("select name from sqlite_master where type = 'index' and lower(name) = " +
                       Sql::QuoteText(lower))
               .Count() > 0;
}

std::vector<ReportIndex> MissingReportIndexes(TSQLiteDatabase& db) {
    std::vector<ReportIndex> missing;
    for (const ReportIndex& index : kReportIndexes)
        if (db.TableExists(index.table) && !IndexExists(db, index.name))
            missing.push_back(index);
    return missing;
}
