#include "StoredReadingsLoad.h"

#include "LastReading.h"
#include "SQLiteDatabase.h"
#include "TItemNode.h"

#include <memory>

StoredReadingsLoad::StoredReadingsLoad(std::string file, std::vector<Tank> tanks, int recentCount,
                                       QObject* receiver, Done done) {
    QPointer<QObject> to(receiver);
    thread_ = std::thread([this, file = std::move(file), tanks = std::move(tanks), recentCount, to,
                           done = std::move(done)] {
        StoredReadings result = Read(file, tanks, recentCount, &stop_);
        if (stop_ || !to)
            return;
        // Queued to the receiver: dropped by Qt if it is gone by then; the receiver owns
        // this object and destroys it only after the thread has been joined.
        QMetaObject::invokeMethod(
            to, [done, result = std::move(result)] { done(result); }, Qt::QueuedConnection);
    });
}

StoredReadingsLoad::~StoredReadingsLoad() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

StoredReadings StoredReadingsLoad::Read(const std::string& file, const std::vector<Tank>& tanks,
                                        int recentCount, const std::atomic<bool>* stop) {
    StoredReadings result;
    try {
        TSQLiteDatabase db(file, TSQLiteDatabase::Mode::ReadOnly);
        for (const Tank& t : tanks) {
            if (stop && *stop)
                break;
            StoredTankReadings r;
            r.adr = t.adr;
            if (t.active) {
                // The tile's own loader, on a record of this thread's.
                auto node = std::make_unique<TItemNode>();
                node->id = static_cast<uint8_t>(t.adr);
                node->Act = true;
                LoadLastReadings(db, {node.get()}, 0);
                if (node->LDTime > 0)
                    r.newest =
                        StoredTankReadings::Newest{node->FL, node->FLC, node->Temp, node->LDTime};
            }
            r.recent = LastDataRows(db, t.adr, recentCount);
            result.tanks.push_back(std::move(r));
        }
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return result;
}
