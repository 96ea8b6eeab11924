// The Reports tab headless: tank list, period choice, "Generate" on a small data.db, the
// chart's graphs, printing the report to a PDF file.
#include "Clock.h"
#include "HistorySynth.h"
#include "InventoryPane.h"
#include "LevelChart.h"
#include "OperatorMessages.h"
#include "PdfText.h"
#include "ReadingNote.h"
#include "ReportsTab.h"
#include "ReportsTestDb.h"
#include "TItemNode.h"
#include "TextFormats.h"

#include <QDateTimeEdit>
#include <QFile>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest>

#include <cmath>

namespace {

double At(int d, int h, int m, int s = 0) {
    return TextFormats::Join(2026, 12, d, h, m, s);
}
constexpr double kTwoHours = 2.0 / 24.0;
const QColor kBlue(68, 102, 163);

// "hh:mm-hh:mm" of each band along the time axis.
QString Bands(const LevelChart* chart) {
    QStringList l;
    for (const TimeSpan& b : chart->Bands())
        l << QString::fromStdString(TextFormats::LongTime(KeyToDay(b.from))).left(5) + "-" +
                 QString::fromStdString(TextFormats::LongTime(KeyToDay(b.to))).left(5);
    return l.join(' ');
}

QString Marks(const LevelChart* chart) {
    QStringList l;
    for (double k : chart->Marks())
        l << QString::fromStdString(TextFormats::LongTime(KeyToDay(k)));
    return l.join(' ');
}

// "hh:mm:ss=value" of each vertex of a graph, "|" for a break.
QString Vertices(QCPGraph* g) {
    QStringList l;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it) {
        if (std::isnan(it->value)) {
            l << "|";
            continue;
        }
        const double day = KeyToDay(it->key);
        l << QString::fromStdString(TextFormats::LongTime(day)) + "=" + QString::number(it->value);
    }
    return l.join(' ');
}

// Records boxes, and runs `atBox` at the moment one would open.
struct WatchingMessages : RecordingMessages {
    std::function<void()> atBox;
    void ShowMessage(const std::string& text) override {
        RecordingMessages::ShowMessage(text);
        if (atBox)
            atBox();
    }
};

int CountColour(const QImage& img, const QColor& colour, QRect area = {}) {
    if (area.isNull())
        area = img.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += QColor(img.pixel(x, y)) == colour;
    return n;
}

struct Station {
    ReportsTestDb data;
    ManualClock clock{At(7, 12, 0), kTwoHours}; // a Monday, UTC+2
    WatchingMessages messages;
    ReportsTab tab{*data.db, clock, messages};

    QDateTimeEdit* Picker(const char* name) { return tab.findChild<QDateTimeEdit*>(name); }
    // "Generate", and the chart once read.
    bool Generate() {
        tab.Button3Click();
        return QTest::qWaitFor([&] { return !tab.ChartBusy(); });
    }
    bool Print() {
        tab.findChild<QPushButton*>("Button4")->click();
        return QTest::qWaitFor([&] { return !tab.PrintBusy(); });
    }
};

} // namespace

class TestReportsTab : public QObject {
    Q_OBJECT
private slots:
    void startsOnTodayWithRowOne() {
        Station st;
        QCOMPARE(st.tab.SelectedAddress(), 1);
        QCOMPARE(st.tab.Choice(), 0);
        QVERIFY(!st.Picker("StartDT")->isEnabled());
        QVERIFY(!st.Picker("StopDT")->isEnabled());
        QCOMPARE(st.tab.SG()->item(0, 1)->text(), QString()); // empty until first shown
        QCOMPARE(st.tab.SG()->horizontalHeaderItem(1)->text(), QString("Object Name"));
        QCOMPARE(st.tab.findChild<QPushButton*>("Button3")->text(), QString("Generate"));
        QCOMPARE(st.tab.findChild<QPushButton*>("Button4")->text(), QString("Print"));
    }

