// Stored pictures whose header declares a huge bitmap: the editor reads them as unreadable,
// keeps their bytes and shows no picture.
#include "Database.h"
#include "DeclaredBmp.h"
#include "OperatorMessages.h"
#include "PictureBand.h"
#include "SQLiteDatabase.h"
#include "TanksUnit.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class StoredPictureSizeTest : public QObject {
    Q_OBJECT
private slots:
    void sizesAtTheLimitAreRead_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("the editor's 64 x 64") << 64 << 64;
        QTest::newRow("largest") << 1024 << 1024;
        QTest::newRow("tallest top-down") << 2 << -1024;
    }
    void sizesAtTheLimitAreRead() {
        QFETCH(int, width);
        QFETCH(int, height);
        const std::string bytes = DeclaredBmp(width, height);
        EditorPicture picture;
        QCOMPARE(picture.SetStored(bytes), EditorPicture::Stored::Read);
        QCOMPARE(picture.Image().size(), QSize(width, std::abs(height)));
        QImage decoded;
        QVERIFY(DecodeBmp(bytes, decoded));
    }

    void hugeDeclaredBitmapsAreUnreadable_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("one column too wide") << 1025 << 64;
        QTest::newRow("one row too tall") << 64 << 1025;
        QTest::newRow("top-down too tall") << 2 << -1025;
        QTest::newRow("120 MB from 70 bytes") << 5000 << 6000;
    }
    void hugeDeclaredBitmapsAreUnreadable() {
        QFETCH(int, width);
        QFETCH(int, height);
        const std::string bytes = DeclaredBmp(width, height);
        EditorPicture picture;
        QCOMPARE(picture.SetStored(bytes), EditorPicture::Stored::Unreadable);
        QVERIFY(picture.Image().isNull());
        QCOMPARE(picture.Bytes(), bytes); // kept until another picture replaces them
        QImage decoded;
        QVERIFY(!DecodeBmp(bytes, decoded));
        QVERIFY(decoded.isNull());
    }

    // The dialog opens on such a tank, says why it shows no picture, and "Update" writes the
    // stored bytes back unchanged.
    void editorOpensWithoutTheHugePicture() {
        QTemporaryDir dir;
        TSQLiteDatabase db(dir.filePath("data.db").toStdString());
        RecordingMessages messages;
        QVERIFY(CreateDatabase(db, DeclaredBmp(64, 64), messages));
        TEditor editor(db, messages);
        TItemNode node;
        node.id = 3;
        node.Name = "Tank 3";
        node.Img = DeclaredBmp(5000, 6000);
        QVERIFY(editor.UpdateData(&node));
        QCOMPARE(messages.shown, std::vector<std::string>{kMsgPictureUnreadable});
        QVERIFY(editor.Image1->pixmap().isNull());
        editor.Button3->click();
        QCOMPARE(node.Img, DeclaredBmp(5000, 6000));
        TSQLiteTable row = db.GetTable("SELECT pict FROM TANKS WHERE id = 3");
        QCOMPARE(row.FieldAsBlob("pict"), DeclaredBmp(5000, 6000));
    }
};

QTEST_MAIN(StoredPictureSizeTest)
#include "test_stored_picture_size.moc"
