#include "InventoryPane.h"

#include "BalanceView.h"
#include "Clock.h"
#include "Csv.h"
#include "DayNumbers.h"
#include "ExportFolder.h"
#include "LeakTestPage.h"
#include "LevelChart.h"
#include "LevelQuery.h"
#include "OperatorMessages.h"
#include "ReconciliationPage.h"
#include "ReportLoader.h"
#include "TextFormats.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr int kSummaryPage = 1;

QTableWidget* MakeGrid(const char* name, QWidget* parent) {
    auto* g = new QTableWidget(parent);
    g->setObjectName(name);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->verticalHeader()->hide();
    g->verticalHeader()->setDefaultSectionSize(g->fontMetrics().height() + 4);
    g->horizontalHeader()->setHighlightSections(false);
    return g;
}

// A heading short enough for the table to fit the window: the unit of litres dropped and
// the rest on two lines ("Opening net, l": "Opening" over "net"). The tooltip keeps it whole.
QString ShortHeading(QString h) {
    if (h.endsWith(", l"))
        h.chop(3);
    static const std::pair<const char*, const char*> kShort[] = {{"Opening", "Open"},
                                                                 {"Closing", "Close"},
                                                                 {"Delivered", "Deliv."},
                                                                 {"Consumed", "Used"},
                                                                 {"Complete", "Compl."}};
    for (const auto& [word, shorter] : kShort)
        if (h.startsWith(word))
            h.replace(0, qsizetype(std::strlen(word)), shorter);
    h.replace(", ", "\n");
    const qsizetype blank = h.indexOf(' ');
    if (blank > 0 && !h.contains('\n'))
        h[blank] = '\n';
    return h;
}

void FillGrid(QTableWidget& g, const TextTable& t) {
    g.clear();
    g.setColumnCount(static_cast<int>(t.headers.size()));
    g.setRowCount(static_cast<int>(t.rows.size()));
    for (int c = 0; c < g.columnCount(); ++c) {
        const QString full = QString::fromStdString(t.headers[static_cast<std::size_t>(c)]);
        auto* heading = new QTableWidgetItem(ShortHeading(full));
        heading->setToolTip(full);
        g.setHorizontalHeaderItem(c, heading);
    }
    const int firstTotal = static_cast<int>(t.rows.size()) - t.totalRows;
    for (int r = 0; r < g.rowCount(); ++r) {
        const auto& row = t.rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < g.columnCount() && c < static_cast<int>(row.size()); ++c) {
            const QString text = QString::fromStdString(row[static_cast<std::size_t>(c)]);
            auto* item = new QTableWidgetItem(text);
            bool number = false;
            text.toLongLong(&number);
            item->setTextAlignment((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            if (r >= firstTotal) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            g.setItem(r, c, item);
        }
    }
    g.resizeColumnsToContents();
}

// A bare day number of a file name: 2026-03-02.
QString FileDate(double day) {
    const TextFormats::DateTimeParts p = TextFormats::Split(day);
    return QString("%1-%2-%3")
        .arg(p.year, 4, 10, QChar('0'))
        .arg(p.month, 2, 10, QChar('0'))
        .arg(p.day, 2, 10, QChar('0'));
}

} // namespace

InventoryPane::InventoryPane(std::string dbFile, Clock& clock, OperatorMessages& messages,
                             QWidget* parent)
    : QWidget(parent), dbFile_(std::move(dbFile)), clock_(clock), messages_(messages),
      saveDialog_([](QWidget* owner, const QString& caption, const QString& suggested) {
          return QFileDialog::getSaveFileName(owner, caption, suggested,
                                              "CSV files (*.csv);;All files (*)");
      }),
      tankLoader_(new ReportLoader(this)), depotLoader_(new ReportLoader(this)) {
    CreateControls();
    UpdateState();
}

InventoryPane::~InventoryPane() = default;

