#include "PrintText.h"

#include <QFontMetricsF>

namespace ReportPrint {

QFont PointText::Font(double points, bool bold) const {
    QFont f;
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points * 72 / dpi_);
    f.setBold(bold);
    return f;
}

void PointText::Text(QPainter& p, const QRectF& r, const QString& text, int align, double points,
                     bool bold, QColor colour) const {
    const QFont f = Font(points, bold);
    p.setFont(f);
    p.setPen(colour);
    const QString shown = QFontMetricsF(f, p.device()).elidedText(text, Qt::ElideRight, r.width());
    p.drawText(r, align | Qt::TextSingleLine, shown);
}

} // namespace ReportPrint
