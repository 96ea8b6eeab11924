#pragma once
// Texts of the printed report, sized in points on a painter scaled from points to device
// pixels, and the numbers as the report writes them.

#include "TextFormats.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace ReportPrint {

inline QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

inline QString Num(double v, int decimals = 0) {
    return Q(TextFormats::Fixed(v, decimals));
}

inline QString Num(const std::optional<int64_t>& v) {
    return v ? Q(TextFormats::Int(*v)) : QString();
}

inline QString Num(const std::optional<double>& v) {
    return v ? Num(*v) : QString();
}

class PointText {
public:
    explicit PointText(double dpi) : dpi_(dpi) {}

    // Point sizes as the painter's scale wants them: it maps points to device pixels.
    QFont Font(double points, bool bold = false) const;
    // One line in `r`, cut short with an ellipsis where it does not fit.
    void Text(QPainter& p, const QRectF& r, const QString& text, int align, double points,
              bool bold = false, QColor colour = Qt::black) const;

protected:
    double dpi_;
};

} // namespace ReportPrint