void InventoryPane::CreateControls() {
    pages_ = new QTabWidget(this);
    pages_->setObjectName("InventoryPages");
    pages_->setDocumentMode(true);

    auto* balancePage = new QSplitter(Qt::Horizontal, pages_);
    auto* left = new QWidget(balancePage);
    toEmpty_ = new QLabel(left);
    toEmpty_->setObjectName("DaysToEmpty");
    balanceGrid_ = MakeGrid("BalanceGrid", left);
    auto* l = new QVBoxLayout(left);
    l->setContentsMargins(4, 4, 0, 0);
    l->setSpacing(4);
    l->addWidget(toEmpty_);
    l->addWidget(balanceGrid_, 1);
    consumption_ = new QCustomPlot(balancePage);
    consumption_->setObjectName("ConsumptionChart");
    consumption_->setBackground(palette().window());
    // One label under each bar (every few bars when they are many), not at midnights
    // between them.
    consumption_->xAxis->setTicker(QSharedPointer<QCPAxisTickerText>::create());
    consumption_->yAxis->setLabel("Consumed, l");
    auto* bars = new QCPBars(consumption_->xAxis, consumption_->yAxis);
    bars->setName("Consumed");
    bars->setPen(QPen(QColor(68, 102, 163)));
    bars->setBrush(QColor(68, 102, 163, 150));
    auto* mean = consumption_->addGraph();
    mean->setName("14-day mean");
    mean->setPen(QPen(QColor(220, 120, 0), 2));
    mean->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 5));
    consumption_->legend->setVisible(true);
    consumption_->legend->setFont(font());
    // In a row of its own above the plot, so that it neither covers the bars nor is cut
    // where the chart is narrow.
    consumption_->axisRect()->insetLayout()->take(consumption_->legend);
    consumption_->plotLayout()->insertRow(0);
    consumption_->plotLayout()->addElement(0, 0, consumption_->legend);
    consumption_->plotLayout()->setRowStretchFactor(0, 0.001);
    consumption_->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    consumption_->legend->setMargins(QMargins(2, 2, 2, 2));
    balancePage->addWidget(left);
    pages_->addTab(balancePage, "Daily balance");

    summaryGrid_ = MakeGrid("SummaryGrid", pages_);
    pages_->addTab(summaryGrid_, "Depot summary");
    // A page of its own: beside the table it left neither whole at the window's start size.
    pages_->addTab(consumption_, "Consumption");
    recon_ = new ReconciliationPage(dbFile_, clock_, pages_);
    pages_->addTab(recon_, "Reconciliation");
    leak_ = new LeakTestPage(dbFile_, clock_, pages_);
    pages_->addTab(leak_, "Leak test");
    connect(pages_, &QTabWidget::currentChanged, this, [this](int page) {
        if (page == kSummaryPage && !bounds_.empty() && summaryBounds_ != bounds_ &&
            !depotLoader_->Running())
            StartSummary();
    });

    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setSpacing(2);
    all->addWidget(pages_, 1);
    all->addWidget(MakeButtonRow());
}

QWidget* InventoryPane::MakeButtonRow() {
    auto* row = new QWidget(this);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(4, 0, 4, 2);
    progress_ = new QProgressBar(row);
    progress_->setObjectName("InventoryProgress");
    progress_->setMaximumWidth(160);
    progress_->setTextVisible(false);
    status_ = new QLabel(row);
    status_->setObjectName("InventoryStatus");
    cancel_ = new QPushButton("Cancel", row);
    cancel_->setObjectName("InventoryCancel");
    connect(cancel_, &QPushButton::clicked, this, [this] { CancelClick(); });
    h->addWidget(progress_);
    h->addWidget(status_);
    h->addWidget(cancel_);
    h->addStretch(1);
    h->addWidget(new QLabel("Export CSV:", row));
    auto add = [&](const char* caption, const char* name, void (InventoryPane::*click)()) {
        auto* b = new QPushButton(caption, row);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, [this, click] { (this->*click)(); });
        h->addWidget(b);
        return b;
    };
    exportReadings_ = add("Readings", "ExportReadings", &InventoryPane::ExportReadingsClick);
    exportEvents_ = add("Events", "ExportEvents", &InventoryPane::ExportEventsClick);
    exportBalance_ = add("Daily balance", "ExportBalance", &InventoryPane::ExportBalanceClick);
    exportSummary_ = add("Depot summary", "ExportSummary", &InventoryPane::ExportSummaryClick);
    return row;
}

