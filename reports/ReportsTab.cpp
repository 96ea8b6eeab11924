#include "ReportsTab.h"

#include "CentralReportDialog.h"
#include "Clock.h"
#include "DateTimePicker.h"
#include "InventoryPane.h"
#include "LevelChart.h"
#include "LevelQuery.h"
#include "OperatorMessages.h"
#include "PgReportArchive.h"
#include "ReadingNote.h"
#include "ReportLoader.h"
#include "SQLiteDatabase.h"
#include "StoredText.h"
#include "TextFormats.h"

#include <QButtonGroup>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kGridRows = 14; // rows 1 to 14 below the header row
constexpr int kRowHeight = 16;
constexpr int kPanelWidth = 706; // the bottom panel's controls keep their distance from its right

class CellDelegate : public QStyledItemDelegate {
public:
    CellDelegate(const ReportsTab& tab, QObject* parent) : QStyledItemDelegate(parent), tab_(tab) {}
    void paint(QPainter* p, const QStyleOptionViewItem& o, const QModelIndex& i) const override {
        tab_.SGDrawCell(*p, i.column(), i.row() + 1, o.rect, o.state & QStyle::State_Selected);
    }

private:
    const ReportsTab& tab_;
};

// The header is the grid's fixed row 0, painted by the same rule as the cells.
class HeaderRow : public QHeaderView {
public:
    HeaderRow(const ReportsTab& tab, QWidget* parent)
        : QHeaderView(Qt::Horizontal, parent), tab_(tab) {}

protected:
    void paintSection(QPainter* p, const QRect& r, int logical) const override {
        p->save();
        tab_.SGDrawCell(*p, logical, 0, r, false);
        p->setPen(palette().color(QPalette::Mid));
        p->drawLine(r.topRight(), r.bottomRight());
        p->drawLine(r.bottomLeft(), r.bottomRight());
        p->restore();
    }

private:
    const ReportsTab& tab_;
};

// Places the bottom panel's controls at fixed distances from its right and bottom edges.
class BottomPanel : public QWidget {
public:
    using QWidget::QWidget;
    struct Placed {
        QWidget* w;
        int x, y, width, height; // as laid out on a panel 706 pixels wide, 102 high
    };
    QWidget* top = nullptr;
    std::vector<Placed> placed;

    // The pickers show a date and a time, wider than the 87 pixels a date alone had: they
    // and their labels are laid out leftwards from "Generate", as wide as their texts need.
    void PlaceFromRight(QWidget* startLabel, QWidget* start, QWidget* stopLabel, QWidget* stop,
                        QWidget* generate, QWidget* print) {
        const int picker = std::max({87, start->sizeHint().width(), stop->sizeHint().width()});
        const int height = std::max(21, start->sizeHint().height());
        const int label =
            std::max({34, startLabel->sizeHint().width(), stopLabel->sizeHint().width()});
        const int stopX = 540 - 19 - picker;
        const int stopLabelX = stopX - 4 - label;
        const int startX = stopLabelX - 16 - picker;
        const int startLabelX = startX - 4 - label;
        const int y = 80 - height / 2; // centred on the buttons
        placed = {{startLabel, startLabelX, 74, label, 16},
                  {start, startX, y, picker, height},
                  {stopLabel, stopLabelX, 74, label, 16},
                  {stop, stopX, y, picker, height},
                  {generate, 540, 68, 75, 25},
                  {print, 622, 68, 75, 25}};
    }

protected:
    void resizeEvent(QResizeEvent*) override {
        if (top)
            top->setGeometry(0, 0, width(), 57);
        const int dx = width() - kPanelWidth;
        const int dy = height() - 102;
        for (const Placed& p : placed)
            p.w->setGeometry(p.x + dx, p.y + dy, p.width, p.height);
    }
};

// What a picker shows: the date and the time to the second.
QDateTime ToShown(double day) {
    const TextFormats::DateTimeParts p = TextFormats::Split(day);
    return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second), Qt::UTC);
}

double FromShown(const QDateTime& t) {
    return TextFormats::Join(t.date().year(), t.date().month(), t.date().day(), t.time().hour(),
                             t.time().minute(), t.time().second());
}

QDateTimeEdit* MakePicker(QWidget* parent) {
    auto* e = new DateTimePicker(parent); // takes a whole date typed in, too
    e->setDisplayFormat("dd/MM/yyyy HH:mm:ss");
    e->setTimeSpec(Qt::UTC); // wall-clock values: no time zone may move them
    e->setCalendarPopup(true);
    e->setEnabled(false);
    return e;
}

} // namespace

