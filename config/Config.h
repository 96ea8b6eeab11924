#pragma once
// The station's settings and their per-user store: the registry key
// "Software\Dravo\Setup" on Windows, Dravo.ini (section [Setup]) in the user's
// configuration folder elsewhere.

#include "StoredText.h"

#include <QString>

#include <memory>
#include <vector>

class QSettings;

// The optional [Central] section: where the station sends its rows. An empty connection
// string: nothing is sent. No password is kept here; libpq reads it from its own password
// or service file.
struct TCentralSetup {
    QString Connection;
    QString Station; // the host name when not set
    bool operator==(const TCentralSetup&) const = default;
};

// The station's settings. The main window owns them and hands them by reference to what
// reads or changes them.
struct TSetup {
    QString PortNum; // empty: no port chosen
    QString WrkMode; // "Direct" or "Logger" once RCfgData has run
    // The code page in which texts stored by older programs are read ("Windows-1252" once
    // RCfgData has run; see StoredText).
    QString CodePage = StoredText::CodePageName(StoredText::kDefaultCodePage);
    // When the shifts of the balance report start, "06:00,18:00"; empty: calendar days.
    QString ShiftStarts{};
    // [Central], read with the rest; written by WrCentralData alone.
    TCentralSetup Central{};
};

inline constexpr const char* kModeDirect = "Direct";
inline constexpr const char* kModeLogger = "Logger";

// Reads the store, [Central] included, into `into`; nothing is written back.
void RCfgData(TSetup& into);
// Writes the values to the store. False when they could not be written (a read-only
// folder or file, a full disk, a registry key denied): the caller tells the operator, as
// the choice would otherwise be lost at the next start without a word.
[[nodiscard]] bool WrCfgData(const TSetup& from);
// What the operator is told when WrCfgData failed.
QString SettingsNotSavedText();
// The legacy code page a setup names; the default for a name that is not offered.
StoredText::CodePage LegacyCodePageOf(const TSetup& setup);
// Makes it the station's legacy code page.
void UseCodePage(const TSetup& setup);
// The shift starts as the Settings dialog and the store hold them: "hh:mm" separated by
// commas, as the report tool's --shifts, or nothing for calendar days. False for anything
// else. `starts` are minutes after midnight, ascending, each once.
bool ParseShiftSetting(const QString& text, std::vector<int>& starts);
// The setup's shift starts (none for calendar days or an unreadable text).
std::vector<int> ShiftStartsOf(const TSetup& setup);

// Where the settings live, for README and diagnostics.
QString ConfigLocation();
// The store itself, for what the station keeps beside its settings (the window's place).
std::unique_ptr<QSettings> OpenSettingsStore();

TCentralSetup RCentralData();
// False when the values could not be written (see WrCfgData).
[[nodiscard]] bool WrCentralData(const TCentralSetup& from);
