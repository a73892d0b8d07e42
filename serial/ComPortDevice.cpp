// TComSerialPort: open, close, reads, writes and event delivery on QSerialPort. Everything
// runs on the main thread: received data arrives through QSerialPort's readyRead on the event
// loop, so no event thread is needed and Close can never deadlock.
#include "serial/ComSerialPort.h"

#include "framework/CvFormat.h"
#include "framework/CvTimer.h"
#include "serial/ComPortLock.h"

#include <QMetaObject>
#include <QSerialPort>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <exception>

#if !defined(_WIN32)
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

struct TComSerialPort::TDevice {
    QSerialPort serial;
    bool open = false;
    bool lost = false;      // the device went away; a queued close is on its way
    bool applying = false;  // errors raised while applying settings are ours to report
    bool rxChar = false;    // evRxChar was in Events at open
    bool writing = false;   // WriteStr is handing bytes to the device: its errors are ours
    int writeErrno = 0;     // the error of the device write WriteStr made
    uint64_t session = 0;   // counts opens, so a stale queued close never hits a later session
    std::unique_ptr<TCvTimer> writeTimer; // write deadline; absent without a timer service
    std::unique_ptr<TComPortLock> lock;   // held while open
};

namespace {

// The OS error number left by the last failing call, or -1 when none is known.
int32_t LastErrno(int fallback = -1)
{
    return errno > 0 ? errno : fallback;
}

#if !defined(_WIN32)
// The device file a port name refers to: a bare name is looked up under /dev.
std::string DevicePath(const std::string& port)
{
    return !port.empty() && port[0] == '/' ? port : "/dev/" + port;
}
#endif

uint32_t DeadlineMs(const TComTimeouts& timeouts, int64_t pendingBytes)
{
    const int64_t perByte = std::max<int32_t>(timeouts.WriteTotalMultiplier(), 0);
    const int64_t constant = std::max<int32_t>(timeouts.WriteTotalConstant(), 0);
    const int64_t ms = perByte * pendingBytes + constant;
    return static_cast<uint32_t>(std::clamp<int64_t>(ms, 1, UINT32_MAX));
}

// Whether a write to the device would not block: it has room, or it has failed or hung up (the
// write then reports why).
bool DeviceTakesWrite(QSerialPort& serial)
{
#if defined(_WIN32)
    (void)serial;
    return true;
#else
    pollfd pfd {};
    pfd.fd = static_cast<int>(serial.handle());
    pfd.events = POLLOUT;
    return ::poll(&pfd, 1, 0) > 0;
#endif
}

} // namespace

TComSerialPort::TComSerialPort() = default;

TComSerialPort::~TComSerialPort()
{
    try {
        Close();
    } catch (...) {
        // A destructor must not throw; the device is released below in any case.
    }
}

bool TComSerialPort::Connected() const
{
    return DeviceOpen();
}

// The device itself is open. Settings go only to it: a port that replaces the device reports
// Connected on its own and has no device to apply them to.
bool TComSerialPort::DeviceOpen() const
{
    return fDevice && fDevice->open;
}

