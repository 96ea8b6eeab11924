#include "SettingsUnit.h"

#include "Config.h"
#include "OperatorMessages.h"
#include "PasswordMove.h"
#include "PgConnection.h"
#include "ReportTool.h"
#include "WindowPlacement.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QThread>

void PortComboBox::showPopup() {
    if (onDropDown)
        onDropDown();
    QComboBox::showPopup();
}

int WorkModeIndex(const QString& mode) {
    if (mode == QLatin1String(kModeDirect))
        return 0;
    if (mode == QLatin1String(kModeLogger))
        return 1;
    return -1;
}

QString WorkModeText(int index) {
    return QLatin1String(index == 1 ? kModeLogger : kModeDirect);
}

TForm2::TForm2(OperatorMessages& messages, TSetup& settings, std::function<void()> deviceConnect,
               std::unique_ptr<PortListSource> ports, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      messages_(messages), CfgData(settings), deviceConnect_(std::move(deviceConnect)),
      ports_(std::move(ports)) {
    setWindowTitle(QStringLiteral("Settings"));
    setFixedSize(220, 271);
    setModal(true);
    CreateControls();
}

void TForm2::CreateControls() {
    portBox_ = new QGroupBox(QStringLiteral("COM Port"), this);
    portBox_->setGeometry(8, 8, 201, 74);
    auto* label = new QLabel(QStringLiteral("Port number:"), portBox_);
    label->move(12, 33);
    cbPort = new PortComboBox(portBox_);
    cbPort->setEditable(false);
    cbPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cbPort->setGeometry(118, 29, 75, cbPort->sizeHint().height());
    cbPort->onDropDown = [this] { cbPortDropDown(); };

    WrkMode = new QGroupBox(QStringLiteral("Working Mode"), this);
    WrkMode->setGeometry(8, 88, 201, 73);
    WrkModeItems = new QButtonGroup(this);
    const char* items[] = {"Direct Connection", "Logger Connection"};
    for (int i = 0; i < 2; ++i) {
        auto* item = new QRadioButton(QString::fromLatin1(items[i]), WrkMode);
        item->setGeometry(10, 20 + i * 22, 180, 20);
        WrkModeItems->addButton(item, i);
    }
    WrkMode->setEnabled(false);

    auto* textsBox = new QGroupBox(QStringLiteral("Texts of Older Files"), this);
    textsBox->setGeometry(8, 167, 201, 50);
    auto* pageLabel = new QLabel(QStringLiteral("Code page:"), textsBox);
    pageLabel->move(12, 23);
    cbCodePage = new QComboBox(textsBox);
    cbCodePage->setEditable(false);
    cbCodePage->addItems(StoredText::CodePageNames());
    // As wide as its longest name needs, right edge in line with the port box.
    const QSize pageSize = cbCodePage->sizeHint();
    cbCodePage->setGeometry(193 - pageSize.width(), 19, pageSize.width(), pageSize.height());
    pageLabel->setBuddy(cbCodePage);

    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setGeometry(126, 232, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    AddCentralGroup();
    AddShiftGroup();
    // The outbound settings' buttons take a row of their own above "Ok".
    btnMqtt = new QPushButton(QStringLiteral("MQTT..."), this);
    btnMqtt->setGeometry(8, Button1->y(), 75, 25);
    Button1->move(Button1->x(), Button1->y() + 33);
    setFixedSize(width(), height() + 33);
    connect(btnMqtt, &QPushButton::clicked, this, [this] {
        if (openMqtt)
            openMqtt();
    });
    btnMail = new QPushButton(QStringLiteral("E-mail..."), this);
    btnMail->setGeometry(btnMqtt->geometry().right() + 6, Button1->y(), 75, 25);
    connect(btnMail, &QPushButton::clicked, this, [this] {
        if (openMail)
            openMail();
    });
    FitToPortNames();
}

// Below the central server, as that group is below the others.
void TForm2::AddShiftGroup() {
    const int top = Button1->geometry().top();
    const int width = this->width() - 2 * 8 - 3;
    constexpr int kHeight = 50;
    auto* box = new QGroupBox(QStringLiteral("Balance report"), this);
    box->setObjectName("ShiftBox");
    box->setGeometry(8, top, width, kHeight);
    auto* label = new QLabel(QStringLiteral("Shift starts:"), box);
    label->move(10, 23);
    edShiftStarts = new QLineEdit(box);
    edShiftStarts->setObjectName("edShiftStarts");
    edShiftStarts->setPlaceholderText(QStringLiteral("06:00,18:00"));
    edShiftStarts->setToolTip(
        QStringLiteral("Times as hh:mm separated by commas; empty for calendar days"));
    edShiftStarts->setGeometry(90, 19, width - 100, edShiftStarts->sizeHint().height());
    label->setBuddy(edShiftStarts);
    Button1->move(Button1->x(), top + kHeight + 8);
    setFixedSize(this->width(), height() + kHeight + 8);
}

std::vector<int> TForm2::EnteredShiftStarts() const {
    std::vector<int> starts;
    ParseShiftSetting(edShiftStarts->text(), starts);
    return starts;
}

bool TForm2::ShiftStartsValid() {
    std::vector<int> starts;
    if (ParseShiftSetting(edShiftStarts->text(), starts))
        return true;
    messages_.ShowMessage("Shift starts must be times as hh:mm separated by commas, such as "
                          "06:00,18:00, or nothing for calendar days.");
    edShiftStarts->setFocus();
    edShiftStarts->selectAll();
    return false;
}

// Below the controls above, whatever their sizes: the "Ok" button moves under the group and
// the dialog grows by the group's height.
void TForm2::AddCentralGroup() {
    const int top = Button1->geometry().top();
    const int width = this->width() - 2 * 8 - 3;
    auto* box = new QGroupBox(QStringLiteral("Central server"), this);
    box->setGeometry(8, top, width, 150);
    auto* conn = new QLabel(QStringLiteral("Connection:"), box);
    conn->move(10, 22);
    edCentralConnection = new QLineEdit(box);
    edCentralConnection->setGeometry(10, 38, width - 20, edCentralConnection->sizeHint().height());
    edCentralConnection->setPlaceholderText(QStringLiteral("host=... dbname=... user=..."));
    auto* station = new QLabel(QStringLiteral("Station:"), box);
    station->move(10, 68);
    edCentralStation = new QLineEdit(box);
    edCentralStation->setGeometry(70, 64, width - 80, edCentralStation->sizeHint().height());
    btnTestCentral = new QPushButton(QStringLiteral("Test connection"), box);
    btnTestCentral->setGeometry(10, 92, width - 20, 25);
    lbCentralAnswer = new QLabel(box);
    lbCentralAnswer->setGeometry(10, 118, width - 20, 30);
    lbCentralAnswer->setWordWrap(true);
    lbCentralAnswer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(btnTestCentral, &QPushButton::clicked, this, [this] { btnTestCentralClick(); });
    centralProbe = [](const std::string& conninfo) { return TestCentralConnection(conninfo); };
    Button1->move(Button1->x(), top + 150 + 15);
    setFixedSize(this->width(), height() + 150 + 6);
}

void TForm2::btnTestCentralClick() {
    const std::string conninfo = edCentralConnection->text().trimmed().toStdString();
    if (conninfo.empty()) {
        lbCentralAnswer->setText(QStringLiteral("No connection entered: nothing is sent."));
        return;
    }
    btnTestCentral->setEnabled(false);
    lbCentralAnswer->setText(QStringLiteral("Connecting..."));
    // libpq may wait up to its connect timeout: the dialog stays responsive meanwhile.
    auto answer = std::make_shared<std::string>();
    QThread* probe =
        QThread::create([answer, conninfo, ask = centralProbe] { *answer = ask(conninfo); });
    QPointer<TForm2> self(this);
    connect(probe, &QThread::finished, this, [self, answer] {
        if (!self)
            return;
        self->btnTestCentral->setEnabled(true);
        self->lbCentralAnswer->setText(QString::fromStdString(*answer));
        self->lbCentralAnswer->setToolTip(QString::fromStdString(*answer));
    });
    connect(probe, &QThread::finished, probe, &QObject::deleteLater);
    probe->start();
}

void TForm2::ApplyCentral() {
    TCentralSetup entered{edCentralConnection->text().trimmed(),
                          edCentralStation->text().trimmed()};
    // A typed password never reaches the settings file, which others may read.
    if (const std::string told = MovePasswordOut(entered.Connection); !told.empty()) {
        edCentralConnection->setText(entered.Connection);
        messages_.ShowMessage(told);
    }
    if (entered.Station.isEmpty())
        entered.Station = CfgData.Central.Station;
    if (entered == CfgData.Central)
        return;
    // Unsaved, the change is dropped: sending goes on as before.
    if (!WrCentralData(entered)) {
        messages_.ShowMessage(
            QStringLiteral("The central server settings could not be saved to %1; sending goes "
                           "on as before.")
                .arg(ConfigLocation())
                .toStdString());
        return;
    }
    CfgData.Central = entered;
    if (centralChanged_)
        centralChanged_();
}

void TForm2::RequestShow() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    RunModal();
}

void TForm2::RunModal() {
    exec();
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow(); // first: the port names decide the dialog's width
        CentreOnScreen(*this);
    }
}

