// The tank editor dialog driven as the operator would, against a temporary data.db.

#include "Database.h"
#include "OperatorMessages.h"
#include "SQLiteDatabase.h"
#include "StoredText.h"
#include "TanksUnit.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {
std::string DefaultPicture() {
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(qRgb(10, 120, 200));
    return EncodeBmp(image);
}

std::vector<TChartPoint> Sorted(std::vector<TChartPoint> v) {
    std::sort(v.begin(), v.end(),
              [](auto& a, auto& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    return v;
}
} // namespace

class TankEditorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TSQLiteDatabase> db;
    RecordingMessages messages;
    std::unique_ptr<TEditor> editor;

    void Open(bool seeded) {
        editor.reset();
        db.reset();
        dir = std::make_unique<QTemporaryDir>();
        messages = RecordingMessages();
        db = std::make_unique<TSQLiteDatabase>(dir->filePath("data.db").toStdString());
        if (seeded)
            QVERIFY(CreateDatabase(*db, DefaultPicture(), messages));
        editor = std::make_unique<TEditor>(*db, messages);
    }

    TItemNode Stored(int id) {
        TSQLiteTable rows = db->GetTable("SELECT * FROM TANKS WHERE id = " + std::to_string(id));
        TItemNode node;
        if (!rows.Eof())
            LoadTankFromRow(rows, node);
        return node;
    }

    QLineEdit* EditCell(int col, int row) {
        editor->SG->setCurrentCell(row, col);
        editor->SG->editItem(editor->SG->item(row, col));
        return editor->CellEditor();
    }

    void EnterRows(const std::vector<std::pair<int, int>>& rows) {
        for (int r = 1; r <= 30; ++r) {
            const bool filled = r <= static_cast<int>(rows.size());
            editor->SetCellText(1, r, filled ? QString::number(rows[r - 1].first) : QString());
            editor->SetCellText(2, r, filled ? QString::number(rows[r - 1].second) : QString());
        }
    }

private slots:
    void init() { Open(true); }

    void fillShowsEntryZeroAndSkipsZeroCodes() {
        TItemNode node;
        node.Name = "Diesel \xe9";
        node.LowFuel = -3;
        const int codes[] = {0, 100, 200, 0, 400, 500};
        for (int i = 0; i < 6; ++i)
            node.FTable[i] = {static_cast<uint16_t>(codes[i]), static_cast<uint32_t>(i * 10 + 5)};
        editor->SetCellText(1, 20, "77"); // left from an earlier opening
        QVERIFY(editor->UpdateData(&node));
        QCOMPARE(editor->EditedNode(), &node);
        QCOMPARE(editor->leName->text(), QString("Diesel ") + QChar(0xe9));
        QCOMPARE(editor->leLowFuelAlarm->text(), QString("-3"));
        QCOMPARE(editor->CellText(1, 1), QString("0"));
        QCOMPARE(editor->CellText(2, 1), QString("5"));
        QCOMPARE(editor->CellText(1, 3), QString("200"));
        QCOMPARE(editor->CellText(1, 4), QString());
        QCOMPARE(editor->CellText(2, 4), QString());
        QCOMPARE(editor->CellText(1, 6), QString("500"));
        for (int r = 7; r <= 30; ++r)
            QVERIFY(editor->CellText(1, r).isEmpty() && editor->CellText(2, r).isEmpty());
        const std::vector<TChartPoint> chart{{0, 0},    {0, 5},    {100, 15},
                                             {200, 25}, {400, 45}, {500, 55}};
        QCOMPARE(Sorted(editor->ChartPoints()), chart);

        // A seeded tank shows its own, empty table, not the one shown before; "Calculate"
        // and "Update" then store nothing of the other tank.
        TItemNode seeded = Stored(2);
        QVERIFY(editor->UpdateData(&seeded));
        QCOMPARE(editor->leName->text(), QString("Tank 2"));
        for (int r = 1; r <= 30; ++r)
            QVERIFY(editor->CellText(1, r).isEmpty() && editor->CellText(2, r).isEmpty());
        QVERIFY(editor->ChartPoints().empty());
        editor->Button2->click();
        QCOMPARE(messages.shown, std::vector<std::string>{kMsgNotEnough});
        editor->Button3->click();
        QCOMPARE(Stored(2).FTable, TFTable{});
        QCOMPARE(Stored(2).Capacity, 0);
    }

    void codeCellRange() {
        QLineEdit* cell = EditCell(1, 1);
        QVERIFY(cell);
        QTest::keyClicks(cell, "4096");
        QCOMPARE(cell->text(), QString("409"));
        QCOMPARE(cell->cursorPosition(), 3);
        QCOMPARE(editor->CellText(1, 1), QString("409"));
        QCOMPARE(messages.beeps, 1);
        QTest::keyClicks(cell, "5x");
        QCOMPARE(editor->CellText(1, 1), QString("4095"));
        QTest::keyClick(cell, '1'); // a full cell refuses further digits
        QCOMPARE(cell->text(), QString("4095"));
        QCOMPARE(messages.beeps, 1); // refused keys in the grid are silent
        cell->setSelection(2, 2);
        QTest::keyClick(cell, '1'); // but a digit replaces what is selected, as in any grid
        QCOMPARE(editor->CellText(1, 1), QString("401"));

        // Typing on a cell that is not being edited opens its editor with the key, which
        // replaces the cell's text, even a full one; the range check still applies.
        editor->SG->setCurrentCell(4, 1);
        QTest::keyClick(editor->SG, '7');
        QVERIFY(editor->CellEditor());
        QCOMPARE(editor->CellText(1, 4), QString("7"));
        editor->SetCellText(1, 5, "4095");
        editor->SG->setCurrentCell(5, 1); // ends the editing of row 4
        QTest::keyClick(editor->SG, '2');
        QCOMPARE(editor->CellText(1, 5), QString("2"));
        QTest::keyClicks(editor->CellEditor(), "05");
        QCOMPARE(editor->CellText(1, 5), QString("205"));
        editor->SetCellText(1, 6, "12");
        editor->SG->setCurrentCell(6, 1);
        QTest::keyClick(editor->SG, '9');
        QCOMPARE(editor->CellText(1, 6), QString("9"));
        QCOMPARE(messages.beeps, 1);
    }

    void litresCellRange() {
        QLineEdit* cell = EditCell(2, 3);
        QTest::keyClicks(cell, "200001");
        QCOMPARE(cell->text(), QString("20000"));
        QCOMPARE(messages.beeps, 1);
        QTest::keyClick(cell, Qt::Key_Backspace);
        QTest::keyClicks(cell, "00");
        QCOMPARE(editor->CellText(2, 3), QString("200000"));
        QTest::keyClick(cell, '7');
        QCOMPARE(cell->text(), QString("200000"));
    }

    void pasteRestoresTheCellsOwnText() {
        QTest::keyClicks(EditCell(1, 1), "12");
        QLineEdit* cell = EditCell(1, 2);
        QCOMPARE(cell->text(), QString());
        cell->insert("5000"); // arrives without a typed character
        QCOMPARE(cell->text(), QString());
        QCOMPARE(editor->CellText(1, 1), QString("12"));
        QCOMPARE(messages.beeps, 1);
    }

    void keyFilters() {
        QTest::keyClicks(editor->leLowFuelAlarm, "1a2");
        QCOMPARE(editor->leLowFuelAlarm->text(), QString("12"));
        QCOMPARE(messages.beeps, 1);

        editor->Memo1->setPlainText(QString(398, 'm') + "\n"); // 400 as stored
        editor->Memo1->moveCursor(QTextCursor::End);
        QTest::keyClick(editor->Memo1, 'z');
        QTest::keyClick(editor->Memo1, Qt::Key_Return);
        QCOMPARE(editor->Memo1->toPlainText().size(), 399);
        QCOMPARE(messages.beeps, 3);
        QTest::keyClick(editor->Memo1, Qt::Key_Backspace);
        QTest::keyClick(editor->Memo1, 'z');
        QCOMPARE(editor->Memo1->toPlainText(), QString(398, 'm') + "z");
    }

    void updateStopsAtABadAlarmThenStoresInOrder() {
        TItemNode node = Stored(3);
        QVERIFY(editor->UpdateData(&node));
        editor->show();
        editor->leName->setText("50% diesel");
        editor->cbAct->setChecked(true);
        editor->Memo1->setPlainText(QString(450, 'p')); // as if pasted
        editor->leLowFuelAlarm->setText("");
        editor->Button3->click();
        QCOMPARE(messages.shown, std::vector<std::string>{kMsgInadmissible});
        QCOMPARE(messages.beeps, 1);
        QCOMPARE(editor->focusWidget(), editor->leLowFuelAlarm);
        QVERIFY(editor->isVisible());
        QCOMPARE(node.Name, std::string("50% diesel")); // written before the check
        QCOMPARE(node.Memo.size(), std::size_t(400));
        QCOMPARE(Stored(3).Name, std::string("Tank 3"));

        editor->leLowFuelAlarm->setText("12");
        editor->loOverFuelAlarm->setText("99999999999"); // pasted, past 32 bits
        editor->Button3->click();
        QCOMPARE(node.LowFuel, 12);
        QCOMPARE(node.OverFuel, 0);
        QCOMPARE(editor->focusWidget(), editor->loOverFuelAlarm);
        QVERIFY(editor->isVisible());

        editor->loOverFuelAlarm->setText("-7");
        editor->Button3->click();
        QVERIFY(!editor->isVisible());
        QCOMPARE(editor->result(), int(QDialog::Accepted));
        const TItemNode back = Stored(3);
        QCOMPARE(back.Name, std::string("50% diesel"));
        QVERIFY(back.Act);
        QCOMPARE(back.LowFuel, 12);
        QCOMPARE(back.OverFuel, -7);
        QCOMPARE(back.Memo, std::string(400, 'p'));
        QCOMPARE(back.Img, DefaultPicture()); // not redrawn: byte for byte
    }

    void calculateThenCancelKeepsTheBuildInMemoryOnly() {
        TItemNode node = Stored(1);
        QVERIFY(editor->UpdateData(&node));
        editor->show();
        EnterRows({{100, 1000}, {200, 1500}, {300, 2100}, {400, 2800}, {500, 3600}});
        QLineEdit* cell = EditCell(2, 5);
        QCOMPARE(cell->selectedText(), QString("3600")); // typing would replace it all
        cell->end(false);
        QTest::keyClicks(cell, "1"); // still being edited when "Calculate" comes
        editor->Button2->click();
        QVERIFY(messages.shown.empty());
        QCOMPARE(editor->ChartPoints().size(), std::size_t(6));
        QCOMPARE(node.Capacity, 36001);
        QCOMPARE(node.FTable[4].Litres, 36001u);
        editor->Button4->click();
        QVERIFY(!editor->isVisible());
        QCOMPARE(node.Capacity, 36001);
        const TItemNode back = Stored(1);
        QCOMPARE(back.Capacity, 0);
        QCOMPARE(back.FTable[0].Code, uint16_t(0));

        // A refused build leaves the chart empty.
        EnterRows({{100, 1000}, {200, 1500}});
        editor->Button2->click();
        QCOMPARE(messages.shown, std::vector<std::string>{kMsgNotEnough});
        QVERIFY(editor->ChartPoints().empty());
    }

    void updateWithoutTanksTableCloses() {
        Open(false);
        TItemNode node;
        node.id = 1;
        QVERIFY(editor->UpdateData(&node));
        editor->show();
        editor->Button3->click();
        QCOMPARE(messages.shown, std::vector<std::string>{kMsgTableMissing});
        QVERIFY(!editor->isVisible());
        QVERIFY(!db->TableExists("TANKS"));
    }

    void unreadablePictureStillOpens() {
        TItemNode node = Stored(4);
        node.Img = "not a bitmap";
        QVERIFY(editor->UpdateData(&node));
        QCOMPARE(messages.shown, std::vector<std::string>{kMsgPictureUnreadable});
        QCOMPARE(editor->leName->text(), QString("Tank 4"));
        QVERIFY(editor->Picture().Image().isNull());

        editor->PickPictureFile = [] { return QString(); }; // cancelled
        editor->Button1->click();
        QCOMPARE(editor->Picture().Bytes(), std::string("not a bitmap"));

        const QString path = dir->filePath("new.png");
        QImage big(200, 100, QImage::Format_RGB32);
        big.fill(Qt::red);
        QVERIFY(big.save(path));
        editor->PickPictureFile = [&] { return path; };
        editor->Button1->click();
        editor->Button3->click();
        QImage stored;
        QVERIFY(DecodeBmp(Stored(4).Img, stored));
        QCOMPARE(stored.size(), QSize(64, 64));
        QCOMPARE(stored.pixel(32, 32), qRgb(255, 0, 0));
        QCOMPARE(stored.pixel(32, 10), qRgb(255, 255, 255));

        editor->PickPictureFile = [&] { return dir->filePath("missing.png"); };
        editor->Button1->click();
        QCOMPARE(messages.shown.size(), std::size_t(2));
        QVERIFY(editor->Picture().Bytes().empty());
    }
    void textsOutsideLatin1SurviveUpdate() {
        TItemNode node = Stored(3);
        QVERIFY(editor->UpdateData(&node));
        editor->show();
        const QString name = QString::fromUtf8("Ёмкость №3 дизель");
        const QString fuel = QString::fromUtf8("ДТ Євро-5");
        editor->leName->setText(name);
        editor->leFType->setText(fuel);
        editor->Memo1->setPlainText(QString(450, QChar(0x0436))); // as if pasted
        editor->Button3->click();
        QVERIFY(messages.shown.empty());
        TItemNode back = Stored(3);
        QCOMPARE(back.Name, name.toStdString()); // UTF-8
        QCOMPARE(back.FType, fuel.toStdString());
        QCOMPARE(QString::fromStdString(back.Memo), QString(400, QChar(0x0436))); // characters
        QVERIFY(editor->UpdateData(&back));
        QCOMPARE(editor->leName->text(), name);
        QCOMPARE(editor->leFType->text(), fuel);

        // A name stored by an older program in Windows-1251 reads in the set code page.
        back.Name = "\xC4\xD2 \xB9\x31";
        StoredText::SetLegacyCodePage(StoredText::CodePage::Windows1251);
        QVERIFY(editor->UpdateData(&back));
        StoredText::SetLegacyCodePage(StoredText::kDefaultCodePage);
        QCOMPARE(editor->leName->text(), QString::fromUtf8("ДТ №1"));
    }

    void alarmAboveTheCapacityIsRefused() {
        TItemNode node = Stored(5);
        QVERIFY(editor->UpdateData(&node));
        editor->show();
        EnterRows({{100, 1000}, {200, 5000}, {300, 9000}, {400, 14000}, {4095, 20000}});
        editor->Button2->click();
        QCOMPARE(node.Capacity, 20000);
        editor->leLowFuelAlarm->setText("200055");
        editor->Button3->click();
        QCOMPARE(messages.shown.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(messages.shown[0]).contains("20000 l"));
        QCOMPARE(editor->focusWidget(), editor->leLowFuelAlarm);
        QVERIFY(editor->isVisible());
        QCOMPARE(node.LowFuel, 0);

        editor->leLowFuelAlarm->setText("2000");
        editor->loOverFuelAlarm->setText("20001");
        editor->Button3->click();
        QCOMPARE(messages.shown.size(), std::size_t(2));
        QCOMPARE(editor->focusWidget(), editor->loOverFuelAlarm);

        editor->loOverFuelAlarm->setText("20000"); // the capacity itself is a level
        editor->Button3->click();
        QVERIFY(!editor->isVisible());
        QCOMPARE(Stored(5).LowFuel, 2000);
        QCOMPARE(Stored(5).OverFuel, 20000);
    }
};

QTEST_MAIN(TankEditorTest)
#include "test_tank_editor.moc"
