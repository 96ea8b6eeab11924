#include "EventsTab.h"

#include "Clock.h"
#include "OperatorMessages.h"
#include "TextFormats.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Short headings, so that every column fits the window at its start size; the tooltip of
// each gives it in full.
struct Column {
    const char* heading;
    const char* tip;
};
const Column kColumns[] = {
    {"Time", "When the event began"},
    {"Tank", "The tank"},
    {"Kind", "Delivery, loss or alarm"},
    {"Gross\nbefore", "Gross litres before the event"},
    {"Gross\nafter", "Gross litres after the event"},
    {"Gross\nchange", "Change of gross litres"},
    {"Net\nbefore", "Net litres at 15 °C before the event"},
    {"Net\nafter", "Net litres at 15 °C after the event"},
    {"Net\nchange", "Change of net litres at 15 °C"},
    {"h:mm", "How long the event lasted (hours and minutes), or has lasted so far"},
    {"State", "In progress, over, or acknowledged"},
};
constexpr int kColumnCount = int(std::size(kColumns));
constexpr int kTankCount = 14;
constexpr int kTankColumn = 1;
constexpr int kWidestTankColumn = 96; // a longer name is cut; its tooltip shows it whole
constexpr int kNarrowestTankColumn = 32;
constexpr int kNarrowestStateColumn = 40;
constexpr int kSlack = 4; // a sum exactly the viewport's still brings the scroll bar

QString Litres(const std::optional<int64_t>& v) {
    return v ? QString::number(*v) : QString();
}

} // namespace

EventsTab::EventsTab(TSQLiteDatabase& db, Clock& clock, OperatorMessages& messages,
                     TankName tankName, QWidget* parent)
    : QWidget(parent), db_(db), clock_(clock), messages_(messages), tankName_(std::move(tankName)) {
    auto* v = new QVBoxLayout(this);
    auto* strip = new QHBoxLayout;
    tankFilter_ = new QComboBox;
    tankFilter_->setObjectName("tankFilter");
    tankFilter_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    kindFilter_ = new QComboBox;
    kindFilter_->setObjectName("kindFilter");
    kindFilter_->addItem("All kinds", QString());
    for (const char* kind : kEventKinds)
        kindFilter_->addItem(QString::fromStdString(EventKindText(kind)), QString(kind));
    strip->addWidget(new QLabel("Tank:"));
    strip->addWidget(tankFilter_);
    strip->addSpacing(12);
    strip->addWidget(new QLabel("Kind:"));
    strip->addWidget(kindFilter_);
    strip->addStretch();
    v->addLayout(strip);

    table_ = new QTableWidget(0, kColumnCount);
    table_->setObjectName("events");
    for (int c = 0; c < kColumnCount; ++c) {
        auto* heading = new QTableWidgetItem(kColumns[c].heading);
        heading->setToolTip(kColumns[c].tip);
        table_->setHorizontalHeaderItem(c, heading);
    }
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    table_->viewport()->installEventFilter(this);
    v->addWidget(table_);

    FillTankFilter();
    const auto refilter = [this] { Guarded(messages_, [&] { ShowRows(); }); };
    connect(tankFilter_, &QComboBox::currentIndexChanged, this, refilter);
    connect(kindFilter_, &QComboBox::currentIndexChanged, this, refilter);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenRow(row); });
}

void EventsTab::FillTankFilter() {
    const QSignalBlocker quiet(tankFilter_);
    const int chosen = tankFilter_->currentData().toInt();
    tankFilter_->clear();
    tankFilter_->addItem("All tanks", 0);
    // Only tanks the operator can find something for: the polled ones and those with events.
    const auto listed = [this](int adr) {
        return !tankActive_ || tankActive_(adr) ||
               std::any_of(all_.begin(), all_.end(),
                           [adr](const EventRow& e) { return e.adr == adr; });
    };
    for (int adr = 1; adr <= kTankCount; ++adr) {
        const std::string name = tankName_ ? tankName_(adr) : std::string();
        if (!name.empty() && listed(adr))
            tankFilter_->addItem(QString::fromStdString(name), adr);
    }
    tankFilter_->setCurrentIndex(std::max(0, tankFilter_->findData(chosen)));
}

void EventsTab::Reload() {
    all_ = LoadEvents(db_);
    FillTankFilter();
    ShowRows();
}

