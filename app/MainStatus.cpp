// The status bar's texts (the line's state, the newest reading) and the tiles' ageing and
// tooltips.
#include "MainUnit.h"

#include "FuelEvents.h"
#include "MqttBridge.h"
#include "SensorLink.h"
#include "StoredText.h"
#include "TextFormats.h"
#include "TileFreshness.h"
#include "TileList.h"

#include <QLabel>
#include <QTimer>

#include <algorithm>

// Tiles age without a reading coming, so they are judged again every few seconds.
void TForm1::WatchReadings() {
    VT->SetFreshness([this](const TItemNode& node) {
        if (!storedReadingsIn_ && node.LDTime <= 0)
            return TTileFreshness{true, "loading…"};
        int active = 0;
        for (int i = 0; i < VT->Model().TankCount(); ++i)
            active += VT->Model().Tank(i).Act ? 1 : 0;
        return JudgeFreshness(node.LDTime, clock_.LocalNow(), link_ && link_->LineUp(), active);
    });
    VT->Model().toolTip = [this](const TItemNode& node) { return TileHealth(node); };
    connect(&VT->Model(), &QAbstractItemModel::dataChanged, this, &TForm1::ShowNewestReading);
    auto* ageing = new QTimer(this);
    connect(ageing, &QTimer::timeout, this, [this] {
        VT->viewport()->update();
        ShowNewestReading();
    });
    ageing->start(5000);
    ShowNewestReading();
}

void TForm1::ShowLineState(bool up, double localAt) {
    const QString at = QString::fromStdString(TextFormats::LongTime(localAt));
    lineState_->setText(up ? "Line back at " + at : "Line lost at " + at + ", retrying");
    if (mqtt_)
        mqtt_->LineState(up, clock_.UtcNow());
    VT->viewport()->update();
}

QString TForm1::LineStateText() const {
    return lineState_->text();
}

void TForm1::ShowNewestReading() {
    double newest = 0;
    for (int i = 0; i < VT->Model().TankCount(); ++i)
        newest = std::max(newest, VT->Model().Tank(i).LDTime);
    newestReading_->setText(newest > 0 ? "Newest reading: " +
                                             QString::fromStdString(TextFormats::DateTime(newest))
                                       : "No reading yet");
}

QString TForm1::NewestReadingText() const {
    return newestReading_->text();
}

QString TForm1::TileHealth(const TItemNode& node) const {
    if (!link_)
        return {};
    const SensorCounts& c = link_->Health().Counts(static_cast<unsigned>(node.id));
    QString text = StoredText::FromStored(node.Name) + "\n";
    if (node.LDTime > 0)
        text += "Reading of " + QString::fromStdString(TextFormats::DateTime(node.LDTime)) + "\n";
    // The number in parentheses after the litres says nothing by itself on the tile.
    if (node.Act)
        text += QString("(%1) on the tile: the sensor's raw fuel code, which the tank's "
                        "calibration turns into litres\n")
                    .arg(node.FLC);
    text += QString("Requests %1, good replies %2, refused %3 (CRC %4, length %5, "
                    "address %6), silences %7")
                .arg(c.requests)
                .arg(c.good)
                .arg(c.refusedCrc + c.refusedLength + c.refusedAddress)
                .arg(c.refusedCrc)
                .arg(c.refusedLength)
                .arg(c.refusedAddress)
                .arg(c.silences);
    if (c.lastReply)
        text += "\nLast reply " + QString::fromStdString(TextFormats::DateTime(*c.lastReply));
    if (const auto median = c.MedianReplyMs())
        text += QString("\nReply time: median %1 ms, max %2 ms").arg(*median).arg(*c.MaxReplyMs());
    return text;
}
