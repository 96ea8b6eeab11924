#pragma once
// A small data.db in a temporary directory, filled through the station's own statements.

#include "SQLiteDatabase.h"
#include "Statements.h"

#include <QTemporaryDir>

#include <memory>
#include <sqlite3.h>

struct ReportsTestDb {
    QTemporaryDir dir;
    std::unique_ptr<TSQLiteDatabase> db;

    explicit ReportsTestDb(int tanks = 14) {
        db = std::make_unique<TSQLiteDatabase>(dir.filePath("data.db").toStdString());
        db->ExecSQL(Sql::kCreateTanks);
        db->ExecSQL(Sql::kCreateData);
        db->ExecSQL(Sql::kCreateError);
        for (int i = 1; i <= tanks; ++i)
            db->ExecSQL(Sql::SeedTank(i));
    }
    void Level(double utc, int adr, int litres) {
        db->ExecSQL(Sql::InsertData(utc, adr, litres, litres * 2, 20));
    }
    void Silence(double utc, int adr) { db->ExecSQL(Sql::InsertError(utc, adr, 1)); }
};
