#include "DailySummary.h"

#include "DayNumbers.h"
#include "InventoryData.h"
#include "LevelQuery.h"
#include "MailWorker.h"
#include "ReportDocument.h"
#include "SQLiteDatabase.h"
#include "SecretFile.h"
#include "StoredText.h"
#include "TextFormats.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSysInfo>
#include <QThreadPool>

#include <cmath>
#include <exception>

SummaryContent MakeSummaryContent(const std::string& dbFile, const QString& station, double from,
                                  double to, double offset, double nowLocal) {
    SummaryContent c;
    std::vector<TankReport> reports;
    try {
        TSQLiteDatabase db(dbFile, TSQLiteDatabase::Mode::ReadOnly);
        for (auto& tank : LoadReportTanks(db))
            if (tank->Act)
                reports.push_back(LoadTankReport(db, tank, {from, to}, offset, nowLocal));
    } catch (const std::exception& e) {
        c.error = std::string("cannot read ") + dbFile + ": " + e.what();
        return c;
    }
    for (const TankReport& r : reports) {
        SummaryTank t;
        t.adr = r.tank->id;
        t.name = StoredText::FromStored(r.tank->Name).toStdString();
        if (!r.balance.empty()) {
            const BalanceRow& b = r.balance.front();
            t.opening = b.openGross;
            t.closing = b.closeGross;
            t.delivered = b.delivered;
            t.lost = b.lost;
        }
        for (const EventRow& e : r.events) {
            const bool delivery = e.kind == "delivery";
            if ((!delivery && e.kind != "loss") || !e.vbefore || !e.vafter)
                continue;
            const double start = e.tstart + offset;
            if (start < from || start >= to)
                continue;
            t.events.push_back({delivery, start, std::llabs(*e.vafter - *e.vbefore)});
        }
        c.tanks.push_back(std::move(t));
    }
    ReportDocument doc;
    doc.station = station;
    doc.from = from;
    doc.to = to;
    doc.printedAt = nowLocal;
    doc.offset = offset;
    doc.tanks = reports;
    c.pdf = ReportPdf(doc).toStdString();
    if (c.pdf.empty())
        c.error = "cannot make the PDF";
    return c;
}

std::string SummaryRecordPath() {
    return QFileInfo(SecretFile(QStringLiteral("mail")))
        .dir()
        .filePath(QStringLiteral("Dravo.mail-summary"))
        .toStdString();
}

DailySummary::DailySummary(DailySummaryContext context, QObject* parent)
    : QObject(parent), ctx_(std::move(context)),
      record_(std::make_shared<SummaryRecord>(ctx_.recordFile)) {}

DailySummary::~DailySummary() = default;

void DailySummary::Restart(const MailSettings& settings, MailWorker* worker) {
    settings_ = settings;
    worker_ = worker;
    ++generation_;
    making_ = false;
    retryAfter_ = 0;
    record_->Release();
}

void DailySummary::Log(const std::string& text) {
    if (ctx_.putLogLine)
        ctx_.putLogLine(TextFormats::DateTime(ctx_.clock.LocalNow()) + "   " + text + "\r\n");
}

void DailySummary::Check() {
    if (!worker_ || settings_.summaryMinute < 0 || making_ ||
        Mail::RecipientsFor(settings_, "summary", settings_.summaryMinute).empty())
        return;
    const ClockReading now = ctx_.clock.Now();
    if (now.local < retryAfter_)
        return;
    const std::optional<double> moment = record_->Due(now.local, settings_.summaryMinute);
    if (!moment)
        return;
    record_->Take(*moment);
    making_ = true;
    const QString station = settings_.station.empty() ? QSysInfo::machineHostName()
                                                      : QString::fromStdString(settings_.station);
    QPointer<DailySummary> self(this);
    const int generation = generation_;
    const std::string dbFile = ctx_.dbFile;
    const double m = *moment, offset = now.local - now.utc;
    QThreadPool::globalInstance()->start([self, generation, dbFile, station, m, offset, now] {
        const SummaryContent c = MakeSummaryContent(dbFile, station, m - 1, m, offset, now.local);
        // To the application, which outlives the summary; the summary may be gone by now.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, generation, m, c] {
                if (self && self->generation_ == generation)
                    self->Made(m, c);
            },
            Qt::QueuedConnection);
    });
}

void DailySummary::Made(double moment, const SummaryContent& content) {
    making_ = false;
    if (content.pdf.empty()) {
        // Tried again in ten minutes (the file may be busy); logged each time, which is rare.
        record_->Release();
        retryAfter_ = ctx_.clock.LocalNow() + 10.0 / kMinutesPerDay;
        Log("Mail: the daily summary could not be made (" + content.error +
            "); trying again in 10 minutes");
        return;
    }
    const auto to = Mail::RecipientsFor(settings_, "summary", settings_.summaryMinute);
    const double utc = ctx_.clock.UtcNow();
    const int64_t unix = Mail::UnixTime(utc);
    const Mail::Message m =
        Mail::SummaryMessage(settings_, moment, content.tanks, content.pdf, to, unix);
    QPointer<DailySummary> self(this);
    std::shared_ptr<SummaryRecord> record = record_;
    MailJob job{to, Mail::Build(m), "daily summary", {}};
    job.sent = [record, moment, self] {
        // On the worker's thread, also while the station closes: the record first.
        if (record->Sent(moment))
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (self)
                    self->Log("Mail: the daily summary was sent, but the record of it could "
                              "not be written (" +
                              self->ctx_.recordFile + "); it may be sent again");
            },
            Qt::QueuedConnection);
    };
    worker_->Send(std::move(job));
    emit Queued(moment);
}
