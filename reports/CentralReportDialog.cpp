#include "CentralReportDialog.h"

#include "Clock.h"
#include "Csv.h"
#include "LevelQuery.h"
#include "ReportSource.h"
#include "TextFormats.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>
#include <mutex>
#include <thread>

namespace {

QDate DateOf(double localDay) {
    const TextFormats::DateTimeParts p = TextFormats::Split(std::floor(localDay));
    return QDate(p.year, p.month, p.day);
}

double DayOf(const QDate& d) {
    return TextFormats::Join(d.year(), d.month(), d.day());
}

QDateEdit* MakeDate(const QDate& date, QWidget* parent) {
    auto* e = new QDateEdit(date, parent);
    e->setDisplayFormat("dd/MM/yyyy");
    e->setCalendarPopup(true);
    return e;
}

} // namespace

struct CentralReportDialog::Pending {
    std::mutex m;
    std::function<void()> stop;
    bool cancelled = false;
    // The worker, once connected: false when the request was cancelled meanwhile.
    bool Started(std::function<void()> s) {
        std::lock_guard<std::mutex> l(m);
        stop = std::move(s);
        return !cancelled;
    }
    void Cancel() {
        std::function<void()> s;
        {
            std::lock_guard<std::mutex> l(m);
            cancelled = true;
            s = stop;
        }
        // Asking the server to stop opens a connection of its own: never on the window's
        // thread, whose server may be the one that hangs.
        if (s)
            std::thread(std::move(s)).detach();
    }
};