void TComSerialPort::Open()
{
    if (Connected())
        return;
    if (!fDevice) {
        fDevice = std::make_unique<TDevice>();
        QSerialPort& serial = fDevice->serial;
        QObject::connect(&serial, &QSerialPort::readyRead, &serial, [this] { DeviceReadyRead(); });
        QObject::connect(&serial, &QSerialPort::bytesWritten, &serial, [this](qint64) {
            if (!fDevice->open || !fDevice->writeTimer)
                return;
            const qint64 pending = fDevice->serial.bytesToWrite();
            if (pending == 0)
                fDevice->writeTimer->Stop();
            else // progress: count the deadline again from what is still queued
                fDevice->writeTimer->Start(DeadlineMs(Timeouts(), pending));
        });
        QObject::connect(&serial, &QSerialPort::errorOccurred, &serial,
                         [this](QSerialPort::SerialPortError error) {
                             TDevice& dev = *fDevice;
                             if (!dev.open || dev.lost || dev.applying)
                                 return;
                             const bool gone = error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
                             if ((gone || error == QSerialPort::WriteError) && dev.writing)
                                 dev.writeErrno = LastErrno(EIO);
                             if (gone)
                                 DeviceLostDetected();
                             else if (error == QSerialPort::WriteError && !dev.writing)
                                 WriteFailedLater();
                             // NotOpenError and the rest change nothing here.
                         });
    }
    TDevice& dev = *fDevice;
    if (!dev.writeTimer && TCvTimerService::Current()) {
        dev.writeTimer = std::make_unique<TCvTimer>(1000);
        dev.writeTimer->SetOnTimer(
            TCvEvent<TCvTimerParams>::FromFunction([this](TCvTimerParams&) { WriteDeadline(); }));
    }

    // 1. Open the device exclusively. QSerialPort reports a missing device without an error
    // number, so the device file is checked first to give the operating system's number.
#if defined(_WIN32)
    const std::string path = Port();
#else
    const std::string path = DevicePath(Port());
    struct stat st {};
    if (Port().empty() || ::stat(path.c_str(), &st) != 0)
        throw EComPort(CE_OpenFailed, Port().empty() ? ENOENT : LastErrno(ENOENT));
    if (!S_ISCHR(st.st_mode))
        throw EComPort(CE_OpenFailed, ENODEV);
    if (::access(path.c_str(), R_OK | W_OK) != 0)
        throw EComPort(CE_OpenFailed, LastErrno(EACCES));
#endif
    // The port's lock before the device: a port another process holds is refused with its name.
    auto lock = std::make_unique<TComPortLock>(path);
    if (!lock->TryLock())
        throw EComPort(CE_OpenFailed, EBUSY,
                       CvFormat("The serial port \"%s\" is in use by %s.", Port(), lock->Holder()));
    dev.serial.setPortName(QString::fromStdString(path));
    errno = 0;
    if (!dev.serial.open(QIODevice::ReadWrite)) {
        int32_t code = -1;
        switch (dev.serial.error()) {
        case QSerialPort::DeviceNotFoundError: code = ENOENT; break;
#if defined(_WIN32)
        case QSerialPort::PermissionError: code = 5; break; // access denied: in use
#else
        case QSerialPort::PermissionError: code = EBUSY; break; // access was checked: locked
#endif
        default: code = LastErrno(EIO); break;
        }
        dev.serial.clearError();
        throw EComPort(CE_OpenFailed, code);
    }

    // 2. Connected; 3. apply the settings, closing again when one of them fails.
    dev.lock = std::move(lock);
    dev.open = true;
    dev.lost = false;
    dev.writeErrno = 0;
    ++dev.session;
    try {
        ApplyBuffer();
        ApplyLine();
        ApplyTimeouts();
    } catch (...) {
        dev.open = false;
        dev.serial.close();
        dev.serial.clearError();
        dev.lock.reset();
        throw;
    }
    dev.rxChar = Events()[evRxChar];
    LineIdle();
    CallAfterOpen();
}

void TComSerialPort::Close()
{
    if (!Connected())
        return;
    TDevice& dev = *fDevice;
    if (dev.writeTimer)
        dev.writeTimer->Stop();
    // Abort pending transfers. A device that has gone away cannot be purged; closing it must
    // still succeed, so a failed purge does not keep the port open.
    dev.applying = true;
    dev.serial.clear(QSerialPort::AllDirections);
    dev.open = false;
    dev.serial.close();
    dev.serial.clearError();
    dev.applying = false;
    dev.lost = false;
    dev.lock.reset();
    LineIdle();
    CallAfterClose();
}

void TComSerialPort::ClearBuffer(bool input, bool output)
{
    if (!Connected())
        throw EComPort(CE_PurgeFailed, EBADF);
    if (!input && !output)
        return;
    TDevice& dev = *fDevice;
    QSerialPort::Directions dirs;
    if (input)
        dirs |= QSerialPort::Input;
    if (output)
        dirs |= QSerialPort::Output;
    errno = 0;
    dev.applying = true;
    const bool ok = dev.serial.clear(dirs);
    dev.applying = false;
    if (!ok) {
        dev.serial.clearError();
        throw EComPort(CE_PurgeFailed, LastErrno());
    }
    if (output) {
        if (dev.writeTimer)
            dev.writeTimer->Stop();
        LineIdle();
    }
}

int32_t TComSerialPort::InputCount()
{
    if (!Connected())
        throw EComPort(CE_ClearComFailed, EBADF);
    return static_cast<int32_t>(std::min<qint64>(fDevice->serial.bytesAvailable(), INT32_MAX));
}

int32_t TComSerialPort::ReadStr(std::string& str, int32_t count)
{
    str.clear();
    if (count < 1)
        return 0;
    if (!Connected())
        throw EComPort(CEPortNotOpen);
    const qint64 want = std::min<qint64>(count, fDevice->serial.bytesAvailable());
    if (want <= 0)
        return 0;
    str.resize(static_cast<size_t>(want));
    const qint64 got = fDevice->serial.read(str.data(), want);
    if (got < 0) {
        str.clear();
        throw EComPort(CE_ReadFailed, LastErrno());
    }
    str.resize(static_cast<size_t>(got));
    return static_cast<int32_t>(got);
}

