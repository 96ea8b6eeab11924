#include "LevelChartData.h"

#include "LevelQuery.h"

void ReadLevelChart(TSQLiteDatabase& db, int adr, double S, double E, double offset,
                    double nowLocal, LevelChartData& out) {
    out = {};
    {
        std::vector<fdata> samples;
        QueryLevels(db, adr, S, E, offset, samples);
        if (samples.empty())
            return;
        BuildLevelSeries(samples, S, E, out.points);
    }
    SortForDrawing(out.points);
    out.silences = QueryErrors(db, adr, S, E, offset);
    out.events = LoadChartEvents(db, adr, out.points, S, E, offset, nowLocal);
}
