// The picture area's geometry and BMP round trip, and the editor's typing rules.

#include "EditorRules.h"
#include "PictureBand.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

using namespace EditorRules;

namespace {
QImage Black(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

// Every pixel of the bitmap is black inside the rectangle and white outside it.
bool BlackExactlyIn(const QImage& image, const QRect& black) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb want = black.contains(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            if ((image.pixel(x, y) & 0xffffff) != (want & 0xffffff)) {
                qWarning("pixel %d,%d is %08x", x, y, image.pixel(x, y));
                return false;
            }
        }
    return true;
}
} // namespace

class EditorPictureTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString Save(const QImage& image, const char* name, const char* format) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        if (!image.save(path, format))
            qFatal("cannot write %s", name);
        return path;
    }

    QImage Loaded(const QString& path) {
        EditorPicture picture;
        picture.LoadFile(path);
        // What "Update" stores must read back as what is shown.
        QImage stored;
        if (!DecodeBmp(picture.Bytes(), stored) || stored != picture.Image())
            qWarning("stored bytes differ from the shown picture");
        return stored;
    }

private slots:
    void bandGeometry() {
        QCOMPARE(PictureBand(1000, 10), QRect(0, 32, 64, 0));
        QCOMPARE(PictureBand(65, 10), QRect(QPoint(0, 28), QPoint(63, 35)));
        QCOMPARE(PictureBand(64, 65), QRect(QPoint(1, 0), QPoint(62, 63)));
        QCOMPARE(PictureBand(300, 300), QRect(0, 0, 64, 64));
        QCOMPARE(PictureBand(10, 65), QRect(QPoint(28, 0), QPoint(35, 63)));
    }

    void largePicturesAreStretchedIntoTheBand() {
        QVERIFY(BlackExactlyIn(Loaded(Save(Black(1000, 10), "wide.png", "PNG")), QRect()));
        QVERIFY(BlackExactlyIn(Loaded(Save(Black(65, 10), "low.png", "PNG")),
                               QRect(QPoint(0, 28), QPoint(63, 35))));
        QVERIFY(BlackExactlyIn(Loaded(Save(Black(64, 65), "tall.jpg", "JPG")),
                               QRect(QPoint(1, 0), QPoint(62, 63))));
        QCOMPARE(Loaded(Save(Black(65, 10), "low2.png", "PNG")).size(), QSize(64, 64));
    }

    void smallPicturesKeepTheirSize() {
        QImage art(64, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                art.setPixel(x, y, qRgb(x * 4, y * 4, 100));
        QCOMPARE(Loaded(Save(art, "art.png", "PNG")), art);

        QImage clear(10, 20, QImage::Format_ARGB32);
        clear.fill(Qt::transparent);
        const QImage opaque = Loaded(Save(clear, "clear.png", "PNG"));
        QCOMPARE(opaque.size(), QSize(10, 20));
        QCOMPARE(opaque.pixel(5, 5) & 0xffffff, 0xffffffu);
    }

    void smallBitmapFilesKeepTheirBytes() {
        const QString path =
            Save(Black(30, 40).convertToFormat(QImage::Format_Indexed8), "small.bmp", "BMP");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EditorPicture picture;
        picture.LoadFile(path);
        QCOMPARE(QByteArray::fromStdString(picture.Bytes()), bytes);
        QCOMPARE(picture.Image().size(), QSize(30, 40));
    }

    void unreadableFilesLeaveThePictureEmpty() {
        EditorPicture picture;
        QCOMPARE(picture.SetStored(EncodeBmp(Black(8, 8))), EditorPicture::Stored::Read);
        QFile junk(dir.filePath("junk.png"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("no picture here");
        junk.close();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, picture.LoadFile(junk.fileName()));
        QVERIFY(picture.Image().isNull());
        QVERIFY(picture.Bytes().empty());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, picture.LoadFile(dir.filePath("none.bmp")));

        // A file past the limit is refused before it is read (a sparse file costs no disk).
        QFile huge(dir.filePath("huge.bmp"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        huge.write(EncodeBmp(Black(8, 8)).c_str(), 54);
        QVERIFY(huge.resize(kPictureFileLimit + 1));
        huge.close();
        try {
            picture.LoadFile(huge.fileName());
            QFAIL("a huge file was read");
        } catch (const std::runtime_error& e) {
            QVERIFY(QString(e.what()).contains("larger than 4 MB"));
        }
        QVERIFY(picture.Bytes().empty());
    }

    void storedBytes() {
        EditorPicture picture;
        QCOMPARE(picture.SetStored(""), EditorPicture::Stored::Empty);
        QCOMPARE(picture.SetStored("GIF89a"), EditorPicture::Stored::Unreadable);
        QVERIFY(picture.Image().isNull());
        QCOMPARE(picture.Bytes(), std::string("GIF89a")); // kept until replaced
        std::string cut = EncodeBmp(Black(8, 8));
        cut.resize(20);
        QCOMPARE(picture.SetStored(cut), EditorPicture::Stored::Unreadable);
        QVERIFY(PictureFileFilter().contains("*.bmp"));
        QVERIFY(PictureFileFilter().contains("*.png"));
        QVERIFY(PictureFileFilter().contains("*.jpg"));
    }

    void memoLengthAndCut() {
        QCOMPARE(MemoLength("ab\ncd"), 6);
        const QString text = QString(399, 'x') + "\nabc";
        QCOMPARE(MemoToRecord(text), std::string(399, 'x')); // no lone carriage return
        QCOMPARE(MemoToRecord(QString(450, 'y')).size(), std::size_t(400));
        QCOMPARE(MemoToRecord("a\nb"), std::string("a\r\nb"));
        QCOMPARE(MemoFromRecord("a\r\nb\xe9"), QString("a\nb") + QChar(0xe9));
        QCOMPARE(MemoToRecord(QString("b") + QChar(0xe9)), std::string("b\xc3\xa9")); // UTF-8
        // The limit counts characters, not their bytes; a pair of surrogates is one.
        const QString cyrillic(450, QChar(0x0436));
        QCOMPARE(MemoLength(cyrillic), 450);
        QCOMPARE(MemoToRecord(cyrillic), QString(400, QChar(0x0436)).toStdString());
        const QString wide = QString(399, 'w') + QString::fromUtf8("\xF0\x9F\x9B\xA2") + "z";
        QCOMPARE(MemoLength(wide), 401);
        QCOMPARE(MemoToRecord(wide), wide.left(401).toStdString());
    }

    void gridLimits() {
        QVERIFY(GridValueAdmissible(kCodeColumn, "4095"));
        QVERIFY(!GridValueAdmissible(kCodeColumn, "4096"));
        QVERIFY(GridValueAdmissible(kLitresColumn, "200000"));
        QVERIFY(!GridValueAdmissible(kLitresColumn, "200001"));
        QVERIFY(!GridValueAdmissible(kLitresColumn, "99999999999"));
        QVERIFY(!GridValueAdmissible(kCodeColumn, "-1"));
        QVERIFY(!GridValueAdmissible(kCodeColumn, "1a"));
        QVERIFY(GridValueAdmissible(kCodeColumn, ""));
        QVERIFY(GridTextHasRoom(kCodeColumn, "409"));
        QVERIFY(!GridTextHasRoom(kCodeColumn, "4095"));
        QVERIFY(!GridTextHasRoom(kLitresColumn, "200000"));
    }
};

QTEST_MAIN(EditorPictureTest)
#include "test_editor_picture.moc"
