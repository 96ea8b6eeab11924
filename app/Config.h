#pragma once
// The station's two settings and their per-user store: the registry key
// "Software\Dravo\Setup" on Windows, Dravo.ini (section [Setup]) in the user's
// configuration folder elsewhere.

#include <QString>

struct TSetup {
    QString PortNum; // empty: no port chosen
    QString WrkMode; // "Direct" or "Logger" once RCfgData has run
};

extern TSetup CfgData;

inline constexpr const char* kModeDirect = "Direct";
inline constexpr const char* kModeLogger = "Logger";

// Reads the store into `into` (CfgData by default); nothing is written back.
void RCfgData(TSetup& into = CfgData);
// Writes both values to the store.
void WrCfgData(const TSetup& from = CfgData);
// Where the settings live, for README and diagnostics.
QString ConfigLocation();

// The optional [Central] section: where the station sends its rows. An empty connection
// string: nothing is sent. No password is kept here; libpq reads it from its own password
// or service file.
struct TCentralSetup {
    QString Connection;
    QString Station; // the host name when not set
    bool operator==(const TCentralSetup&) const = default;
};
TCentralSetup RCentralData();
void WrCentralData(const TCentralSetup& from);
