// The station's one conversion of stored 8-bit texts: new texts as UTF-8, older files in
// their legacy code page, nothing ever replaced by '?'.
#include "StoredText.h"

#include <QtTest>

using namespace StoredText;

class StoredTextTest : public QObject {
    Q_OBJECT
private slots:
    void newTextsRoundTripAsUtf8_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cyrillic name")
            << QString::fromUtf8("Ёмкость №3 дизель")
            << QByteArray("\xD0\x81\xD0\xBC\xD0\xBA\xD0\xBE\xD1\x81\xD1"
                          "\x82\xD1\x8C \xE2\x84\x96"
                          "3 \xD0\xB4\xD0\xB8\xD0\xB7\xD0\xB5\xD0\xBB\xD1\x8C");
        QTest::newRow("ukrainian fuel")
            << QString::fromUtf8("ДТ Євро-5")
            << QByteArray("\xD0\x94\xD0\xA2 \xD0\x84\xD0\xB2\xD1\x80\xD0\xBE-5");
        QTest::newRow("greek and polish")
            << QString::fromUtf8("Δεξαμενή Łódź") << QString::fromUtf8("Δεξαμενή Łódź").toUtf8();
        QTest::newRow("quotes, percent, backslash")
            << QString("O'Brien \"50%\" %s \\ ;") << QByteArray("O'Brien \"50%\" %s \\ ;");
        QTest::newRow("outside the BMP")
            << QString::fromUtf8("tank \xF0\x9F\x9B\xA2") << QByteArray("tank \xF0\x9F\x9B\xA2");
    }
    void newTextsRoundTripAsUtf8() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const std::string stored = ToStored(text);
        QCOMPARE(QByteArray::fromStdString(stored), bytes);
        // Read back the same whatever the legacy code page.
        QCOMPARE(FromStored(stored, CodePage::Windows1251), text);
        QCOMPARE(FromStored(stored, CodePage::Windows1252), text);
    }

    void olderFilesReadInTheirCodePage_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("text");
        QTest::newRow("1251 cyrillic")
            << QByteArray("\xA8\xEC\xEA\xEE\xF1\xF2\xFC \xB9\x33") << int(CodePage::Windows1251)
            << QString::fromUtf8("Ёмкость №3");
        QTest::newRow("1251 ukrainian")
            << QByteArray("\xC4\xD2 \xAA\xE2\xF0\xEE-5") << int(CodePage::Windows1251)
            << QString::fromUtf8("ДТ Євро-5");
        QTest::newRow("1252 accents and euro")
            << QByteArray("\xC9t\xE9 \x80 \xBA\xFF") << int(CodePage::Windows1252)
            << QString::fromUtf8("Été € ºÿ");
        QTest::newRow("1252 undefined byte kept")
            << QByteArray("a\x81z") << int(CodePage::Windows1252)
            << QString("a") + QChar(0x81) + "z";
        QTest::newRow("1250 polish") << QByteArray("\xA3\xF3\x64\x9F") << int(CodePage::Windows1250)
                                     << QString::fromUtf8("Łódź");
        QTest::newRow("1253 greek")
            << QByteArray("\xC4\xE5\xEE") << int(CodePage::Windows1253) << QString::fromUtf8("Δεξ");
        // Forms that look like UTF-8 but are not: an overlong slash, a surrogate, a cut
        // sequence. They are legacy bytes.
        QTest::newRow("overlong") << QByteArray("\xC0\xAF") << int(CodePage::Windows1252)
                                  << QString::fromUtf8("À¯");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << int(CodePage::Windows1252)
                                   << QString::fromUtf8("í") + QChar(0xA0) + QString::fromUtf8("€");
        QTest::newRow("cut short")
            << QByteArray("ok \xD0") << int(CodePage::Windows1251) << QString::fromUtf8("ok Р");
    }
    void olderFilesReadInTheirCodePage() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, page);
        QFETCH(QString, text);
        const std::string stored = bytes.toStdString();
        QVERIFY(!IsUtf8(stored));
        QCOMPARE(FromStored(stored, static_cast<CodePage>(page)), text);
    }

    void theStationsCodePageIsTheSetting() {
        const std::string legacy = "\xC4\xD2";
        QCOMPARE(LegacyCodePage(), CodePage::Windows1252);
        QCOMPARE(FromStored(legacy), QString::fromUtf8("ÄÒ"));
        SetLegacyCodePage(CodePage::Windows1251);
        QCOMPARE(FromStored(legacy), QString::fromUtf8("ДТ"));
        SetLegacyCodePage(kDefaultCodePage);
        for (const QString& name : CodePageNames())
            QCOMPARE(CodePageName(CodePageNamed(name).value()), name);
        QCOMPARE(CodePageNames().size(), 10);
        QVERIFY(!CodePageNamed("UTF-8"));
    }

    void noCharacterBecomesAQuestionMark() {
        QString lone = QString("a") + QChar(0xD800) + "b";
        QCOMPARE(QByteArray::fromStdString(ToStored(lone)), QByteArray("a\xEF\xBF\xBD"
                                                                       "b"));
        for (int page = 0; page < 10; ++page)
            for (int b = 0x80; b <= 0xFF; ++b) {
                const QString c = FromStored(std::string(1, char(b)), static_cast<CodePage>(page));
                QVERIFY(c.size() == 1 && c[0] != QLatin1Char('?') &&
                        c[0] != QChar::ReplacementCharacter);
            }
    }
};

QTEST_GUILESS_MAIN(StoredTextTest)
#include "test_stored_text.moc"