int32_t TComSerialPort::WriteStr(const std::string& str)
{
    if (!Connected())
        throw EComPort(CEPortNotOpen);
    if (str.empty())
        return 0;
    TDevice& dev = *fDevice;
    if (dev.lost)
        throw EComPort(CE_WriteFailed, EIO);
    // A device that stopped taking data must not make the queue grow without limit.
    if (dev.serial.bytesToWrite() + static_cast<int64_t>(str.size()) > OutputQueueLimit)
        throw EComPort(CE_WriteFailed, ENOBUFS);
    errno = 0;
    const qint64 queued = dev.serial.write(str.data(), static_cast<qint64>(str.size()));
    if (queued < 0) {
        dev.serial.clearError();
        throw EComPort(CE_WriteFailed, LastErrno(EIO));
    }
    LineWritten(static_cast<uint64_t>(queued));
    // Hand the bytes to the device now rather than on the next pass of the event loop, so that
    // a failing device fails this write. The write does not wait: a device whose own buffer is
    // full is left alone, and what it does not take at once follows as it drains.
    dev.writing = true;
    dev.writeErrno = 0;
    if (DeviceTakesWrite(dev.serial)) {
        errno = 0;
        dev.serial.flush();
    }
    dev.writing = false;
    if (dev.writeErrno > 0 || dev.lost) {
        const int32_t failed = dev.writeErrno > 0 ? dev.writeErrno : EIO;
        dev.writeErrno = 0;
        if (dev.open && !dev.lost) {
            dev.applying = true;
            dev.serial.clear(QSerialPort::Output);
            dev.serial.clearError();
            dev.applying = false;
        }
        LineIdle();
        throw EComPort(CE_WriteFailed, failed);
    }
    if (dev.writeTimer && !dev.writeTimer->Enabled() && dev.serial.bytesToWrite() > 0)
        dev.writeTimer->Start(DeadlineMs(Timeouts(), dev.serial.bytesToWrite()));
    return static_cast<int32_t>(queued);
}

// ---- Settings applied to the open device ----

void TComSerialPort::ApplyBuffer()
{
    if (!DeviceOpen())
        return;
    if (Buffer().InputSize() < 0 || Buffer().OutputSize() < 0)
        throw EComPort(CE_SetupComFailed, EINVAL);
    // The input size bounds what is read ahead from the device, as a driver queue would;
    // 0 leaves it unbounded. Output is bounded by OutputQueueLimit and the write deadline.
    fDevice->serial.setReadBufferSize(Buffer().InputSize());
}

void TComSerialPort::ApplyLine()
{
    if (!DeviceOpen())
        return;
    QSerialPort& serial = fDevice->serial;
    const uint32_t rate = LineBaudRate();
    if (rate == 0 || rate > INT32_MAX)
        throw EComPort(CE_SetStateFailed, EINVAL);

    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    switch (DataBits()) {
    case dbFive: dataBits = QSerialPort::Data5; break;
    case dbSix: dataBits = QSerialPort::Data6; break;
    case dbSeven: dataBits = QSerialPort::Data7; break;
    case dbEight: dataBits = QSerialPort::Data8; break;
    default: throw EComPort(CE_SetStateFailed, EINVAL);
    }
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (Parity().Bits()) {
    case prNone: parity = QSerialPort::NoParity; break;
    case prOdd: parity = QSerialPort::OddParity; break;
    case prEven: parity = QSerialPort::EvenParity; break;
    case prMark: parity = QSerialPort::MarkParity; break;
    case prSpace: parity = QSerialPort::SpaceParity; break;
    default: throw EComPort(CE_SetStateFailed, EINVAL);
    }
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    switch (StopBits()) {
    case sbOneStopBit: stopBits = QSerialPort::OneStop; break;
    case sbOne5StopBits:
#if defined(_WIN32)
        stopBits = QSerialPort::OneAndHalfStop;
#else
        // Termios has no 1.5 stop bits, but a UART sends 1.5 for 5-bit characters when two
        // are selected; like the Windows driver, other character sizes refuse 1.5.
        if (DataBits() != dbFive)
            throw EComPort(CE_SetStateFailed, EINVAL);
        stopBits = QSerialPort::TwoStop;
#endif
        break;
    case sbTwoStopBits: stopBits = QSerialPort::TwoStop; break;
    default: throw EComPort(CE_SetStateFailed, EINVAL);
    }
    // QSerialPort has one flow-control mode: RTS/CTS wins over XON/XOFF when both are asked.
    const TComFlowControl& fc = FlowControl();
    const bool hardware = fc.OutCTSFlow() || fc.ControlRTS() == rtsHandshake;
    const bool software = fc.XonXoffIn() || fc.XonXoffOut();
    const QSerialPort::FlowControl flow = hardware ? QSerialPort::HardwareControl
        : software                                 ? QSerialPort::SoftwareControl
                                                   : QSerialPort::NoFlowControl;

    fDevice->applying = true;
    errno = 0;
    const bool ok = serial.setBaudRate(static_cast<qint32>(rate)) && serial.setDataBits(dataBits)
        && serial.setParity(parity) && serial.setStopBits(stopBits) && serial.setFlowControl(flow);
    const int32_t failure = ok ? 0 : LastErrno();
    if (ok) {
        // Modem lines, best effort: devices without them (pseudo-terminals) refuse the request,
        // which must not keep the line from working.
        serial.setDataTerminalReady(fc.ControlDTR() != dtrDisable);
        if (!hardware)
            serial.setRequestToSend(fc.ControlRTS() == rtsEnable);
    }
    serial.clearError();
    fDevice->applying = false;
    if (!ok)
        throw EComPort(CE_SetStateFailed, failure);
}

