#!/usr/bin/env bash
# Writes a data.db of one year (2025) for 14 tanks with the sqlite3 shell alone, as another
# program would: one reading a minute per tank, stretches of silence at random places and of
# random lengths (mostly minutes, some of hours), one ERROR row per silent minute, no index.
# bench_reports is then run on it to measure the Reports on a file it did not write.
#
#   benchmarks/make_year_db.sh OUT.db [SEED]
set -euo pipefail
out=${1:?usage: make_year_db.sh OUT.db [SEED]}
seed=${2:-1}
rm -f "$out"
sqlite3 "$out" <<SQL
PRAGMA journal_mode=OFF;
PRAGMA synchronous=OFF;
CREATE TABLE TANKS (id INTEGER PRIMARY KEY AUTOINCREMENT,name TEXT,capacity INTEGER,ftype TEXT,act INTEGER,lfuel INTEGER,ofuel INTEGER,memo TEXT,pict BLOB,ftbl BLOB,clb BLOB);
CREATE TABLE DATA (tstamp REAL ,adr INTEGER,flevel INTEGER,fcode INTEGER,temp INTEGER);
CREATE TABLE ERROR (tstamp REAL ,adr INTEGER,code INTEGER);
WITH RECURSIVE t(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM t WHERE i < 14)
INSERT INTO TANKS (name, act) SELECT 'Tank ' || i, 1 FROM t;

-- SQLite's random() takes no seed: the seed only varies how many stretches there are.
CREATE TEMP TABLE stretch (adr INTEGER, first INTEGER, len INTEGER);
WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 3000 + $seed)
INSERT INTO stretch
SELECT 1 + abs(random()) % 14, abs(random()) % 525600,
       CASE WHEN abs(random()) % 10 = 0 THEN 30 + abs(random()) % 900 ELSE 1 + abs(random()) % 8 END
FROM k;

CREATE TEMP TABLE silent (adr INTEGER, m INTEGER, PRIMARY KEY (adr, m)) WITHOUT ROWID;
WITH RECURSIVE s(adr, m, last) AS (
    SELECT adr, first, first + len - 1 FROM stretch
    UNION ALL SELECT adr, m + 1, last FROM s WHERE m < last)
INSERT OR IGNORE INTO silent SELECT adr, m FROM s WHERE m < 525600;

-- Minutes outer, tanks inner, as a poll cycle stores them; 2025-01-01 is day 45658.
BEGIN;
WITH RECURSIVE
    minute(m) AS (SELECT 0 UNION ALL SELECT m + 1 FROM minute WHERE m < 525599),
    tank(a) AS (SELECT 1 UNION ALL SELECT a + 1 FROM tank WHERE a < 14)
INSERT INTO DATA (tstamp, adr, flevel, fcode, temp)
SELECT 45658 + (m * 60 + a * 2 + abs(random()) % 1000 / 1000.0) / 86400.0, a,
       18000 - (m % 10080) + a * 50 + abs(random()) % 7, 2000 + (m % 10080) / 3, 10 + a % 5
FROM minute, tank
WHERE NOT EXISTS (SELECT 1 FROM silent WHERE silent.adr = a AND silent.m = minute.m);
INSERT INTO ERROR (tstamp, adr, code)
SELECT 45658 + (m * 60 + 30) / 86400.0, adr, 1 FROM silent ORDER BY m, adr;
COMMIT;
SELECT 'DATA rows ' || count(*) FROM DATA;
SELECT 'ERROR rows ' || count(*) FROM ERROR;
SQL
