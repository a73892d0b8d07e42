#include "flashprog/QvStation.h"

#include "flashprog/QvFlashProg.h"
#include "flashprog/QvFlashProgLog.h"
#include "framework/CvFormat.h"
#include "protocol/QvCmdProc.h"
#include "serial/ComPort.h"
#include "serial/CvComPort.h"

#include <cstring>

namespace {

// The operating system's reason for a failed open, for the detail text of an error box.
std::string OpenFailureDetail(const std::string& port, int32_t winCode)
{
    switch (winCode) {
    case -1:
        return {};
    case 2:
        return "No such device: is the beacon's adapter plugged in?";
    case 13:
        return "Permission denied: is the user in the dialout group?";
    case 16:
        return "The device is busy: is another program using " + port + "?";
    default:
        return std::strerror(winCode);
    }
}

// The line settings every station's port starts with (the stored settings replace the line
// settings at Connect).
void PortDefaults(TComPort& port)
{
    port.SetBaudRate(br9600);
    port.SetPort("COM1");
    port.Parity().SetBits(prNone);
    port.SetStopBits(sbOneStopBit);
    port.SetDataBits(dbEight);
    TComEvents events;
    events.set(evRxChar);
    port.SetEvents(events);
    port.Buffer().SetInputSize(4096);
    port.FlowControl().SetOutCTSFlow(false);
    port.FlowControl().SetOutDSRFlow(false);
    port.FlowControl().SetControlDTR(dtrDisable);
    port.FlowControl().SetControlRTS(rtsDisable);
    port.FlowControl().SetXonXoffOut(false);
    port.FlowControl().SetXonXoffIn(false);
    TStoredProps stored;
    stored.set(spBasic);
    port.SetStoredProps(stored);
    port.SetTriggersOnRxChar(true);
}

} // namespace

TQvStation::TQvStation(std::unique_ptr<TComPort> port, TCvLogSink* log)
    : fLog(log)
    , fPort(std::move(port))
{
    PortDefaults(*fPort);
    fPort->SetLog(fLog);
    fCmdProc = std::make_unique<TQvCmdProc>();
    fCmdProc->SetComPort(fPort.get());
    fCmdProc->SetOnDecode(TQvCmdProcDecodeEvent(this, &TQvStation::CmdProcDecode));
    // Sent lines leave no trace in the log.
    fCmdProc->SetDecodeErrorEnUnregistered(false);
    fFlashProg = std::make_unique<TQvFlashProg>(fPort.get(), fCmdProc.get(), fLog);
}

TQvStation::~TQvStation()
{
    fFlashProg.reset();
    fCmdProc.reset();
    // The port raises OnAfterClose from its destructor when still open; nobody listens by now.
    fPort->SetOnAfterOpen({});
    fPort->SetOnAfterClose({});
    fPort.reset();
}

bool TQvStation::Connect(const TCvComSettings& settings, TQvStationFailure* failure)
{
    if (fPort->Connected())
        return true;

    const std::string port = settings.PortName();
    QvFlashProgLog(fLog, logInfo, "Opening serial port \"%s\"...", port);

    std::string detail;
    std::string reason; // what the port said beyond its error number (who holds it)
    bool opened = false;
    try {
        settings.ToComPort(fPort.get());
        fPort->Open();
        if (fPort->Connected()) {
            fPort->ClearBuffer(true, true);
            opened = true;
        }
    } catch (const EComPort& e) {
        reason = e.Detail();
        detail = reason.empty() ? OpenFailureDetail(port, e.WinCode()) : reason;
        if (detail.empty())
            detail = e.what();
    } catch (const std::exception& e) {
        detail = e.what();
    }

    if (!opened) {
        const std::string text =
            CvFormat("The serial port \"%s\" is not available, and cannot be opened.", port);
        QvFlashProgLog(fLog, logError, text);
        if (!reason.empty())
            QvFlashProgLog(fLog, logError, reason);
        if (failure) {
            failure->Text = text;
            failure->Detail = detail;
        }
    } else {
        QvFlashProgLog(fLog, logInfo, "Opened serial port \"%s\", with settings \"%s\".", port,
                       settings.SettingsText());
    }

    fCmdProc->DecodeReset();
    return opened;
}

void TQvStation::Disconnect()
{
    if (!fPort->Connected())
        return;
    const std::string port = fPort->Port();
    QvFlashProgLog(fLog, logInfo, "Closing serial port \"%s\".", port);
    try {
        fPort->Close();
        QvFlashProgLog(fLog, logInfo, "Closed serial port \"%s\".", port);
    } catch (const std::exception&) {
        QvFlashProgLog(fLog, logError, "An error occured while trying to close serial port \"%s\".", port);
    }
}

void TQvStation::CmdProcDecode(TQvCmdProcDecodeParams& params)
{
    if (params.Status != cdec_OK)
        QvFlashProgLog(fLog, logError, params.StatusStr);
}
