// The points of the level line (start, gap and end rules) and what is drawn of them: the
// level between readings, and every segment into a red point as a silence.
#include "LevelSeries.h"
#include "TextFormats.h"

#include <QtTest>

#include <cmath>

namespace {

const double kDay = TextFormats::Join(2026, 12, 7);

double T(int h, int m, int s = 0) {
    return kDay + (h * 3600 + m * 60 + s) / 86400.0;
}

const double S = T(10, 0);
const double E = T(11, 0);

LevelPoint N(double x, int y) {
    return {x, y, PointKind::Normal};
}
// A normal point that carries a stored reading.
LevelPoint Read(double x, int y) {
    return {x, y, PointKind::Normal, true};
}
LevelPoint R(double x, int y = 0) {
    return {x, y, PointKind::Red};
}
LevelPoint G(double x, int y = 0) {
    return {x, y, PointKind::Gap};
}

QString Describe(const LevelPoint& p) {
    const TextFormats::DateTimeParts t = TextFormats::Split(p.x);
    const char* k = p.kind == PointKind::Normal ? "" : p.kind == PointKind::Red ? "red " : "gap ";
    return QString::asprintf("%s(%02d:%02d:%02d, %d)", k, t.hour, t.minute, t.second, p.y);
}

QStringList Describe(const std::vector<LevelPoint>& v) {
    QStringList l;
    for (const LevelPoint& p : v)
        l << Describe(p);
    return l;
}

void ComparePoints(const std::vector<LevelPoint>& got, const std::vector<LevelPoint>& want) {
    QCOMPARE(Describe(got), Describe(want));
    QVERIFY(got == want); // exact x values too
}

QString Describe(const std::vector<LineVertex>& v) {
    QStringList l;
    for (const LineVertex& p : v) {
        if (std::isnan(p.y)) {
            l << "|";
            continue;
        }
        const TextFormats::DateTimeParts t = TextFormats::Split(p.x);
        l << QString::asprintf("%02d:%02d:%02d=%g", t.hour, t.minute, t.second, p.y);
    }
    return l.join(' ');
}

QString Describe(const std::vector<TimeSpan>& v) {
    QStringList l;
    for (const TimeSpan& b : v) {
        const TextFormats::DateTimeParts f = TextFormats::Split(b.from);
        const TextFormats::DateTimeParts t = TextFormats::Split(b.to);
        l << QString::asprintf("%02d:%02d-%02d:%02d", f.hour, f.minute, t.hour, t.minute);
    }
    return l.join(' ');
}

} // namespace

Q_DECLARE_METATYPE(std::vector<fdata>)

class TestLevelSeries : public QObject {
    Q_OBJECT
private slots:
    void noSampleNoPoint() { QVERIFY(BuildLevelSeries({}, S, E).empty()); }

    void gapsStartAndEnd() {
        const std::vector<fdata> s{
            {T(10, 1), 500}, {T(10, 2), 498}, {T(10, 10), 490}, {T(10, 11), 489}, {T(10, 12), 488}};
        const auto points = BuildLevelSeries(s, S, E);
        ComparePoints(points,
                      {N(T(10, 1), 500), N(T(10, 2), 498), G(T(10, 2)), R(T(10, 2)), R(T(10, 10)),
                       G(T(10, 10)), N(T(10, 11), 489), G(T(10, 12)), N(T(10, 12), 0), R(E)});
    }

    void oneSampleInTheMiddle() {
        const auto points = BuildLevelSeries({{T(10, 30), 700}}, S, E);
        ComparePoints(points,
                      {N(S, 0), R(T(10, 30)), G(T(10, 30)), G(T(10, 30)), N(T(10, 30), 0), R(E)});
    }

    void startAndEndRuleGiveEqualPoints() {
        const auto points = BuildLevelSeries({{T(10, 0, 30), 321}}, S, T(10, 1));
        ComparePoints(points, {N(T(10, 0, 30), 321), N(T(10, 0, 30), 321)});
        // A segment of zero length: nothing visible, no silence.
        const LevelPicture picture = DrawLevelPicture(points);
        QCOMPARE(Describe(picture.line), QString("10:00:30=321 10:00:30=321"));
        QVERIFY(picture.silences.empty());
    }

    void startTestIsStrict() {
        // Exactly 120 s after S: the red start band.
        auto points = BuildLevelSeries({{T(10, 2), 10}, {T(10, 3), 11}, {T(10, 59), 12}}, S, E);
        ComparePoints(points,
                      {N(S, 0), R(T(10, 2)), G(T(10, 2)), N(T(10, 3), 11), N(T(10, 59), 12)});
        // One millisecond earlier: the first sample is drawn.
        const double justBefore = T(10, 2) - 1 / 86400000.0;
        points = BuildLevelSeries({{justBefore, 10}, {T(10, 3), 11}, {T(10, 59), 12}}, S, E);
        QCOMPARE(points.front(), N(justBefore, 10));
    }

    void endTestIsStrict() {
        // Exactly 120 s before E: the segment into the last sample is not drawn.
        auto points = BuildLevelSeries({{T(10, 0, 30), 5}, {T(10, 58), 6}}, S, E);
        ComparePoints(points, {N(T(10, 0, 30), 5), G(T(10, 58)), N(T(10, 58), 0), R(E)});
        const double justAfter = T(10, 58) + 1 / 86400000.0;
        points = BuildLevelSeries({{T(10, 0, 30), 5}, {justAfter, 6}}, S, E);
        ComparePoints(points, {N(T(10, 0, 30), 5), N(justAfter, 6)});
    }