ReportsTab::ReportsTab(TSQLiteDatabase& db, Clock& clock, OperatorMessages& messages,
                       QWidget* parent)
    : QWidget(parent), db_(db), clock_(clock), messages_(messages),
      printDialog_([](QPrinter& printer, QWidget* owner) {
          QPrintDialog dialog(&printer, owner);
          return dialog.exec() == QDialog::Accepted;
      }),
      chartLoader_(new ReportLoader(this)), printLoader_(new ReportLoader(this)) {
    auto* left = MakeLeftPanel();
    chart_ = new LevelChart(this);
    note_ = new ReadingNote(chart_, [this] { CancelReading(); });
    // The pickers show today until the first showing of the tab sets the period.
    period_ = PeriodFor(0, clock_.LocalNow(), period_);
    auto* bottom = MakeBottomPanel();

    auto* upper = new QHBoxLayout;
    upper->setContentsMargins(0, 0, 0, 0);
    upper->setSpacing(0);
    upper->addWidget(left);
    // The inventory shares the height with the chart; the operator moves the line between.
    inventory_ = new InventoryPane(db_.FileName(), clock_, messages_, this);
    chartAndInventory_ = new QSplitter(Qt::Vertical, this);
    chartAndInventory_->setObjectName("ChartAndInventory");
    chartAndInventory_->setChildrenCollapsible(false);
    chartAndInventory_->addWidget(chart_);
    chartAndInventory_->addWidget(inventory_);
    upper->addWidget(chartAndInventory_, 1);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setSpacing(0);
    all->addLayout(upper, 1);
    all->addWidget(bottom);
    resize(706, 516);
}

QWidget* ReportsTab::MakeLeftPanel() {
    auto* panel = new QFrame(this);
    panel->setObjectName("LeftPanel");
    panel->setFixedWidth(146);
    panel->setStyleSheet("QFrame#LeftPanel { border-left: 1px solid palette(mid);"
                         " border-top: 1px solid palette(mid);"
                         " border-bottom: 1px solid palette(mid); }");
    grid_ = new QTableWidget(kGridRows, 2, panel);
    grid_->setObjectName("SG");
    grid_->setHorizontalHeader(new HeaderRow(*this, grid_));
    grid_->setHorizontalHeaderLabels({"Adr", "Object Name"});
    grid_->horizontalHeader()->setFixedHeight(kRowHeight);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setMinimumSectionSize(1);
    grid_->horizontalHeader()->setSectionsClickable(false);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setMinimumSectionSize(kRowHeight);
    grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setFrameShape(QFrame::NoFrame);
    grid_->setShowGrid(true);
    grid_->setItemDelegate(new CellDelegate(*this, grid_));
    for (int r = 0; r < kGridRows; ++r)
        for (int c = 0; c < 2; ++c) {
            auto* item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            grid_->setItem(r, c, item);
        }
    grid_->setColumnWidth(0, 22);
    grid_->setColumnWidth(1, 120);
    SelectRow(1);
    connect(grid_, &QTableWidget::currentCellChanged, this, [this] { SelectionChanged(); });
    auto* l = new QVBoxLayout(panel);
    l->setContentsMargins(1, 1, 0, 1);
    l->addWidget(grid_);
    return panel;
}

QWidget* ReportsTab::MakeBottomPanel() {
    auto* panel = new BottomPanel(this);
    panel->setFixedHeight(102);
    auto* box = new QGroupBox("Report Interval", panel);
    box->setObjectName("rgInterval");
    auto* g = new QGridLayout(box);
    g->setContentsMargins(6, 2, 6, 2);
    g->setVerticalSpacing(0);
    interval_ = new QButtonGroup(this);
    for (int i = 0; i < kIntervalCount; ++i) {
        auto* b = new QRadioButton(kIntervalCaptions[static_cast<std::size_t>(i)], box);
        interval_->addButton(b, i);
        g->addWidget(b, i % 2, i / 2); // items fill each of the 4 columns in turn
    }
    interval_->button(0)->setChecked(true);
    connect(interval_, &QButtonGroup::idClicked, this, [this] { rgIntervalClick(); });
    panel->top = box;

    startDT_ = MakePicker(panel);
    startDT_->setObjectName("StartDT");
    stopDT_ = MakePicker(panel);
    stopDT_->setObjectName("StopDT");
    connect(startDT_, &QDateTimeEdit::dateTimeChanged, this,
            [this](const QDateTime& t) { PickStart(FromShown(t)); });
    connect(stopDT_, &QDateTimeEdit::dateTimeChanged, this,
            [this](const QDateTime& t) { PickStop(FromShown(t)); });
    button3_ = new QPushButton("Generate", panel);
    button3_->setObjectName("Button3");
    button4_ = new QPushButton("Print", panel);
    button4_->setObjectName("Button4");
    connect(button3_, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(button4_, &QPushButton::clicked, this, [this] { Button4Click(); });

    panel->PlaceFromRight(new QLabel("Start:", panel), startDT_, new QLabel("Stop:", panel),
                          stopDT_, button3_, button4_);
    central_ = new QPushButton(QStringLiteral("Central…"), panel);
    central_->setObjectName("CentralButton");
    panel->placed.push_back({central_, 8, 68, 75, 25});
    connect(central_, &QPushButton::clicked, this, [this] {
        if (!centralDialog_) {
            centralDialog_ =
                new CentralReportDialog(centralConnection_, clock_, OpenCentralArchive, this);
            centralDialog_->setAttribute(Qt::WA_DeleteOnClose);
        }
        centralDialog_->show();
        centralDialog_->raise();
    });
    SetCentralConnection(centralConnection_);
    ShowPeriod();
    return panel;
}

// The first showing shares the height out, when there is a height to share: the chart a
// little more than half, whatever either would ask for.
void ReportsTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (splitPlaced_)
        return;
    splitPlaced_ = true;
    const int h = chartAndInventory_->height();
    chartAndInventory_->setSizes({h - h * 9 / 20, h * 9 / 20});
}

