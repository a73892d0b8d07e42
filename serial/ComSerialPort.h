// TComSerialPort: TComPort on a real serial device through QSerialPort. Everything runs on the
// main thread: received data arrives through QSerialPort's readyRead on the event loop.
//
// Open takes the port's advisory lock first (see ComPortLock.h), so one port is never opened by
// two processes; a port held by another process fails with code 1, WinCode 16 and a detail that
// names the holder.
#pragma once

#include "serial/ComPort.h"

#include <memory>

class TComSerialPort : public TComPort {
public:
    TComSerialPort();
    // Closes the port first, which raises OnAfterClose: its handler must outlive the port (or be
    // cleared before). A port opened with a timer service must not outlive that service.
    ~TComSerialPort() override;

    void Open() override;
    void Close() override;
    bool Connected() const override;
    void ClearBuffer(bool input, bool output) override;
    int32_t InputCount() override;
    int32_t ReadStr(std::string& str, int32_t count) override;
    int32_t WriteStr(const std::string& str) override;

protected:
    void ApplyBuffer() override;
    void ApplyLine() override;
    void ApplyTimeouts() override;

private:
    struct TDevice; // the QSerialPort and its state while open

    // The device itself is open (settings are applied only to it).
    bool DeviceOpen() const;
    void DeviceReadyRead();
    void DeviceLostDetected();
    void WriteDeadline();
    void WriteFailedLater();

    std::unique_ptr<TDevice> fDevice; // created by the first Open, kept until destruction
};
