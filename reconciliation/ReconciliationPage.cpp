#include "ReconciliationPage.h"

#include "Clock.h"
#include "Csv.h"
#include "DayNumbers.h"
#include "ReconDocument.h"
#include "ReconEntryDialog.h"
#include "SQLiteDatabase.h"
#include "TextFormats.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The chart paints what the page shows, with the printed report's own painter.
class CumulativeChart : public QWidget {
public:
    CumulativeChart(const std::optional<TankReconReport>& shown, QWidget* parent)
        : QWidget(parent), shown_(shown) {
        setObjectName("ReconChart");
        // Low enough for a small window, high enough to read the band and the litres.
        setMinimumHeight(fontMetrics().height() * 9);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        if (!shown_)
            return;
        // The printed report gives it this heading; the page says it in the chart.
        const int caption = fontMetrics().height() + 4;
        p.drawText(QRect(4, 0, width() - 8, caption), Qt::AlignLeft | Qt::AlignVCenter,
                   kChartCaption);
        PaintCumulativeChart(p, QRectF(rect().adjusted(0, caption, 0, 0)), *shown_);
    }

private:
    const std::optional<TankReconReport>& shown_;
};

// A long heading on two lines, broken at the blank nearest its middle: the columns are
// then as wide as their figures, and the status column fits the window.
QString TwoLines(QString heading) {
    int best = -1;
    for (int i = 0; i < heading.size(); ++i)
        if (heading[i] == ' ' &&
            (best < 0 || std::abs(i - heading.size() / 2) < std::abs(best - heading.size() / 2)))
            best = i;
    if (heading.size() > 9 && best > 0)
        heading[best] = '\n';
    return heading;
}

void Fill(QTableWidget* grid, const TextTable& t) {
    grid->clear();
    grid->setColumnCount(int(t.headers.size()));
    grid->setRowCount(int(t.rows.size()));
    QStringList headers;
    for (const auto& h : t.headers)
        headers << TwoLines(Q(h));
    grid->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < int(t.headers.size()); ++c)
        grid->horizontalHeaderItem(c)->setToolTip(Q(t.headers[std::size_t(c)]));
    for (int r = 0; r < int(t.rows.size()); ++r)
        for (int c = 0; c < int(t.rows[std::size_t(r)].size()); ++c) {
            const QString text = Q(t.rows[std::size_t(r)][std::size_t(c)]);
            auto* item = new QTableWidgetItem(text);
            const bool number = !text.isEmpty() && !text[0].isLetter() && c > 0;
            item->setTextAlignment((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            if (text == "fail" || text == "SHORT")
                item->setForeground(QColor(180, 0, 0));
            else if (text == "investigate")
                item->setForeground(QColor(170, 100, 0));
            grid->setItem(r, c, item);
        }
    grid->resizeColumnsToContents();
}

QTableWidget* MakeGrid(const char* name, QWidget* parent) {
    auto* g = new QTableWidget(parent);
    g->setObjectName(name);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->verticalHeader()->setVisible(false);
    g->verticalHeader()->setDefaultSectionSize(g->fontMetrics().height() + 6);
    return g;
}

} // namespace

ReconciliationPage::ReconciliationPage(std::string dbFile, Clock& clock, QWidget* parent)
    : QWidget(parent), dbFile_(std::move(dbFile)), clock_(clock), loader_(new ReconLoader(this)) {
    setObjectName("ReconciliationPage");
    table_ = MakeGrid("ReconTable", this);
    matches_ = MakeGrid("ReconMatches", this);
    chart_ = new CumulativeChart(shown_, this);
    summary_ = new QLabel(this);
    summary_->setObjectName("ReconSummary");
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(table_);
    auto* right = new QSplitter(Qt::Vertical, split);
    right->addWidget(chart_);
    right->addWidget(matches_);
    split->addWidget(right);
    split->setSizes({760, 390});
    right->setSizes({250, 200});

    auto* buttons = new QHBoxLayout;
    auto add = [&](const char* caption, const char* name, void (ReconciliationPage::*click)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, [this, click] { (this->*click)(); });
        buttons->addWidget(b);
        return b;
    };
    add("Enter / import...", "ReconEnter", &ReconciliationPage::EnterClick);
    buttons->addStretch(1);
    export_ = add("Export CSV", "ReconExport", &ReconciliationPage::ExportClick);
    print_ = add("Print", "ReconPrint", &ReconciliationPage::PrintClick);
    UpdateButtons();

    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(2, 2, 2, 2);
    all->addWidget(split, 1);
    all->addWidget(summary_);
    all->addLayout(buttons);
}

ReconciliationPage::~ReconciliationPage() = default;

