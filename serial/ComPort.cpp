// TComPort: enumeration texts, errors, setting groups and properties. The device side (open,
// close, reads, writes, events) is TComSerialPort, in ComPortDevice.cpp.
#include "serial/ComPort.h"

#include "framework/CvAppLog.h"
#include "framework/CvFormat.h"
#include "framework/CvText.h"
#include "framework/CvTimer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

template <typename TEnum, size_t N>
std::string EnumText(const std::array<const char*, N>& texts, TEnum value)
{
    const size_t index = static_cast<size_t>(value);
    return index < N ? texts[index] : std::string();
}

template <typename TEnum, size_t N>
TEnum TextEnum(const std::array<const char*, N>& texts, const std::string& text, TEnum fallback)
{
    for (size_t i = 0; i < N; ++i)
        if (CvSameText(text, texts[i]))
            return static_cast<TEnum>(i);
    return fallback;
}

constexpr std::array<const char*, 16> kBaudRateTexts = {
    "Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
    "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<uint32_t, 16> kBaudRateValues = {
    0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400,
    56000, 57600, 115200, 128000, 256000};
constexpr std::array<const char*, 4> kDataBitsTexts = {"5", "6", "7", "8"};
constexpr std::array<const char*, 3> kStopBitsTexts = {"1", "1.5", "2"};
constexpr std::array<const char*, 5> kParityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 4> kFlowControlTexts = {"Hardware", "Software", "None", "Custom"};
constexpr std::array<const char*, 3> kDTRTexts = {"Disable", "Enable", "Handshake"};
constexpr std::array<const char*, 4> kRTSTexts = {"Disable", "Enable", "Handshake", "Toggle"};

constexpr std::array<const char*, 25> kErrorTexts = {
    "",
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
    "Port Not Open"};

std::string ErrorMessage(int32_t code, int32_t winCode)
{
    std::string text = EComPort::CodeText(code);
    if (winCode > 0)
        text += CvFormat(" (Error: %d)", winCode);
    return text;
}

} // namespace

std::string BaudRateToText(TBaudRate value) { return EnumText(kBaudRateTexts, value); }
std::string DataBitsToText(TDataBits value) { return EnumText(kDataBitsTexts, value); }
std::string StopBitsToText(TStopBits value) { return EnumText(kStopBitsTexts, value); }
std::string ParityToText(TParityBits value) { return EnumText(kParityTexts, value); }
std::string FlowControlToText(TFlowControl value) { return EnumText(kFlowControlTexts, value); }
std::string DTRFlowControlToText(TDTRFlowControl value) { return EnumText(kDTRTexts, value); }
std::string RTSFlowControlToText(TRTSFlowControl value) { return EnumText(kRTSTexts, value); }

TBaudRate TextToBaudRate(const std::string& text) { return TextEnum(kBaudRateTexts, text, br9600); }
TDataBits TextToDataBits(const std::string& text) { return TextEnum(kDataBitsTexts, text, dbEight); }
TStopBits TextToStopBits(const std::string& text)
{
    return TextEnum(kStopBitsTexts, text, sbOneStopBit);
}
TParityBits TextToParity(const std::string& text) { return TextEnum(kParityTexts, text, prNone); }
TFlowControl TextToFlowControl(const std::string& text)
{
    return TextEnum(kFlowControlTexts, text, fcCustom);
}
TDTRFlowControl TextToDTRFlowControl(const std::string& text)
{
    return TextEnum(kDTRTexts, text, dtrDisable);
}
TRTSFlowControl TextToRTSFlowControl(const std::string& text)
{
    return TextEnum(kRTSTexts, text, rtsDisable);
}

uint32_t BaudRateToValue(TBaudRate value)
{
    const size_t index = static_cast<size_t>(value);
    return index < kBaudRateValues.size() ? kBaudRateValues[index] : 0;
}

// ---- EComPort ----

EComPort::EComPort(int32_t code, int32_t winCode, std::string detail)
    : std::runtime_error(ErrorMessage(code, winCode))
    , fCode(code)
    , fWinCode(winCode > 0 ? winCode : -1)
    , fDetail(std::move(detail))
{
}

std::string EComPort::CodeText(int32_t code)
{
    return code > 0 && static_cast<size_t>(code) < kErrorTexts.size() ? kErrorTexts[code] : "";
}

// ---- Setting groups ----

void TComParity::SetBits(TParityBits value)
{
    fBits = value;
    fComPort.ApplyLine();
}

void TComFlowControl::Changed()
{
    fComPort.ApplyLine();
}

void TComFlowControl::SetOutCTSFlow(bool value)
{
    fOutCTSFlow = value;
    Changed();
}

void TComFlowControl::SetOutDSRFlow(bool value)
{
    fOutDSRFlow = value;
    Changed();
}

void TComFlowControl::SetControlDTR(TDTRFlowControl value)
{
    fControlDTR = value;
    Changed();
}

void TComFlowControl::SetControlRTS(TRTSFlowControl value)
{
    fControlRTS = value;
    Changed();
}

void TComFlowControl::SetXonXoffOut(bool value)
{
    fXonXoffOut = value;
    Changed();
}

void TComFlowControl::SetXonXoffIn(bool value)
{
    fXonXoffIn = value;
    Changed();
}

