#include "DefaultPicture.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

// A standing cylindrical tank with a level window and a filler pipe, drawn in code so the
// artwork is ours and needs no file.
void DrawTank(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    const QColor steel(96, 122, 150), steelDark(58, 78, 102), fuel(230, 176, 60);
    QLinearGradient body(8, 0, 56, 0);
    body.setColorAt(0, steelDark);
    body.setColorAt(0.45, QColor(170, 192, 214));
    body.setColorAt(1, steelDark);
    p.setPen(QPen(steelDark, 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(10, 12, 44, 44), 6, 6);
    // roof
    p.setBrush(steel);
    QPainterPath roof;
    roof.moveTo(10, 16);
    roof.quadTo(32, 2, 54, 16);
    roof.closeSubpath();
    p.drawPath(roof);
    // level window with fuel in it
    p.setPen(QPen(steelDark, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(28, 20, 8, 30));
    p.setPen(Qt::NoPen);
    p.setBrush(fuel);
    p.drawRect(QRectF(29, 32, 6, 17.5));
    // feet and filler pipe
    p.setBrush(steelDark);
    p.drawRect(QRectF(14, 56, 6, 5));
    p.drawRect(QRectF(44, 56, 6, 5));
    p.drawRect(QRectF(44, 4, 4, 10));
}

} // namespace

std::string DefaultTankPictureBmp() {
    QImage img(64, 64, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        DrawTank(p);
    }
    QByteArray bytes;
    QBuffer buf(&bytes);
    // Half-written bytes would be stored in every seeded tank as a picture nobody can read;
    // no picture is the sound fallback.
    if (!buf.open(QIODevice::WriteOnly) || !img.save(&buf, "BMP"))
        return {};
    return bytes.toStdString();
}