void ReconciliationPage::Generate(int adr, const std::vector<double>& bounds, double offset) {
    adr_ = adr;
    bounds_ = bounds;
    offset_ = offset;
    shown_.reset();
    summary_->clear();
    loader_->Cancel();
    storeAlarms_ = false;
    if (bounds_.size() < 2 || adr_ <= 0) {
        Show();
        return UpdateButtons();
    }
    Show();
    summary_->setText("Reading the reconciliation...");
    loader_->Start(ReconJob{dbFile_, adr_, bounds_, offset_, clock_.LocalNow()},
                   [this](ReconResult r) { Loaded(std::move(r)); });
    UpdateButtons();
}

bool ReconciliationPage::Loading() const {
    return loader_->Running();
}

void ReconciliationPage::UpdateButtons() {
    export_->setEnabled(shown_.has_value());
    print_->setEnabled(shown_.has_value());
}

void ReconciliationPage::Loaded(ReconResult r) {
    const bool store = std::exchange(storeAlarms_, false);
    if (!r.error.empty()) {
        Show();
        summary_->setText("Cannot read the reconciliation: " + Q(r.error));
        UpdateButtons();
        return;
    }
    tanks_ = std::move(r.tanks);
    shown_ = std::move(r.report);
    Show();
    UpdateButtons();
    // What was entered may raise alarms: they go to the Events tab and the tiles with the
    // others.
    if (!store || !shown_ || shown_->rec.alarms.empty())
        return;
    try {
        TSQLiteDatabase db(dbFile_);
        StoreReconAlarms(db, shown_->rec, offset_);
        emit AlarmsStored();
    } catch (const SQLiteError&) {
        // the page shows them all the same
    }
}

void ReconciliationPage::Show() {
    if (!shown_) {
        Fill(table_, {});
        Fill(matches_, {});
        chart_->update();
        return;
    }
    Fill(table_, ReconTable(shown_->rec));
    Fill(matches_, MatchTable(shown_->rec, offset_));
    QStringList lines;
    for (const MonthCheck& m : shown_->rec.months)
        lines << QString("Month %1: variance %2 l of %3 l throughput, limit ±%4 l: %5")
                     .arg(Q(MonthLabel(shown_->rec, m)))
                     .arg(m.variance, 0, 'f', 0)
                     .arg(m.throughput, 0, 'f', 0)
                     .arg(m.limit, 0, 'f', 0)
                     .arg(m.rowsWithoutData == m.rows ? "no meter data"
                          : m.pass                    ? "pass"
                                                      : "FAIL");
    for (const ReconAlarm& a : shown_->rec.alarms)
        lines << "Alarm " + Q(TextFormats::DateTime(a.time)) + ": " + Q(a.text);
    summary_->setText(lines.join('\n'));
    chart_->update();
}

void ReconciliationPage::EnterClick() {
    if (bounds_.size() < 2 || adr_ <= 0)
        return;
    // The tanks as the last reading found them; the page's own tank at least.
    std::vector<int> tanks = tanks_;
    if (std::find(tanks.begin(), tanks.end(), adr_) == tanks.end())
        tanks.push_back(adr_);
    std::vector<int> shifts;
    if (bounds_.size() > 1 && bounds_[1] - bounds_[0] < 0.999) {
        const double first = bounds_[0] - std::floor(bounds_[0]);
        shifts.push_back(int(std::lround(first * kMinutesPerDay)));
    }
    ReconEntryDialog d(dbFile_, adr_, bounds_, tanks, shifts, this);
    d.exec();
    Generate(adr_, bounds_, offset_);
    storeAlarms_ = true;
}

void ReconciliationPage::ExportClick() {
    if (!shown_)
        return;
    const QString suggested =
        QString("reconciliation-tank%1-%2.csv")
            .arg(adr_)
            .arg(Q(TextFormats::ShortDate(bounds_.front())).replace('/', '-'));
    const QString path = saveDialog_ ? saveDialog_(this, "Export CSV", suggested)
                                     : QFileDialog::getSaveFileName(this, "Export CSV", suggested,
                                                                    "CSV files (*.csv)");
    if (path.isEmpty())
        return;
    std::string text(Csv::kBom);
    AppendReconCsv(text, *shown_, true);
    text += "\r\n";
    AppendDeliveriesCsv(text, *shown_, offset_, true);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(text.data(), qint64(text.size())) != qint64(text.size()) || !f.commit())
        QMessageBox::warning(this, "Export CSV", "Cannot write " + path + ": " + f.errorString());
}

void ReconciliationPage::PrintClick() {
    if (!shown_)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    const bool go = printDialog_ ? printDialog_(printer, this)
                                 : QPrintDialog(&printer, this).exec() == QDialog::Accepted;
    if (!go)
        return;
    const std::vector<TankReconReport> tanks{*shown_};
    ReconDocument doc;
    doc.station = QSysInfo::machineHostName();
    doc.from = bounds_.front();
    doc.to = bounds_.back();
    doc.printedAt = clock_.LocalNow();
    doc.offset = offset_;
    doc.tanks = &tanks;
    if (PaintReconciliation(doc, printer) == 0)
        QMessageBox::warning(this, "Print", "The reconciliation could not be printed.");
}