    void gapTestIsNotStrict() {
        // 240 s apart: joined; 240 s and a millisecond: a red band.
        const double late = T(10, 5) + 1 / 86400000.0;
        const std::vector<fdata> s{{T(10, 0, 30), 1},
                                   {T(10, 4, 30), 2},
                                   {T(10, 5), 3},
                                   {late + 240 / 86400.0, 4},
                                   {T(10, 59, 30), 5}};
        ComparePoints(BuildLevelSeries(s, S, E),
                      {N(T(10, 0, 30), 1), N(T(10, 4, 30), 2), N(T(10, 5), 3), G(T(10, 5)),
                       R(T(10, 5)), R(late + 240 / 86400.0), G(late + 240 / 86400.0),
                       N(T(10, 59, 30), 5)});
    }

    void lastPairIsNotCompared() {
        std::vector<fdata> s;
        for (int m = 0; m <= 40; ++m)
            s.push_back({T(10, m, 30), 1000 - m});
        s.push_back({T(10, 59, 30), 900});
        const auto points = BuildLevelSeries(s, S, E);
        QCOMPARE(points.size(), s.size());
        for (const LevelPoint& p : points)
            QCOMPARE(p.kind, PointKind::Normal);
        const LevelPicture picture = DrawLevelPicture(points);
        QVERIFY(picture.silences.empty());
        QCOMPARE(picture.line.size(), s.size()); // one unbroken line to 10:59:30
    }

    void twoSamplesOnlyStartAndEnd() {
        ComparePoints(BuildLevelSeries({{T(10, 30), 1}, {T(10, 31), 2}}, S, E),
                      {N(S, 0), R(T(10, 30)), G(T(10, 30)), G(T(10, 31)), N(T(10, 31), 0), R(E)});
    }

    void drawingOrderIsStableByTime() {
        // Rows that come back out of time order are drawn in time order; equal times keep
        // the order they were added in.
        std::vector<LevelPoint> p{N(T(10, 5), 5), G(T(10, 1)), N(T(10, 1), 1), R(T(10, 1)),
                                  N(T(10, 3), 3)};
        SortForDrawing(p);
        ComparePoints(p,
                      {G(T(10, 1)), N(T(10, 1), 1), R(T(10, 1)), N(T(10, 3), 3), N(T(10, 5), 5)});
    }

    // A segment takes the kind of its later point: into a red point it is a silence, from
    // a red point into a reading nothing is drawn, as no level was read at its start.
    void segmentTakesItsLaterPoint() {
        const LevelPicture picture = DrawLevelPicture(
            {Read(T(10, 1), 5), R(T(10, 2)), Read(T(10, 3), 7), Read(T(10, 4), 8)});
        QCOMPARE(Describe(picture.silences), QString("10:01-10:02"));
        QCOMPARE(Describe(picture.line), QString("10:03:00=7 10:04:00=8"));
    }

    // What the chart draws: the level only between readings, every red segment of the
    // drawing rule as a silence on the time axis, never a level of 0 l nobody measured.
    void pictureShowsOnlyReadLevels_data() {
        QTest::addColumn<std::vector<fdata>>("samples");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("silences");
        QTest::newRow("gaps, start and end") << std::vector<fdata>{{T(10, 1), 500},
                                                                   {T(10, 2), 498},
                                                                   {T(10, 10), 490},
                                                                   {T(10, 11), 489},
                                                                   {T(10, 12), 488}}
                                             << "10:01:00=500 10:02:00=498"
                                             << "10:02-10:10 10:12-11:00";
        QTest::newRow("one sample") << std::vector<fdata>{{T(10, 30), 700}} << ""
                                    << "10:00-10:30 10:30-11:00";
        QTest::newRow("late start")
            << std::vector<fdata>{{T(10, 5), 9}, {T(10, 6), 8}, {T(10, 59, 30), 7}}
            << "10:06:00=8 10:59:30=7"
            << "10:00-10:05";
        // Rows out of time order: the drawing rule would join the period's start at 0 l to
        // the next reading in blue.
        QTest::newRow("rows out of order")
            << std::vector<fdata>{{T(10, 50), 5}, {T(10, 20), 6}, {T(10, 21), 7}} << ""
            << "10:21-10:50";
        QTest::newRow("a real 0 l is drawn")
            << std::vector<fdata>{{T(10, 0, 30), 0}, {T(10, 1, 30), 0}, {T(10, 59, 30), 3}}
            << "10:00:30=0 10:01:30=0 10:59:30=3"
            << "";
    }
    void pictureShowsOnlyReadLevels() {
        QFETCH(std::vector<fdata>, samples);
        QFETCH(QString, line);
        QFETCH(QString, silences);
        auto points = BuildLevelSeries(samples, S, E);
        SortForDrawing(points);
        const LevelPicture picture = DrawLevelPicture(points);
        QCOMPARE(Describe(picture.line), line);
        QCOMPARE(Describe(picture.silences), silences);
    }

    void breakKeysStayInOrder() {
        std::vector<fdata> s;
        for (int m = 0; m < 60; m += (m % 7 == 3 ? 6 : 1))
            s.push_back({T(10, m), m});
        auto points = BuildLevelSeries(s, S, E);
        SortForDrawing(points);
        const LevelPicture picture = DrawLevelPicture(points);
        QVERIFY(picture.line.size() > 2 && !picture.silences.empty());
        for (std::size_t i = 1; i < picture.line.size(); ++i)
            QVERIFY(picture.line[i - 1].x <= picture.line[i].x);
        for (std::size_t i = 1; i < picture.silences.size(); ++i)
            QVERIFY(picture.silences[i - 1].to <= picture.silences[i].from);
    }
};

QTEST_APPLESS_MAIN(TestLevelSeries)
#include "test_level_series.moc"
