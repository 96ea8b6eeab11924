#include "CentralSender.h"

#include "LocalQueue.h"
#include "SQLiteDatabase.h"

#include <algorithm>

CentralSender::CentralSender(LocalQueue& queue, CentralServer& server, int batchRows)
    : queue_(queue), server_(server), batchRows_(std::max(1, batchRows)) {}

CentralRoundResult CentralSender::SendPending(const std::function<void()>& afterCommit) {
    CentralRoundResult result;
    const std::string& station = queue_.Station();
    const auto failed = [&](const CentralOutcome& o, std::size_t rows) {
        result.counts.failed += static_cast<int64_t>(rows);
        result.error = o.error;
        server_.Disconnect();
    };
    const auto committed = [&](std::size_t rows) {
        result.counts.sent += static_cast<int64_t>(rows);
        if (afterCommit)
            afterCommit();
    };
    try {
        CentralOutcome o = server_.Prepare();
        if (!o.ok) {
            failed(o, 0);
            result.counts.waiting = queue_.Waiting();
            return result;
        }

        // Tanks first, so that readings can be read against the tank they belong to.
        std::vector<CentralTankChange> tanks = queue_.ChangedTanks();
        if (!tanks.empty()) {
            o = server_.SendTankChanges(station, tanks);
            if (!o.ok) {
                failed(o, tanks.size());
                result.counts.waiting = queue_.Waiting();
                return result;
            }
            committed(tanks.size());
            queue_.TanksSent(tanks);
        }

        // Readings, then silences: each table's rows after its mark, batch by batch, the
        // mark moved only after the server committed the batch.
        const auto drain = [&](const auto& markName, auto readAfter, auto send) {
            for (int64_t mark = queue_.Mark(markName);;) {
                const auto rows = readAfter(mark);
                if (rows.empty())
                    return true;
                o = send(rows);
                if (!o.ok) {
                    failed(o, rows.size());
                    result.counts.waiting = queue_.Waiting();
                    return false;
                }
                committed(rows.size());
                mark = rows.back().row;
                queue_.SetMark(markName, mark);
            }
        };
        if (!drain(
                kMarkData, [&](int64_t m) { return queue_.ReadingsAfter(m, batchRows_); },
                [&](const std::vector<CentralReading>& r) {
                    return server_.SendReadings(station, r);
                }))
            return result;
        if (!drain(
                kMarkError, [&](int64_t m) { return queue_.ErrorsAfter(m, batchRows_); },
                [&](const std::vector<CentralError>& r) { return server_.SendErrors(station, r); }))
            return result;

        // Events are sent again from the oldest one that could still change (its end or its
        // acknowledgement may come later); the server keeps the latest state of each.
        const int64_t sentEvents = queue_.Mark(kMarkEvents);
        int64_t from = std::min(queue_.Mark(kMarkEventsOpen), sentEvents + 1);
        if (from <= 0)
            from = 1;
        std::optional<int64_t> firstOpen;
        int64_t sent = sentEvents;
        for (;;) {
            const std::vector<CentralEvent> rows = queue_.EventsFrom(from, batchRows_);
            if (rows.empty())
                break;
            o = server_.SendEvents(station, rows);
            if (!o.ok) {
                failed(o, rows.size());
                result.counts.waiting = queue_.Waiting();
                return result;
            }
            for (const CentralEvent& e : rows) {
                if (!firstOpen && LocalQueue::EventOpen(e))
                    firstOpen = e.id;
                if (e.id > sent)
                    ++result.counts.sent;
            }
            sent = std::max(sent, rows.back().id);
            if (afterCommit)
                afterCommit();
            queue_.SetMarks({{kMarkEvents, sent}, {kMarkEventsOpen, firstOpen.value_or(sent + 1)}});
            from = rows.back().id + 1;
        }

        // The reconciliation's book, part by part, in batches of about batchRows rows.
        const std::vector<CentralBookPart> book = queue_.ChangedBook();
        for (std::size_t first = 0; first < book.size();) {
            std::size_t last = first;
            int64_t rows = 0;
            while (last < book.size() && (last == first || rows + book[last].Rows() <= batchRows_))
                rows += book[last++].Rows();
            const std::vector<CentralBookPart> batch(book.begin() + std::ptrdiff_t(first),
                                                     book.begin() + std::ptrdiff_t(last));
            o = server_.SendBook(station, batch);
            if (!o.ok) {
                int64_t left = 0;
                for (std::size_t i = first; i < book.size(); ++i)
                    left += book[i].Rows();
                failed(o, std::size_t(rows));
                result.counts.waiting = queue_.Waiting() + left;
                return result;
            }
            committed(std::size_t(rows));
            queue_.BookSent(batch);
            first = last;
        }
        result.counts.waiting = queue_.Waiting();
        result.ok = true;
    } catch (const SQLiteError& e) {
        // data.db busy or unreadable for a moment: the round is tried again later.
        result.ok = false;
        result.error = std::string("data.db: ") + e.what();
    }
    return result;
}