void EventsTab::SetFilter(int adr, const std::string& kind) {
    {
        const QSignalBlocker a(tankFilter_);
        const QSignalBlocker b(kindFilter_);
        tankFilter_->setCurrentIndex(std::max(0, tankFilter_->findData(adr)));
        kindFilter_->setCurrentIndex(
            std::max(0, kindFilter_->findData(QString::fromStdString(kind))));
    }
    ShowRows();
}

void EventsTab::ShowRows() {
    const int adr = tankFilter_->currentData().toInt();
    const std::string kind = kindFilter_->currentData().toString().toStdString();
    shown_.clear();
    for (const EventRow& row : all_)
        if (EventMatches(row, adr, kind))
            shown_.push_back(row);

    const double utcNow = clock_.UtcNow();
    const double offset = clock_.LocalNow() - utcNow;
    table_->setRowCount(0);
    table_->setRowCount(int(shown_.size()));
    for (int r = 0; r < int(shown_.size()); ++r) {
        const EventRow& e = shown_[std::size_t(r)];
        // To the minute on screen; the tooltip has the seconds.
        const QString start = QString::fromStdString(TextFormats::DateTime(e.tstart + offset));
        const QString cells[kColumnCount] = {
            start.left(16),
            QString::fromStdString(tankName_ ? tankName_(e.adr) : std::string()),
            QString::fromStdString(EventKindText(e.kind)),
            Litres(e.vbefore),
            Litres(e.vafter),
            QString::fromStdString(ChangeText(e.vbefore, e.vafter)),
            Litres(e.nbefore),
            Litres(e.nafter),
            QString::fromStdString(ChangeText(e.nbefore, e.nafter)),
            QString::fromStdString(DurationText(e, utcNow)),
            QString::fromStdString(EventStateText(e))};
        for (int c = 0; c < kColumnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c >= 3 && c <= 9)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (c == kTankColumn || c == kColumnCount - 1)
                item->setToolTip(cells[c]);
            if (c == 0)
                item->setToolTip(start);
            // What an alarm row says of itself (a leak test's rate, a reconciliation's cause).
            if (c == 2 && !e.memo.empty())
                item->setToolTip(QString::fromStdString(e.memo));
            table_->setItem(r, c, item);
        }
    }
    // Widths to the contents, once per filling (not per paint).
    // The last column stretches over what is left; unstretched, it tells its own need.
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->resizeColumnsToContents();
    natural_.assign(kColumnCount, 0);
    for (int c = 0; c < kColumnCount; ++c)
        natural_[std::size_t(c)] = table_->columnWidth(c);
    table_->horizontalHeader()->setStretchLastSection(true);
    FitTankColumn();
}

// What the table cannot show is taken from the tank's name, down to a few letters. Done
// again whenever the viewport's width changes: the vertical scroll bar that many rows bring
// appears only after the filling, and the tab may be filled while hidden.
void EventsTab::FitTankColumn() {
    if (natural_.empty())
        return;
    int others = 0;
    for (int c = 0; c < kColumnCount; ++c)
        others += c == kTankColumn ? 0 : natural_[std::size_t(c)];
    const int tank = natural_[kTankColumn];
    const int room = table_->viewport()->width() - kSlack - others;
    const int tankWidth =
        std::max(std::min(kNarrowestTankColumn, tank), std::min({tank, room, kWidestTankColumn}));
    table_->setColumnWidth(kTankColumn, tankWidth);
    // Still too wide (large tanks' six-digit litres): the state is cut too, its tooltip
    // whole, rather than the table scrolling sideways.
    const int stateOver = tankWidth - room;
    QHeaderView* header = table_->horizontalHeader();
    header->setStretchLastSection(stateOver <= 0);
    if (stateOver > 0)
        table_->setColumnWidth(kColumnCount - 1,
                               std::max(kNarrowestStateColumn, natural_.back() - stateOver));
}

bool EventsTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_->viewport() && event->type() == QEvent::Resize)
        FitTankColumn();
    return QWidget::eventFilter(watched, event);
}

void EventsTab::OpenRow(int row) {
    if (row < 0 || row >= int(shown_.size()) || !openReport_)
        return;
    const EventRow& e = shown_[std::size_t(row)];
    const double utcNow = clock_.UtcNow();
    Guarded(messages_,
            [&] { openReport_(e.adr, PeriodAround(e, utcNow, clock_.LocalNow() - utcNow)); });
}
