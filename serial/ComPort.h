// TComPort: the serial port component's interface. One named serial device, its line settings,
// driver buffer sizes and time-outs, a received-characters event carrying the count of waiting
// bytes, and open/close notifications. All events are raised on the main thread.
//
// This interface is free of Qt, and so is its library (qv_comport): Qt-free libraries talk to
// the port through it. The device itself is TComSerialPort (serial/ComSerialPort.h, on
// QSerialPort, in qv_serial); tests put an in-memory port in its place.
#pragma once

#include "framework/CvEvent.h"
#include "framework/CvLogSink.h"
#include "framework/CvRegistration.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

class TComPort;

// ---- Enumerations (ordinals are fixed: their texts are stored settings values) ----

enum TBaudRate : uint8_t {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
    br56000, br57600, br115200, br128000, br256000
};
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TComEvent : uint8_t {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
// A set of TComEvent, indexed by the enumerator: `events[evRxChar]`.
using TComEvents = std::bitset<10>;
enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum TThreadPriority : uint8_t {
    tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical
};
enum TStoredProp : uint8_t { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };
// A set of TStoredProp, indexed by the enumerator.
using TStoredProps = std::bitset<6>;

// ---- Text conversions ----
// XxxToText gives the member's text ("115200", "1.5", "None", ...); a value outside the
// enumeration gives an empty text. TextToXxx compares with each member's text in ordinal order,
// ignoring ASCII case, without trimming, and falls back to br9600, dbEight, sbOneStopBit,
// prNone, fcCustom, dtrDisable, rtsDisable when nothing matches.
std::string BaudRateToText(TBaudRate value);
std::string DataBitsToText(TDataBits value);
std::string StopBitsToText(TStopBits value);
std::string ParityToText(TParityBits value);
std::string FlowControlToText(TFlowControl value);
std::string DTRFlowControlToText(TDTRFlowControl value);
std::string RTSFlowControlToText(TRTSFlowControl value);
TBaudRate TextToBaudRate(const std::string& text);
TDataBits TextToDataBits(const std::string& text);
TStopBits TextToStopBits(const std::string& text);
TParityBits TextToParity(const std::string& text);
TFlowControl TextToFlowControl(const std::string& text);
TDTRFlowControl TextToDTRFlowControl(const std::string& text);
TRTSFlowControl TextToRTSFlowControl(const std::string& text);
// The standard rate of a member (110 ... 256000); 0 for brCustom and for values outside.
uint32_t BaudRateToValue(TBaudRate value);

// ---- Errors ----

enum TComErrorCode : int32_t {
    CE_OpenFailed = 1,
    CE_WriteFailed = 2,
    CE_ReadFailed = 3,
    CE_InvalidAsync = 4,
    CE_PurgeFailed = 5,
    CE_AsyncCheck = 6,
    CE_SetStateFailed = 7,
    CE_TimeoutsFailed = 8,
    CE_SetupComFailed = 9,
    CE_ClearComFailed = 10,
    CE_ModemStatFailed = 11,
    CE_EscapeComFailed = 12,
    CE_TransmitFailed = 13,
    CE_ConnChangeProp = 14,
    CE_EnumPortsFailed = 15,
    CE_StoreFailed = 16,
    CE_LoadFailed = 17,
    CE_RegFailed = 18,
    CE_LedStateFailed = 19,
    CE_ThreadCreated = 20,
    CE_WaitFailed = 21,
    CE_HasLink = 22,
    CE_RegError = 23,
    CEPortNotOpen = 24
};

// The error raised by the port. what() is the code's text, followed by " (Error: n)" when the
// operating system's error number n (> 0) is known; WinCode is that number or -1. Detail, when
// not empty, says more than the number can (the process that holds a port, for one).
class EComPort : public std::runtime_error {
public:
    explicit EComPort(int32_t code, int32_t winCode = -1, std::string detail = {});
    int32_t Code() const { return fCode; }
    int32_t WinCode() const { return fWinCode; }
    const std::string& Detail() const { return fDetail; }
    // The message text of a code ("Unable to open com port", ...); empty for an unknown code.
    static std::string CodeText(int32_t code);

private:
    int32_t fCode;
    int32_t fWinCode;
    std::string fDetail;
};

// ---- Event records ----

struct TComRxCharParams {
    TComPort* Sender = nullptr;
    int32_t Count = 0; // bytes waiting in the input queue
};
struct TComNotifyParams {
    TComPort* Sender = nullptr;
};
using TRxCharEvent = TCvEvent<TComRxCharParams>;
using TComNotifyEvent = TCvEvent<TComNotifyParams>;

// ---- Setting groups (owned by the port; a change re-applies its group when the port is open) ----

class TComParity {
public:
    explicit TComParity(TComPort& comPort) : fComPort(comPort) {}
    TComPort& ComPort() const { return fComPort; }
    TParityBits Bits() const { return fBits; }
    void SetBits(TParityBits value);

private:
    TComPort& fComPort;
    TParityBits fBits = prNone;
};

class TComFlowControl {
public:
    explicit TComFlowControl(TComPort& comPort) : fComPort(comPort) {}
    TComPort& ComPort() const { return fComPort; }

    bool OutCTSFlow() const { return fOutCTSFlow; }
    void SetOutCTSFlow(bool value);
    bool OutDSRFlow() const { return fOutDSRFlow; }
    void SetOutDSRFlow(bool value);
    TDTRFlowControl ControlDTR() const { return fControlDTR; }
    void SetControlDTR(TDTRFlowControl value);
    TRTSFlowControl ControlRTS() const { return fControlRTS; }
    void SetControlRTS(TRTSFlowControl value);
    bool XonXoffOut() const { return fXonXoffOut; }
    void SetXonXoffOut(bool value);
    bool XonXoffIn() const { return fXonXoffIn; }
    void SetXonXoffIn(bool value);

    // The preset the flags currently form (fcCustom when they form none).
    TFlowControl FlowControl() const;
    // Sets RTS, CTS and both XON/XOFF flags to a preset; fcCustom changes nothing. DTR and DSR
    // are never touched by a preset.
    void SetFlowControl(TFlowControl value);

private:
    void Changed();

    TComPort& fComPort;
    bool fOutCTSFlow = false;
    bool fOutDSRFlow = false;
    TDTRFlowControl fControlDTR = dtrDisable;
    TRTSFlowControl fControlRTS = rtsDisable;
    bool fXonXoffOut = false;
    bool fXonXoffIn = false;
};

class TComBuffer {
public:
    explicit TComBuffer(TComPort& comPort) : fComPort(comPort) {}
    TComPort& ComPort() const { return fComPort; }
    // Driver queue sizes in bytes; an odd value is stored as the next lower even value.
    int32_t InputSize() const { return fInputSize; }
    void SetInputSize(int32_t value);
    int32_t OutputSize() const { return fOutputSize; }
    void SetOutputSize(int32_t value);

private:
    TComPort& fComPort;
    int32_t fInputSize = 1024;
    int32_t fOutputSize = 1024;
};

class TComTimeouts {
public:
    explicit TComTimeouts(TComPort& comPort) : fComPort(comPort) {}
    TComPort& ComPort() const { return fComPort; }
    // Reads always return at once with the bytes present (ReadInterval -1, totals 0).
    int32_t ReadInterval() const { return fReadInterval; }
    void SetReadInterval(int32_t value);
    int32_t ReadTotalMultiplier() const { return fReadTotalMultiplier; }
    void SetReadTotalMultiplier(int32_t value);
    int32_t ReadTotalConstant() const { return fReadTotalConstant; }
    void SetReadTotalConstant(int32_t value);
    // A write may take WriteTotalMultiplier ms per byte plus WriteTotalConstant ms.
    int32_t WriteTotalMultiplier() const { return fWriteTotalMultiplier; }
    void SetWriteTotalMultiplier(int32_t value);
    int32_t WriteTotalConstant() const { return fWriteTotalConstant; }
    void SetWriteTotalConstant(int32_t value);

private:
    void Changed();

    TComPort& fComPort;
    int32_t fReadInterval = -1;
    int32_t fReadTotalMultiplier = 0;
    int32_t fReadTotalConstant = 0;
    int32_t fWriteTotalMultiplier = 100;
    int32_t fWriteTotalConstant = 1000;
};

// ---- The port ----

class TComPort {
public:
    TComPort();
    // A port that replaces the device closes itself in its own destructor (see TComSerialPort).
    virtual ~TComPort();
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    // Device name: "COM3" on Windows; "ttyUSB0", "/dev/ttyUSB0" or a pseudo-terminal path on
    // Linux and macOS (case-sensitive). Writing a different name while open reopens the port.
    const std::string& Port() const { return fPort; }
    void SetPort(const std::string& value);
    TBaudRate BaudRate() const { return fBaudRate; }
    void SetBaudRate(TBaudRate value);
    // The rate used when BaudRate is brCustom.
    uint32_t CustomBaudRate() const { return fCustomBaudRate; }
    void SetCustomBaudRate(uint32_t value);
    TDataBits DataBits() const { return fDataBits; }
    void SetDataBits(TDataBits value);
    TStopBits StopBits() const { return fStopBits; }
    void SetStopBits(TStopBits value);

    TComParity& Parity() { return fParity; }
    const TComParity& Parity() const { return fParity; }
    TComFlowControl& FlowControl() { return fFlowControl; }
    const TComFlowControl& FlowControl() const { return fFlowControl; }
    TComBuffer& Buffer() { return fBuffer; }
    const TComBuffer& Buffer() const { return fBuffer; }
    TComTimeouts& Timeouts() { return fTimeouts; }
    const TComTimeouts& Timeouts() const { return fTimeouts; }

    // Events delivered while open; takes effect at the next open. OnRxChar is raised only
    // when evRxChar is in the set. Default: all members.
    TComEvents Events() const { return fEvents; }
    void SetEvents(TComEvents value) { fEvents = value; }
    // Kept for compatibility of settings; events always reach the main thread through its
    // event loop, and the byte count is always delivered.
    TSyncMethod SyncMethod() const { return fSyncMethod; }
    void SetSyncMethod(TSyncMethod value) { fSyncMethod = value; }
    bool TriggersOnRxChar() const { return fTriggersOnRxChar; }
    void SetTriggersOnRxChar(bool value) { fTriggersOnRxChar = value; }
    TThreadPriority EventThreadPriority() const { return fEventThreadPriority; }
    void SetEventThreadPriority(TThreadPriority value) { fEventThreadPriority = value; }
    TStoredProps StoredProps() const { return fStoredProps; }
    void SetStoredProps(TStoredProps value) { fStoredProps = value; }

    // The rate the line runs at: the member's rate, or CustomBaudRate for brCustom.
    uint32_t LineBaudRate() const;
    // Bits one character takes on the line: a start bit, the data bits, a parity bit unless
    // prNone, and the stop bits (1, 1.5 or 2).
    double CharBits() const;
    // Milliseconds `chars` characters take on the line at LineBaudRate (0 when the rate is 0).
    double LineTimeMs(uint64_t chars) const;
    // Milliseconds until every character written so far has left the line at the port's rate,
    // rounded up; 0 once it has. A write made while the line is still busy queues behind the
    // earlier ones. Counted on the current timer service's clock (0 without a service); reset
    // by Open, Close and a purge of the output.
    uint32_t LineBusyMs() const;

    // ---- The device (TComSerialPort describes what its device does) ----
    // Opens the device exclusively and applies buffer sizes, line settings and time-outs, then
    // raises OnAfterOpen. Does nothing when already open. Raises EComPort code 1 when the device
    // cannot be opened (WinCode 2 missing, 13 no permission, 16 busy), 9/7/8 when the buffer
    // sizes, line settings or time-outs cannot be applied (the port is then closed again).
    virtual void Open() = 0;
    // Aborts pending transfers, closes the device, raises OnAfterClose. Does nothing when closed.
    virtual void Close() = 0;
    virtual bool Connected() const = 0;
    // Discards received bytes not yet read (input) and bytes not yet sent (output). Code 5.
    virtual void ClearBuffer(bool input, bool output) = 0;
    // Bytes received and waiting to be read. Code 10 on failure (also on a closed port).
    virtual int32_t InputCount() = 0;
    // Reads up to `count` waiting bytes into `str`, one character per byte, never waiting for
    // absent data; returns the number read. count < 1 reads nothing and returns 0.
    // Code 24 on a closed port, code 3 on a failed read.
    virtual int32_t ReadStr(std::string& str, int32_t count) = 0;
    // Queues all bytes of `str` for sending and returns their number (0 for an empty text).
    // Bytes the device does not take within WriteTotalMultiplier ms per byte plus
    // WriteTotalConstant ms are discarded. Code 24 on a closed port; code 2 on a failed write or
    // when the output queue would exceed OutputQueueLimit (a device that stopped reading).
    virtual int32_t WriteStr(const std::string& str) = 0;

    // Most bytes the output queue holds before WriteStr refuses more.
    static constexpr int64_t OutputQueueLimit = 256 * 1024;
    // True after the open device went away (unplugged adapter, closed pseudo-terminal); the
    // port then closed itself, raising OnAfterClose. Cleared by the next Open.
    bool DeviceLost() const { return fDeviceLost; }

    const TRxCharEvent& OnRxChar() const { return fOnRxChar; }
    void SetOnRxChar(const TRxCharEvent& handler) { fOnRxChar = handler; }
    const TComNotifyEvent& OnAfterOpen() const { return fOnAfterOpen; }
    void SetOnAfterOpen(const TComNotifyEvent& handler) { fOnAfterOpen = handler; }
    const TComNotifyEvent& OnAfterClose() const { return fOnAfterClose; }
    void SetOnAfterClose(const TComNotifyEvent& handler) { fOnAfterClose = handler; }
    // Where the port's own entries go (the lost-device line); nullptr: the program-wide log.
    TCvLogSink* Log() const { return fLog; }
    void SetLog(TCvLogSink* value) { fLog = value; }
    // Ends with the port: registrations of handlers on it are made with this.
    const TCvLifetime& Lifetime() const { return fLifetime; }

protected:
    // For ports that replace the device: raise the events exactly as the device port does.
    // CallRxChar raises OnRxChar only for count > 0; CallAfterOpen clears DeviceLost first.
    void CallRxChar(int32_t count);
    void CallAfterOpen();
    void CallAfterClose();
    // For WriteStr implementations: `chars` characters were accepted for sending; they leave
    // the line after everything written before them (see LineBusyMs).
    void LineWritten(uint64_t chars);
    // The output was discarded or the device closed: nothing is on its way any more.
    void LineIdle();
    // The open device went away: logs it once, naming the port, and marks DeviceLost. The
    // caller then closes the port.
    void DeviceWentAway();

    // Re-apply one group of settings to an open device; called after every change of the
    // group. Nothing here: a device port applies them.
    virtual void ApplyBuffer() {}
    virtual void ApplyLine() {}
    virtual void ApplyTimeouts() {}

private:
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComBuffer;
    friend class TComTimeouts;

    std::string fPort = "COM1";
    TBaudRate fBaudRate = br9600;
    uint32_t fCustomBaudRate = 9600;
    TDataBits fDataBits = dbEight;
    TStopBits fStopBits = sbOneStopBit;
    TComParity fParity{*this};
    TComFlowControl fFlowControl{*this};
    TComBuffer fBuffer{*this};
    TComTimeouts fTimeouts{*this};
    TComEvents fEvents = TComEvents().set();
    TSyncMethod fSyncMethod = smThreadSync;
    bool fTriggersOnRxChar = true;
    TThreadPriority fEventThreadPriority = tpNormal;
    TStoredProps fStoredProps = TStoredProps().set(spBasic);
    bool fDeviceLost = false;
    double fLineBusyUntilMs = 0; // timer-service time when the last written character has left

    TRxCharEvent fOnRxChar;
    TComNotifyEvent fOnAfterOpen;
    TComNotifyEvent fOnAfterClose;
    TCvLogSink* fLog = nullptr;
    TCvLifetime fLifetime;
};
