#include "LineDialog.h"

#include "SensorLink.h"
#include "StoredText.h"
#include "TankList.h"
#include "TextFormats.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QStringList kColumns{"Address",    "Tank",         "Requests",      "Good",
                           "Bad CRC",    "Bad length",   "Wrong address", "Silences",
                           "Last reply", "Reply median", "Reply max"};

QString Number(uint64_t n) {
    return QString::number(static_cast<qulonglong>(n));
}

QString Ms(std::optional<int64_t> ms) {
    return ms ? QString::number(*ms) + " ms" : QString();
}

} // namespace

LineDialog::LineDialog(SensorLink& link, TankList& tanks, QWidget* parent)
    : QDialog(parent), link_(link), tanks_(tanks) {
    setWindowTitle("Line");
    setObjectName("LineDialog");
    state_ = new QLabel(this);
    table_ = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
    table_->setObjectName("lineTable");
    table_->setHorizontalHeaderLabels(kColumns);
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    reset_ = new QPushButton("Reset counts", this);
    reset_->setObjectName("resetCounts");
    auto* close = new QPushButton("Close", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(state_, 1);
    buttons->addWidget(reset_);
    buttons->addWidget(close);
    auto* v = new QVBoxLayout(this);
    v->addWidget(table_);
    v->addLayout(buttons);
    connect(reset_, &QPushButton::clicked, this, &LineDialog::ResetCounts);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    refresh_ = new QTimer(this);
    refresh_->setInterval(1000);
    connect(refresh_, &QTimer::timeout, this, &LineDialog::Refresh);
    resize(900, 420);
}

void LineDialog::Refresh() {
    state_->setText(link_.LineUp() ? "Line up" : "Line down");
    table_->setRowCount(tanks_.TankCount());
    for (int i = 0; i < tanks_.TankCount(); ++i) {
        const TItemNode& node = tanks_.Tank(i);
        const SensorCounts& c = link_.Health().Counts(static_cast<unsigned>(node.id));
        const QString cells[] = {
            QString::number(node.id),
            StoredText::FromStored(node.Name),
            Number(c.requests),
            Number(c.good),
            Number(c.refusedCrc),
            Number(c.refusedLength),
            Number(c.refusedAddress),
            Number(c.silences),
            c.lastReply ? QString::fromStdString(TextFormats::DateTime(*c.lastReply)) : QString(),
            Ms(c.MedianReplyMs()),
            Ms(c.MaxReplyMs())};
        for (int col = 0; col < kColumns.size(); ++col) {
            QTableWidgetItem* item = table_->item(i, col);
            if (!item) {
                item = new QTableWidgetItem;
                if (col != 1)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                table_->setItem(i, col, item);
            }
            item->setText(cells[col]);
        }
    }
    table_->resizeColumnsToContents();
}

void LineDialog::ResetCounts() {
    link_.Health().Reset();
    Refresh();
}

void LineDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Refresh();
    refresh_->start();
}

void LineDialog::hideEvent(QHideEvent* event) {
    refresh_->stop();
    QDialog::hideEvent(event);
}
