#include "app/QvApp.h"

#include "app/QvDialogs.h"
#include "app/QvSettings.h"
#include "app/QvTracePort.h"
#include "flashprog/QvFlashProg.h"
#include "framework/CvApp.h"
#include "framework/CvAppLog.h"
#include "framework/CvAppNotifier.h"
#include "framework/CvFiles.h"
#include "framework/CvFormat.h"
#include "framework/CvText.h"
#include "protocol/QvCmdProc.h"
#include "serial/CvComPort.h"

#include <cstring>
#include <filesystem>

TQvApp* AppCore = nullptr;

namespace {

// The operating system's reason for a failed open, for the detail text of the error box.
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

// A bare argument that names an existing firmware package, as a file manager passes it.
bool IsFirmwareFile(const std::string& arg)
{
    const std::string path = CvTrim(arg);
    return path.size() > 4 && CvSameText(std::string_view(path).substr(path.size() - 4), ".fwx") && CvFileExists(path);
}

} // namespace

TQvApp::TQvApp()
{
    AppLangCode = TCvApp::DefaultLangCode;

    fLog = std::make_unique<TCvAppLog>();
    AppLog = fLog.get();

    fNotifier = std::make_unique<TCvAppNotifier>();
    AppNotifier = fNotifier.get();
    fNotifier->SetLog(fLog.get());
    fNotifier->SetLogEnable(true);
    fNotifier->SetLogDebug(false);

    // Booleans as text are "True" and "False" throughout (the INI files store them as 1/0).

    fComPort = std::make_unique<TQvTracePort>();
    fComPort->SetBaudRate(br9600);
    fComPort->SetPort("COM1");
    fComPort->Parity().SetBits(prNone);
    fComPort->SetStopBits(sbOneStopBit);
    fComPort->SetDataBits(dbEight);
    TComEvents events;
    events.set(evRxChar);
    fComPort->SetEvents(events);
    fComPort->Buffer().SetInputSize(4096);
    fComPort->FlowControl().SetOutCTSFlow(false);
    fComPort->FlowControl().SetOutDSRFlow(false);
    fComPort->FlowControl().SetControlDTR(dtrDisable);
    fComPort->FlowControl().SetControlRTS(rtsDisable);
    fComPort->FlowControl().SetXonXoffOut(false);
    fComPort->FlowControl().SetXonXoffIn(false);
    TStoredProps stored;
    stored.set(spBasic);
    fComPort->SetStoredProps(stored);
    fComPort->SetTriggersOnRxChar(true);

    fCmdProc = std::make_unique<TQvCmdProc>();
    fCmdProc->SetComPort(fComPort.get());
    fCmdProc->SetOnDecode(TCvEvent<TQvCmdProcDecodeParams>(this, &TQvApp::CmdProcDecode));
    fCmdProc->SetOnSend(TCvEvent<TQvCmdProcSendParams>(this, &TQvApp::CmdProcSend));
    fCmdProc->SetDecodeErrorEnUnregistered(false);

    fSettings = std::make_unique<TQvSettings>();
    fSettings->Defaults();
    fSettings->Load();

    fSettings->SerialPort().ToComPort(fComPort.get());

    ApplyCommandLine();

    if (fSettings->Engineering()) {
        AppLog->Add(logInfo, "Engineering mode enabled.");
        fNotifier->SetLogDebug(true);
    }

    fFlashProg = std::make_unique<TQvFlashProg>(fComPort.get(), fCmdProc.get());
}

TQvApp::~TQvApp()
{
    fNotifier->UnregisterHandler(this);
    if (fComPort->Connected())
        CommsDisconnect();

    fFlashProg.reset();
    fSettings.reset();
    fCmdProc.reset();
    // The port raises OnAfterClose from its destructor when still open; nobody listens by now.
    fComPort->SetOnAfterOpen({});
    fComPort->SetOnAfterClose({});
    fComPort.reset();

    AppNotifier = nullptr;
    fNotifier.reset();
    AppLog = nullptr;
    fLog.reset();
}

TComPort* TQvApp::ComPort() const
{
    return fComPort.get();
}

void TQvApp::SetTrace(bool value)
{
    fComPort->SetTrace(value);
}

void TQvApp::ApplyCommandLine()
{
    for (const auto& param : fSettings->AppParams()) {
        const std::string sw = CvUpperCase(CvTrim(param.Switch));
        if (sw == "MIN") {
            AppLog->Add(logInfo, "Running minimised.");
            fStartMinimised = true;
        } else if (sw == "PORT") {
            // Serial port for this run only: any device name or path.
            const std::string port = CvTrim(param.Value);
            if (!port.empty())
                fSettings->SetRunPortName(port);
        } else if (sw == "BAUD") {
            // Baud rate for this run only. The program refuses an unsupported rate before the
            // core exists; here it is left out rather than turned into another rate.
            const TBaudRate rate = TCvComPort::GetBaudRate(param.Value, true);
            if (rate != brCustom)
                fSettings->SetRunBaudRate(rate);
        } else if (param.Index > 0 && IsFirmwareFile(param.Param)) {
            if (fFirmwareFile.empty())
                fFirmwareFile = std::filesystem::absolute(CvTrim(param.Param)).lexically_normal().string();
        }
    }
}

bool TQvApp::CommsConnect()
{
    if (fComPort->Connected())
        return true;

    const std::string port = fSettings->SerialPort().PortName();
    AppLog->Add(logInfo, "Opening serial port \"%s\"...", port);

    std::string detail;
    bool opened = false;
    try {
        if (TCvComPort::CheckPortExists(port)) {
            fSettings->SerialPort().ToComPort(fComPort.get());
            fComPort->Open();
            if (fComPort->Connected()) {
                fComPort->ClearBuffer(true, true);
                opened = true;
            }
        } else {
            detail = OpenFailureDetail(port, 2);
        }
    } catch (const EComPort& e) {
        detail = OpenFailureDetail(port, e.WinCode());
        if (detail.empty())
            detail = e.what();
    } catch (const std::exception& e) {
        detail = e.what();
    }

    if (!opened) {
        const std::string text = CvFormat("The serial port \"%s\" is not available, and cannot be opened.", port);
        AppLog->Add(logError, text);
        if (QvDialogs().ShowError)
            QvDialogs().ShowError(text, detail);
    } else {
        AppLog->Add(logInfo, "Opened serial port \"%s\", with settings \"%s\".", port,
                    fSettings->SerialPort().SettingsText());
    }

    fCmdProc->DecodeReset();
    return opened;
}

void TQvApp::CommsDisconnect()
{
    if (!fComPort->Connected())
        return;
    const std::string port = fComPort->Port();
    AppLog->Add(logInfo, "Closing serial port \"%s\".", port);
    try {
        fComPort->Close();
        AppLog->Add(logInfo, "Closed serial port \"%s\".", port);
    } catch (const std::exception&) {
        AppLog->Add(logError, "An error occured while trying to close serial port \"%s\".", port);
    }
}

void TQvApp::CmdProcDecode(TQvCmdProcDecodeParams& params)
{
    if (params.Status != cdec_OK)
        AppLog->Add(logError, params.StatusStr);
}

void TQvApp::CmdProcSend(TQvCmdProcSendParams&)
{
    // Sent lines leave no trace in the log.
}