void ReportsTab::SetCentralConnection(const std::string& conninfo) {
    if (conninfo != centralConnection_ && centralDialog_)
        centralDialog_->close(); // it asks the server it was opened for
    centralConnection_ = conninfo;
    central_->setEnabled(!conninfo.empty());
    central_->setToolTip(conninfo.empty() ? "No central server is set: enter its connection "
                                            "in Settings, under \"Central server\"."
                                          : "The inventory reports of the stations on the "
                                            "central server");
}

void ReportsTab::TabSheet2Show() {
    grid_->setColumnWidth(0, 22);
    grid_->setColumnWidth(1, 120);
    Guarded(messages_, [&] { FillTankList(); });
    rgIntervalClick();
}

void ReportsTab::FillTankList() {
    const std::vector<std::string> names = TankNames(db_, kGridRows);
    for (int k = 1; k <= static_cast<int>(names.size()); ++k) {
        grid_->item(k - 1, 0)->setText(QString::number(k));
        grid_->item(k - 1, 1)->setText(StoredText::FromStored(names[std::size_t(k - 1)]));
    }
}

void ReportsTab::rgIntervalClick() {
    startDT_->setEnabled(false);
    stopDT_->setEnabled(false);
    const int choice = Choice();
    period_ = PeriodFor(choice, clock_.LocalNow(), period_);
    // A custom interval is what its pickers show, whatever times the last preset left.
    if (PickersEnabled(choice))
        period_ = ShownPeriod(period_);
    ShowPeriod();
    startDT_->setEnabled(PickersEnabled(choice));
    stopDT_->setEnabled(PickersEnabled(choice));
}

void ReportsTab::ShowPeriod() {
    const QSignalBlocker a(startDT_);
    const QSignalBlocker b(stopDT_);
    startDT_->setDateTime(ToShown(period_.start));
    stopDT_->setDateTime(ToShown(period_.stop));
    SelectionChanged();
}

void ReportsTab::PickStart(double shown) {
    period_.start = ShownStart(shown);
    ShowPeriod();
}

void ReportsTab::PickStop(double shown) {
    period_.stop = ShownStop(shown);
    ShowPeriod();
}

void ReportsTab::PickStartDate(int year, int month, int day) {
    period_.start = WithDate(period_.start, year, month, day);
    ShowPeriod();
}

void ReportsTab::PickStopDate(int year, int month, int day) {
    period_.stop = WithDate(period_.stop, year, month, day);
    ShowPeriod();
}

void ReportsTab::ShowTankOver(int adr, ReportPeriod period) {
    SelectRow(adr);
    SetChoice(static_cast<int>(IntervalChoice::Custom));
    period_ = period;
    ShowPeriod();
    Button3Click();
}

int ReportsTab::Choice() const {
    return interval_->checkedId();
}

void ReportsTab::SetChoice(int choice) {
    if (QAbstractButton* b = interval_->button(choice)) {
        b->setChecked(true);
        rgIntervalClick();
    }
}

int ReportsTab::SelectedAddress() const {
    return grid_->currentRow() + 1;
}

void ReportsTab::SelectRow(int row) {
    if (row >= 1 && row <= kGridRows)
        grid_->setCurrentCell(row - 1, 0);
}

void ReportsTab::SGDrawCell(QPainter& p, int ACol, int ARow, const QRect& Rect,
                            bool selected) const {
    const QPalette& pal = grid_->palette();
    QColor back = pal.color(QPalette::Base);
    if (selected)
        back = QColor(166, 202, 240);
    else if (ARow == 0)
        back = pal.color(QPalette::Button);
    p.fillRect(Rect, back);
    const QString text =
        ARow == 0 ? grid_->horizontalHeaderItem(ACol)->text() : grid_->item(ARow - 1, ACol)->text();
    // Names from the left, so that a long one shows its beginning.
    const Qt::Alignment h = (ARow == 0 || ACol == 0) ? Qt::AlignHCenter : Qt::AlignLeft;
    p.setPen(pal.color(QPalette::Text));
    p.setFont(grid_->font());
    p.drawText(Rect.adjusted(2, 0, -2, 0), int(h | Qt::AlignVCenter | Qt::TextSingleLine), text);
}
