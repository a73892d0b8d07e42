#include "app/QvApp.h"

#include "app/QvDialogs.h"
#include "app/QvSettings.h"
#include "app/QvTracePort.h"
#include "flashprog/QvFlashProg.h"
#include "flashprog/QvStation.h"
#include "framework/CvApp.h"
#include "framework/CvAppLog.h"
#include "framework/CvAppNotifier.h"
#include "framework/CvFiles.h"
#include "framework/CvFormat.h"
#include "framework/CvText.h"
#include "protocol/QvCmdProc.h"
#include "serial/CvComPort.h"

#include <filesystem>

TQvApp* AppCore = nullptr;

namespace {

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

    auto port = std::make_unique<TQvTracePort>();
    fTracePort = port.get();
    fStation = std::make_unique<TQvStation>(std::move(port), fLog.get());

    fSettings = std::make_unique<TQvSettings>();
    fSettings->Defaults();
    fSettings->Load();

    fSettings->SerialPort().ToComPort(ComPort());

    ApplyCommandLine();

    if (fSettings->Engineering()) {
        AppLog->Add(logInfo, "Engineering mode enabled.");
        fNotifier->SetLogDebug(true);
    }
}

TQvApp::~TQvApp()
{
    fNotifier->UnregisterHandler(this);
    CommsDisconnect();

    fStation.reset();
    fTracePort = nullptr;
    fSettings.reset();

    AppNotifier = nullptr;
    fNotifier.reset();
    AppLog = nullptr;
    fLog.reset();
}

TQvCmdProc* TQvApp::CmdProc() const
{
    return fStation->CmdProc();
}

TComPort* TQvApp::ComPort() const
{
    return fStation->Port();
}

TQvFlashProg* TQvApp::FlashProg() const
{
    return fStation->FlashProg();
}

void TQvApp::SetTrace(bool value)
{
    fTracePort->SetTrace(value);
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
    TQvStationFailure failure;
    if (fStation->Connect(fSettings->SerialPort(), &failure))
        return true;
    if (QvDialogs().ShowError)
        QvDialogs().ShowError(failure.Text, failure.Detail);
    return false;
}

void TQvApp::CommsDisconnect()
{
    fStation->Disconnect();
}
