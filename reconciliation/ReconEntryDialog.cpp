#include "ReconEntryDialog.h"

#include "BalanceView.h"
#include "SQLiteDatabase.h"
#include "TextFormats.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr const char* kNoteTimeFormat = "dd/MM/yyyy HH:mm";

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString Cell(QTableWidget* t, int row, int col) {
    const QTableWidgetItem* it = t->item(row, col);
    return it ? it->text().trimmed() : QString();
}

void Put(QTableWidget* t, int row, int col, const QString& text, bool editable = true) {
    auto* it = new QTableWidgetItem(text);
    if (!editable)
        it->setFlags(it->flags() & ~Qt::ItemIsEditable);
    t->setItem(row, col, it);
}

// A grid figure: a decimal point or comma, as the operator types it.
bool GridNumber(const QString& text, double& v) {
    const std::string s = text.toStdString();
    return ParseNumberText(s, '.', v) || ParseNumberText(s, ',', v);
}

QString Litres(double v) {
    return QString::number(v, 'f', v == std::floor(v) ? 0 : 1);
}

QSettings Store() {
    return QSettings("tavrona", "reconciliation");
}

// The mapping dialog: one choice of field per column of the file's first line, the decimal
// mark, the date format and the code page; what was picked last is offered again.
bool PickMapping(QWidget* owner, ImportKind kind, const std::vector<std::string>& firstLine,
                 ImportOptions& opt) {
    const QString key = kind == ImportKind::Meters ? "meters/" : "notes/";
    QSettings s = Store();
    std::vector<std::string> remembered =
        MappingFromText(s.value(key + "mapping").toString().toStdString());
    QDialog d(owner);
    d.setWindowTitle("Import CSV: columns");
    auto* form = new QFormLayout(&d);
    std::vector<QComboBox*> boxes;
    const auto fields = ImportFields(kind);
    for (std::size_t c = 0; c < firstLine.size(); ++c) {
        auto* box = new QComboBox(&d);
        box->setObjectName(QString("Column%1").arg(c));
        box->addItem("(not used)", QString());
        for (const std::string& f : fields)
            box->addItem(Q(f), Q(f));
        QString pick;
        if (remembered.size() == firstLine.size())
            pick = Q(remembered[c]);
        else
            for (const std::string& f : fields)
                if (Q(firstLine[c]).contains(Q(f), Qt::CaseInsensitive))
                    pick = Q(f);
        box->setCurrentIndex(std::max(0, box->findData(pick)));
        form->addRow(Q(firstLine[c]).left(40) + ":", box);
        boxes.push_back(box);
    }
    auto* header = new QCheckBox("The first line names the columns", &d);
    header->setChecked(s.value(key + "header", true).toBool());
    auto* decimal = new QComboBox(&d);
    decimal->addItems({"Point (12.5)", "Comma (12,5)"});
    decimal->setCurrentIndex(s.value(key + "decimal", ".").toString() == "," ? 1 : 0);
    auto* date = new QLineEdit(s.value(key + "date", "dd/MM/yyyy").toString(), &d);
    date->setToolTip("dd day, MM month, yyyy or yy year, HH hour, mm minute, ss second");
    auto* time = new QLineEdit(s.value(key + "time", "HH:mm").toString(), &d);
    auto* page = new QComboBox(&d);
    page->addItems(StoredText::CodePageNames());
    page->setCurrentText(s.value(key + "codepage", "Windows-1252").toString());
    auto* totaliser = new QCheckBox("The litres are totaliser readings", &d);
    totaliser->setChecked(s.value(key + "totaliser", false).toBool());
    form->addRow(header);
    form->addRow("Decimal mark:", decimal);
    form->addRow("Date format:", date);
    form->addRow("Time format:", time);
    form->addRow("Text not in UTF-8 is in:", page);
    if (kind == ImportKind::Meters)
        form->addRow(totaliser);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    form->addRow(buttons);
    if (d.exec() != QDialog::Accepted)
        return false;
    opt.columns.clear();
    for (QComboBox* b : boxes)
        opt.columns.push_back(b->currentData().toString().toStdString());
    opt.header = header->isChecked();
    opt.decimal = decimal->currentIndex() == 1 ? ',' : '.';
    opt.dateFormat = date->text().toStdString();
    opt.timeFormat = time->text().toStdString();
    opt.codePage =
        StoredText::CodePageNamed(page->currentText()).value_or(StoredText::kDefaultCodePage);
    opt.totaliser = kind == ImportKind::Meters && totaliser->isChecked();
    s.setValue(key + "mapping", Q(MappingText(opt.columns)));
    s.setValue(key + "header", opt.header);
    s.setValue(key + "decimal", QString(QChar(opt.decimal)));
    s.setValue(key + "date", date->text());
    s.setValue(key + "time", time->text());
    s.setValue(key + "codepage", page->currentText());
    s.setValue(key + "totaliser", opt.totaliser);
    return true;
}

} // namespace

