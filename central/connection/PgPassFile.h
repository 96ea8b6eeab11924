#pragma once
// libpq's password file, where a password typed into the station's settings goes instead of
// the settings file: only its owner may read it (libpq ignores it otherwise).

#include <string>

// PGPASSFILE when set, else ~/.pgpass (%APPDATA%\postgresql\pgpass.conf on Windows).
std::string PgPassPath();

// One "host:port:database:user:password" line, ':' and '\' escaped, '*' for what the
// connection string leaves to libpq's defaults or names more than once (a host list).
std::string PgPassLine(const std::string& conninfo, const std::string& password);

// Adds the line for the connection string's host, port, database and user to `path`,
// replacing one for the same four; the file is written whole and left readable by its
// owner alone. Empty on success, else why not (never the password).
std::string StorePgPassword(const std::string& conninfo, const std::string& password,
                            const std::string& path);
