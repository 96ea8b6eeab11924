#include "CalibrationGrid.h"

#include "EditorRules.h"
#include "OperatorMessages.h"
#include "TanksUnit.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTableWidget>

using namespace CalibrationGrid;
using namespace EditorRules;

namespace {

const QColor kSelectedCell(166, 202, 240);

// The calibration grid: all 31 rows fit, so it never scrolls, not even to show a cell.
class EditorGrid : public QTableWidget {
public:
    using QTableWidget::QTableWidget;
    void scrollTo(const QModelIndex&, ScrollHint) override {}

protected:
    void wheelEvent(QWheelEvent* event) override { event->ignore(); }
};

} // namespace

QTableWidget* CalibrationGrid::MakeCalibrationGrid(QWidget* parent) {
    auto* grid = new EditorGrid(kGridRows, kGridColumns, parent);
    grid->setGeometry(11, 18, 115, 466);
    grid->setFrameStyle(QFrame::Box | QFrame::Plain); // flat
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    for (QHeaderView* header : {grid->horizontalHeader(), grid->verticalHeader()}) {
        header->setMinimumSectionSize(1);
        header->setSectionResizeMode(QHeaderView::Fixed);
    }
    grid->verticalHeader()->setDefaultSectionSize(kCellHeight + kGridLine);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                          QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    grid->setTabKeyNavigation(false);
    grid->setWordWrap(false);
    grid->setCornerButtonEnabled(false);
    return grid;
}

// ---- the delegate: paints every cell through SGDrawCell and gives the cell editor the
// grid's key filter and edit check ----

EditorGridDelegate::EditorGridDelegate(TEditor& editor)
    : QStyledItemDelegate(&editor), editor_(editor) {}

QWidget* EditorGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                          const QModelIndex& index) const {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    const int col = index.column();
    const int row = index.row();
    QObject::connect(edit, &QLineEdit::textEdited, &editor_, [this, col, row](const QString& text) {
        editor_.SGSetEditText(col, row, text);
    });
    current_ = edit;
    editor_.CellEditorOpened(col, row);
    return edit;
}

void EditorGridDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (editor == current_)
        current_ = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

// The cell follows the editor at every change already; writing the same text back would
// only move the caret.
void EditorGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* edit = static_cast<QLineEdit*>(editor);
    const QString text = index.data(Qt::EditRole).toString();
    if (edit->text() != text)
        edit->setText(text);
}

void EditorGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const int col = index.column();
    const int row = index.row();
    editor_.SGDrawCell(*painter, col, row, option.rect,
                       option.state.testFlag(QStyle::State_Selected), IsFixed(col, row));
}

void EditorGridDelegate::Finish() {
    if (QLineEdit* edit = current_) {
        emit commitData(edit);
        emit closeEditor(edit, QAbstractItemDelegate::NoHint);
    }
}

bool EditorGridDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto c = TypedCharacter(*static_cast<QKeyEvent*>(event));
        // Return ends the cell's editing as usual; it is no character of the cell.
        if (c && c->unicode() != u'\r' && !editor_.SGKeyPress(*c))
            return true;
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

// ---- the editor's grid handlers
// --------------------------------------------------------------------------

bool TEditor::SGKeyPress(QChar key) {
    if (IsPassThrough(key))
        return true;
    bool pass = IsDigit(key);
    const int col = SG->currentColumn();
    savedCellText_ = CellText(col, SG->currentRow());
    // The key replaces what is selected in the cell (all of it when typing opened the
    // cell), so only what it keeps counts against the room.
    QString kept = savedCellText_;
    if (const QLineEdit* edit = CellEditor(); edit && edit->hasSelectedText())
        kept = edit->text().remove(edit->selectionStart(), edit->selectedText().size());
    if (!GridTextHasRoom(col, kept))
        pass = false;
    return pass;
}

void TEditor::CellEditorOpened(int col, int row) {
    // A change that no typed character preceded (a paste) must restore this cell's own
    // text, not one saved from another cell.
    savedCellText_ = CellText(col, row);
}

void TEditor::SGSetEditText(int ACol, int ARow, const QString& Value) {
    if (!GridValueAdmissible(SG->currentColumn(), Value)) {
        RestoreCell(ACol, ARow);
        return;
    }
    SetCellText(ACol, ARow, Value);
}

void TEditor::RestoreCell(int ACol, int ARow) {
    SetCellText(SG->currentColumn(), SG->currentRow(), savedCellText_);
    SG->setCurrentCell(ARow, ACol);
    if (QLineEdit* edit = CellEditor()) {
        edit->setText(savedCellText_);
        edit->setCursorPosition(static_cast<int>(savedCellText_.size()));
    }
    messages_.Beep();
}

void TEditor::SGDrawCell(QPainter& painter, int ACol, int ARow, const QRect& Rect, bool selected,
                         bool fixed) const {
    const QColor background = selected ? kSelectedCell
                              : fixed  ? SG->palette().color(QPalette::Button)
                                       : SG->palette().color(QPalette::Base);
    painter.fillRect(Rect, background);
    painter.setFont(SG->font());
    painter.setPen(SG->palette().color(QPalette::Text));
    const Qt::Alignment horizontal = (ARow == 0 || ACol == 0) ? Qt::AlignHCenter : Qt::AlignRight;
    painter.drawText(Rect.adjusted(2, 0, -2, 0), horizontal | Qt::AlignVCenter | Qt::TextSingleLine,
                     CellText(ACol, ARow));
}

QString TEditor::CellText(int col, int row) const {
    const QTableWidgetItem* item = SG->item(row, col);
    return item ? item->text() : QString();
}

void TEditor::SetCellText(int col, int row, const QString& text) {
    if (QTableWidgetItem* item = SG->item(row, col))
        item->setText(text);
}

QLineEdit* TEditor::CellEditor() const {
    return gridDelegate_->Current();
}

void TEditor::FinishCellEdit() {
    gridDelegate_->Finish();
}