ReconEntryDialog::ReconEntryDialog(std::string dbFile, int adr, std::vector<double> bounds,
                                   std::vector<int> tanks, std::vector<int> shiftStarts,
                                   QWidget* parent)
    : QDialog(parent), dbFile_(std::move(dbFile)), adr_(adr), bounds_(std::move(bounds)),
      tanks_(std::move(tanks)), shifts_(std::move(shiftStarts)) {
    setWindowTitle(QString("Meter totals and delivery notes - tank %1").arg(adr_));
    auto* all = new QVBoxLayout(this);
    all->addWidget(new QLabel("Litres dispensed per period, as the pump meters counted them:"));
    meters_ = new QTableWidget(0, 2, this);
    meters_->setObjectName("MeterGrid");
    meters_->setHorizontalHeaderLabels({"Period", "Litres"});
    meters_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    meters_->horizontalHeader()->setStretchLastSection(true);
    all->addWidget(meters_, 1);
    totaliser_ = new QCheckBox("The figures are totaliser readings at the end of each period");
    all->addWidget(totaliser_);
    all->addWidget(
        new QLabel(QString("Delivery notes (date and time as %1):").arg(kNoteTimeFormat)));
    notes_ = new QTableWidget(0, 6, this);
    notes_->setObjectName("NoteGrid");
    notes_->setHorizontalHeaderLabels(
        {"Date and time", "Litres billed", "°C", "Density, kg/m³", "Note", "Supplier"});
    notes_->horizontalHeader()->setStretchLastSection(true);
    all->addWidget(notes_, 1);

    auto* row = new QHBoxLayout;
    auto* addNote = new QPushButton("Add note", this);
    connect(addNote, &QPushButton::clicked, this,
            [this] { notes_->insertRow(notes_->rowCount()); });
    auto* importMeters = new QPushButton("Import meter totals (CSV)...", this);
    importMeters->setObjectName("ImportMeters");
    connect(importMeters, &QPushButton::clicked, this, [this] { ImportClick(ImportKind::Meters); });
    auto* importNotes = new QPushButton("Import delivery notes (CSV)...", this);
    importNotes->setObjectName("ImportNotes");
    connect(importNotes, &QPushButton::clicked, this, [this] { ImportClick(ImportKind::Notes); });
    row->addWidget(addNote);
    row->addWidget(importMeters);
    row->addWidget(importNotes);
    row->addStretch(1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (SaveClick())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    row->addWidget(buttons);
    all->addLayout(row);
    resize(820, 640);
    Load();
}

void ReconEntryDialog::Load() {
    std::vector<MeterEntry> meters;
    std::vector<DeliveryNote> notes;
    try {
        TSQLiteDatabase db(dbFile_, TSQLiteDatabase::Mode::ReadOnly);
        meters = LoadMeterEntries(db, adr_, bounds_.front(), bounds_.back());
        notes = LoadDeliveryNotes(db, adr_, bounds_.front(), bounds_.back());
    } catch (const SQLiteError&) {
        // nothing entered yet (or a file of an older station): empty grids
    }
    const int rows = bounds_.size() > 1 ? int(bounds_.size()) - 1 : 0;
    meters_->setRowCount(rows);
    bool totaliser = false;
    for (int i = 0; i < rows; ++i) {
        BalanceRow period;
        period.start = bounds_[std::size_t(i)];
        period.stop = bounds_[std::size_t(i) + 1];
        Put(meters_, i, 0, Q(RowPeriodText(period)), false);
        Put(meters_, i, 1, QString());
        for (const MeterEntry& m : meters)
            if (m.time >= period.start && m.time < period.stop) {
                Put(meters_, i, 1, Litres(m.litres));
                totaliser = totaliser || m.totaliser;
            }
    }
    totaliser_->setChecked(totaliser);
    notes_->setRowCount(int(notes.size()) + 3);
    for (int i = 0; i < notes_->rowCount(); ++i)
        for (int c = 0; c < 6; ++c)
            Put(notes_, i, c, QString());
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const DeliveryNote& n = notes[i];
        const auto p = TextFormats::Split(n.time);
        Put(notes_, int(i), 0,
            QString("%1/%2/%3 %4:%5")
                .arg(p.day, 2, 10, QChar('0'))
                .arg(p.month, 2, 10, QChar('0'))
                .arg(p.year)
                .arg(p.hour, 2, 10, QChar('0'))
                .arg(p.minute, 2, 10, QChar('0')));
        Put(notes_, int(i), 1, Litres(n.litres));
        Put(notes_, int(i), 2, n.tempC ? QString::number(*n.tempC) : QString());
        Put(notes_, int(i), 3, n.density ? QString::number(*n.density) : QString());
        Put(notes_, int(i), 4, Q(n.number));
        Put(notes_, int(i), 5, Q(n.supplier));
    }
}