void TComSerialPort::ApplyTimeouts()
{
    if (!DeviceOpen())
        return;
    // Reads never wait for absent data whatever the read time-outs say (the device is read on
    // arrival); the write time-outs are taken at each write to arm the write deadline.
    if (Timeouts().WriteTotalMultiplier() < 0 || Timeouts().WriteTotalConstant() < 0)
        throw EComPort(CE_TimeoutsFailed, EINVAL);
}

// ---- Event delivery ----

void TComSerialPort::DeviceReadyRead()
{
    TDevice& dev = *fDevice;
    if (!dev.open || dev.lost || !dev.rxChar)
        return;
    try {
        CallRxChar(InputCount());
    } catch (const std::exception& e) {
        // Nothing above the event loop can take the error; it must not unwind through Qt.
        qWarning("TComSerialPort: error while handling received characters: %s", e.what());
    } catch (...) {
        qWarning("TComSerialPort: unknown error while handling received characters");
    }
}

// The device went away (adapter unplugged, far end of a pseudo-terminal closed). QSerialPort
// then reports ReadError on every pass of the event loop while staying open, and closing it
// from inside errorOccurred re-enters that signal: stop delivering now and close on the next
// pass of the event loop.
void TComSerialPort::DeviceLostDetected()
{
    TDevice& dev = *fDevice;
    dev.lost = true;
    if (dev.writeTimer)
        dev.writeTimer->Stop();
    const uint64_t session = dev.session;
    QMetaObject::invokeMethod(
        &dev.serial,
        [this, session] {
            if (!Connected() || !fDevice->lost || fDevice->session != session)
                return;
            DeviceWentAway();
            try {
                Close();
            } catch (const std::exception& e) {
                qWarning("TComSerialPort: error while closing a lost device: %s", e.what());
            } catch (...) {
                qWarning("TComSerialPort: unknown error while closing a lost device");
            }
        },
        Qt::QueuedConnection);
}

// Bytes the device has not taken within the write time-out are discarded, as a timed-out
// write would be; the queue starts empty again.
void TComSerialPort::WriteDeadline()
{
    TDevice& dev = *fDevice;
    if (dev.writeTimer)
        dev.writeTimer->Stop();
    if (!dev.open || dev.serial.bytesToWrite() == 0)
        return;
    dev.applying = true;
    dev.serial.clear(QSerialPort::Output);
    dev.serial.clearError();
    dev.applying = false;
    LineIdle();
}

// Bytes an earlier WriteStr left queued failed to reach the device after that write returned.
// The rest of that output is discarded on the next pass of the event loop (not from inside
// errorOccurred): the command is lost, and whoever waits for its reply times out.
void TComSerialPort::WriteFailedLater()
{
    TDevice& dev = *fDevice;
    qWarning("TComSerialPort: a queued write to %s failed; the rest of the output is discarded", Port().c_str());
    const uint64_t session = dev.session;
    QMetaObject::invokeMethod(
        &dev.serial,
        [this, session] {
            if (Connected() && !fDevice->lost && fDevice->session == session)
                WriteDeadline();
        },
        Qt::QueuedConnection);
}
