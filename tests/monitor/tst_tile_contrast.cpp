// Every text on a tile with an alarm is readable (WCAG AA, 4.5:1) on what it is drawn on,
// for the window colours a desktop may give, and the contrast itself is computed right.
#include "GaugePanels.h"
#include "TileContrast.h"
#include "TilePainter.h"

#include <QtTest>

class TileContrastTest : public QObject {
    Q_OBJECT

private slots:
    void contrastOfKnownPairs_data() {
        QTest::addColumn<QColor>("a");
        QTest::addColumn<QColor>("b");
        QTest::addColumn<double>("ratio");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
        QTest::newRow("a colour on itself") << AlarmColor() << AlarmColor() << 1.0;
        QTest::newRow("white on the alarm red") << QColor(Qt::white) << AlarmColor() << 5.89;
        QTest::newRow("either order") << AlarmColor() << QColor(Qt::white) << 5.89;
        QTest::newRow("mid grey on white") << QColor(118, 118, 118) << QColor(Qt::white) << 4.54;
        // What the tiles showed before: the percentage white on the gauge's fill, the age
        // of a reading dark red on red.
        QTest::newRow("white on the gauge fill")
            << QColor(Qt::white) << TGaugePanels::FillColor() << 1.70;
        QTest::newRow("stale note on the alarm red") << StaleNoteColor() << AlarmColor() << 1.12;
    }
    void contrastOfKnownPairs() {
        QFETCH(QColor, a);
        QFETCH(QColor, b);
        QFETCH(double, ratio);
        QVERIFY2(std::abs(ContrastRatio(a, b) - ratio) < 0.01,
                 qPrintable(QString::number(ContrastRatio(a, b))));
    }

    void readableOnKeepsWhatIsReadable() {
        QCOMPARE(ReadableOn(Qt::white, AlarmColor()), QColor(Qt::white));
        QCOMPARE(ReadableOn(Qt::black, Qt::white), QColor(Qt::black));
        // A light grey on white is darkened only as far as needed: still a grey.
        const QColor grey = ReadableOn(InactiveTextColor(), Qt::white);
        QVERIFY(ContrastRatio(grey, Qt::white) >= kReadableContrast);
        QVERIFY(grey != QColor(Qt::black));
        QVERIFY(ContrastRatio(grey, Qt::white) < 7);
    }

    // The backgrounds an alarm tile has: the alarm colour while it waits, else the window
    // colour or, focused, both ends of the focus gradient; under light and dark desktops.
    void everyTextOfAnAlarmTileIsReadable_data() {
        QTest::addColumn<QColor>("window");
        QTest::addColumn<QColor>("windowText");
        QTest::addColumn<bool>("alarming");
        QTest::addColumn<bool>("focused");
        for (const auto& [name, window, text] :
             {std::tuple{"light", QColor(Qt::white), QColor(Qt::black)},
              std::tuple{"grey", QColor(240, 240, 240), QColor(Qt::black)},
              std::tuple{"dark", QColor(42, 42, 42), QColor(238, 238, 238)}}) {
            QTest::addRow("%s, waiting", name) << window << text << true << false;
            QTest::addRow("%s, waiting, focused", name) << window << text << true << true;
            QTest::addRow("%s, acknowledged", name) << window << text << false << false;
            QTest::addRow("%s, acknowledged, focused", name) << window << text << false << true;
        }
    }
    void everyTextOfAnAlarmTileIsReadable() {
        QFETCH(QColor, window);
        QFETCH(QColor, windowText);
        QFETCH(bool, alarming);
        QFETCH(bool, focused);
        // As the painter chooses: the gradient's darker end stands for the whole gradient.
        const QColor back = alarming ? AlarmColor() : focused ? FocusBottomColor() : window;
        const TAlarmTileText t = AlarmTileText(back, windowText, alarming);
        QList<QColor> backs{back};
        if (!alarming && focused)
            backs << FocusTopColor();
        for (const QColor& b : backs)
            for (const auto& [what, c] :
                 {std::pair{"text", t.text}, std::pair{"dim", t.dimText}, std::pair{"note", t.note},
                  std::pair{"word", t.word}, std::pair{"link", t.link}})
                QVERIFY2(ContrastRatio(c, b) >= kReadableContrast,
                         qPrintable(QString("%1 %2 on %3: %4")
                                        .arg(what, c.name(), b.name())
                                        .arg(ContrastRatio(c, b))));
        for (const QColor& gauge : {TGaugePanels::FillColor(), TGaugePanels::BoxColor()})
            QVERIFY2(ContrastRatio(t.gaugeText, gauge) >= kReadableContrast,
                     qPrintable(t.gaugeText.name() + " on " + gauge.name()));
        // The word and the "Edit" link on the waiting tile are the texts it always showed.
        if (alarming)
            QCOMPARE(t.word, QColor(Qt::white));
    }
};

QTEST_MAIN(TileContrastTest)
#include "tst_tile_contrast.moc"
