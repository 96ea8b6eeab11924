#pragma once
// The tank editor's calibration grid: a header row and a row per calibration point, with
// the point's number, its code and its litres. Every cell is painted through the editor's
// SGDrawCell, and the cell editor gets the editor's key filter and edit check.

#include "TItemNode.h"

#include <QPointer>
#include <QStyledItemDelegate>

class QLineEdit;
class QTableWidget;
class TEditor;

namespace CalibrationGrid {

inline constexpr int kGridRows = kCalPointCount + 1;
inline constexpr int kGridColumns = 3;
// A cell's own height and widths; the view adds one pixel of grid line to each.
inline constexpr int kCellHeight = 14;
inline constexpr int kCellWidths[kGridColumns] = {20, 40, 50};
inline constexpr int kGridLine = 1;

// The header row and the numbers' column are fixed.
inline bool IsFixed(int col, int row) {
    return col == 0 || row == 0;
}

// The grid, flat, its headers hidden and every row in sight: it never scrolls.
QTableWidget* MakeCalibrationGrid(QWidget* parent);

} // namespace CalibrationGrid

class EditorGridDelegate : public QStyledItemDelegate {
public:
    explicit EditorGridDelegate(TEditor& editor);

    QLineEdit* Current() const { return current_; }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // Ends the cell's editing, keeping what was typed.
    void Finish();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TEditor& editor_;
    mutable QPointer<QLineEdit> current_;
};
