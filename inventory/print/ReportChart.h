#pragma once
// The level chart of the printed report: the level over the period as on screen (readings
// inside it only), with the deliveries, losses, alarm bands and the time without readings.

#include "InventoryData.h"
#include "PrintText.h"

#include <QPainter>
#include <QRectF>

namespace ReportPrint {

// The period the chart shows, as the document has it (local day numbers; `offset` is local
// minus UTC).
struct ChartSpan {
    double from = 0, to = 0, offset = 0, printedAt = 0;
};

class ChartPainter : private PointText {
public:
    ChartPainter(double dpi, ChartSpan span) : PointText(dpi), span_(span) {}
    void Paint(QPainter& p, const QRectF& box, const TankReport& rep) const;

private:
    ChartSpan span_;
};

} // namespace ReportPrint
