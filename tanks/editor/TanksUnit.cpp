#include "TanksUnit.h"

#include "CalibrationGrid.h"
#include "Database.h"
#include "EditorRules.h"
#include "OperatorMessages.h"
#include "StoredText.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>

#include <qcustomplot.h>

#include <algorithm>

using namespace EditorRules;

using namespace CalibrationGrid;

namespace {
const QColor kSeriesColour(68, 102, 163);
} // namespace

TEditor::TEditor(TSQLiteDatabase& db, OperatorMessages& messages, QWidget* parent)
    : QDialog(parent), db_(db), messages_(messages) {
    setWindowTitle(QStringLiteral("Editor"));
    setFixedSize(697, 540);
    BuildObjectData();
    BuildCalibrationData();
    BuildButtons();
    SetKeyboardOrder();
    PickPictureFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(),
                                            PictureFileFilter());
    };
    FormCreate();
}

TEditor::~TEditor() = default;

// ---- layout ------------------------------------------------------------------------

QLineEdit* TEditor::AddLabelledEdit(QWidget* parent, const QString& caption, int left, int top) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(left, top, 161, 21);
    auto* label = new QLabel(caption, parent);
    label->adjustSize();
    label->move(left, top - label->height() - 3);
    label->setBuddy(edit);
    return edit;
}

void TEditor::BuildObjectData() {
    GroupBox1 = new QGroupBox(QStringLiteral("Object Data"), this);
    GroupBox1->setGeometry(8, 2, 185, 495);

    PictureFrame = new QFrame(GroupBox1);
    PictureFrame->setGeometry(12, 19, 69, 69);
    PictureFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PictureFrame->setLineWidth(2);
    QPalette white = PictureFrame->palette();
    white.setColor(QPalette::Window, Qt::white);
    PictureFrame->setPalette(white);
    PictureFrame->setAutoFillBackground(true);
    Image1 = new QLabel(PictureFrame);
    Image1->setGeometry(2, 2, kPictureSide, kPictureSide);
    Image1->setAlignment(Qt::AlignCenter);

    Button1 = new QPushButton(QStringLiteral("Change Image"), GroupBox1);
    Button1->setGeometry(89, 63, 84, 25);
    cbAct = new QCheckBox(QStringLiteral("Activity"), GroupBox1);
    cbAct->setLayoutDirection(Qt::RightToLeft); // caption to the left of the box
    // Where a wider fallback font needs more room, grow to the left, keeping the box's
    // right edge in line with "Change Image".
    const int actWidth = std::max(59, cbAct->sizeHint().width());
    cbAct->setGeometry(114 + 59 - actWidth, 19, actWidth, 17);

    leName = AddLabelledEdit(GroupBox1, QStringLiteral("Tank Name:"), 12, 122);
    leFType = AddLabelledEdit(GroupBox1, QStringLiteral("Fuel Type:"), 12, 171);
    leLowFuelAlarm =
        AddLabelledEdit(GroupBox1, QStringLiteral("Low Fuel Alarm (0 - disabled):"), 12, 210);
    loOverFuelAlarm =
        AddLabelledEdit(GroupBox1, QStringLiteral("Over Fuel Alarm (0 - disabled):"), 12, 250);

    auto* memoLabel = new QLabel(QStringLiteral("Additional Data (400 symbols):"), GroupBox1);
    memoLabel->move(14, 286);
    memoLabel->adjustSize();
    Memo1 = new QPlainTextEdit(GroupBox1);
    Memo1->setGeometry(12, 305, 161, 179);
    Memo1->setTabChangesFocus(true);
    memoLabel->setBuddy(Memo1);

    leLowFuelAlarm->installEventFilter(this);
    loOverFuelAlarm->installEventFilter(this);
    Memo1->installEventFilter(this);
}

void TEditor::BuildCalibrationData() {
    GroupBox2 = new QGroupBox(QStringLiteral("Calibration Data"), this);
    GroupBox2->setGeometry(199, 2, 490, 495);

    SG = MakeCalibrationGrid(GroupBox2);
    gridDelegate_ = new EditorGridDelegate(*this);
    SG->setItemDelegate(gridDelegate_);

    auto* chartFrame = new QFrame(GroupBox2);
    chartFrame->setGeometry(132, 18, 348, 466);
    chartFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette grey = chartFrame->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    chartFrame->setPalette(grey);
    Chart1 = new QCustomPlot(chartFrame);
    Chart1->setGeometry(1, 1, 346, 464);
    Chart1->setInteractions(QCP::Interactions());
    Chart1->legend->setVisible(false);
    Chart1->xAxis->setLabel(QStringLiteral("Code"));
    Chart1->yAxis->setLabel(QStringLiteral("Litres"));
    Series1 = Chart1->addGraph();
    QPen pen(kSeriesColour);
    pen.setWidth(2);
    Series1->setPen(pen);
    Series1->setLineStyle(QCPGraph::lsLine);
    Series1->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssCircle, kSeriesColour, Qt::white, 6));
}

