#include "GaugePanels.h"

#include <QFont>
#include <QPainter>

void TGaugePanels::Setup(const TGaugeSetup& setup) {
    fillHeight_ = setup.fillHeight;
    fillCaption_ = QString::fromLatin1(setup.fillCaption);
    gaugeCaption_ = QString::fromLatin1(setup.gaugeCaption);
}

QRect TGaugePanels::ClientRect() {
    return QRect(kBorder, kBorder, kGaugeWidth - 2 * kBorder, kGaugeHeight - 2 * kBorder);
}

QRect TGaugePanels::FillRect() const {
    const QRect client = ClientRect();
    const int h = VisibleFillHeight(fillHeight_, client.height());
    return QRect(client.x(), client.y() + client.height() - h, client.width(), h);
}

void TGaugePanels::Paint(QPainter& painter, QPoint topLeft, const QFont& font,
                         const QColor& textColor) const {
    painter.save();
    painter.translate(topLeft);
    painter.setFont(font);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRect box(0, 0, kGaugeWidth, kGaugeHeight);
    painter.fillRect(box, BorderColor());
    const QRect client = ClientRect();
    painter.fillRect(client, BoxColor());
    painter.setPen(textColor);
    // The box's caption is drawn first; the fill, like a child panel, covers it.
    if (!gaugeCaption_.isEmpty())
        painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, gaugeCaption_);
    const QRect fill = FillRect();
    if (!fill.isEmpty()) {
        painter.fillRect(fill, FillColor());
        // Drawing into a rectangle clips the text to it, as the fill's own caption is.
        if (!fillCaption_.isEmpty())
            painter.drawText(fill, Qt::AlignCenter | Qt::TextSingleLine, fillCaption_);
    }
    painter.restore();
}