    void layoutKeepsTheButtonsAtTheRight() {
        Station st;
        st.tab.resize(706, 516);
        st.tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&st.tab));
        auto* generate = st.tab.findChild<QPushButton*>("Button3");
        QCOMPARE(generate->geometry(), QRect(540, 68, 75, 25));
        // The pickers show their whole date and time, year included, left of "Generate".
        for (const char* name : {"StartDT", "StopDT"}) {
            QVERIFY(st.Picker(name)->width() >= st.Picker(name)->sizeHint().width());
            QVERIFY(st.Picker(name)->geometry().right() < generate->x());
        }
        QVERIFY(st.Picker("StartDT")->geometry().right() < st.Picker("StopDT")->x());
        QCOMPARE(st.tab.SG()->parentWidget()->width(), 146);
        // The chart and the inventory under it fill what the list and the panel leave.
        const auto inTab = [&](QWidget* w) {
            return QRect(w->mapTo(&st.tab, QPoint()), w->size());
        };
        const QRect chart = inTab(st.tab.Chart1());
        QCOMPARE(chart.united(inTab(st.tab.Inventory())), QRect(146, 0, 706 - 146, 516 - 102));
        QCOMPARE(chart.topLeft(), QPoint(146, 0));
        QCOMPARE(chart.width(), 706 - 146);
        st.tab.resize(906, 616);
        QTest::qWait(0);
        QCOMPARE(generate->geometry(), QRect(740, 68, 75, 25));
        QCOMPARE(st.tab.findChild<QPushButton*>("Button4")->geometry(), QRect(822, 68, 75, 25));
        // Items fill the four columns two by two.
        auto* box = st.tab.findChild<QWidget*>("rgInterval");
        QCOMPARE(box->height(), 57);
        QList<QRadioButton*> items = box->findChildren<QRadioButton*>();
        QCOMPARE(items.size(), 8);
        QCOMPARE(items[1]->text(), QString("Yesterday"));
        QCOMPARE(items[1]->x(), items[0]->x());
        QVERIFY(items[1]->y() > items[0]->y());
        QCOMPARE(items[2]->y(), items[0]->y());
        QVERIFY(items[2]->x() > items[0]->x());
    }

    void showingFillsTheListAndSetsThePeriod() {
        Station st;
        st.data.db->ExecSQL("UPDATE TANKS SET name = '\xC4l 50%' WHERE id = 2");
        st.tab.TabSheet2Show();
        QCOMPARE(st.tab.SG()->item(0, 0)->text(), QString("1"));
        QCOMPARE(st.tab.SG()->item(13, 0)->text(), QString("14"));
        QCOMPARE(st.tab.SG()->item(13, 1)->text(), QString("Tank 14"));
        QCOMPARE(st.tab.SG()->item(1, 1)->text(), QString::fromLatin1("\xC4l 50%"));
        QCOMPARE(st.tab.Period().start, At(7, 0, 0));
        QCOMPARE(st.tab.Period().stop, At(7, 12, 0));
        QCOMPARE(st.tab.SG()->columnWidth(0), 22);
        QCOMPARE(st.tab.SG()->columnWidth(1), 120);

        // Fewer tanks later: the rows beyond them keep what they held.
        st.data.db->ExecSQL("DELETE FROM TANKS WHERE id > 3");
        st.data.db->ExecSQL("UPDATE TANKS SET name = 'Renamed' WHERE id = 3");
        st.tab.TabSheet2Show();
        QCOMPARE(st.tab.SG()->item(2, 1)->text(), QString("Renamed"));
        QCOMPARE(st.tab.SG()->item(5, 1)->text(), QString("Tank 6"));
        QVERIFY(st.messages.shown.empty());
    }

    void failedTankQueryStillSetsThePeriod() {
        Station st;
        st.data.db->ExecSQL("DROP TABLE TANKS");
        st.tab.SetChoice(1);
        st.clock.Set(At(9, 8, 0));
        st.tab.TabSheet2Show();
        QCOMPARE(st.messages.shown.size(), std::size_t(1));
        QCOMPARE(st.tab.Period().start, At(8, 0, 0));
    }

    void rowNumberIsTheAddress() {
        Station st;
        st.data.db->ExecSQL("DELETE FROM TANKS WHERE id < 3");
        st.tab.TabSheet2Show();
        st.tab.SelectRow(3);
        QCOMPARE(st.tab.SelectedAddress(), 3);
        QCOMPARE(st.tab.SG()->item(2, 1)->text(), QString("Tank 5")); // third tank row
    }

    void customIntervalKeepsItsTimes() {
        Station st;
        st.clock.Set(At(7, 10, 0));
        st.tab.SetChoice(0); // Today at 10:00
        st.tab.SetChoice(7);
        QVERIFY(st.Picker("StartDT")->isEnabled());
        QVERIFY(st.Picker("StopDT")->isEnabled());
        // The operator picks dates; each keeps the time of day its picker shows, the stop
        // to the end of its second.
        st.Picker("StartDT")->setDate(QDate(2026, 11, 20));
        st.Picker("StopDT")->setDate(QDate(2026, 11, 25));
        QCOMPARE(st.tab.Period().start, TextFormats::Join(2026, 11, 20));
        QCOMPARE(st.tab.Period().stop, TextFormats::Join(2026, 11, 25, 10, 0, 0, 999));
        QCOMPARE(st.Picker("StopDT")->text(), QString("25/11/2026 10:00:00"));
        // Coming back to the tab keeps the picked dates.
        st.clock.Set(At(8, 9, 0));
        st.tab.TabSheet2Show();
        QCOMPARE(st.tab.Period().stop, TextFormats::Join(2026, 11, 25, 10, 0, 0, 999));
        st.tab.SetChoice(2);
        QVERIFY(!st.Picker("StartDT")->isEnabled());
        QCOMPARE(st.Picker("StartDT")->date(), QDate(2026, 12, 7));
    }

    // A whole date typed over the selected text of a picker is the period's bound; a text
    // that is no date leaves the value held before; the arrows still step a section.
    void typedDatesAreTaken() {
        Station st;
        st.tab.SetChoice(7);
        QDateTimeEdit* start = st.Picker("StartDT");
        QDateTimeEdit* stop = st.Picker("StopDT");
        start->selectAll();
        QTest::keyClicks(start, "05/12/2026 10:00");
        QCOMPARE(start->dateTime(), QDateTime(QDate(2026, 12, 5), QTime(10, 0), Qt::UTC));
        QCOMPARE(st.tab.Period().start, At(5, 10, 0));
        QTest::keyClick(start, Qt::Key_Return);
        QCOMPARE(start->text(), QString("05/12/2026 10:00:00"));
        stop->selectAll();
        QTest::keyClicks(stop, "06/12/2026 08:30:15");
        QCOMPARE(st.tab.Period().stop, TextFormats::Join(2026, 12, 6, 8, 30, 15, 999));
        // A slip mended with Backspace: the minute read is the one finally typed.
        stop->selectAll();
        QTest::keyClicks(stop, "06/12/2026 09:4");
        QTest::keyClick(stop, Qt::Key_Backspace);
        QTest::keyClicks(stop, "15");
        QCOMPARE(st.tab.Period().stop, TextFormats::Join(2026, 12, 6, 9, 15, 0, 999));

        for (const char* text : {"31/02/2026 10:00", "07/12/20", "x"}) {
            start->selectAll();
            QTest::keyClicks(start, text);
            QTest::keyClick(start, Qt::Key_Return);
            QCOMPARE(start->text(), QString("05/12/2026 10:00:00"));
            QCOMPARE(st.tab.Period().start, At(5, 10, 0));
        }
        start->setCurrentSection(QDateTimeEdit::DaySection);
        QTest::keyClick(start, Qt::Key_Up);
        QCOMPARE(st.tab.Period().start, At(6, 10, 0));
    }

    // Both as reported: on 9 December after "Yesterday", a custom 8 -> 9 December must take
    // in the 9th's readings, and a custom 1 -> 9 December must show what "Current month"
    // shows over the same dates. The pickers show the times the period uses.
    void customIntervalMeansWhatThePickersShow() {
        Station st;
        st.data.db->ExecSQL("BEGIN");
        // A reading every two minutes from 1 December 00:01 to 9 December 11:59, local.
        for (int d = 1; d <= 9; ++d)
            for (int h = 0; h < (d < 9 ? 24 : 12); ++h)
                for (int m = 1; m < 60; m += 2)
                    st.data.Level(At(d, h, m) - kTwoHours, 1, 500);
        st.data.db->ExecSQL("COMMIT");
        st.clock.Set(At(9, 12, 0, 0) + 500 / 86400000.0);
        st.tab.TabSheet2Show();
        auto lineEnds = [&] {
            const auto* line = st.tab.Chart1()->BlueLine()->data().data();
            return line->isEmpty() ? QString()
                                   : QString::fromStdString(TextFormats::DateTime(
                                         KeyToDay((line->constEnd() - 1)->key)));
        };

        st.tab.SetChoice(1); // Yesterday
        QCOMPARE(st.Picker("StopDT")->text(), QString("08/12/2026 23:59:59"));
        st.tab.SetChoice(7);
        QCOMPARE(st.Picker("StartDT")->text(), QString("08/12/2026 00:00:00"));
        st.Picker("StopDT")->setDate(QDate(2026, 12, 9));
        QCOMPARE(st.Picker("StopDT")->text(), QString("09/12/2026 23:59:59"));
        QVERIFY(st.Generate());
        // The last reading before the silence up to the stop is not drawn by the end rule.
        QCOMPARE(lineEnds(), QString("09/12/2026 11:57:00"));

        st.tab.SetChoice(4); // Current month
        QVERIFY(st.Generate());
        const QString month = Vertices(st.tab.Chart1()->BlueLine());
        QCOMPARE(lineEnds(), QString("09/12/2026 11:59:00"));
        st.tab.SetChoice(7);
        QCOMPARE(st.Picker("StartDT")->text(), QString("01/12/2026 00:00:00"));
        QCOMPARE(st.Picker("StopDT")->text(), QString("09/12/2026 12:00:00"));
        st.Picker("StartDT")->setDateTime(QDateTime(QDate(2026, 12, 1), QTime(0, 0), Qt::UTC));
        st.Picker("StopDT")->setDateTime(QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC));
        QCOMPARE(st.tab.Period().start, At(1, 0, 0));
        QCOMPARE(st.tab.Period().stop, TextFormats::Join(2026, 12, 9, 12, 0, 0, 999));
        QVERIFY(st.Generate());
        QCOMPARE(Vertices(st.tab.Chart1()->BlueLine()), month);
        QVERIFY(st.messages.shown.empty());
    }

    // Where no level was read nothing is drawn at any level: the silences lie along the time
    // axis, below the lowest reading.
    void silencesLieAlongTheTimeAxis() {
        Station st;
        for (int m = 0; m < 60; ++m)
            if (m < 20 || m > 40)
                st.data.Level(At(7, 8, m, 30), 1, 5000 + m);
        st.data.Silence(At(7, 8, 30, 0), 1);
        st.clock.Set(At(7, 11, 0));
        st.tab.SetChoice(0);
        st.tab.resize(146 + 800, 400 + 102);
        st.tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&st.tab));
        QVERIFY(st.Generate());
        LevelChart* ch = c(st);
        QCOMPARE(Bands(ch), QString("00:00-10:00 10:19-10:41"));
        const QImage img = ch->toPixmap(800, 400).toImage();
        const QRect plot = ch->axisRect()->rect();
        const QRect strip(plot.left(), plot.bottom() + 1 - 2 * LevelChart::kBandPx, plot.width(),
                          2 * LevelChart::kBandPx);
        const QColor red(255, 0, 0);
        QVERIFY(CountColour(img, red, strip) > 0);
        QCOMPARE(CountColour(img, red, QRect(0, 0, img.width(), strip.top())), 0);
        QVERIFY(ch->yAxis->range().lower > 4900); // the level axis does not reach down to 0
        for (const QString& label : ch->yAxis->tickVectorLabels())
            QVERIFY2(label.endsWith(" l"), qPrintable(label));
    }

    void longNamesShowTheirBeginning() {
        Station st;
        st.data.db->ExecSQL("UPDATE TANKS SET name = 'WWWW long name of the first tank "
                            "that does not fit' WHERE id = 1");
        st.tab.TabSheet2Show();
        QImage img(120, 16, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        st.tab.SGDrawCell(p, 1, 1, img.rect(), false);
        p.end();
        int firstInk = -1;
        for (int x = 0; x < img.width() && firstInk < 0; ++x)
            for (int y = 0; y < img.height(); ++y)
                if (qGray(img.pixel(x, y)) < 128) {
                    firstInk = x;
                    break;
                }
        QVERIFY2(firstInk >= 2 && firstInk <= 4, qPrintable(QString::number(firstInk)));
    }

    void periodDoesNotMoveOnByItself() {
        Station st;
        st.data.Level(At(7, 8, 30), 1, 100); // 10:30 local
        st.data.Level(At(7, 8, 50), 1, 100); // 10:50 local, after the period
        st.clock.Set(At(7, 10, 40));
        st.tab.SetChoice(0);
        st.clock.Set(At(7, 11, 0));
        QVERIFY(st.Generate());
        // One sample inside 00:00-10:40: the start and end rules both draw red bands.
        QCOMPARE(Bands(st.tab.Chart1()), QString("00:00-10:30 10:30-10:40"));
    }

    void generateDrawsTheLevelLine() {
        Station st;
        st.tab.TabSheet2Show();
        const int levels[] = {500, 498, 490, 489, 488};
        const int minutes[] = {1, 2, 10, 11, 12};
        // Stored in UTC, two hours behind local time: the evening before.
        for (int i = 0; i < 5; ++i)
            st.data.Level(At(6, 22, minutes[i]), 2, levels[i]);
        st.data.Level(At(6, 22, 20), 3, 1); // another tank
        st.data.Level(At(6, 23, 0), 2, 1);  // at the stop: excluded
        st.data.Silence(At(6, 22, 5), 2);
        st.data.Silence(At(6, 22, 7), 2);
        st.data.Silence(At(6, 22, 7), 4);
        st.clock.Set(At(7, 1, 0));
        st.tab.SetChoice(0); // 00:00 to 01:00 local
        st.tab.SelectRow(2);
        st.tab.findChild<QPushButton*>("Button3")->click();
        QTRY_VERIFY(!st.tab.ChartBusy());
        QVERIFY(st.messages.shown.empty());
        LevelChart* ch = c(st);
        QCOMPARE(Vertices(ch->BlueLine()), QString("00:01:00=500 00:02:00=498"));
        QCOMPARE(Bands(ch), QString("00:02-00:10 00:12-01:00"));
        QCOMPARE(Marks(ch), QString("00:05:00 00:07:00"));
    }

    void timeAxisShowsLocalWallClock() {
        // Keys are read back by the ticker in UTC, so the local day number shows unchanged.
        const QDateTime t = QCPAxisTickerDateTime::keyToDateTime(DayToKey(At(7, 10, 0)));
        QCOMPARE(t.toTimeSpec(Qt::UTC).toString("dd/MM/yyyy HH:mm"), QString("07/12/2026 10:00"));
        LevelChart chart;
        auto dates = qSharedPointerDynamicCast<QCPAxisTickerDateTime>(chart.xAxis->ticker());
        QVERIFY(dates);
        QCOMPARE(dates->dateTimeSpec(), Qt::UTC);
    }

    void timeLabelsStandClear_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("hours");
        QTest::addColumn<int>("fewestInside");
        for (int width : {300, 545, 1200}) {
            const int fewest = width >= 1200 ? 3 : 2;
            for (double hours : {0.1, 1.0, 24.0, 24.0 * 31})
                QTest::addRow("%d px, %g h", width, hours) << width << hours << fewest;
        }
    }
    void timeLabelsStandClear() {
        QFETCH(int, width);
        QFETCH(double, hours);
        QFETCH(int, fewestInside);
        LevelChart chart;
        chart.resize(width, 380);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        QCOMPARE(chart.viewport().width(), width);
        const double start = DayToKey(At(9, 0, 0));
        chart.xAxis->setRange(start, start + hours * 3600);
        chart.replot();
        const QFontMetrics metrics(chart.xAxis->tickLabelFont());
        const int label = metrics.horizontalAdvance("28/12/2000 20:58");
        const QVector<double> ticks = chart.xAxis->tickVector();
        QVERIFY(ticks.size() >= 2);
        for (int i = 1; i < ticks.size(); ++i) {
            const double apart =
                chart.xAxis->coordToPixel(ticks[i]) - chart.xAxis->coordToPixel(ticks[i - 1]);
            QVERIFY2(apart > label, qPrintable(QString("ticks %1 px apart").arg(apart)));
        }
        const auto inside = std::count_if(
            ticks.begin(), ticks.end(), [&](double t) { return chart.xAxis->range().contains(t); });
        QVERIFY2(inside >= fewestInside, qPrintable(QString("%1 labels").arg(inside)));
    }

    void levelAxisStepsAtLeastOne() {
        LevelChart chart;
        chart.resize(400, 600);
        chart.yAxis->setRange(0, 2);
        chart.replot();
        const QVector<double> ticks = chart.yAxis->tickVector();
        QVERIFY(ticks.size() >= 2);
        for (int i = 1; i < ticks.size(); ++i)
            QVERIFY(ticks[i] - ticks[i - 1] >= 1.0);
    }

    void wheelZoomsTimeOnly() {
        LevelChart chart;
        chart.resize(600, 400);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        chart.xAxis->setRange(0, 1000);
        chart.yAxis->setRange(0, 100);
        chart.replot();
        const QPointF mid = chart.axisRect()->rect().center();
        QWheelEvent wheel(mid, chart.mapToGlobal(mid), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&chart, &wheel);
        QVERIFY(chart.xAxis->range().size() < 1000);
        QCOMPARE(chart.yAxis->range(), QCPRange(0, 100));
    }

    void denseLineKeepsItsBreaks() {
        // 20000 samples a pixel apart many times over, with a four-hour silence in the
        // middle: no blue may cross the silence.
        std::vector<fdata> s;
        for (int i = 0; i < 20000; ++i) {
            const double x = At(7, 0, 0) + i * (20.0 / 86400.0) / 10.0;
            if (x < At(7, 0, 0) + 0.1 || x > At(7, 0, 0) + 0.1 + 4.0 / 24.0)
                s.push_back({x, 500 + (i % 7)});
        }
        auto points = BuildLevelSeries(s, s.front().x, s.back().x);
        SortForDrawing(points);
        LevelChart chart;
        chart.resize(400, 300);
        chart.SetLevelLine(points);
        chart.ApplyAutoRange();
        const QImage img = chart.toPixmap(400, 300).toImage();
        const int x = qRound(chart.xAxis->coordToPixel(DayToKey(At(7, 0, 0) + 0.1 + 2.0 / 24)));
        int blue = 0;
        for (int y = 0; y < img.height(); ++y)
            blue += QColor(img.pixel(x, y)) == kBlue;
        QCOMPARE(blue, 0);
        // While the line itself is drawn next to the silence.
        const int before = qRound(chart.xAxis->coordToPixel(DayToKey(At(7, 0, 0) + 0.05)));
        for (int y = 0; y < img.height(); ++y)
            blue += QColor(img.pixel(before, y)) == kBlue;
        QVERIFY(blue > 0);
    }

    void noDataShowsTheMessageAndAnEmptyChart() {
        Station st;
        st.data.Level(At(7, 8, 1), 5, 10);
        st.data.Level(At(7, 8, 2), 5, 10);
        st.data.Level(At(7, 8, 3), 5, 10); // the level of 10:02 local is drawn
        st.tab.TabSheet2Show();
        // Before the first report the chart has no scale to label.
        QVERIFY(!c(st)->xAxis->tickLabels());
        QVERIFY(!c(st)->yAxis->tickLabels());
        st.tab.SelectRow(5);
        QVERIFY(st.Generate());
        QVERIFY(!c(st)->Bands().empty());
        QVERIFY(c(st)->xAxis->tickLabels());
        QVERIFY(c(st)->yAxis->tickLabels());
        st.data.db->ExecSQL("DELETE FROM DATA");
        st.data.Silence(At(7, 8, 3), 5);
        QVERIFY(st.Generate());
        QCOMPARE(st.messages.shown, std::vector<std::string>{"No data for the selected period"});
        QVERIFY(c(st)->BlueLine()->data()->isEmpty());
        QVERIFY(c(st)->Bands().empty());
        QVERIFY(c(st)->Marks().empty());
        QVERIFY(!c(st)->xAxis->tickLabels());
        QVERIFY(!c(st)->yAxis->tickLabels());
    }

    // The last report's line is gone from the screen when "No data" opens over it.
    void noDataBoxStandsOverAnEmptyChart() {
        Station st;
        for (int m = 0; m < 10; ++m)
            st.data.Level(At(7, 8, m), 1, 10 + m);
        st.clock.Set(At(7, 10, 10));
        st.tab.SetChoice(0);
        st.tab.resize(800, 500);
        st.tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&st.tab));
        QVERIFY(st.Generate());
        QVERIFY(CountColour(c(st)->grab().toImage(), kBlue) > 0);
        st.data.db->ExecSQL("DELETE FROM DATA");
        int blueAtBox = -1;
        st.messages.atBox = [&] { blueAtBox = CountColour(c(st)->grab().toImage(), kBlue); };
        QVERIFY(st.Generate());
        QCOMPARE(st.messages.shown.size(), std::size_t(1));
        QCOMPARE(blueAtBox, 0);
    }

    void stopBeforeStartFindsNoData() {
        Station st;
        st.data.Level(At(5, 8, 0), 1, 10);
        st.tab.SetChoice(7);
        st.tab.PickStartDate(2026, 12, 6);
        st.tab.PickStopDate(2026, 12, 4);
        QVERIFY(st.tab.Period().stop < st.tab.Period().start);
        QVERIFY(st.Generate());
        QCOMPARE(st.messages.shown, std::vector<std::string>{"No data for the selected period"});
    }

    // A query that fails is told with its reason; what was read before it is drawn.
    void failedQueryIsReported_data() {
        QTest::addColumn<QString>("drop");
        QTest::addColumn<bool>("lineDrawn");
        QTest::newRow("readings") << "DROP TABLE DATA" << false;
        QTest::newRow("silences") << "DROP TABLE ERROR" << true;
    }
    void failedQueryIsReported() {
        QFETCH(QString, drop);
        QFETCH(bool, lineDrawn);
        Station st;
        for (int m = 0; m < 10; ++m)
            st.data.Level(At(7, 8, m), 1, 10 + m);
        st.data.db->ExecSQL(drop.toStdString());
        QVERIFY(st.Generate());
        QTRY_VERIFY(!st.tab.Inventory()->Busy()); // which has its own say on DATA
        const auto told = std::count_if(
            st.messages.shown.begin(), st.messages.shown.end(),
            [](const std::string& m) { return m.rfind("The levels could not be read: ", 0) == 0; });
        QCOMPARE(told, 1);
        QCOMPARE(!c(st)->BlueLine()->data()->isEmpty(), lineDrawn);
        QVERIFY(st.tab.Note()->isHidden());
    }

    // "Generate" returns before anything is read: the chart is emptied at once, a note with
    // "Cancel" stands over it while the levels are read, and goes when they are drawn.
    void chartIsReadInTheBackground() {
        Station st;
        for (int m = 0; m < 10; ++m)
            st.data.Level(At(7, 8, m), 1, 10 + m);
        QVERIFY(st.Generate());
        QVERIFY(!c(st)->BlueLine()->data()->isEmpty());
        st.tab.Button3Click();
        QVERIFY(st.tab.ChartBusy());
        QVERIFY(c(st)->BlueLine()->data()->isEmpty());
        QVERIFY(!st.tab.Note()->isHidden());
        QCOMPARE(st.tab.Note()->Text(), QString("Reading the levels…"));
        QTRY_VERIFY(!st.tab.ChartBusy());
        QVERIFY(st.tab.Note()->isHidden());
        QCOMPARE(c(st)->BlueLine()->data()->size(), 8); // the start and end rules take two
        QVERIFY(st.messages.shown.empty());

        // "Cancel" on the note: nothing is drawn, nothing told.
        st.tab.Button3Click();
        st.tab.Note()->CancelButton()->click();
        QVERIFY(!st.tab.ChartBusy());
        QVERIFY(st.tab.Note()->isHidden());
        QVERIFY(QTest::qWaitFor([&] { return !st.tab.Inventory()->Busy(); }));
        QTest::qWait(50);
        QVERIFY(c(st)->BlueLine()->data()->isEmpty());
        QVERIFY(st.messages.shown.empty());
    }

    // A chart still being read when the operator picks another tank or period would pass
    // for the one now selected: it is dropped, with the balance being read for it. Showing
    // the tab again over the same choice keeps it.
    void changedSelectionDropsTheChartBeingRead() {
        Station st;
        for (int m = 0; m < 10; ++m) {
            st.data.Level(At(7, 8, m), 1, 100 + m);
            st.data.Level(At(7, 8, m), 2, 200 + m);
        }
        st.tab.SetChoice(static_cast<int>(IntervalChoice::Custom));
        st.tab.PickStartDate(2026, 12, 7);
        st.tab.PickStopDate(2026, 12, 7);
        st.tab.Button3Click();
        st.tab.TabSheet2Show();
        QVERIFY(st.tab.ChartBusy());
        QVERIFY(st.tab.Inventory()->Busy());

        st.tab.SelectRow(2);
        QVERIFY(!st.tab.ChartBusy());
        QVERIFY(!st.tab.Inventory()->Busy());
        QVERIFY(st.tab.Note()->isHidden());
        QVERIFY(st.Generate());
        QTRY_VERIFY(!st.tab.Inventory()->Busy());
        QCOMPARE(st.tab.SelectedAddress(), 2);
        QCOMPARE(c(st)->BlueLine()->data()->at(0)->value, 201.0); // past the start band
        QVERIFY(st.messages.shown.empty());

        // A picked date drops it as well.
        st.tab.Button3Click();
        st.tab.PickStartDate(2026, 12, 6);
        QVERIFY(!st.tab.ChartBusy());
        QVERIFY(c(st)->BlueLine()->data()->isEmpty());

        // "Today" shown again a minute on is still the choice asked for; "Yesterday" is not.
        st.tab.SetChoice(static_cast<int>(IntervalChoice::Today));
        st.tab.Button3Click();
        st.clock.AdvanceSeconds(60);
        st.tab.TabSheet2Show();
        QVERIFY(st.tab.ChartBusy());
        st.tab.SetChoice(static_cast<int>(IntervalChoice::Yesterday));
        QVERIFY(!st.tab.ChartBusy());
    }
    void printsTheReportToAPdf() {
        Station st;
        st.tab.TabSheet2Show();
        st.data.Level(At(7, 8, 1), 1, 10);
        QVERIFY(st.Generate());
        const QString file = st.data.dir.filePath("chart.pdf");
        int asked = 0;
        st.tab.SetPrintDialog([&](QPrinter& p, QWidget*) {
            ++asked;
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(file);
            return true;
        });
        QVERIFY(st.Print());
        QCOMPARE(asked, 1);
        QFile pdf(file);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(4) == "%PDF");
        QVERIFY(pdf.size() > 1000);
        QVERIFY(st.messages.shown.empty());
        // The report of the chosen tank and period, not the chart alone.
        const QStringList pages = PdfPages(file);
        QCOMPARE(pages.size(), 1);
        for (const char* s : {"Tank 1: Tank 1", "Period: 07/12/2026 - 07/12/2026 12:00:00",
                              "Daily balance", "07/12/2026", "Events", "Page 1 of 1"})
            QVERIFY2(pages[0].contains(s), qPrintable(pages[0]));

        // A cancelled dialog prints nothing.
        QFile::remove(file);
        st.tab.SetPrintDialog([](QPrinter&, QWidget*) { return false; });
        st.tab.Button4Click();
        QVERIFY(!st.tab.PrintBusy());
        QVERIFY(!QFile::exists(file));
    }

    // The report to print is read in the background; Print waits for it rather than taking
    // a second printer, and a tank picked meanwhile does not change what is printed.
    void printReadsInTheBackground() {
        Station st;
        st.data.db->ExecSQL("DELETE FROM TANKS WHERE id = 3");
        st.data.Level(At(7, 8, 1), 3, 10);
        st.tab.TabSheet2Show();
        st.tab.SelectRow(3);
        const QString file = st.data.dir.filePath("tank3.pdf");
        st.tab.SetPrintDialog([&](QPrinter& p, QWidget*) {
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(file);
            return true;
        });
        auto* print = st.tab.findChild<QPushButton*>("Button4");
        print->click();
        QVERIFY(st.tab.PrintBusy());
        QVERIFY(!print->isEnabled());
        QCOMPARE(st.tab.Note()->Text(), QString("Reading the report to print…"));
        QVERIFY(!QFile::exists(file));
        st.tab.SelectRow(1);
        QTRY_VERIFY(!st.tab.PrintBusy());
        QVERIFY(print->isEnabled());
        QVERIFY(st.tab.Note()->isHidden());
        QVERIFY(st.messages.shown.empty());
        // A tank without a TANKS row still has its readings printed under its number.
        const QStringList pages = PdfPages(file);
        QCOMPARE(pages.size(), 1);
        QVERIFY2(pages[0].contains("Tank 3"), qPrintable(pages[0]));

        // Cancelled: nothing printed, nothing told.
        QFile::remove(file);
        print->click();
        st.tab.Note()->CancelButton()->click();
        QVERIFY(!st.tab.PrintBusy());
        QVERIFY(print->isEnabled());
        QTest::qWait(50);
        QVERIFY(!QFile::exists(file));

        // A file that cannot be read is told, and nothing is printed.
        st.data.db->ExecSQL("DROP TABLE TANKS");
        QVERIFY(st.Print());
        QCOMPARE(st.messages.shown.size(), std::size_t(1));
        QVERIFY2(st.messages.shown[0].rfind("The report could not be read for printing: ", 0) == 0,
                 st.messages.shown[0].c_str());
        QVERIFY(!QFile::exists(file));
    }

    void rangesHaveFivePixelMargins() {
        Station st;
        for (int m = 0; m < 60; ++m)
            st.data.Level(At(7, 8, m, 30), 1, 400 + m);
        st.clock.Set(At(7, 11, 0));
        st.tab.SetChoice(0);
        st.tab.Inventory()->hide(); // the chart alone, as large as asked
        st.tab.resize(146 + 1000, 500 + 102);
        st.tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&st.tab));
        QCOMPARE(c(st)->size(), QSize(1000, 500));
        QVERIFY(st.Generate());
        LevelChart* ch = c(st);
        auto px = [](QCPAxis* axis, double v) { return qRound(axis->coordToPixel(v)); };
        const QCPRange x = ch->xAxis->range();
        const QCPRange y = ch->yAxis->range();
        // The period starts at 00:00 (start band) and the last sample is at 10:59:30; the
        // levels run from 400 l to 459 l, and no level of 0 l is drawn for the start band.
        QCOMPARE(px(ch->xAxis, DayToKey(At(7, 0, 0))) - px(ch->xAxis, x.lower), 5);
        QCOMPARE(px(ch->xAxis, x.upper) - px(ch->xAxis, DayToKey(At(7, 10, 59, 30))), 5);
        QCOMPARE(px(ch->yAxis, y.lower) - px(ch->yAxis, 401), 5);
        QCOMPARE(px(ch->yAxis, 459) - px(ch->yAxis, y.upper), 5);
        QCOMPARE(px(ch->xAxis, x.upper) - px(ch->xAxis, x.lower), ch->axisRect()->width());
    }

    void deliveryShowsOneUpMarker() {
        Station st;
        // A minute's readings from 06:00, 5000 l delivered from 10:00, no event tables: the
        // delivery is found as the report reads. The capacity tells when it has settled.
        SynthPlan plan;
        plan.tanks = {SynthTank{1, 20000, 840, 3000, 20}};
        plan.events = {{1, At(7, 10, 0) - kTwoHours, 20, 5000}};
        plan.utcFrom = At(7, 6, 0) - kTwoHours;
        plan.days = 5.0 / 24;
        WriteHistory(*st.data.db, plan);
        TClbArray clb{};
        for (int code = 0; code < kClbEntryCount; ++code)
            clb[code] = float(code) * 20000 / (kClbEntryCount - 1);
        st.data.db->UpdateBlob(Sql::UpdateClb(1), EncodeClbArray(clb));
        st.clock.Set(At(7, 12, 0));
        st.tab.SetChoice(0);
        st.tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&st.tab));
        QVERIFY(st.Generate());
        LevelChart* ch = c(st);
        QCOMPARE(ch->EventMarkers().size(), std::size_t(1));
        const EventMarker m = ch->EventMarkers().front();
        QVERIFY(m.up && std::abs(m.x - At(7, 10, 0)) < 5.0 / 1440);
        QVERIFY2(QString::fromStdString(m.tip).startsWith("Delivery 49"), m.tip.c_str());
        // Green on the line, its tooltip under the mouse and none beside it.
        const QPointF at(ch->xAxis->coordToPixel(DayToKey(m.x)), ch->yAxis->coordToPixel(m.level));
        const QRect around(at.toPoint() - QPoint(6, 6), QSize(13, 13));
        QVERIFY(CountColour(ch->grab().toImage(), QColor(0, 150, 60), around) > 10);
        QCOMPARE(ch->MarkerTipAt(at + QPointF(3, 3)), QString::fromStdString(m.tip));
        QVERIFY(ch->MarkerTipAt(at + QPointF(0, 20)).isEmpty());
        ch->Clear();
        QVERIFY(ch->EventMarkers().empty());
    }

private:
    static LevelChart* c(Station& st) { return st.tab.Chart1(); }
};

QTEST_MAIN(TestReportsTab)
#include "test_reports_tab.moc"