TFlowControl TComFlowControl::FlowControl() const
{
    if (fControlRTS == rtsHandshake && fOutCTSFlow && !fXonXoffIn && !fXonXoffOut)
        return fcHardware;
    if (fControlRTS == rtsDisable && !fOutCTSFlow && fXonXoffIn && fXonXoffOut)
        return fcSoftware;
    if (fControlRTS == rtsDisable && !fOutCTSFlow && !fXonXoffIn && !fXonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    switch (value) {
    case fcHardware:
        fControlRTS = rtsHandshake;
        fOutCTSFlow = true;
        fXonXoffIn = false;
        fXonXoffOut = false;
        break;
    case fcSoftware:
        fControlRTS = rtsDisable;
        fOutCTSFlow = false;
        fXonXoffIn = true;
        fXonXoffOut = true;
        break;
    case fcNone:
        fControlRTS = rtsDisable;
        fOutCTSFlow = false;
        fXonXoffIn = false;
        fXonXoffOut = false;
        break;
    default: // fcCustom and unknown values keep the flags
        break;
    }
    Changed();
}

void TComBuffer::SetInputSize(int32_t value)
{
    fInputSize = value & ~int32_t(1);
    fComPort.ApplyBuffer();
}

void TComBuffer::SetOutputSize(int32_t value)
{
    fOutputSize = value & ~int32_t(1);
    fComPort.ApplyBuffer();
}

void TComTimeouts::Changed()
{
    fComPort.ApplyTimeouts();
}

void TComTimeouts::SetReadInterval(int32_t value)
{
    fReadInterval = value;
    Changed();
}

void TComTimeouts::SetReadTotalMultiplier(int32_t value)
{
    fReadTotalMultiplier = value;
    Changed();
}

void TComTimeouts::SetReadTotalConstant(int32_t value)
{
    fReadTotalConstant = value;
    Changed();
}

void TComTimeouts::SetWriteTotalMultiplier(int32_t value)
{
    fWriteTotalMultiplier = value;
    Changed();
}

void TComTimeouts::SetWriteTotalConstant(int32_t value)
{
    fWriteTotalConstant = value;
    Changed();
}

// ---- Port properties ----

TComPort::TComPort() = default;

TComPort::~TComPort() = default;

void TComPort::SetPort(const std::string& value)
{
    if (value == fPort)
        return;
    fPort = value;
    if (Connected()) {
        Close();
        Open();
    }
}

void TComPort::SetBaudRate(TBaudRate value)
{
    fBaudRate = value;
    ApplyLine();
}

void TComPort::SetCustomBaudRate(uint32_t value)
{
    fCustomBaudRate = value;
    ApplyLine();
}

void TComPort::SetDataBits(TDataBits value)
{
    fDataBits = value;
    ApplyLine();
}

void TComPort::SetStopBits(TStopBits value)
{
    fStopBits = value;
    ApplyLine();
}

uint32_t TComPort::LineBaudRate() const
{
    return fBaudRate == brCustom ? fCustomBaudRate : BaudRateToValue(fBaudRate);
}

double TComPort::CharBits() const
{
    static constexpr std::array<double, 4> dataBits = {5, 6, 7, 8};
    static constexpr std::array<double, 3> stopBits = {1, 1.5, 2};
    const double data = fDataBits < dataBits.size() ? dataBits[fDataBits] : 8;
    const double stop = fStopBits < stopBits.size() ? stopBits[fStopBits] : 1;
    const double parity = fParity.Bits() == prNone ? 0 : 1;
    return 1 + data + parity + stop;
}

double TComPort::LineTimeMs(uint64_t chars) const
{
    const uint32_t rate = LineBaudRate();
    return rate == 0 ? 0 : static_cast<double>(chars) * CharBits() * 1000.0 / rate;
}

namespace {

double ServiceNowMs()
{
    const TCvTimerService* service = TCvTimerService::Current();
    return service ? static_cast<double>(service->NowMs()) : 0;
}

} // namespace

uint32_t TComPort::LineBusyMs() const
{
    if (!TCvTimerService::Current())
        return 0;
    const double left = fLineBusyUntilMs - ServiceNowMs();
    return left > 0 ? static_cast<uint32_t>(std::min<double>(std::ceil(left), UINT32_MAX)) : 0;
}

void TComPort::LineWritten(uint64_t chars)
{
    fLineBusyUntilMs = std::max(fLineBusyUntilMs, ServiceNowMs()) + LineTimeMs(chars);
}

void TComPort::LineIdle()
{
    fLineBusyUntilMs = 0;
}

void TComPort::DeviceWentAway()
{
    if (fDeviceLost)
        return;
    fDeviceLost = true;
    if (TCvLogSink* log = fLog ? fLog : AppLog)
        log->Add(logError, CvLogFormat("Serial port '%s' was lost.", fPort));
}

void TComPort::CallRxChar(int32_t count)
{
    if (count <= 0)
        return;
    TComRxCharParams params;
    params.Sender = this;
    params.Count = count;
    fOnRxChar(params);
}

void TComPort::CallAfterOpen()
{
    fDeviceLost = false;
    TComNotifyParams params;
    params.Sender = this;
    fOnAfterOpen(params);
}

void TComPort::CallAfterClose()
{
    TComNotifyParams params;
    params.Sender = this;
    fOnAfterClose(params);
}
