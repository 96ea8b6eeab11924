#include "LeakTestPage.h"

#include "Clock.h"
#include "Csv.h"
#include "ExportFolder.h"
#include "InventoryData.h"
#include "LevelQuery.h"
#include "SQLiteDatabase.h"
#include "StoredText.h"
#include "TextFormats.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString Fixed(double v, int decimals) {
    return Q(TextFormats::Fixed(v, decimals));
}

} // namespace

LeakTestPage::LeakTestPage(std::string dbFile, Clock& clock, QWidget* parent)
    : QWidget(parent), dbFile_(std::move(dbFile)), clock_(clock),
      saveDialog_([](QWidget* owner, const QString& caption, const QString& suggested) {
          return QFileDialog::getSaveFileName(owner, caption, suggested,
                                              "CSV files (*.csv);;All files (*)");
      }) {
    setObjectName("LeakTestPage");
    table_ = new QTableWidget(this);
    table_->setObjectName("LeakTestTable");
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->setColumnCount(7);
    table_->setHorizontalHeaderLabels({"Day", "Result", "Rate, l/h", "Upper bound, l/h",
                                       "Threshold, l/h", "Idle periods", "Hours"});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->setToolTip("The test at each day's end over the 28 days before: fail at a leak rate "
                       "of at least the threshold (half of 0.76 l/h); pass only where the "
                       "readings can show the tank tight; otherwise inconclusive");
    status_ = new QLabel(this);
    status_->setObjectName("LeakTestStatus");
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("LeakTestCancel");
    export_ = new QPushButton("Export CSV", this);
    export_->setObjectName("LeakTestExport");
    connect(cancel_, &QPushButton::clicked, this, [this] { CancelClick(); });
    connect(export_, &QPushButton::clicked, this, [this] { ExportClick(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(cancel_);
    buttons->addWidget(export_);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->addWidget(table_, 1);
    all->addLayout(buttons);
    Show();
}

LeakTestPage::~LeakTestPage() {
    CancelClick();
}

void LeakTestPage::Generate(int adr, double firstDay, double lastDay) {
    CancelClick();
    status_->clear();
    adr_ = adr;
    firstDay_ = firstDay;
    lastDay_ = lastDay;
    shown_.clear();
    due_ = true;
    if (isVisible())
        Read();
    Show();
}

void LeakTestPage::Clear() {
    CancelClick();
    adr_ = 0;
    firstDay_ = 0;
    lastDay_ = -1;
    due_ = false;
    shown_.clear();
    status_->clear();
    Show();
}

void LeakTestPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (due_ && !reads_.Running())
        Read();
}

void LeakTestPage::Read() {
    due_ = false;
    const double offset = LocalOffset(clock_);
    const double nowLocal = clock_.LocalNow();
    reads_.Start<std::vector<LeakReportRow>>(
        dbFile_,
        [adr = adr_, first = firstDay_, last = lastDay_, offset,
         nowLocal](BackgroundRead::Reading& reading, std::vector<LeakReportRow>& rows) {
            std::vector<std::shared_ptr<TItemNode>> tanks;
            for (auto& t : LoadReportTanks(reading.Db()))
                if (t->id == adr)
                    tanks.push_back(t);
            rows = LeakReport(reading.Db(), tanks, first, last, offset, nowLocal,
                              [&reading](int, int) { return !reading.Stopped(); });
        },
        [this](std::vector<LeakReportRow> rows, std::string error) {
            Finished(std::move(rows), error);
        });
    Show();
}

void LeakTestPage::Finished(std::vector<LeakReportRow> rows, const std::string& error) {
    if (!error.empty()) {
        status_->setText("Not read: " + Q(error));
        Show();
        return;
    }
    shown_ = std::move(rows);
    status_->clear();
    Show();
}

void LeakTestPage::WaitForRead() {
    reads_.Wait();
}

void LeakTestPage::CancelClick() {
    if (!reads_.Running())
        return;
    reads_.Cancel();
    due_ = false;
    status_->setText("Cancelled");
    Show();
}

void LeakTestPage::Show() {
    table_->setRowCount(0);
    table_->setRowCount(int(shown_.size()));
    for (int i = 0; i < int(shown_.size()); ++i) {
        const LeakTestResult& r = shown_[std::size_t(i)].result;
        const bool numbers = r.periods > 0;
        const QString cells[] = {Q(TextFormats::ShortDate(shown_[std::size_t(i)].day)),
                                 LeakTest::VerdictText(r.verdict),
                                 numbers ? Fixed(r.rate, 3) : QString(),
                                 numbers ? Fixed(r.bound, 3) : QString(),
                                 Fixed(r.threshold, 3),
                                 QString::number(r.periods),
                                 Fixed(r.hours, 1)};
        for (int c = 0; c < 7; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c >= 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (c == 1 && r.verdict == LeakVerdict::Fail)
                item->setForeground(QColor(190, 30, 30));
            if (c == 1 && r.verdict == LeakVerdict::Pass)
                item->setForeground(QColor(20, 120, 40));
            table_->setItem(i, c, item);
        }
    }
    if (reads_.Running())
        status_->setText("Testing...");
    else if (shown_.empty() && status_->text().isEmpty() && lastDay_ >= firstDay_)
        status_->setText("No day of the period is over yet");
    cancel_->setEnabled(reads_.Running());
    export_->setEnabled(!shown_.empty());
}

void LeakTestPage::ExportClick() {
    if (shown_.empty())
        return;
    const QString name = QString("leak-test-tank%1-%2.csv")
                             .arg(adr_)
                             .arg(Q(TextFormats::ShortDate(firstDay_)).replace('/', '-'));
    const QString path =
        saveDialog_ ? saveDialog_(this, "Export CSV", ProposedPath(name)) : QString();
    if (path.isEmpty())
        return;
    std::string text(Csv::kBom);
    AppendLeakCsv(text, shown_);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(text.data(), qint64(text.size())) != qint64(text.size()) || !f.commit()) {
        status_->setText("Could not write " + path + ": " + f.errorString());
        return;
    }
    RememberExportFolder(path);
    status_->setText("Saved to " + path);
}