bool ReconEntryDialog::SaveClick() {
    std::vector<ImportProblem> problems;
    std::vector<MeterEntry> meters;
    for (int i = 0; i < meters_->rowCount(); ++i) {
        const QString text = Cell(meters_, i, 1);
        if (text.isEmpty())
            continue; // no figure: the period stays without meter data, not 0 l
        double v = 0;
        if (!GridNumber(text, v) || v < 0)
            problems.push_back({i + 1, "period " + Cell(meters_, i, 0).toStdString() + ": \"" +
                                           text.toStdString() + "\" is not a number of litres"});
        else
            meters.push_back({adr_, bounds_[std::size_t(i)], v, totaliser_->isChecked()});
    }
    std::vector<DeliveryNote> notes;
    for (int i = 0; i < notes_->rowCount(); ++i) {
        bool empty = true;
        for (int c = 0; c < 6; ++c)
            empty = empty && Cell(notes_, i, c).isEmpty();
        if (empty)
            continue;
        DeliveryNote n;
        n.adr = adr_;
        std::vector<std::string> why;
        if (!ParseDateText(Cell(notes_, i, 0).toStdString(), kNoteTimeFormat, n.time))
            why.push_back("the date and time are not " + std::string(kNoteTimeFormat));
        else if (n.time < bounds_.front() || n.time >= bounds_.back())
            why.push_back("the date is outside the period shown");
        if (!GridNumber(Cell(notes_, i, 1), n.litres) || n.litres <= 0)
            why.push_back("no litres billed");
        double v = 0;
        if (!Cell(notes_, i, 2).isEmpty()) {
            if (GridNumber(Cell(notes_, i, 2), v) && v > -50 && v < 100)
                n.tempC = v;
            else
                why.push_back("the temperature is no number of °C");
        }
        if (!Cell(notes_, i, 3).isEmpty()) {
            if (GridNumber(Cell(notes_, i, 3), v) && v >= 500 && v <= 1200)
                n.density = v;
            else
                why.push_back("the density is no number of kg/m³");
        }
        n.number = Cell(notes_, i, 4).toStdString();
        n.supplier = Cell(notes_, i, 5).toStdString();
        if (!why.empty()) {
            std::string text = "note row " + std::to_string(i + 1) + ": ";
            for (std::size_t k = 0; k < why.size(); ++k)
                text += (k ? "; " : "") + why[k];
            problems.push_back({i + 1, text});
        } else {
            notes.push_back(n);
        }
    }
    if (!problems.empty()) {
        ShowProblems(problems, "Nothing was saved");
        return false;
    }
    try {
        TSQLiteDatabase db(dbFile_);
        ReplaceReconPeriod(db, adr_, bounds_.front(), bounds_.back(), meters, notes);
    } catch (const SQLiteError& e) {
        ShowProblems({{0, e.what()}}, "Nothing was saved");
        return false;
    }
    problems_.clear();
    return true;
}

void ReconEntryDialog::ImportClick(ImportKind kind) {
    QSettings s = Store();
    const QString path = QFileDialog::getOpenFileName(
        this, kind == ImportKind::Meters ? "Import meter totals" : "Import delivery notes",
        s.value("folder").toString(), "CSV files (*.csv *.txt);;All files (*)");
    if (path.isEmpty())
        return;
    s.setValue("folder", QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ShowProblems({{0, "cannot read " + path.toStdString()}}, "Nothing was imported");
        return;
    }
    const QByteArray bytes = f.readAll();
    // the first line's fields, for the mapping
    QString first = StoredText::FromStored(std::string_view(bytes.constData(), bytes.size()))
                        .section('\n', 0, 0)
                        .remove('\r')
                        .remove(QChar(0xFEFF));
    const QChar sep = first.contains(';') ? ';' : first.contains('\t') ? '\t' : ',';
    std::vector<std::string> columns;
    for (const QString& c : first.split(sep))
        columns.push_back(c.trimmed().remove('"').toStdString());
    ImportOptions opt;
    if (!PickMapping(this, kind, columns, opt))
        return;
    const ImportResult r = ParseReconCsv(std::string_view(bytes.constData(), bytes.size()), kind,
                                         opt, tanks_, shifts_);
    if (!r.problems.empty()) {
        ShowProblems(r.problems, "Nothing was imported");
        return;
    }
    try {
        TSQLiteDatabase db(dbFile_);
        StoreReconRows(db, r.meters, r.notes);
    } catch (const SQLiteError& e) {
        ShowProblems({{0, e.what()}}, "Nothing was imported");
        return;
    }
    problems_.clear();
    QMessageBox::information(this, "Import CSV",
                             QString("%1 rows imported.").arg(r.meters.size() + r.notes.size()));
    Load();
}

void ReconEntryDialog::ShowProblems(const std::vector<ImportProblem>& problems,
                                    const QString& what) {
    problems_.clear();
    for (const ImportProblem& p : problems)
        problems_ += (p.line ? QString("Line %1: ").arg(p.line) : QString()) + Q(p.reason) + "\n";
    if (!isVisible())
        return; // a test, or the dialog not shown: the reasons stay in LastProblems()
    QMessageBox box(QMessageBox::Warning, windowTitle(),
                    what + QString(": %1 row(s) refused.").arg(problems.size()), QMessageBox::Ok,
                    this);
    box.setDetailedText(problems_);
    box.exec();
}
