// The tile model, the tile painter and the tile list with its link.
#include "GaugePanels.h"
#include "GradientFill.h"
#include "OperatorMessages.h"
#include "TileDelegate.h"
#include "TileList.h"
#include "TilePainter.h"
#include "TilePictures.h"

#include <QBuffer>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <stdexcept>

namespace {

std::string MakeBmp(int w, int h, QColor colour) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "BMP");
    return bytes.toStdString();
}

TItemNode ActiveTank(int fl, int capacity) {
    TItemNode n;
    n.id = 1;
    n.Name = "Tank 1";
    n.Act = true;
    n.FL = fl;
    n.Capacity = capacity;
    n.FLC = 1234;
    n.Temp = -5;
    return n;
}

const TTileColors kColors{QColor(255, 255, 255), QColor(0, 0, 0)};
constexpr int kTileWidth = 400;

QImage PaintTile(const TItemNode& node, bool focused, TGaugePanels& gauge,
                 TTilePictures& pictures) {
    QImage img(kTileWidth, VTMeasureItem(node) - 1, QImage::Format_RGB32);
    img.fill(Qt::magenta);
    QPainter p(&img);
    p.setFont(QApplication::font());
    TTilePainter(gauge, pictures).VTDrawNode(p, node, img.rect(), focused, kColors);
    return img;
}

int CountColour(const QImage& img, QRect area, QRgb colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += img.pixel(x, y) == colour;
    return n;
}

// Pixels that differ from the tile's background in an area: text, in practice.
int CountInk(const QImage& img, QRect area, QRgb background) {
    return area.width() * area.height() - CountColour(img, area, background);
}

void SendMove(QWidget* viewport, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), viewport->mapToGlobal(QPointF(pos)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
}

} // namespace

class TestTiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QFont font("Tahoma");
        font.setPixelSize(11);
        QApplication::setFont(font);
    }

    void textsOfAnActiveTile() {
        const TItemNode n = ActiveTank(45, 100);
        QCOMPARE(FuelLine(n), QStringLiteral("Fuel:    45 l. of 100 l. (1234)"));
        QCOMPARE(TempLine(n), QString::fromUtf16(u"Temp: -5 \u00BAC."));
        QCOMPARE(TempLine(n).at(9).unicode(), char16_t{0x00BA});
        QCOMPARE(VTMeasureItem(n), 71);
        TItemNode off;
        QCOMPARE(VTMeasureItem(off), 20);
    }

    void focusedTileRestsOnTheGradient() {
        TGaugePanels gauge;
        TTilePictures pictures;
        const QImage img = PaintTile(ActiveTank(45, 100), true, gauge, pictures);
        QCOMPARE(img.pixel(5, 0), qRgb(217, 226, 234));
        QCOMPARE(img.pixel(5, img.height() - 1), qRgb(184, 201, 216));
        const ColorRef mid =
            BuildRamp(70, MakeColorRef(217, 226, 234), MakeColorRef(183, 200, 215))[35];
        QCOMPARE(img.pixel(kTileWidth - 1, 35), qRgb(RedOf(mid), GreenOf(mid), BlueOf(mid)));
    }

    void pictureAndGaugeStandWhereTheyShould() {
        TGaugePanels gauge;
        TTilePictures pictures;
        TItemNode n = ActiveTank(45, 100);
        n.Img = MakeBmp(64, 64, QColor(200, 30, 30));
        const QImage img = PaintTile(n, false, gauge, pictures);
        const QRgb red = qRgb(200, 30, 30), white = qRgb(255, 255, 255);
        QCOMPARE(img.pixel(16, 3), red);
        QCOMPARE(img.pixel(79, 66), red);
        QCOMPARE(img.pixel(15, 3), white);
        QCOMPARE(img.pixel(16, 2), white);
        QCOMPARE(img.pixel(80, 3), white);
        QCOMPARE(CountColour(img, QRect(0, 0, kTileWidth, img.height()), red), 64 * 64);
        // The gauge box at (96, 3): 28 rows of fill, bottom-aligned.
        const QRgb fill = TGaugePanels::FillColor().rgb();
        QCOMPARE(CountColour(img, QRect(98, 0, 1, img.height()), fill), 28);
        QCOMPARE(img.pixel(98, 3 + 62), fill);
        QCOMPARE(img.pixel(98, 3 + 62 - 27), fill);
        QCOMPARE(img.pixel(98, 3 + 62 - 28), TGaugePanels::BoxColor().rgb());
        QCOMPARE(img.pixel(98, 3 + 63), TGaugePanels::BorderColor().rgb());
        QCOMPARE(img.pixel(96, 3), TGaugePanels::BorderColor().rgb());
        QCOMPARE(img.pixel(95, 3), white);
        QCOMPARE(gauge.FillCaption(), QStringLiteral("45%"));
        // Name, fuel line and link all left ink where they belong.
        QVERIFY(CountInk(img, QRect(150, 4, 60, 12), white) > 0);
        const int h = QFontMetrics(QApplication::font()).height();
        const int fuelTop = img.height() - 2 * h - 5, tempTop = img.height() - h - 5;
        QVERIFY(CountInk(img, QRect(150, fuelTop, 180, h), white) > 0);
        QVERIFY(CountInk(img, QRect(150, tempTop, 180, h), white) > 0);
        QCOMPARE(CountInk(img, QRect(150, 4 + h + 1, 180, fuelTop - (4 + h + 1)), white), 0);
        const QRect link(kTileWidth - 16 - 40, 10, 40, 15);
        QVERIFY(CountColour(img, link, qRgb(0, 0, 255)) > 0);
    }

    void focusedPictureIsFramed() {
        TGaugePanels gauge;
        TTilePictures pictures;
        TItemNode n = ActiveTank(45, 100);
        n.Img = MakeBmp(20, 20, QColor(200, 30, 30));
        const QImage img = PaintTile(n, true, gauge, pictures);
        const QRgb frame = TileLineColor().rgb();
        QVERIFY(CountColour(img, QRect(14, 10, 4, 1), frame) > 0); // left edge
        QVERIFY(CountColour(img, QRect(34, 10, 4, 1), frame) > 0); // right edge
        QVERIFY(CountColour(img, QRect(25, 1, 1, 4), frame) > 0);  // top edge
        QCOMPARE(img.pixel(26, 13), qRgb(200, 30, 30));            // inside untouched
    }

    void inactiveTileShowsGreyNameAndLinkOnly() {
        TGaugePanels gauge;
        TTilePictures pictures;
        TItemNode n = ActiveTank(45, 100);
        n.Act = false;
        n.Img = MakeBmp(8, 8, QColor(200, 30, 30));
        const QImage img = PaintTile(n, false, gauge, pictures);
        QCOMPARE(img.height(), 19);
        const QRect all(0, 0, kTileWidth, img.height());
        QCOMPARE(CountColour(img, all, qRgb(200, 30, 30)), 0);
        QCOMPARE(CountColour(img, all, TGaugePanels::FillColor().rgb()), 0);
        QCOMPARE(CountColour(img, all, qRgb(0, 0, 255)), 0);
        QVERIFY(CountColour(img, QRect(150, 0, 100, 19), InactiveTextColor().rgb()) > 0);
        QVERIFY(CountColour(img, QRect(kTileWidth - 60, 0, 44, 19), InactiveTextColor().rgb()) > 0);
        QCOMPARE(CountInk(img, QRect(0, 0, 150, 19), qRgb(255, 255, 255)), 0);
    }

    void badPictureBytesPaintNoPicture_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not a bitmap") << QByteArray("GIF89a garbage");
        QTest::newRow("signature only") << QByteArray("BM");
        QTest::newRow("truncated bitmap")
            << QByteArray::fromStdString(MakeBmp(16, 16, Qt::red).substr(0, 40));
        QTest::newRow("huge header") << QByteArray::fromStdString([] {
            std::string b = MakeBmp(4, 4, Qt::red);
            b[18] = b[19] = b[22] = b[23] = '\x7f'; // width and height far too large
            return b;
        }());
    }
    void badPictureBytesPaintNoPicture() {
        QFETCH(QByteArray, bytes);
        TGaugePanels gauge;
        TTilePictures pictures;
        TItemNode n = ActiveTank(45, 100);
        n.Img = bytes.toStdString();
        const QImage img = PaintTile(n, true, gauge, pictures);
        QCOMPARE(pictures.Picture(n), nullptr);
        QCOMPARE(CountColour(img, QRect(98, 0, 1, img.height()), TGaugePanels::FillColor().rgb()),
                 28);
        QVERIFY(CountInk(img, QRect(150, 30, 200, 12), img.pixel(149, 35)) > 0);
    }

    void pictureIsDecodedOncePerChange() {
        TTilePictures pictures;
        TItemNode n;
        n.Img = MakeBmp(4, 4, Qt::green);
        QVERIFY(pictures.Picture(n));
        QVERIFY(pictures.Picture(n));
        QCOMPARE(pictures.DecodeCount(), 1);
        n.Img = MakeBmp(6, 3, Qt::blue);
        QCOMPARE(pictures.Picture(n)->size(), QSize(6, 3));
        QCOMPARE(pictures.DecodeCount(), 2);
        n.Img.clear();
        QCOMPARE(pictures.Picture(n), nullptr);
    }

    void modelOwnsFreshRecordsInLoadOrder() {
        TTileModel model;
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        std::vector<TItemNode*> seen;
        {
            TTileModel::LoadScope load(model);
            for (int i = 1; i <= 14; ++i) {
                TItemNode& n = model.AppendTank();
                QCOMPARE(n.Act, false);
                QCOMPARE(n.FL, 0);
                QVERIFY(n.Name.empty());
                n.id = static_cast<uint8_t>(i);
                seen.push_back(&n);
            }
        }
        QCOMPARE(resets.count(), 1);
        QCOMPARE(model.rowCount(), 14);
        model.AppendTank(); // addresses survive growth
        for (int i = 0; i < 14; ++i)
            QCOMPARE(&model.Tank(i), seen[i]);
        QCOMPARE(model.FindNode(5), seen[4]);
        QCOMPARE(model.NodeAt(model.index(2)), seen[2]);
        QCOMPARE(model.data(model.index(0)).toString(), QString());
    }

    void loadScopeEndsTheLoadOnFailure() {
        TTileModel model;
        try {
            TTileModel::LoadScope load(model);
            model.AppendTank();
            throw std::runtime_error("disk I/O error");
        } catch (const std::runtime_error&) {
        }
        QCOMPARE(model.rowCount(), 1);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.ResetTank(0);
        QCOMPARE(changed.count(), 1);
    }

    void heightsFollowActAfterAReset() {
        Fixture f;
        QCOMPARE(f.RowHeight(3), 20);
        f.opener = [](TItemNode& n) {
            n.Act = true;
            return true;
        };
        f.list.VTClick(f.LinkPoint(3));
        QCOMPARE(f.opened, 1);
        QCOMPARE(f.lastOpened, &f.list.Model().Tank(3));
        QCOMPARE(f.RowHeight(3), 71);
        QCOMPARE(f.RowTop(4), f.RowTop(3) + 71);
        f.opener = [](TItemNode& n) {
            n.Act = false;
            return true;
        };
        f.list.VTClick(f.LinkPoint(3));
        QCOMPARE(f.opened, 2);
        QCOMPARE(f.RowHeight(3), 20);
        // A reading's reset re-measures as well.
        f.list.Model().Tank(5).Act = true;
        f.list.Model().ResetTank(5);
        QCOMPARE(f.RowHeight(5), 71);
    }

    void editorThatCannotShowLeavesTheTileAlone() {
        Fixture f;
        QSignalSpy changed(&f.list.Model(), &QAbstractItemModel::dataChanged);
        f.opener = [](TItemNode&) { return false; };
        f.list.VTClick(f.LinkPoint(2));
        QCOMPARE(f.opened, 1);
        QCOMPARE(changed.count(), 0);
        f.opener = [](TItemNode&) -> bool { throw std::runtime_error("bad picture"); };
        f.list.VTClick(f.LinkPoint(2));
        QCOMPARE(f.messages.shown, std::vector<std::string>{"bad picture"});
        QCOMPARE(changed.count(), 0);
    }

    void clicksOpenTheEditorOnlyOnTheLink() {
        Fixture f;
        const QPoint link = f.LinkPoint(4);
        f.list.VTClick(link + QPoint(-30, 0));
        f.list.VTClick(link + QPoint(0, 8));
        QCOMPARE(f.opened, 0);
        // A real click anywhere in a row focuses it; on the link it also opens the editor.
        QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, QPoint(30, f.RowTop(6) + 10));
        QCOMPARE(f.list.currentIndex().row(), 6);
        QCOMPARE(f.opened, 0);
        QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, link);
        QCOMPARE(f.list.currentIndex().row(), 4);
        QCOMPARE(f.opened, 1);
        QCOMPARE(f.lastOpened, &f.list.Model().Tank(4));
    }

    void cursorShowsTheHandOverTheLinkOnly() {
        Fixture f;
        QWidget* vp = f.list.viewport();
        SendMove(vp, f.LinkPoint(1));
        QCOMPARE(vp->cursor().shape(), Qt::PointingHandCursor);
        SendMove(vp, QPoint(f.list.width() - 20, f.RowTop(13) + f.RowHeight(13) + 5));
        QCOMPARE(vp->cursor().shape(), Qt::PointingHandCursor); // off the tiles: unchanged
        SendMove(vp, f.LinkPoint(1) + QPoint(-40, 0));
        QCOMPARE(vp->cursor().shape(), Qt::ArrowCursor);
    }

    void scrollBarMovesTheHitAreaLeft() {
        Fixture f;
        QCOMPARE(f.list.HitAreaScrollBarWidth(), 0);
        const int w = f.list.width();
        QCOMPARE(f.list.LinkRowAt(QPoint(w - 17, 5)), 0);
        for (int i = 0; i < 14; ++i)
            f.list.Model().Tank(i).Act = true;
        for (int i = 0; i < 14; ++i)
            f.list.Model().ResetTank(i);
        QApplication::processEvents();
        QVERIFY(f.list.verticalScrollBar()->isVisible());
        const int s = f.list.HitAreaScrollBarWidth();
        QVERIFY(s > 0);
        QCOMPARE(f.list.LinkRowAt(QPoint(w - 17, 20)), -1);
        QCOMPARE(f.list.LinkRowAt(QPoint(w - 17 - s, 20)), 0);
        QCOMPARE(f.list.LinkRowAt(QPoint(w - 16 - s, 20)), -1);
        QCOMPARE(f.list.LinkRowAt(QPoint(w - 41 - s, 20)), -1);
        // Scrolled, the area follows the tile's top on screen.
        f.list.verticalScrollBar()->setValue(100);
        const int top = f.RowTop(2);
        QCOMPARE(top, 2 * 71 - 100);
        QCOMPARE(f.list.LinkRowAt(QPoint(w - 30 - s, top + 17)), 2);
        QCOMPARE(f.list.LinkRowAt(QPoint(w - 30 - s, top + 16)), -1);
    }

    void grabbedListShowsFocusGridAndGauge() {
        Fixture f;
        TItemNode& first = f.list.Model().Tank(0);
        first.Act = true;
        first.FL = 45;
        first.Capacity = 100;
        first.Img = MakeBmp(32, 32, QColor(10, 120, 10));
        f.list.Model().ResetTank(0);
        f.list.setCurrentIndex(f.list.Model().index(0));
        const QImage img = f.list.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(img.pixel(5, 0), qRgb(217, 226, 234));
        QCOMPARE(img.pixel(5, 69), qRgb(184, 201, 216));
        QCOMPARE(img.pixel(5, 70), TileLineColor().rgb());
        // The tile proper is the row less its grid line: a 70-entry ramp, row by row.
        const ColorRamp ramp =
            BuildRamp(70, ToColorRef(FocusTopColor()), ToColorRef(FocusBottomColor()));
        for (int y = 0; y < 70; ++y)
            QCOMPARE(ToColorRef(QColor(img.pixel(2, y))), ramp[y]);
        QCOMPARE(img.pixel(5, 71 + 10), f.list.palette().color(QPalette::Base).rgb());
        QCOMPARE(img.pixel(5, 71 + 19), TileLineColor().rgb());
        QCOMPARE(img.pixel(20, 10), qRgb(10, 120, 10));
        QCOMPARE(CountColour(img, QRect(98, 0, 1, 71), TGaugePanels::FillColor().rgb()), 28);
    }