void TEditor::BuildButtons() {
    Button2 = new QPushButton(QStringLiteral("Calculate"), this);
    Button2->setGeometry(250, 504, 75, 25);
    Button4 = new QPushButton(QStringLiteral("Cancel"), this);
    Button4->setGeometry(523, 504, 75, 25);
    Button3 = new QPushButton(QStringLiteral("Update"), this);
    Button3->setGeometry(604, 504, 75, 25);
    // Return in an edit must not press a button behind the operator's back.
    for (QPushButton* b : {Button1, Button2, Button3, Button4})
        b->setAutoDefault(false);
    EventSettingsButton = new QPushButton(QStringLiteral("Event settings..."), this);
    EventSettingsButton->setObjectName("eventSettings");
    EventSettingsButton->setGeometry(12, 504, 110, 25);
    connect(EventSettingsButton, &QPushButton::clicked, this, [this] {
        if (OpenEventSettings && NodeData_)
            Guarded(messages_, [&] { OpenEventSettings(*NodeData_); });
    });
    connect(Button1, &QPushButton::clicked, this, &TEditor::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TEditor::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TEditor::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TEditor::Button4Click);
}

void TEditor::SetKeyboardOrder() {
    const QWidget* order[] = {Button2,         Button3, SG,      leName,
                              Button1,         cbAct,   leFType, leLowFuelAlarm,
                              loOverFuelAlarm, Memo1,   Button4};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
}

