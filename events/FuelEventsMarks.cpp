#include "FuelEventsTank.h"

#include "SQLiteDatabase.h"

TankEventSettings FuelEvents::Settings(int adr) const {
    auto it = settings_.find(adr);
    if (it != settings_.end())
        return it->second;
    TankEventSettings s;
    s.adr = adr;
    return s;
}

bool FuelEvents::SetSettings(const TankEventSettings& s) {
    if (!Storage([&] { SaveEventSettings(ctx_.db, s); }))
        return false;
    settings_[s.adr] = s;
    TankFor(s.adr).detector.SetConfig(ConfigFor(s.adr));
    return true;
}

void FuelEvents::SaveMarks() {
    readingsSinceSave_ = 0;
    if (!enabled_ || worker_ || tanks_.empty())
        return;
    for (const auto& [adr, tank] : tanks_)
        if (!tank->live)
            return;
    std::vector<ExaminedMark> marks;
    for (const auto& [adr, tank] : tanks_)
        marks.push_back({adr, tank->detector.LastTime(), tank->detector.SaveState(), 0, 0});
    marks_ = marks;
    // The newest row is read when the marks are written: readings that waited before them
    // in the queue have been examined already and are stored by then.
    Write([marks](TSQLiteDatabase& db) mutable {
        const auto [lastRow, lastTstamp] = LastDataRow(db);
        for (ExaminedMark& m : marks) {
            m.lastRow = lastRow;
            m.lastRowTstamp = lastTstamp;
        }
        SaveExaminedMarksHere(db, marks);
    });
}