private:
    struct Fixture {
        RecordingMessages messages;
        TGaugePanels gauge;
        TTileList list{gauge, messages};
        std::function<bool(TItemNode&)> opener = [](TItemNode&) { return true; };
        int opened = 0;
        TItemNode* lastOpened = nullptr;

        Fixture() {
            TTileModel::LoadScope load(list.Model());
            for (int i = 1; i <= 14; ++i) {
                TItemNode& n = list.Model().AppendTank();
                n.id = static_cast<uint8_t>(i);
                n.Name = "Tank " + std::to_string(i);
            }
            Show();
        }
        void Show() {
            list.SetEditorOpener([this](TItemNode& n) {
                ++opened;
                lastOpened = &n;
                return opener(n);
            });
            list.resize(500, 300);
            list.show();
            QVERIFY(QTest::qWaitForWindowExposed(&list));
        }
        int RowTop(int row) { return list.visualRect(list.Model().index(row)).top(); }
        int RowHeight(int row) { return list.visualRect(list.Model().index(row)).height(); }
        // Inside the hit area of the row's link.
        QPoint LinkPoint(int row) {
            const bool active = list.Model().Tank(row).Act;
            const int right = list.width() - list.HitAreaScrollBarWidth();
            return QPoint(right - 30, RowTop(row) + (active ? 20 : 10));
        }
    };
};

QTEST_MAIN(TestTiles)
#include "tst_tiles.moc"
