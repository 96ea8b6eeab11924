#pragma once
// Passwords kept apart from the settings: one file per use ("mqtt", "mail") beside the INI,
// Dravo.<what>-password, readable and writable by the user alone (mode 0600). The INI never
// holds them.

#include <QString>

#include <string>

QString SecretFile(const QString& what);
// The stored password; empty when none is stored. A file that others may read or write is
// not used: `problem` then says why.
std::string ReadSecret(const QString& what, std::string* problem = nullptr);
// Writes (or, for an empty password, removes) the file. False when that failed.
bool WriteSecret(const QString& what, const std::string& password);