void TForm2::FormShow() {
    const TCentralSetup& central = CfgData.Central;
    edCentralConnection->setText(central.Connection);
    edCentralStation->setText(central.Station);
    lbCentralAnswer->clear();
    FillPortList();
    SelectPort(CfgData.PortNum);
    cbCodePage->setCurrentText(StoredText::CodePageName(LegacyCodePageOf(CfgData)));
    edShiftStarts->setText(CfgData.ShiftStarts);
    QAbstractButton* mode = WrkModeItems->button(WorkModeIndex(CfgData.WrkMode));
    if (mode) {
        mode->setChecked(true);
    } else {
        // No item: the group must allow none checked for a moment to clear it.
        WrkModeItems->setExclusive(false);
        for (QAbstractButton* item : WrkModeItems->buttons())
            item->setChecked(false);
        WrkModeItems->setExclusive(true);
    }
}

void TForm2::cbPortDropDown() {
    const QString shown = cbPort->currentText();
    FillPortList();
    SelectPort(shown);
}

void TForm2::FillPortList() {
    if (!RefillPortNames(*ports_, entries_))
        return;
    const QSignalBlocker quiet(cbPort);
    cbPort->clear();
    cbPort->addItems(entries_);
    FitToPortNames();
}

void TForm2::FitToPortNames() {
    // The box keeps its 75 pixels for short names (COM1) and grows for long ones (a
    // simulated line's full path, /dev/ttyUSB0); the frame grows with it, and the dialog is
    // never narrower than its title needs beside the title bar's buttons.
    constexpr int kBoxWidth = 75, kGroupWidth = 201, kDialogWidth = 220;
    constexpr int kTitleBarButtons = 96;
    const int box = std::max(kBoxWidth, cbPort->sizeHint().width());
    const int group = kGroupWidth + (box - kBoxWidth);
    const int title =
        QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(windowTitle()) +
        kTitleBarButtons;
    const int dialog = std::max({kDialogWidth, group + (kDialogWidth - kGroupWidth), title});
    cbPort->resize(box, cbPort->height());
    portBox_->resize(dialog - (kDialogWidth - kGroupWidth), portBox_->height());
    WrkMode->resize(portBox_->width(), WrkMode->height());
    if (QWidget* textsBox = cbCodePage ? cbCodePage->parentWidget() : nullptr) {
        // The code page box keeps its right edge in line with the port box.
        textsBox->resize(portBox_->width(), textsBox->height());
        cbCodePage->move(textsBox->width() - 8 - cbCodePage->width(), cbCodePage->y());
    }
    if (QWidget* centralBox = edCentralConnection ? edCentralConnection->parentWidget() : nullptr) {
        const int inner = dialog - 2 * 8 - 3 - 20;
        centralBox->resize(inner + 20, centralBox->height());
        edCentralConnection->resize(inner, edCentralConnection->height());
        edCentralStation->resize(inner - 60, edCentralStation->height());
        btnTestCentral->resize(inner, btnTestCentral->height());
        lbCentralAnswer->resize(inner, lbCentralAnswer->height());
    }
    if (QWidget* shiftBox = edShiftStarts ? edShiftStarts->parentWidget() : nullptr) {
        shiftBox->resize(dialog - 2 * 8 - 3, shiftBox->height());
        edShiftStarts->resize(shiftBox->width() - 100, edShiftStarts->height());
    }
    Button1->move(dialog - (kDialogWidth - 126), Button1->y());
    setFixedSize(dialog, height());
}