void InventoryPane::Generate(int adr, ReportPeriod period) {
    adr_ = adr;
    offset_ = LocalOffset(clock_);
    bounds_ = BalanceBoundaries(std::floor(period.start), std::floor(period.stop),
                                shifts_ ? shifts_() : std::vector<int>{});
    ShowReport(std::nullopt);
    recon_->Generate(adr, bounds_, offset_);
    leak_->Generate(adr, std::floor(period.start), std::floor(period.stop));
    summaryBounds_.clear();
    if (pages_->currentIndex() == kSummaryPage)
        StartSummary();
    else
        depotLoader_->Cancel();
    ReportJob job{dbFile_, adr, false, bounds_, offset_, clock_.LocalNow()};
    tankLoader_->Start(std::move(job), [this](ReportResult r) {
        if (!r.error.empty())
            return ReadFailed(r.error);
        if (r.reports.empty())
            return ShowReport(std::nullopt);
        ShowReport(std::move(r.reports.front()));
    });
    UpdateState();
}

void InventoryPane::Clear() {
    tankLoader_->Cancel();
    depotLoader_->Cancel();
    bounds_.clear();
    summaryBounds_.clear();
    summaryShown_ = false;
    ShowSummary({});
    ShowReport(std::nullopt);
    leak_->Clear();
    status_->clear();
    UpdateState();
}

void InventoryPane::StartSummary() {
    ShowSummary({});
    summaryShown_ = false;
    ReportJob job{dbFile_, 0, true, bounds_, offset_, clock_.LocalNow()};
    const std::vector<double> bounds = bounds_;
    depotLoader_->Start(
        std::move(job),
        [this, bounds](ReportResult r) {
            if (!r.error.empty())
                return ReadFailed(r.error);
            summaryBounds_ = bounds;
            summaryShown_ = true;
            ShowSummary(std::move(r.summary));
        },
        [this](int done, int total) {
            if (total > 0) {
                progress_->setRange(0, total);
                progress_->setValue(done);
            }
        });
    UpdateState();
}

void InventoryPane::CancelClick() {
    tankLoader_->Cancel();
    depotLoader_->Cancel();
    status_->setText("Cancelled");
    UpdateState();
}

bool InventoryPane::Busy() const {
    return tankLoader_->Running() || depotLoader_->Running();
}

int InventoryPane::Threads() const {
    return tankLoader_->Threads() + depotLoader_->Threads();
}

void InventoryPane::ReadFailed(const std::string& error) {
    status_->setText("Not read");
    UpdateState();
    messages_.ShowMessage("The report could not be read: " + error);
}

void InventoryPane::ShowReport(std::optional<TankReport> report) {
    report_ = std::move(report);
    static const TankReport kNone;
    const TankReport& r = report_ ? *report_ : kNone;
    FillGrid(*balanceGrid_, BalanceTable(r));
    if (report_) {
        const DaysToEmptyText line = DaysToEmptyLine(r);
        toEmpty_->setText(QString::fromStdString(line.text));
        status_->clear();
    } else {
        toEmpty_->clear();
    }
    ShowConsumption();
    UpdateState();
}

void InventoryPane::ShowConsumption() {
    static const TankReport kNone;
    const ConsumptionSeries s = Consumption(report_ ? *report_ : kNone);
    auto* bars = qobject_cast<QCPBars*>(consumption_->plottable(0));
    QVector<double> keys, values;
    for (std::size_t i = 0; i < s.barKeys.size(); ++i) {
        keys << DayToKey(s.barKeys[i]);
        values << s.barValues[i];
    }
    bars->setData(keys, values);
    bars->setWidth(s.barWidth * kSecondsPerDay);
    keys.clear();
    values.clear();
    for (std::size_t i = 0; i < s.meanKeys.size(); ++i) {
        keys << DayToKey(s.meanKeys[i]);
        values << s.meanValues[i];
    }
    consumption_->graph(0)->setData(keys, values);
    consumption_->yAxis->setLabel(s.net ? "Consumed net, l" : "Consumed, l");
    auto ticker = qSharedPointerCast<QCPAxisTickerText>(consumption_->xAxis->ticker());
    ticker->clear();
    int labelPx = 0;
    for (const std::string& l : s.rowLabels)
        labelPx = std::max(labelPx, fontMetrics().horizontalAdvance(QString::fromStdString(l)));
    const int axisPx = std::max(100, consumption_->axisRect()->width());
    const std::size_t need = s.rowKeys.size() * std::size_t(labelPx + 12);
    const std::size_t every = std::max<std::size_t>(1, (need + axisPx - 1) / std::size_t(axisPx));
    for (std::size_t i = 0; i < s.rowKeys.size(); i += every)
        ticker->addTick(DayToKey(s.rowKeys[i]), QString::fromStdString(s.rowLabels[i]));
    if (bounds_.size() >= 2)
        consumption_->xAxis->setRange(DayToKey(bounds_.front()), DayToKey(bounds_.back()));
    bool found = false;
    QCPRange y = bars->getValueRange(found);
    bool foundMean = false;
    const QCPRange m = consumption_->graph(0)->getValueRange(foundMean);
    if (foundMean)
        y = found ? QCPRange(std::min(y.lower, m.lower), std::max(y.upper, m.upper)) : m;
    if (found || foundMean)
        consumption_->yAxis->setRange(std::min(0.0, y.lower), std::max(1.0, y.upper * 1.05));
    consumption_->replot();
}

