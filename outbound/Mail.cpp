#include "Mail.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace {
std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const auto at = s.find(sep, start);
        out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return out;
        start = at + 1;
    }
}

std::optional<int> Minute(const std::string& hhmm) {
    const std::string t = Trim(hhmm);
    if (t.size() != 5 || t[2] != ':')
        return std::nullopt;
    for (int i : {0, 1, 3, 4})
        if (t[std::size_t(i)] < '0' || t[std::size_t(i)] > '9')
            return std::nullopt;
    const int h = std::stoi(t.substr(0, 2)), m = std::stoi(t.substr(3, 2));
    if (h > 23 || m > 59)
        return std::nullopt;
    return h * 60 + m;
}

std::string HhMm(int minute) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d", minute / 60, minute % 60);
    return buf;
}

const std::set<std::string> kKinds = {"low", "high", "silent", "loss", "leak", "stale", "summary"};

std::string Base64Lines(const std::string& bytes) {
    const QByteArray b64 = QByteArray::fromStdString(bytes).toBase64();
    std::string out;
    for (qsizetype i = 0; i < b64.size(); i += 76)
        out += b64.mid(i, 76).toStdString() + "\r\n";
    return out;
}

bool Ascii(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// A header text; non-ASCII as RFC 2047 encoded words of whole characters.
std::string EncodedHeader(const std::string& text) {
    const std::string safe = Mail::HeaderSafe(text);
    if (Ascii(safe))
        return safe;
    const QString q = QString::fromUtf8(safe.data(), qsizetype(safe.size()));
    std::string out;
    QString chunk;
    auto flush = [&] {
        if (chunk.isEmpty())
            return;
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toUtf8().toBase64().toStdString() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < q.size(); ++i) {
        // Keep surrogate pairs together; 45 bytes of UTF-8 make a 60-character word.
        QString c = q.mid(i, q.at(i).isHighSurrogate() ? 2 : 1);
        if (c.size() == 2)
            ++i;
        if ((chunk + c).toUtf8().size() > 45)
            flush();
        chunk += c;
    }
    flush();
    return out;
}
} // namespace