void TForm2::SelectPort(const QString& name) {
    const int index = cbPort->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    cbPort->setCurrentIndex(index);
    cbPort->setToolTip(cbPort->currentText());
}

bool TForm2::ChoiceUnchanged() const {
    return LinkChoiceUnchanged() &&
           cbCodePage->currentText() == StoredText::CodePageName(LegacyCodePageOf(CfgData)) &&
           EnteredShiftStarts() == ShiftStartsOf(CfgData);
}

bool TForm2::LinkChoiceUnchanged() const {
    return WorkModeIndex(CfgData.WrkMode) == WrkModeItems->checkedId() &&
           ChosenPort() == CfgData.PortNum;
}

// A list without the configured port (its adapter pulled out) chooses nothing: "Ok" keeps
// the port, whose line is then tried again by itself until the adapter is back.
QString TForm2::ChosenPort() const {
    return cbPort->currentIndex() < 0 ? CfgData.PortNum : cbPort->currentText();
}

void TForm2::Button1Click() {
    // What was typed stays in the field to be mended.
    if (!ShiftStartsValid())
        return;
    if (!Guarded(messages_, [&] { ApplyChoice(); })) {
        // The choice could not be applied: stay open on what is stored.
        FormShow();
        return;
    }
    accept();
}

void TForm2::ApplyChoice() {
    ApplyCentral();
    // "Ok" on the port in use while its line is down tries it again at once.
    const bool retryNow = LinkChoiceUnchanged() && lineDown && lineDown() &&
                          !CfgData.PortNum.isEmpty() && cbPort->currentIndex() >= 0;
    if (ChoiceUnchanged()) {
        if (retryNow && deviceConnect_)
            deviceConnect_();
        return;
    }
    // Only a new port or mode needs the line reconnected.
    const bool reconnect = !LinkChoiceUnchanged() || retryNow;
    CfgData.PortNum = ChosenPort();
    CfgData.WrkMode = WorkModeText(WrkModeItems->checkedId());
    CfgData.CodePage = cbCodePage->currentText();
    CfgData.ShiftStarts = QString::fromStdString(ShiftStartsText(EnteredShiftStarts()));
    if (!WrCfgData(CfgData))
        messages_.ShowMessage(SettingsNotSavedText().toStdString());
    UseCodePage(CfgData);
    if (reconnect && deviceConnect_)
        deviceConnect_();
}
