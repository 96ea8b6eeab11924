#include "Config.h"

#include "ReportTool.h"

#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>

#include <algorithm>
#include <memory>

namespace {

// The store is opened anew for each read or write, as the operations are rare.
std::unique_ptr<QSettings> OpenStore() {
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>("HKEY_CURRENT_USER\\Software\\Dravo",
                                       QSettings::NativeFormat);
#else
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::make_unique<QSettings>(dir + "/Dravo.ini", QSettings::IniFormat);
#endif
}

} // namespace

void RCfgData(TSetup& into) {
    auto store = OpenStore();
    into.PortNum = store->value("Setup/PortNum", QString()).toString();
    into.WrkMode = store->value("Setup/WorkMode", QString()).toString();
    if (into.WrkMode != kModeDirect && into.WrkMode != kModeLogger)
        into.WrkMode = kModeDirect;
    into.CodePage = store->value("Setup/CodePage", QString()).toString();
    into.CodePage = StoredText::CodePageName(LegacyCodePageOf(into));
    // A text edited by hand into something unreadable means calendar days, as before it.
    std::vector<int> starts;
    // Written by hand without quotes, "06:00,18:00" reads as a list of two.
    const QVariant stored = store->value("Setup/ShiftStarts", QString());
    const QString shifts = stored.typeId() == QMetaType::QStringList
                               ? stored.toStringList().join(',')
                               : stored.toString();
    into.ShiftStarts = ParseShiftSetting(shifts, starts)
                           ? QString::fromStdString(ShiftStartsText(starts))
                           : QString();
    into.Central = RCentralData();
}

bool ParseShiftSetting(const QString& text, std::vector<int>& starts) {
    starts.clear();
    const QString t = text.trimmed();
    if (t.isEmpty())
        return true;
    if (!ParseShiftStarts(t.toStdString(), starts)) {
        starts.clear();
        return false;
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return true;
}

std::vector<int> ShiftStartsOf(const TSetup& setup) {
    std::vector<int> starts;
    ParseShiftSetting(setup.ShiftStarts, starts);
    return starts;
}

StoredText::CodePage LegacyCodePageOf(const TSetup& setup) {
    return StoredText::CodePageNamed(setup.CodePage).value_or(StoredText::kDefaultCodePage);
}

void UseCodePage(const TSetup& setup) {
    StoredText::SetLegacyCodePage(LegacyCodePageOf(setup));
}

bool WrCfgData(const TSetup& from) {
    auto store = OpenStore();
    store->setValue("Setup/PortNum", from.PortNum);
    store->setValue("Setup/WorkMode", from.WrkMode);
    store->setValue("Setup/CodePage", StoredText::CodePageName(LegacyCodePageOf(from)));
    store->setValue("Setup/ShiftStarts",
                    QString::fromStdString(ShiftStartsText(ShiftStartsOf(from))));
    // sync() writes; status() is the only word on whether that worked.
    store->sync();
    return store->status() == QSettings::NoError && store->isWritable();
}

QString SettingsNotSavedText() {
    return QStringLiteral("The settings could not be saved to %1. The port chosen is used "
                          "until the station ends and must be chosen again at the next start.")
        .arg(ConfigLocation());
}

// A value written by hand with an unquoted comma reads as a list; it is one text.
static QString WholeText(const QVariant& stored) {
    return stored.typeId() == QMetaType::QStringList ? stored.toStringList().join(',')
                                                     : stored.toString();
}

TCentralSetup RCentralData() {
    auto store = OpenStore();
    TCentralSetup c;
    c.Connection = WholeText(store->value("Central/Connection", QString())).trimmed();
    c.Station = WholeText(store->value("Central/Station", QString())).trimmed();
    if (c.Station.isEmpty())
        c.Station = QSysInfo::machineHostName();
    return c;
}

bool WrCentralData(const TCentralSetup& from) {
    auto store = OpenStore();
    store->setValue("Central/Connection", from.Connection.trimmed());
    // The host name is the default; it is stored only when chosen otherwise.
    if (from.Station.trimmed().isEmpty() || from.Station == QSysInfo::machineHostName())
        store->remove("Central/Station");
    else
        store->setValue("Central/Station", from.Station.trimmed());
    store->sync();
    return store->status() == QSettings::NoError && store->isWritable();
}

QString ConfigLocation() {
    return OpenStore()->fileName();
}

std::unique_ptr<QSettings> OpenSettingsStore() {
    return OpenStore();
}
