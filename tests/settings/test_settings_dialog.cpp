#include "ConditionDesk.h"
#include "Config.h"
#include "FakePorts.h"
#include "SettingsUnit.h"
#include "sensors/SensorFixture.h"

#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

// Shows itself without blocking, so that a test can press "Ok" on the open dialog.
class OpenSettings : public TForm2 {
public:
    using TForm2::TForm2;
    int modalRuns = 0;

protected:
    void RunModal() override {
        ++modalRuns;
        show();
    }
};

FakePorts* Ports(std::unique_ptr<FakePorts>& owner) {
    owner = std::make_unique<FakePorts>();
    return owner.get();
}

QStringList Items(const QComboBox& box) {
    QStringList out;
    for (int i = 0; i < box.count(); ++i)
        out << box.itemText(i);
    return out;
}

void Store(TSetup& settings, const QString& port, const QString& mode) {
    settings.PortNum = port;
    settings.WrkMode = mode;
    QVERIFY(WrCfgData(settings));
}

QByteArray StoredBytes() {
    QFile file(ConfigLocation());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSettingsDialog : public QObject {
    Q_OBJECT
    // The station's settings, as the main window holds them.
    TSetup cfg;

private slots:
    void init() {
        QFile::remove(ConfigLocation());
        cfg = TSetup{};
    }

    void showingListsPortsSortedAndSelectsTheStoredOne() {
        Store(cfg, "COM10", kModeLogger);
        std::unique_ptr<FakePorts> owner;
        FakePorts* ports = Ports(owner);
        ports->names = {"COM2", "COM10", "com1"};
        RecordingMessages messages;
        OpenSettings form(
            messages, cfg, [] {}, std::move(owner));
        form.RequestShow();
        QCOMPARE(Items(*form.cbPort), QStringList({"com1", "COM10", "COM2"}));
        QCOMPARE(form.cbPort->currentText(), QString("COM10"));
        QCOMPARE(form.WrkModeItems->checkedId(), 1);
        QVERIFY(!form.WrkMode->isEnabled());
        QCOMPARE(form.windowTitle(), QString("Settings"));
        QCOMPARE(form.Button1->text(), QString("Ok"));
    }

    void storedPortThatIsAbsentShowsNothingSelected() {
        Store(cfg, "COM7", kModeDirect);
        std::unique_ptr<FakePorts> owner;
        Ports(owner)->names = {"COM1", "COM2"};
        RecordingMessages messages;
        OpenSettings form(
            messages, cfg, [] {}, std::move(owner));
        form.RequestShow();
        QCOMPARE(form.cbPort->currentIndex(), -1);
        QCOMPARE(form.cbPort->currentText(), QString());
    }

    void openingTheListRefillsItAndKeepsTheChoice() {
        Store(cfg, "COM1", kModeDirect);
        std::unique_ptr<FakePorts> owner;
        FakePorts* ports = Ports(owner);
        ports->names = {"COM1", "COM3"};
        RecordingMessages messages;
        OpenSettings form(
            messages, cfg, [] {}, std::move(owner));
        form.RequestShow();
        form.cbPort->setCurrentIndex(form.cbPort->findText("COM3"));

        // A USB adapter was plugged in while the dialog stood open.
        ports->names = {"COM4", "COM3", "COM1", "COM12"};
        const int readsBefore = ports->reads;
        form.cbPort->showPopup();
        QCOMPARE(ports->reads, readsBefore + 1);
        QCOMPARE(Items(*form.cbPort), QStringList({"COM1", "COM12", "COM3", "COM4"}));
        QCOMPARE(form.cbPort->currentText(), QString("COM3"));
        form.cbPort->hidePopup();

        // The platform's list cannot be read: what was offered stays.
        ports->readable = false;
        form.cbPort->showPopup();
        QCOMPARE(Items(*form.cbPort), QStringList({"COM1", "COM12", "COM3", "COM4"}));
        QCOMPARE(form.cbPort->currentText(), QString("COM3"));
        form.cbPort->hidePopup();
    }

    void okUntouchedWritesNothingAndDoesNotReconnect() {
        Store(cfg, "COM2", kModeDirect);
        const QByteArray before = StoredBytes();
        QVERIFY(QFile::remove(ConfigLocation())); // any write would bring the file back
        std::unique_ptr<FakePorts> owner;
        Ports(owner)->names = {"COM1", "COM2"};
        RecordingMessages messages;
        int reconnects = 0;
        OpenSettings form(
            messages, cfg, [&] { ++reconnects; }, std::move(owner));
        form.RequestShow();
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QCOMPARE(reconnects, 0);
        QVERIFY(!QFile::exists(ConfigLocation()));
        QVERIFY(!form.isVisible());
        QVERIFY(!before.isEmpty());
    }

    void changedPortIsStoredAndReconnectsOnce() {
        Store(cfg, "COM1", kModeLogger);
        std::unique_ptr<FakePorts> owner;
        Ports(owner)->names = {"COM1", "COM2"};
        RecordingMessages messages;
        int reconnects = 0;
        QString portAtReconnect;
        OpenSettings form(
            messages, cfg,
            [&] {
                ++reconnects;
                portAtReconnect = cfg.PortNum;
            },
            std::move(owner));
        form.RequestShow();
        form.cbPort->setCurrentIndex(form.cbPort->findText("COM2"));
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QCOMPARE(reconnects, 1);
        QCOMPARE(portAtReconnect, QString("COM2"));
        QVERIFY(!form.isVisible());
        TSetup stored;
        RCfgData(stored);
        QCOMPARE(stored.PortNum, QString("COM2"));
        QCOMPARE(stored.WrkMode, QString(kModeLogger));
        QVERIFY(messages.shown.empty());
    }

    // A store that cannot be written (here a folder where the file should be, which stops
    // even root) is told to the operator; the line still goes over to the chosen port.
    void unsavedChoiceIsToldAndStillApplied() {
        QDir().mkpath(ConfigLocation());
        std::unique_ptr<FakePorts> owner;
        Ports(owner)->names = {"COM1", "COM2"};
        RecordingMessages messages;
        int reconnects = 0;
        OpenSettings form(
            messages, cfg, [&] { ++reconnects; }, std::move(owner));
        form.RequestShow();
        form.cbPort->setCurrentIndex(form.cbPort->findText("COM2"));
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QDir().rmdir(ConfigLocation());
        QCOMPARE(messages.shown, std::vector<std::string>{SettingsNotSavedText().toStdString()});
        QVERIFY(messages.shown[0].find("could not be saved") != std::string::npos);
        QCOMPARE(reconnects, 1);
        QCOMPARE(cfg.PortNum, QString("COM2"));
        QVERIFY(!form.isVisible());
    }

    void storeWithoutAModeGetsDirectOnOk() {
        // A first start: nothing stored yet, the operator picks a port.
        RCfgData(cfg);
        std::unique_ptr<FakePorts> owner;
        Ports(owner)->names = {"COM5"};
        RecordingMessages messages;
        int reconnects = 0;
        OpenSettings form(
            messages, cfg, [&] { ++reconnects; }, std::move(owner));
        form.RequestShow();
        QCOMPARE(form.cbPort->currentIndex(), -1);
        form.cbPort->setCurrentIndex(0);
        form.Button1Click();
        QCOMPARE(reconnects, 1);
        TSetup stored;
        RCfgData(stored);
        QCOMPARE(stored.PortNum, QString("COM5"));
        QCOMPARE(stored.WrkMode, QString(kModeDirect));
    }

    // The reconnection after "Ok" finds the chosen port gone. Nothing is shown inside "Ok":
    // it closes the dialog, and then the station shows the box and, once it is dismissed,
    // the dialog again; the operator picks again and the link ends on the last choice.
    void portGoneAfterOkAsksAgainOnceOkReturned() {
        Store(cfg, "COM1", kModeDirect);
        SensorFixture fx;
        fx.port->present = {"COM1", "COM3"};
        std::unique_ptr<FakePorts> owner;
        Ports(owner)->names = {"COM1", "COM3", "COM9"};
        RecordingMessages boxes;
        OpenSettings form(
            boxes, cfg,
            [&] {
                fx.portName = cfg.PortNum;
                fx.link->DeviceConnect();
            },
            std::move(owner));
        ConditionDesk desk(boxes, {{}, {}, [&] { form.RequestShow(); }, [] { return 0.0; }});
        fx.messages.passOn = &desk;

        form.RequestShow();
        form.cbPort->setCurrentIndex(form.cbPort->findText("COM9")); // listed, but gone
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QVERIFY(boxes.shown.empty());
        QTRY_COMPARE(form.modalRuns, 2);
        QCOMPARE(boxes.shown,
                 std::vector<std::string>({"ComPort absent (COM9). Please select another port."}));
        QVERIFY(!fx.port->Connected());
        QCOMPARE(form.cbPort->currentText(), QString("COM9")); // shows what is stored

        form.cbPort->setCurrentIndex(form.cbPort->findText("COM3"));
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(boxes.shown.size(), std::size_t(1));
        QCOMPARE(form.modalRuns, 2);
        QVERIFY(fx.port->Connected());
        QCOMPARE(fx.port->Name(), std::string("COM3"));
        TSetup stored;
        RCfgData(stored);
        QCOMPARE(stored.PortNum, QString("COM3"));
    }

    // The adapter is out at start: the station opens Settings by itself on an empty list.
    // "Ok" there keeps the configured port, and its line is found again when it is back.
    void okOnAnEmptyListKeepsThePortAndItsRetries() {
        Store(cfg, "COM1", kModeDirect);
        SensorFixture fx;
        fx.portName = "COM1";
        fx.AddTank(1, true);
        fx.port->present = {"COM9"};
        std::unique_ptr<FakePorts> owner;
        Ports(owner); // lists nothing
        RecordingMessages boxes;
        OpenSettings form(
            boxes, cfg,
            [&] {
                fx.portName = cfg.PortNum;
                fx.link->DeviceConnect();
            },
            std::move(owner));
        form.lineDown = [&] { return !fx.link->LineUp(); };
        ConditionDesk desk(boxes, {{}, {}, [&] { form.RequestShow(); }, [] { return 0.0; }});
        fx.messages.passOn = &desk;
        fx.link->DeviceConnect();
        QTRY_VERIFY(form.isVisible());
        QCOMPARE(form.cbPort->count(), 0);
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(cfg.PortNum, QString("COM1"));
        TSetup stored;
        RCfgData(stored);
        QCOMPARE(stored.PortNum, QString("COM1"));

        fx.port->present = {"COM1"};
        fx.line.AdvanceTo(75000);
        QVERIFY(fx.port->Connected());
        QCOMPARE(fx.port->Name(), std::string("COM1"));
        QVERIFY(!fx.port->written.empty());
        QCOMPARE(boxes.shown,
                 std::vector<std::string>({"ComPort absent (COM1). Please select another port."}));
    }

    void noPortChosenAsksAndOpensTheDialog() {
        SensorFixture fx;
        fx.portName.clear();
        std::unique_ptr<FakePorts> owner;
        Ports(owner)->names = {"COM1"};
        RecordingMessages boxes;
        OpenSettings form(
            boxes, cfg, [] {}, std::move(owner));
        ConditionDesk desk(boxes, {{}, {}, [&] { form.RequestShow(); }, [] { return 0.0; }});
        fx.messages.passOn = &desk;
        fx.link->DeviceConnect();
        QCOMPARE(form.modalRuns, 0); // not from inside the connection
        QTRY_COMPARE(form.modalRuns, 1);
        QCOMPARE(boxes.shown, std::vector<std::string>({"Please Select COM Port Number"}));
        QVERIFY(form.isVisible());
    }

    void workModeTexts() {
        QCOMPARE(WorkModeIndex("Direct"), 0);
        QCOMPARE(WorkModeIndex("Logger"), 1);
        QCOMPARE(WorkModeIndex("direct"), -1);
        QCOMPARE(WorkModeText(1), QString("Logger"));
        QCOMPARE(WorkModeText(0), QString("Direct"));
        QCOMPARE(WorkModeText(-1), QString("Direct"));
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "test_settings_dialog.moc"
