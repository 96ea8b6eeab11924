// Stored pictures whose header declares a huge bitmap: the editor reads them as unreadable,
// keeps their bytes and shows no picture.
#include "Database.h"
#include "OperatorMessages.h"
#include "PictureBand.h"
#include "SQLiteDatabase.h"
#include "TanksUnit.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

// A 24-bit BMP file whose header declares width x height but which carries only a few
// bytes of pixels: the decoder fills the rest, so the bitmap costs what its header says.
std::string DeclaredBmp(int32_t width, int32_t height) {
    const uint32_t pixels = 16;
    std::string b(54 + pixels, '\0');
    auto put32 = [&](std::size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    auto put16 = [&](std::size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, pixels);
    return b;
}

} // namespace

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
