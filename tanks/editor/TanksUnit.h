#pragma once
// The tank editor: one modal dialog, created once and reused, that edits the tile's own
// tank record in place. "Calculate" rebuilds the record's calibration; "Update" copies the
// widgets into the record and stores it.

#include "Calibration.h"
#include "PictureBand.h"
#include "TItemNode.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class OperatorMessages;
class TSQLiteDatabase;
class QCheckBox;
class QCPGraph;
class QCustomPlot;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class EditorGridDelegate;

inline constexpr const char* kMsgInadmissible = "Inadmissible value entered. Reenter value.";
inline constexpr const char* kMsgPictureUnreadable =
    "The stored picture of this tank could not be read, so no picture is shown. "
    "Everything else can be edited; use \"Change Image\" to give the tank a new picture.";

class TEditor : public QDialog {
    Q_OBJECT

public:
    TEditor(TSQLiteDatabase& db, OperatorMessages& messages, QWidget* parent = nullptr);
    ~TEditor() override;

    // Makes NodeData the edited record (not a copy) and fills the widgets from it. Returns
    // false when filling failed; the failure has been reported and the dialog must not be
    // shown for this opening.
    bool UpdateData(PItemNode NodeData);
    PItemNode EditedNode() const { return NodeData_; }

    // Where "Change Image" gets its file; an empty path means the operator cancelled.
    // Opens the open-picture dialog unless replaced (tests replace it).
    std::function<QString()> PickPictureFile;
    // What "Event settings..." opens for the edited tank; the button shows only when set.
    std::function<void(const TItemNode&)> OpenEventSettings;

    // Handlers, named after their component and event.
    void FormCreate();
    void Button1Click(); // "Change Image"
    void Button2Click(); // "Calculate"
    void Button3Click(); // "Update"
    void Button4Click(); // "Cancel"
    // Key filters: true lets the typed character through.
    bool leLowFuelAlarmKeyPress(QChar key);
    bool loOverFuelAlarmKeyPress(QChar key);
    bool Memo1KeyPress(QChar key);
    bool SGKeyPress(QChar key);
    void SGSetEditText(int ACol, int ARow, const QString& Value);
    void SGDrawCell(QPainter& painter, int ACol, int ARow, const QRect& Rect, bool selected,
                    bool fixed) const;

    // Reading the dialog's state (for the tile list and for tests).
    QString CellText(int col, int row) const;
    void SetCellText(int col, int row, const QString& text);
    QLineEdit* CellEditor() const;
    QString SavedCellText() const { return savedCellText_; }
    std::vector<TChartPoint> ChartPoints() const;
    const EditorPicture& Picture() const { return picture_; }

    // The widgets, as the form lays them out.
    QGroupBox* GroupBox1 = nullptr; // "Object Data"
    QFrame* PictureFrame = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* Button1 = nullptr;
    QCheckBox* cbAct = nullptr;
    QLineEdit* leName = nullptr;
    QLineEdit* leFType = nullptr;
    QLineEdit* leLowFuelAlarm = nullptr;
    QLineEdit* loOverFuelAlarm = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QGroupBox* GroupBox2 = nullptr; // "Calibration Data"
    QTableWidget* SG = nullptr;
    QCustomPlot* Chart1 = nullptr;
    QCPGraph* Series1 = nullptr;
    QPushButton* Button2 = nullptr; // "Calculate"
    QPushButton* Button3 = nullptr; // "Update"
    QPushButton* Button4 = nullptr; // "Cancel"
    // "Event settings...", in the free corner left of "Calculate": nothing else moves.
    QPushButton* EventSettingsButton = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class EditorGridDelegate;

    TSQLiteDatabase& db_;
    OperatorMessages& messages_;
    PItemNode NodeData_ = nullptr;
    QString savedCellText_;
    EditorPicture picture_;
    EditorGridDelegate* gridDelegate_ = nullptr;

    void BuildObjectData();
    void BuildCalibrationData();
    void BuildButtons();
    void SetKeyboardOrder();
    QLineEdit* AddLabelledEdit(QWidget* parent, const QString& caption, int left, int top);
    void FillTexts();
    void FillCalibration();
    void FillPicture();
    void ShowPicture();
    void SetChartPoints(const std::vector<TChartPoint>& points);
    bool ReadAlarm(QLineEdit* edit, int32_t capacity, int32_t& out);
    void FinishCellEdit();
    void CellEditorOpened(int col, int row);
    void RestoreCell(int ACol, int ARow);
};