namespace Mail {

bool ParseRecipients(const std::string& text, std::vector<MailRecipient>& out, std::string* error) {
    std::vector<MailRecipient> rs;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    for (const std::string& rawEntry : Split(text, ';')) {
        std::string entry = Trim(rawEntry);
        if (entry.empty())
            continue;
        MailRecipient r;
        // The address ends at the first ':'; after it the kinds, then '@' and the hours.
        const auto colon = entry.find(':');
        r.address = Trim(entry.substr(0, colon));
        if (!AddressValid(r.address))
            return fail("\"" + r.address + "\" is not an e-mail address");
        std::string hours;
        if (colon != std::string::npos) {
            const auto at = entry.find('@', colon);
            if (at != std::string::npos) {
                hours = entry.substr(at + 1);
                entry = entry.substr(0, at);
            }
        }
        if (colon != std::string::npos) {
            for (const std::string& k : Split(entry.substr(colon + 1), ',')) {
                const std::string kind = Trim(k);
                if (kind.empty())
                    continue;
                if (!kKinds.count(kind))
                    return fail("\"" + kind +
                                "\" is not a kind of mail (low, high, silent, loss, "
                                "leak, stale, summary)");
                r.kinds.insert(kind);
            }
        }
        if (!Trim(hours).empty()) {
            const auto dash = hours.find('-');
            const auto from =
                dash == std::string::npos ? std::nullopt : Minute(hours.substr(0, dash));
            const auto to =
                dash == std::string::npos ? std::nullopt : Minute(hours.substr(dash + 1));
            if (!from || !to || *from == *to)
                return fail("\"" + Trim(hours) + "\" is not hours as hh:mm-hh:mm");
            r.fromMinute = from;
            r.toMinute = to;
        }
        rs.push_back(std::move(r));
    }
    out = std::move(rs);
    return true;
}

std::string RecipientsText(const std::vector<MailRecipient>& rs) {
    std::string out;
    for (const MailRecipient& r : rs) {
        if (!out.empty())
            out += "; ";
        out += r.address;
        if (!r.kinds.empty()) {
            out += ": ";
            bool first = true;
            for (const std::string& k : r.kinds) {
                out += (first ? "" : ", ") + k;
                first = false;
            }
        }
        if (r.fromMinute && r.toMinute) {
            if (r.kinds.empty())
                out += ":";
            out += " @ " + HhMm(*r.fromMinute) + "-" + HhMm(*r.toMinute);
        }
    }
    return out;
}

bool Wants(const MailRecipient& r, const std::string& kind, int localMinute) {
    if (kind == "test")
        return true;
    const bool kindOk = r.kinds.empty() ? kind != "summary" : r.kinds.count(kind) > 0;
    if (!kindOk)
        return false;
    if (!r.fromMinute || !r.toMinute)
        return true;
    const int from = *r.fromMinute, to = *r.toMinute;
    return from < to ? localMinute >= from && localMinute < to
                     : localMinute >= from || localMinute < to;
}

std::vector<std::string> RecipientsFor(const MailSettings& s, const std::string& kind,
                                       int localMinute) {
    std::vector<std::string> out;
    for (const MailRecipient& r : s.recipients)
        if (Wants(r, kind, localMinute))
            out.push_back(r.address);
    return out;
}

std::string HeaderSafe(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return out;
}

bool AddressValid(const std::string& a) {
    const auto at = a.find('@');
    if (at == std::string::npos || at == 0 || at + 1 >= a.size() ||
        a.find('@', at + 1) != std::string::npos)
        return false;
    for (unsigned char c : a)
        if (c <= ' ' || c == 0x7f || c == '<' || c == '>' || c == ',' || c == ';' || c == ':' ||
            c == '"' || c == '(' || c == ')')
            return false;
    return true;
}

std::string Build(const Message& m) {
    std::string h;
    h += "From: " + HeaderSafe(m.from) + "\r\n";
    std::string to;
    for (const std::string& a : m.to)
        to += (to.empty() ? "" : ", ") + HeaderSafe(a);
    h += "To: " + to + "\r\n";
    h += "Subject: " + EncodedHeader(m.subject) + "\r\n";
    const QDateTime date = QDateTime::fromSecsSinceEpoch(m.unixTime, Qt::UTC);
    h += "Date: " + QLocale::c().toString(date, "ddd, dd MMM yyyy hh:mm:ss").toStdString() +
         " +0000\r\n";
    if (!m.messageId.empty())
        h += "Message-ID: " + HeaderSafe(m.messageId) + "\r\n";
    h += "MIME-Version: 1.0\r\n";
    const std::string textPart = "Content-Type: text/plain; charset=UTF-8\r\n"
                                 "Content-Transfer-Encoding: base64\r\n\r\n" +
                                 Base64Lines(m.text);
    if (m.attachments.empty())
        return h + textPart;
    // A boundary that cannot occur in base64 or in the text part's headers.
    const std::string boundary = "=_tavrona_" + std::to_string(m.unixTime) + "_part";
    h += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    h += "--" + boundary + "\r\n" + textPart;
    for (const Attachment& a : m.attachments) {
        std::string name;
        for (char c : a.fileName)
            name += (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) ? '_' : c;
        h += "--" + boundary + "\r\n";
        h += "Content-Type: " + HeaderSafe(a.mimeType) + "; name=\"" + name + "\"\r\n";
        h += "Content-Transfer-Encoding: base64\r\n";
        h += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
        h += Base64Lines(a.bytes);
    }
    h += "--" + boundary + "--\r\n";
    return h;
}
} // namespace Mail

