#pragma once
// The station's serial port: SensorPort over QSerialPort, on the GUI thread.
//
// Failures are reported only after the QSerialPort call that raised them has returned, so
// that a handler may close and reopen the port from inside its own failure report. When
// the device goes away, Qt reports read or resource errors in a busy loop while the port
// stays open: the first one closes the port and is reported once, as code 5.

#include "SensorPort.h"

#include <QObject>
#include <QSerialPort>

#include <future>
#include <vector>

// The port name under which the adapter with this serial number is present now; empty
// when none is. Names come in the form the port list offers them.
std::string FindPortByIdentity(const std::string& identity);

class TComPort : public QObject, public SensorPort {
    Q_OBJECT
public:
    explicit TComPort(QObject* parent = nullptr);
    ~TComPort() override;

    void SetPortName(const std::string& name) override;
    void Open() override;
    void Close() override;
    bool Connected() const override;
    int64_t Write(const uint8_t* bytes, std::size_t count) override;
    std::vector<uint8_t> Read(std::size_t max) override;
    std::size_t BytesWaiting() const override;
    void Abort() override;
    std::string Identity() const override;

    // How the platform's conditions map onto the codes the station knows.
    static int64_t CodeFor(QSerialPort::SerialPortError error);
    static TComException KindFor(QSerialPort::SerialPortError error, TComException during);

private:
    class CallScope;
    void OnQtError(QSerialPort::SerialPortError error);
    void OnReadyRead();
    void DeviceGone();
    void Flush();
    bool Configure();

    QSerialPort serial_;
    TComException during_ = TComException::Other;
    int depth_ = 0;
    bool gone_ = false;
    unsigned generation_ = 0; // counts openings, so a late close never hits a newer one
    std::vector<PortError> pending_;
    // The port list is a device scan of up to a tenth of a second: looked up beside the
    // GUI thread when a port opens, and kept for finding the adapter again later.
    std::shared_future<std::string> identity_;
};