void TEditor::FormCreate() {
    for (int c = 0; c < kGridColumns; ++c)
        SG->setColumnWidth(c, kCellWidths[c] + kGridLine);
    for (int r = 0; r < kGridRows; ++r)
        for (int c = 0; c < kGridColumns; ++c) {
            auto* item = new QTableWidgetItem;
            item->setFlags(IsFixed(c, r)
                               ? Qt::NoItemFlags
                               : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
            SG->setItem(r, c, item);
        }
    for (int r = 1; r < kGridRows; ++r)
        SetCellText(0, r, QString::number(r));
    SetCellText(kCodeColumn, 0, QStringLiteral("code"));
    SetCellText(kLitresColumn, 0, QStringLiteral("litres"));
    SG->setCurrentCell(1, kCodeColumn);
}

void TEditor::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

// ---- filling -----------------------------------------------------------------------

bool TEditor::UpdateData(PItemNode NodeData) {
    if (!NodeData)
        return false;
    FinishCellEdit();
    NodeData_ = NodeData;
    EventSettingsButton->setVisible(bool(OpenEventSettings));
    return Guarded(messages_, [&] {
        FillTexts();
        // Always this tank's own table: a grid left from another tank would be stored
        // into this one by "Calculate" and "Update".
        FillCalibration();
        FillPicture();
    });
}

void TEditor::FillTexts() {
    const TItemNode& n = *NodeData_;
    leName->setText(StoredText::FromStored(n.Name));
    leFType->setText(StoredText::FromStored(n.FType));
    leLowFuelAlarm->setText(QString::number(n.LowFuel));
    loOverFuelAlarm->setText(QString::number(n.OverFuel));
    cbAct->setChecked(n.Act);
    Memo1->setPlainText(MemoFromRecord(n.Memo));
}

void TEditor::FillCalibration() {
    const TFTable& table = NodeData_->FTable;
    if (std::all_of(table.begin(), table.end(),
                    [](const TCalPoint& p) { return p == TCalPoint{}; })) {
        for (int r = 1; r < kGridRows; ++r) {
            SetCellText(kCodeColumn, r, QString());
            SetCellText(kLitresColumn, r, QString());
        }
        SetChartPoints({});
        return;
    }
    std::vector<TChartPoint> points{{0, 0}};
    for (int i = 0; i < kCalPointCount; ++i) {
        const TCalPoint& p = NodeData_->FTable[i];
        const int row = i + 1;
        if (i == 0 || p.Code != 0) {
            SetCellText(kCodeColumn, row, QString::number(p.Code));
            SetCellText(kLitresColumn, row, QString::number(p.Litres));
            points.push_back({static_cast<double>(p.Code), static_cast<double>(p.Litres)});
        } else {
            SetCellText(kCodeColumn, row, QString());
            SetCellText(kLitresColumn, row, QString());
        }
    }
    SetChartPoints(points);
}

void TEditor::FillPicture() {
    const EditorPicture::Stored stored = picture_.SetStored(NodeData_->Img);
    ShowPicture();
    // Unreadable bytes would keep the operator out of the tank for good; say so and let
    // everything else be edited.
    if (stored == EditorPicture::Stored::Unreadable)
        messages_.ShowMessage(kMsgPictureUnreadable);
}

void TEditor::ShowPicture() {
    if (picture_.Image().isNull())
        Image1->clear();
    else
        Image1->setPixmap(QPixmap::fromImage(picture_.Image()));
}

void TEditor::SetChartPoints(const std::vector<TChartPoint>& points) {
    QVector<double> keys;
    QVector<double> values;
    for (const TChartPoint& p : points) {
        keys << p.x;
        values << p.y;
    }
    Series1->setData(keys, values);
    if (points.empty()) {
        Chart1->xAxis->setRange(0, 1);
        Chart1->yAxis->setRange(0, 1);
    } else {
        Chart1->rescaleAxes();
        Chart1->xAxis->scaleRange(1.1);
        Chart1->yAxis->scaleRange(1.1);
    }
    Chart1->replot(QCustomPlot::rpQueuedReplot);
}

std::vector<TChartPoint> TEditor::ChartPoints() const {
    std::vector<TChartPoint> points;
    for (auto it = Series1->data()->constBegin(); it != Series1->data()->constEnd(); ++it)
        points.push_back({it->key, it->value});
    return points;
}

// ---- buttons -----------------------------------------------------------------------

void TEditor::Button1Click() {
    Guarded(messages_, [&] {
        const QString path = PickPictureFile ? PickPictureFile() : QString();
        if (path.isEmpty())
            return;
        picture_.Clear();
        ShowPicture();
        picture_.LoadFile(path);
        ShowPicture();
    });
}

void TEditor::Button2Click() {
    Guarded(messages_, [&] {
        FinishCellEdit();
        SetChartPoints({});
        if (!NodeData_)
            return;
        TCalRows rows;
        for (int r = 1; r < kGridRows; ++r)
            rows[r - 1] = {CellText(kCodeColumn, r).toStdString(),
                           CellText(kLitresColumn, r).toStdString()};
        const TCalibrationResult result = BuildCalibration(*NodeData_, rows);
        if (!result.ok) {
            messages_.ShowMessage(result.message);
            return;
        }
        SetChartPoints(result.points);
    });
}

bool TEditor::ReadAlarm(QLineEdit* edit, int32_t capacity, int32_t& out) {
    std::string refusal;
    if (!ParseInt32(edit->text().toStdString(), out))
        refusal = kMsgInadmissible;
    else if (!AlarmWithinCapacity(out, capacity))
        refusal = AlarmAboveCapacityText(capacity);
    else
        return true;
    messages_.Beep();
    messages_.ShowMessage(refusal);
    edit->setFocus();
    return false;
}

void TEditor::Button3Click() {
    Guarded(messages_, [&] {
        if (!NodeData_)
            return;
        TItemNode& n = *NodeData_;
        n.Name = StoredText::ToStored(leName->text());
        n.Act = cbAct->isChecked();
        n.FType = StoredText::ToStored(leFType->text());
        n.Memo = MemoToRecord(Memo1->toPlainText());
        int32_t value = 0;
        if (!ReadAlarm(leLowFuelAlarm, n.Capacity, value))
            return;
        n.LowFuel = value;
        if (!ReadAlarm(loOverFuelAlarm, n.Capacity, value))
            return;
        n.OverFuel = value;
        n.Img = picture_.Bytes();
        SaveTank(db_, n, messages_);
        accept();
    });
}

void TEditor::Button4Click() {
    reject();
}

// ---- key filters -------------------------------------------------------------------

bool TEditor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto c = TypedCharacter(*static_cast<QKeyEvent*>(event));
    if (!c)
        return false;
    bool pass = true;
    if (watched == leLowFuelAlarm)
        pass = leLowFuelAlarmKeyPress(*c);
    else if (watched == loOverFuelAlarm)
        pass = loOverFuelAlarmKeyPress(*c);
    else if (watched == Memo1)
        pass = Memo1KeyPress(*c);
    return !pass;
}

bool TEditor::leLowFuelAlarmKeyPress(QChar key) {
    if (IsPassThrough(key) || IsDigit(key))
        return true;
    messages_.Beep();
    return false;
}

bool TEditor::loOverFuelAlarmKeyPress(QChar key) {
    return leLowFuelAlarmKeyPress(key);
}

bool TEditor::Memo1KeyPress(QChar key) {
    if (IsPassThrough(key) || MemoLength(Memo1->toPlainText()) < kMemoLimit)
        return true;
    messages_.Beep();
    return false;
}
