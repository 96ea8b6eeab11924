#pragma once
// Entering meter totals and delivery notes like a paper dip book: one grid of the tank's
// periods with the litres dispensed (or the totaliser reading), one of its delivery notes,
// and "Import CSV..." for a point-of-sale export with a column mapping picked once and
// remembered. Every row is checked before anything is written; a refused row is shown with
// its reason and nothing is stored.

#include "ReconImport.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QTableWidget;

class ReconEntryDialog : public QDialog {
    Q_OBJECT
public:
    // `bounds`: the periods shown (BalanceBoundaries); `tanks`: the station's tank numbers.
    ReconEntryDialog(std::string dbFile, int adr, std::vector<double> bounds,
                     std::vector<int> tanks, std::vector<int> shiftStarts,
                     QWidget* parent = nullptr);

    // Checks both grids and writes them for the period in one transaction. False with the
    // reasons shown when a row is refused or the file cannot be written.
    bool SaveClick();
    // Reads a CSV file into data.db (meters or notes), all or nothing, after the mapping.
    void ImportClick(ImportKind kind);
    // The rows' reasons, one a line ("Line 3: ..."), of the last refused save or import.
    const QString& LastProblems() const { return problems_; }

    QTableWidget* MeterGrid() const { return meters_; }
    QTableWidget* NoteGrid() const { return notes_; }

private:
    void Load();
    void ShowProblems(const std::vector<ImportProblem>& problems, const QString& what);
    std::string dbFile_;
    int adr_;
    std::vector<double> bounds_;
    std::vector<int> tanks_, shifts_;
    QTableWidget* meters_;
    QTableWidget* notes_;
    QCheckBox* totaliser_;
    QString problems_;
};
