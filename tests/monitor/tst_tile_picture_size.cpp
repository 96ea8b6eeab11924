// Stored pictures whose header declares a huge bitmap: the tile decodes none of them.
#include "DeclaredBmp.h"
#include "GaugePanels.h"
#include "TilePainter.h"
#include "TilePictures.h"

#include <QPainter>
#include <QtTest>

class TestTilePictureSize : public QObject {
    Q_OBJECT
private slots:
    void sizesAtTheLimitDecode_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("the editor's 64 x 64") << 64 << 64;
        QTest::newRow("widest") << 1024 << 1;
        QTest::newRow("tallest") << 1 << 1024;
        QTest::newRow("largest") << 1024 << 1024;
        QTest::newRow("tallest top-down") << 3 << -1024;
    }
    void sizesAtTheLimitDecode() {
        QFETCH(int, width);
        QFETCH(int, height);
        TTilePictures pictures;
        TItemNode n;
        n.Img = DeclaredBmp(width, height);
        const QImage* picture = pictures.Picture(n);
        QVERIFY(picture);
        QCOMPARE(picture->size(), QSize(width, std::abs(height)));
    }

    void hugeDeclaredBitmapsGiveNoPicture_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("one column too wide") << 1025 << 1;
        QTest::newRow("one row too tall") << 1 << 1025;
        QTest::newRow("top-down too tall") << 3 << -1025;
        QTest::newRow("120 MB from 70 bytes") << 5000 << 6000;
        QTest::newRow("most the decoder allows") << 16384 << 1024;
    }
    void hugeDeclaredBitmapsGiveNoPicture() {
        QFETCH(int, width);
        QFETCH(int, height);
        TTilePictures pictures;
        TItemNode n;
        n.id = 1;
        n.Name = "Tank 1";
        n.Act = true;
        n.Img = DeclaredBmp(width, height);
        QCOMPARE(pictures.Picture(n), nullptr);

        // The tile is still painted, without a picture: the gauge stands where it should.
        QImage tile(400, kActiveTileHeight - 1, QImage::Format_RGB32);
        tile.fill(Qt::magenta);
        TGaugePanels gauge;
        {
            QPainter p(&tile);
            TTilePainter(gauge, pictures)
                .VTDrawNode(p, n, tile.rect(), false, {Qt::white, Qt::black});
        }
        QCOMPARE(tile.pixel(16 + 8, 3 + 8), qRgb(255, 255, 255));
        QCOMPARE(tile.pixel(96 + 10, 3 + 20), TGaugePanels::BoxColor().rgb());
    }
};

QTEST_MAIN(TestTilePictureSize)
#include "tst_tile_picture_size.moc"
