#include "ComPort.h"

#include <QSerialPortInfo>
#include <QTimer>

#include <algorithm>

// Marks a call into QSerialPort; failures it raises wait until the outermost call is done.
class TComPort::CallScope {
public:
    CallScope(TComPort& port, TComException kind) : port_(port), saved_(port.during_) {
        port.during_ = kind;
        ++port.depth_;
    }
    ~CallScope() {
        port_.during_ = saved_;
        if (--port_.depth_ == 0 && !port_.pending_.empty())
            QTimer::singleShot(0, &port_, [p = &port_] { p->Flush(); });
    }

private:
    TComPort& port_;
    TComException saved_;
};

TComPort::TComPort(QObject* parent) : QObject(parent) {
    connect(&serial_, &QSerialPort::errorOccurred, this, &TComPort::OnQtError);
    connect(&serial_, &QSerialPort::readyRead, this, &TComPort::OnReadyRead);
}

TComPort::~TComPort() {
    onError = nullptr;
    onReceive = nullptr;
    serial_.close();
}

void TComPort::SetPortName(const std::string& name) {
    serial_.setPortName(QString::fromStdString(name));
}

void TComPort::Open() {
    if (serial_.isOpen())
        return;
    {
        CallScope scope(*this, TComException::Open);
        gone_ = false;
        ++generation_;
        serial_.setBaudRate(QSerialPort::Baud19200);
        serial_.setDataBits(QSerialPort::Data8);
        serial_.setParity(QSerialPort::NoParity);
        serial_.setStopBits(QSerialPort::OneStop);
        serial_.setFlowControl(QSerialPort::NoFlowControl);
        serial_.setReadBufferSize(0);
        if (serial_.open(QIODevice::ReadWrite)) {
            Configure();
            const QString name = serial_.portName();
            identity_ = std::async(std::launch::async, [name] {
                            return QSerialPortInfo(name).serialNumber().toStdString();
                        }).share();
        }
    }
    Flush();
}

// Line state right after the opening: modem lines off, stale input gone. A pseudo-terminal
// refuses the modem lines; that is reported as a minor failure and the port works on.
bool TComPort::Configure() {
    CallScope scope(*this, TComException::Setup);
    serial_.setDataTerminalReady(false);
    serial_.setRequestToSend(false);
    serial_.clear(QSerialPort::Input);
    return serial_.isOpen();
}

void TComPort::Close() {
    if (!serial_.isOpen())
        return;
    CallScope scope(*this, TComException::Close);
    serial_.clear();
    serial_.close();
    gone_ = false;
}

bool TComPort::Connected() const {
    return serial_.isOpen() && !gone_;
}

int64_t TComPort::Write(const uint8_t* bytes, std::size_t count) {
    if (!Connected())
        return 0;
    CallScope scope(*this, TComException::Write);
    const qint64 n =
        serial_.write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(count));
    return n < 0 ? 0 : n;
}

std::vector<uint8_t> TComPort::Read(std::size_t max) {
    std::vector<uint8_t> out;
    if (!Connected())
        return out;
    CallScope scope(*this, TComException::Read);
    const qint64 limit = static_cast<qint64>(
        std::min<std::size_t>(max, static_cast<std::size_t>(serial_.bytesAvailable())));
    const QByteArray got = serial_.read(limit);
    out.assign(got.begin(), got.end());
    return out;
}

std::size_t TComPort::BytesWaiting() const {
    return Connected() ? static_cast<std::size_t>(serial_.bytesAvailable()) : 0;
}

void TComPort::Abort() {
    if (!Connected())
        return;
    CallScope scope(*this, TComException::Abort);
    serial_.clear(QSerialPort::Output); // pending writes dropped; received bytes stay
}

std::string TComPort::Identity() const {
    return identity_.valid() ? identity_.get() : std::string();
}

std::string FindPortByIdentity(const std::string& identity) {
    if (identity.empty())
        return {};
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (info.serialNumber().toStdString() == identity) {
#ifdef Q_OS_WIN
            return info.portName().toStdString();
#else
            return info.systemLocation().toStdString();
#endif
        }
    return {};
}

int64_t TComPort::CodeFor(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return kErrorPortAbsent;
    case QSerialPort::PermissionError: // also a port locked by another program
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError: // the device has gone away
        return kErrorAccessDenied;
    default:
        return 1000 + static_cast<int64_t>(error); // none of the codes the station acts on
    }
}

TComException TComPort::KindFor(QSerialPort::SerialPortError error, TComException during) {
    switch (error) {
    case QSerialPort::OpenError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
        return TComException::Open;
    case QSerialPort::ReadError:
        return TComException::Read;
    case QSerialPort::WriteError:
        return TComException::Write;
    default:
        return during;
    }
}

void TComPort::OnQtError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || (gone_ && serial_.isOpen()))
        return; // the repeats of a device that has gone away
    const bool deviceGone = serial_.isOpen() && CodeFor(error) == kErrorAccessDenied;
    PortError e{KindFor(error, during_), serial_.errorString().toStdString(), CodeFor(error),
                serial_.errorString().toStdString()};
    serial_.clearError();
    pending_.push_back(std::move(e));
    if (deviceGone)
        DeviceGone();
    if (depth_ == 0)
        QTimer::singleShot(0, this, [this] { Flush(); });
}

// Closes the port outside the QSerialPort call that reported the failure.
void TComPort::DeviceGone() {
    gone_ = true;
    const unsigned generation = generation_;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == generation_ && gone_)
            serial_.close();
    });
}

void TComPort::OnReadyRead() {
    if (Connected() && onReceive)
        onReceive();
}

// Hands the waiting failures to onError, one at a time; the handler may reopen the port.
void TComPort::Flush() {
    if (depth_ != 0)
        return;
    while (!pending_.empty()) {
        PortError e = pending_.front();
        pending_.erase(pending_.begin());
        if (onError)
            onError(e);
    }
}
