#pragma once
// E-mail alarms, everything short of the network: the settings and recipients, who gets
// which mail at what hour, the rate limit that keeps a flapping alarm from flooding an
// inbox, and the message itself (headers, text, PDF attachment) as the bytes handed to the
// SMTP server. Pure: times are given, nothing is read from a clock.

#include "DayNumbers.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

enum class MailSecurity { None, StartTls, Tls };

struct MailRecipient {
    std::string address;
    // "low", "high", "silent", "loss", "stale" (no reading stored), "summary"; empty: every
    // alarm kind and "stale", no summary.
    std::set<std::string> kinds;
    // Local minutes after midnight, [from, to); may wrap midnight. None: at any hour.
    std::optional<int> fromMinute, toMinute;
    bool operator==(const MailRecipient&) const = default;
};

struct MailSettings {
    std::string host; // empty: no mail is sent
    int port = 587;
    MailSecurity security = MailSecurity::StartTls;
    std::string user;
    std::string password; // from the password store, never the INI
    std::string from;
    std::vector<MailRecipient> recipients;
    int staleMinutes = 0;   // mail when no reading was stored for this long; 0: off
    int summaryMinute = -1; // local minute of the daily summary; -1: none
    int rateMinutes = 30;   // at most one mail per alarm and recipient in this window
    std::string station;    // the station's name (UTF-8)
    bool Configured() const { return !host.empty() && !from.empty(); }
    bool operator==(const MailSettings&) const = default;
};

namespace Mail {
// "night@depot.example: loss, silent @ 22:00-06:00; boss@depot.example: summary": one entry
// per ';', kinds after ':', hours after '@'. False (and `error` says where) for anything else.
bool ParseRecipients(const std::string& text, std::vector<MailRecipient>& out, std::string* error);
std::string RecipientsText(const std::vector<MailRecipient>& rs);

// Whether the recipient wants this kind of mail at this local minute of the day.
bool Wants(const MailRecipient& r, const std::string& kind, int localMinute);
std::vector<std::string> RecipientsFor(const MailSettings& s, const std::string& kind,
                                       int localMinute);

// A text safe for one header line: CR, LF and other control characters become spaces.
std::string HeaderSafe(const std::string& text);
// An address is "local@domain" without spaces, angle brackets or control characters.
bool AddressValid(const std::string& address);

struct Attachment {
    std::string fileName;
    std::string mimeType;
    std::string bytes;
};

struct Message {
    std::string from;
    std::vector<std::string> to;
    std::string subject; // UTF-8
    std::string text;    // UTF-8, lines separated by '\n'
    std::vector<Attachment> attachments;
    int64_t unixTime = 0;  // for the Date header, UTC
    std::string messageId; // "<...@...>"
};
// The message as sent: CR LF lines, UTF-8 text in base64, attachments in base64.
std::string Build(const Message& m);
} // namespace Mail

// One alarm mail per (tank, alarm kind, recipient) in each window; the mail that it cleared
// goes only to those who had the raise, and the raises held back are counted for the next
// mail. Fed times as day numbers.
class MailRateLimit {
public:
    explicit MailRateLimit(double windowMinutes) : window_(windowMinutes / kMinutesPerDay) {}
    // True when a raise mail may go now; false counts it as held back.
    bool AllowRaise(int adr, const std::string& kind, const std::string& to, double utc);
    // True when the recipient had the raise and not yet its clear.
    bool AllowClear(int adr, const std::string& kind, const std::string& to);
    // Someone acknowledged the alarm: its next raise is news, whatever the window.
    void Acknowledged(int adr, const std::string& kind);
    // Raises held back since the last mail that went, and forgets them.
    int TakeHeldBack(int adr, const std::string& kind, const std::string& to);

private:
    struct Entry {
        double lastSent = -1e9;
        bool open = false; // a raise went, its clear not yet
        int heldBack = 0;
    };
    double window_;
    std::map<std::tuple<int, std::string, std::string>, Entry> entries_;
};

// What an alarm mail says.
struct AlarmNotice {
    int adr = 0;
    std::string tank;             // the tank's name (UTF-8)
    std::string alarm;            // "LOSS", "LOW", ...
    bool raised = true;           // false: cleared
    std::optional<int32_t> level; // the tank's litres at the time
    std::optional<int32_t> lost;  // for a loss: the litres gone so far
    std::string localTime;        // "dd/mm/yyyy hh:mm:ss", the station's time
    int heldBack = 0;             // raises not mailed in the window before
    std::string lossFrom, lossTo; // for a loss: when it began and ended (none: going on)
};

namespace Mail {
// The Date header's time: seconds since 01/01/1970 UTC of a UTC day number.
inline int64_t UnixTime(double utcDay) {
    return std::llround((utcDay - kUnixEpochDay) * kSecondsPerDay);
}
Message AlarmMessage(const MailSettings& s, const AlarmNotice& n, std::vector<std::string> to,
                     int64_t unixTime);
// No reading stored for `minutes` (or, `back`, stored again).
Message StaleMessage(const MailSettings& s, int minutes, bool back, const std::string& localTime,
                     std::vector<std::string> to, int64_t unixTime);
Message TestMessage(const MailSettings& s, const std::string& localTime,
                    std::vector<std::string> to, int64_t unixTime);
} // namespace Mail
