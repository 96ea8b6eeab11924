#include "SettingsUnit.h"

#include "Config.h"
#include "OperatorMessages.h"
#include "WindowPlacement.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

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

TForm2::TForm2(OperatorMessages& messages, std::function<void()> deviceConnect,
               std::unique_ptr<PortListSource> ports, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      messages_(messages), deviceConnect_(std::move(deviceConnect)), ports_(std::move(ports)) {
    setWindowTitle(QStringLiteral("Settings"));
    setFixedSize(220, 271);
    setModal(true);
    CreateControls();
}

void TForm2::CreateControls() {
    auto* portBox = new QGroupBox(QStringLiteral("COM Port"), this);
    portBox->setGeometry(8, 8, 201, 74);
    auto* label = new QLabel(QStringLiteral("Port number:"), portBox);
    label->move(12, 33);
    cbPort = new PortComboBox(portBox);
    cbPort->setEditable(false);
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
}

void TForm2::RequestShow() {
    if (isVisible()) {
        keepOpen_ = true;
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
        CentreOnScreen(*this);
        FormShow();
    }
}

void TForm2::FormShow() {
    FillPortList();
    SelectPort(CfgData.PortNum);
    cbCodePage->setCurrentText(StoredText::CodePageName(LegacyCodePageOf(CfgData)));
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
    // The box is narrow; let the opened list be as wide as the longest name.
    int widest = 0;
    const QFontMetrics metrics(cbPort->view()->font());
    for (const QString& name : entries_)
        widest = std::max(widest, metrics.horizontalAdvance(name));
    cbPort->view()->setMinimumWidth(widest + 24);
}

void TForm2::SelectPort(const QString& name) {
    const int index = cbPort->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    cbPort->setCurrentIndex(index);
    cbPort->setToolTip(cbPort->currentText());
}

bool TForm2::ChoiceUnchanged() const {
    return LinkChoiceUnchanged() &&
           cbCodePage->currentText() == StoredText::CodePageName(LegacyCodePageOf(CfgData));
}

bool TForm2::LinkChoiceUnchanged() const {
    return WorkModeIndex(CfgData.WrkMode) == WrkModeItems->checkedId() &&
           cbPort->currentText() == CfgData.PortNum;
}

void TForm2::Button1Click() {
    keepOpen_ = false;
    const bool applied = Guarded(messages_, [&] { ApplyChoice(); });
    if (!applied || keepOpen_) {
        // The reconnection asked for a port again (or failed): stay open on what is stored.
        keepOpen_ = false;
        FormShow();
        return;
    }
    accept();
}

void TForm2::ApplyChoice() {
    if (ChoiceUnchanged())
        return;
    // Only a new port or mode needs the line reconnected.
    const bool reconnect = !LinkChoiceUnchanged();
    CfgData.PortNum = cbPort->currentText();
    CfgData.WrkMode = WorkModeText(WrkModeItems->checkedId());
    CfgData.CodePage = cbCodePage->currentText();
    WrCfgData(CfgData);
    UseCodePage(CfgData);
    if (reconnect && deviceConnect_)
        deviceConnect_();
}