void InventoryPane::ShowSummary(std::vector<TankBalance> summary) {
    summary_ = std::move(summary);
    FillGrid(*summaryGrid_, SummaryTable(summary_));
    UpdateState();
}

void InventoryPane::UpdateState() {
    const bool busy = Busy();
    cancel_->setEnabled(busy);
    progress_->setVisible(busy);
    if (busy && !depotLoader_->Running())
        progress_->setRange(0, 0); // a tank's report has no fraction to show
    if (busy)
        status_->setText("Reading...");
    else if (status_->text() == "Reading...")
        status_->clear();
    exportReadings_->setEnabled(report_.has_value());
    exportEvents_->setEnabled(report_.has_value());
    exportBalance_->setEnabled(report_.has_value());
    exportSummary_->setEnabled(summaryShown_);
}

QString InventoryPane::FileNameFor(const QString& what) const {
    const QString tank = what == "summary" ? QString("depot") : QString("tank%1").arg(adr_);
    if (bounds_.size() < 2)
        return QString("%1_%2.csv").arg(what, tank);
    return QString("%1_%2_%3_%4.csv")
        .arg(what, tank, FileDate(bounds_.front()), FileDate(std::ceil(bounds_.back()) - 1));
}

void InventoryPane::Export(const QString& what, const std::function<void(std::string&)>& fill) {
    const QString path =
        saveDialog_ ? saveDialog_(this, "Export CSV", ProposedPath(FileNameFor(what))) : QString();
    if (path.isEmpty())
        return;
    std::string text(Csv::kBom);
    fill(text);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(text.data(), qint64(text.size())) != qint64(text.size()) || !f.commit()) {
        messages_.ShowMessage("The file \"" + path.toStdString() +
                              "\" could not be written: " + f.errorString().toStdString());
        return;
    }
    RememberExportFolder(path);
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    status_->setText("Saved to " + shown);
    status_->setToolTip(shown);
}

void InventoryPane::ExportReadingsClick() {
    if (!report_)
        return;
    Export("readings", [&](std::string& text) {
        // The reading before the period only opens its first day.
        std::vector<StoredReading> inside;
        const double utcFrom = bounds_.front() - offset_;
        for (const StoredReading& s : report_->readings)
            if (s.utc >= utcFrom)
                inside.push_back(s);
        Csv::AppendReadings(text, {report_->tank->id, report_->tank->Name}, inside,
                            report_->density, offset_);
    });
}

void InventoryPane::ExportEventsClick() {
    if (!report_)
        return;
    Export("events", [&](std::string& text) {
        Csv::AppendEvents(text, {report_->tank->id, report_->tank->Name}, report_->events, offset_);
    });
}

void InventoryPane::ExportBalanceClick() {
    if (!report_)
        return;
    Export("daily", [&](std::string& text) {
        Csv::AppendBalance(text, {report_->tank->id, report_->tank->Name}, report_->balance);
    });
}

void InventoryPane::ExportSummaryClick() {
    if (!summaryShown_)
        return;
    Export("summary",
           [&](std::string& text) { Csv::AppendSummary(text, summary_, TotalsByFuel(summary_)); });
}