CentralReportDialog::CentralReportDialog(std::string conninfo, const Clock& clock,
                                         CentralOpener open, QWidget* parent)
    : QDialog(parent), conninfo_(std::move(conninfo)), clock_(clock), open_(std::move(open)),
      saveDialog_([](QWidget* owner) {
          return QFileDialog::getSaveFileName(owner, "Export CSV", "central-report.csv",
                                              "CSV files (*.csv)");
      }) {
    setWindowTitle("Central reports");
    setModal(false);
    resize(960, 520);

    station_ = new QComboBox(this);
    station_->setObjectName("Station");
    station_->setMinimumContentsLength(16);
    station_->addItem("All stations", QString());
    what_ = new QComboBox(this);
    what_->setObjectName("What");
    what_->addItem("Daily balance", int(ReportWhat::Daily));
    what_->addItem("Depot summary", int(ReportWhat::Summary));
    what_->addItem("Events", int(ReportWhat::Events));
    const QDate today = DateOf(clock_.LocalNow());
    from_ = MakeDate(today.addDays(-6), this);
    from_->setObjectName("From");
    to_ = MakeDate(today, this);
    to_->setObjectName("To");
    show_ = new QPushButton("Show", this);
    show_->setObjectName("Show");
    show_->setDefault(true);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("Cancel");
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Station:", this));
    top->addWidget(station_);
    top->addWidget(new QLabel("Report:", this));
    top->addWidget(what_);
    top->addWidget(new QLabel("From:", this));
    top->addWidget(from_);
    top->addWidget(new QLabel("To:", this));
    top->addWidget(to_);
    top->addStretch();
    top->addWidget(show_);
    top->addWidget(cancel_);

    table_ = new QTableWidget(this);
    table_->setObjectName("Result");
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);

    busyBar_ = new QProgressBar(this);
    busyBar_->setRange(0, 0); // moving to and fro while the server is asked
    busyBar_->setMaximumWidth(120);
    busyBar_->setTextVisible(false);
    status_ = new QLabel(this);
    status_->setObjectName("Status");
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setWordWrap(true);
    export_ = new QPushButton("Export CSV", this);
    export_->setObjectName("Export");
    auto* close = new QPushButton("Close", this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(busyBar_);
    bottom->addWidget(status_, 1);
    bottom->addWidget(export_);
    bottom->addWidget(close);

    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(table_, 1);
    all->addLayout(bottom);

    connect(show_, &QPushButton::clicked, this, [this] { ShowClick(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { CancelClick(); });
    connect(export_, &QPushButton::clicked, this, [this] { ExportClick(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    SetBusy(false);
    export_->setEnabled(false);
    RefreshStations();
}

CentralReportDialog::~CentralReportDialog() = default;

QString CentralReportDialog::StatusText() const {
    return status_->text();
}

void CentralReportDialog::Choose(const std::string& station, ReportWhat what, int firstYear,
                                 int firstMonth, int firstDay, int lastYear, int lastMonth,
                                 int lastDay) {
    const int s = station_->findData(QString::fromStdString(station));
    if (s >= 0)
        station_->setCurrentIndex(s);
    what_->setCurrentIndex(what_->findData(int(what)));
    from_->setDate(QDate(firstYear, firstMonth, firstDay));
    to_->setDate(QDate(lastYear, lastMonth, lastDay));
}

void CentralReportDialog::RefreshStations() {
    Ask(
        [](StationArchive& archive) {
            Answer a;
            a.stations = archive.Stations();
            return a;
        },
        "Asking the central server for its stations...");
}

void CentralReportDialog::ShowClick() {
    if (to_->date() < from_->date()) {
        status_->setText("The period is reversed: \"To\" is before \"From\".");
        return;
    }
    ReportRequest req;
    req.what = static_cast<ReportWhat>(what_->currentData().toInt());
    req.station = station_->currentData().toString().toStdString();
    req.firstDay = DayOf(from_->date());
    req.lastDay = DayOf(to_->date());
    const double offset = LocalOffset(clock_), now = clock_.LocalNow();
    Ask(
        [req, offset, now](StationArchive& archive) {
            Answer a;
            a.stations = archive.Stations();
            a.withReport = true;
            a.code = CentralReportCsv(archive, req, offset, now, a.csv, a.error);
            return a;
        },
        "Asking the central server...");
}

void CentralReportDialog::CancelClick() {
    if (!busy_)
        return;
    busy_ = 0;
    if (pending_)
        pending_->Cancel();
    pending_.reset();
    SetBusy(false);
    status_->setText("Cancelled.");
    emit RequestEnded();
}

void CentralReportDialog::ExportClick() {
    if (csv_.empty())
        return;
    const QString path = saveDialog_(this);
    if (path.isEmpty())
        return;
    QFile f(path);
    const std::string bytes = std::string(Csv::kBom) + csv_;
    const bool ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()) &&
                    f.flush();
    f.close();
    status_->setText(ok ? "Saved " + path : "Cannot write " + path + ": " + f.errorString());
}

void CentralReportDialog::Ask(std::function<Answer(StationArchive&)> job, const QString& doing) {
    const unsigned id = ++request_;
    busy_ = id;
    SetBusy(true);
    status_->setText(doing);
    pending_ = std::make_shared<Pending>();
    QPointer<CentralReportDialog> self(this);
    QThread* thread = QThread::create(
        [self, id, job = std::move(job), open = open_, conninfo = conninfo_, pending = pending_] {
            Answer a;
            try {
                std::string error;
                std::unique_ptr<StationArchive> archive;
                if (open)
                    archive = open(conninfo, error);
                if (!archive) {
                    a.code = kReportNoServer;
                    a.error = "Cannot reach the central server: " + error;
                } else if (pending->Started(archive->Canceller())) {
                    a = job(*archive);
                }
            } catch (const std::exception& e) {
                a = Answer{};
                a.code = kReportFailed;
                a.error = std::string("Cannot read the central server: ") + e.what();
            }
            // Back on the window's thread; a window closed meanwhile is simply not told.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, id, a] {
                    if (self)
                        self->Take(id, a);
                },
                Qt::QueuedConnection);
        });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void CentralReportDialog::Take(unsigned request, const Answer& answer) {
    if (request != busy_) { // cancelled, or a later request is waited for
        emit AnswerDropped();
        return;
    }
    busy_ = 0;
    pending_.reset();
    SetBusy(false);
    if (!answer.stations.empty())
        FillStations(answer.stations);
    if (answer.code != kReportOk) {
        status_->setText(QString::fromStdString(answer.error));
    } else if (answer.withReport) {
        csv_ = answer.csv;
        FillTable(csv_);
        export_->setEnabled(!csv_.empty());
        status_->setText(QString("%1 rows").arg(std::max(0, table_->rowCount())));
    } else {
        status_->setText(answer.stations.empty()
                             ? QString("The central server has no stations yet.")
                             : QString("%1 stations").arg(answer.stations.size()));
    }
    emit RequestEnded();
}

void CentralReportDialog::SetBusy(bool busy) {
    busyBar_->setVisible(busy);
    cancel_->setEnabled(busy);
    show_->setEnabled(!busy);
}

void CentralReportDialog::FillStations(const std::vector<std::string>& names) {
    const QString chosen = station_->currentData().toString();
    station_->clear();
    station_->addItem("All stations", QString());
    for (const std::string& n : names)
        station_->addItem(QString::fromStdString(n), QString::fromStdString(n));
    station_->setCurrentIndex(std::max(0, station_->findData(chosen)));
}

void CentralReportDialog::FillTable(const std::string& csv) {
    const auto records = Csv::Parse(csv);
    table_->clear();
    table_->setRowCount(records.empty() ? 0 : int(records.size() - 1));
    table_->setColumnCount(records.empty() ? 0 : int(records.front().size()));
    QStringList header;
    if (!records.empty())
        for (const std::string& h : records.front())
            header << QString::fromStdString(h);
    table_->setHorizontalHeaderLabels(header);
    for (std::size_t r = 1; r < records.size(); ++r)
        for (std::size_t c = 0; c < records[r].size() && int(c) < table_->columnCount(); ++c)
            table_->setItem(int(r - 1), int(c),
                            new QTableWidgetItem(QString::fromStdString(records[r][c])));
    table_->resizeColumnsToContents();
}
