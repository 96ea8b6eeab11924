#pragma once
// A password typed into the central server's connection string goes to libpq's password
// file (readable by the user alone), never into the settings file.

#include <QString>

#include <string>

// Takes any password out of `connection` and stores it in `passFile` (libpq's password
// file by default). Returns what the operator is told (never the password itself); empty
// when the string held none.
std::string MovePasswordOut(QString& connection, const std::string& passFile = {});