bool MailRateLimit::AllowRaise(int adr, const std::string& kind, const std::string& to,
                               double utc) {
    Entry& e = entries_[{adr, kind, to}];
    if (utc - e.lastSent < window_) {
        ++e.heldBack;
        return false;
    }
    e.lastSent = utc;
    e.open = true;
    return true;
}

bool MailRateLimit::AllowClear(int adr, const std::string& kind, const std::string& to) {
    auto it = entries_.find({adr, kind, to});
    if (it == entries_.end() || !it->second.open)
        return false;
    it->second.open = false;
    return true;
}

void MailRateLimit::Acknowledged(int adr, const std::string& kind) {
    for (auto& [key, e] : entries_)
        if (std::get<0>(key) == adr && std::get<1>(key) == kind)
            e.lastSent = -1e9;
}

int MailRateLimit::TakeHeldBack(int adr, const std::string& kind, const std::string& to) {
    auto it = entries_.find({adr, kind, to});
    if (it == entries_.end())
        return 0;
    const int n = it->second.heldBack;
    it->second.heldBack = 0;
    return n;
}

namespace Mail {
namespace {
Message Base(const MailSettings& s, std::vector<std::string> to, int64_t unixTime,
             const std::string& subject, const std::string& text) {
    Message m;
    m.from = s.from;
    m.to = std::move(to);
    m.unixTime = unixTime;
    const auto at = s.from.find('@');
    static int serial = 0;
    m.messageId = "<tavrona." + std::to_string(unixTime) + "." + std::to_string(++serial) + "@" +
                  (at == std::string::npos ? std::string("localhost") : s.from.substr(at + 1)) +
                  ">";
    m.subject = "[Tavrona " + s.station + "] " + subject;
    m.text = text + "\nStation: " + s.station + "\n\n-- \nSent by the Tavrona station " +
             s.station + ".\n";
    return m;
}
} // namespace

Message AlarmMessage(const MailSettings& s, const AlarmNotice& n, std::vector<std::string> to,
                     int64_t unixTime) {
    const std::string tank = n.tank + " (tank " + std::to_string(n.adr) + ")";
    const std::string change = n.raised ? "raised" : "cleared";
    std::string text = n.alarm + " alarm " + change + " on " + tank + "\n\n";
    text += "Tank: " + tank + "\n";
    text += "Alarm: " + n.alarm + ", " + change + "\n";
    text += "Time: " + n.localTime + "\n";
    if (n.lost)
        text += "Lost: " + std::to_string(*n.lost) + " l\n";
    if (!n.lossFrom.empty())
        text += "Loss: from " + n.lossFrom + (n.lossTo.empty() ? ", going on" : " to " + n.lossTo) +
                "\n";
    if (n.level)
        text += "Level: " + std::to_string(*n.level) + " l\n";
    if (n.heldBack > 0)
        text += "\nThis alarm was raised " + std::to_string(n.heldBack) +
                " more time(s) since the last mail about it; those were not mailed.\n";
    std::string subject = n.alarm + " alarm " + change + ": " + tank;
    if (n.lost)
        subject += ", " + std::to_string(*n.lost) + " l";
    return Base(s, std::move(to), unixTime, subject, text);
}

Message StaleMessage(const MailSettings& s, int minutes, bool back, const std::string& localTime,
                     std::vector<std::string> to, int64_t unixTime) {
    if (back)
        return Base(s, std::move(to), unixTime, "Readings stored again",
                    "Readings are stored again since " + localTime + ".\n");
    const std::string what = "No reading stored for " + std::to_string(minutes) + " minutes";
    return Base(s, std::move(to), unixTime, what,
                what + " (at " + localTime +
                    "). The sensor line may be lost or data.db may refuse writes; see the "
                    "station's Errors log.\n");
}

Message TestMessage(const MailSettings& s, const std::string& localTime,
                    std::vector<std::string> to, int64_t unixTime) {
    return Base(s, std::move(to), unixTime, "Test mail",
                "A test mail from Settings, sent at " + localTime + ".\n");
}
} // namespace Mail
