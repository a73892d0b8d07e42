// TQvTestComPort: a serial port over an in-memory pipe, for tests of code that talks to a port.
// What the code under test writes is collected (and handed to an optional callback, e.g. an
// in-process beacon); the test "receives" bytes, which raises OnRxChar with the count waiting.
//
// Bytes cross at once unless SetLineTimed(true): then each write occupies the line for its
// line time at the port's rate (LineBusyMs), as on a device.
//
// Delivery follows the device port: one delivery at a time. Bytes received while a delivery
// is being handled are delivered right after it returns; bytes received from inside WriteStr
// outside a delivery (a beacon answering a command sent from a timer) wait for
// DeliverPending(), as they would wait for the event loop on a real port.
#pragma once

#include "serial/ComPort.h"

#include <functional>
#include <string>

class TQvTestComPort : public TComPort {
public:
    TQvTestComPort();
    ~TQvTestComPort() override;

    void Open() override;
    void Close() override;
    bool Connected() const override { return fOpen; }
    void ClearBuffer(bool input, bool output) override;
    int32_t InputCount() override;
    int32_t ReadStr(std::string& str, int32_t count) override;
    int32_t WriteStr(const std::string& str) override;

    // Test side.
    // Queues bytes as received and delivers them (see above). Dropped while closed.
    void Receive(const std::string& bytes);
    // Delivers bytes left waiting; returns true when OnRxChar was raised.
    bool DeliverPending();
    // Everything written since the last TakeWritten, in order.
    const std::string& Written() const { return fWritten; }
    std::string TakeWritten();
    // Called with each WriteStr text (after it is collected); may call Receive.
    void SetOnWrite(std::function<void(const std::string&)> onWrite) { fOnWrite = std::move(onWrite); }
    // Makes the next opens fail with code 1 and this OS error number (0: opens succeed again).
    void SetOpenError(int32_t winCode) { fOpenError = winCode; }
    // Makes writes fail with code 2 and this OS error number (0: writes succeed again).
    void SetWriteError(int32_t winCode) { fWriteError = winCode; }
    void SetLineTimed(bool value) { fLineTimed = value; }
    // The device goes away: logged and marked as the device port does it, then closed.
    void Lose();
    int OpenCount() const { return fOpenCount; }
    int CloseCount() const { return fCloseCount; }

private:
    void Deliver();

    bool fOpen = false;
    bool fDelivering = false;
    bool fInWrite = false;
    bool fUndelivered = false; // bytes received that no OnRxChar has announced yet
    std::string fInput;
    std::string fWritten;
    std::function<void(const std::string&)> fOnWrite;
    int32_t fOpenError = 0;
    int32_t fWriteError = 0;
    bool fLineTimed = false;
    int fOpenCount = 0;
    int fCloseCount = 0;
};
