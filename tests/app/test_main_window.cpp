// The main window's start-up, its log and its failure paths, offscreen.
#include "Config.h"
#include "Database.h"
#include "EventsTab.h"
#include "MainUnit.h"
#include "ReportsTab.h"
#include "SettingsUnit.h"
#include "Statements.h"
#include "StoredText.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

class MainWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::string Path(const char* n) { return dir.filePath(n).toStdString(); }

private slots:
    void startsInAnEmptyFolder() {
        RecordingMessages m;
        ManualClock clock;
        TForm1 w(m, clock, Path("data.db"));
        QVERIFY(!w.StartFailed());
        QVERIFY(m.shown.empty());
        QCOMPARE(w.windowTitle(), QString("Tavrona"));
        QCOMPARE(w.PageControl1->count(), 4);
        QCOMPARE(w.PageControl1->tabText(0), QString("Monitoring"));
        QCOMPARE(w.PageControl1->tabText(1), QString("Reports"));
        QCOMPARE(w.PageControl1->tabText(2), QString("Errors"));
        QCOMPARE(w.PageControl1->tabText(3), QString("Events"));
        QCOMPARE(w.PageControl1->currentIndex(), 0);
        QCOMPARE(w.Db().GetTable(Sql::kSelectTanks).Count(), 14);
        w.resize(200, 100);
        QVERIFY(w.width() >= 714);
    }

    // The Reports and Events pages and the dialogs come once the window is on screen; a tab
    // the operator chose meanwhile stays chosen and gets its page.
    void pagesComeAfterTheWindowShows_data() {
        QTest::addColumn<int>("chosen");
        QTest::newRow("tiles") << 0;
        QTest::newRow("Events") << 3;
    }
    void pagesComeAfterTheWindowShows() {
        QFETCH(int, chosen);
        RecordingMessages m;
        ManualClock clock;
        TForm1 w(m, clock, Path("pages.db"));
        QVERIFY(!w.TabSheet2 && !w.TabSheet4 && !w.Form2 && !w.Editor);
        // No port is set: the line, once open, asks for one; Settings is closed at once.
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (w.Form2 && w.Form2->isVisible())
                w.Form2->reject();
        });
        closer.start(20);
        w.PageControl1->setCurrentIndex(chosen);
        w.show();
        QTRY_VERIFY(w.TabSheet2 && w.TabSheet4 && w.Form2 && w.Editor && w.FormLine);
        QCOMPARE(w.PageControl1->indexOf(w.TabSheet2), 1);
        QCOMPARE(w.PageControl1->indexOf(w.TabSheet4), 3);
        QCOMPARE(w.PageControl1->count(), 4);
        QCOMPARE(w.PageControl1->currentIndex(), chosen);
    }

    void logPutsTheNewestLineOnTop() {
        RecordingMessages m;
        ManualClock clock;
        TForm1 w(m, clock, Path("log.db"));
        w.PrependLog("first\r\n");
        w.PrependLog("second\r\n");
        QCOMPARE(w.LogText(), QString("second\nfirst\n"));
        w.Button5->click();
        QCOMPARE(w.LogText(), QString());
        w.PrependLog("third\r\n");
        QCOMPARE(w.LogText(), QString("third\n"));
        // The table keeps its rows; the log is only what the operator sees.
    }

    void logKeepsTheNewestLinesOnly() {
        RecordingMessages m;
        ManualClock clock;
        TForm1 w(m, clock, Path("bound.db"));
        const int total = TForm1::kLogLinesShown + 5;
        for (int i = 1; i <= total; ++i)
            w.PrependLog("line " + std::to_string(i) + "\r\n");
        const QStringList lines = w.LogText().split('\n');
        QCOMPARE(lines.size(), TForm1::kLogLinesShown + 1); // the last is the empty tail
        QCOMPARE(lines.front(), QString("line %1").arg(total));
        QCOMPARE(lines[lines.size() - 2], QString("line 6"));
        QVERIFY(lines.back().isEmpty());
    }

    void logNamesReadAsOnTheirTiles() {
        RecordingMessages m;
        ManualClock clock;
        TForm1 w(m, clock, Path("names.db"));
        // A name stored by an older program, and one written as UTF-8.
        StoredText::SetLegacyCodePage(StoredText::CodePage::Windows1251);
        w.PrependLog("No answer from sensor \"\xC4\xD2 \xB9\x31\"\r\n");
        w.PrependLog(QString::fromUtf8("No answer from sensor \"Ёмкость\"").toStdString());
        StoredText::SetLegacyCodePage(StoredText::kDefaultCodePage);
        QCOMPARE(w.LogText(), QString::fromUtf8("No answer from sensor \"Ёмкость\"\n"
                                                "No answer from sensor \"ДТ №1\"\n"));
    }

    void unopenableFileEndsTheStart() {
        QFile junk(dir.filePath("junk.db"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(2048, 'j'));
        junk.close();
        RecordingMessages m;
        ManualClock clock;
        TForm1 w(m, clock, Path("junk.db"));
        QVERIFY(w.StartFailed());
        QCOMPARE(m.shown.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(m.shown[0]).contains("junk.db"));
        QVERIFY(QString::fromStdString(m.shown[0]).contains("file is not a database"));
    }

    void failedCreationLoadsNothing() {
        {
            TSQLiteDatabase db(Path("view.db"));
            db.ExecSQL("CREATE VIEW ERROR AS SELECT 1");
        }
        RecordingMessages m;
        ManualClock clock;
        TForm1 w(m, clock, Path("view.db"));
        QVERIFY(w.StartFailed());
        QCOMPARE(m.shown, (std::vector<std::string>{kMsgCreationFailed}));
    }

    // The window comes back where the operator left it, maximised or not.
    void placementIsKeptBetweenRuns_data() {
        QTest::addColumn<bool>("maximised");
        QTest::newRow("normal") << false;
        QTest::newRow("maximised") << true;
    }
    void placementIsKeptBetweenRuns() {
        QFETCH(bool, maximised);
        RecordingMessages m;
        ManualClock clock;
        const QRect placed(37, 41, 730, 470);
        QFile::remove(ConfigLocation()); // nothing left from an earlier run
        {
            TForm1 w(m, clock, Path("place.db"));
            w.setGeometry(placed);
            if (maximised)
                w.setWindowState(Qt::WindowMaximized);
            w.close();
        }
        TForm1 w(m, clock, Path("place.db"));
        QCOMPARE(w.isMaximized(), maximised);
        QCOMPARE(w.normalGeometry(), placed);
        QVERIFY(m.shown.empty());
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
