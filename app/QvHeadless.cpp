#include "app/QvHeadless.h"

#include "app/QvApp.h"
#include "app/QvSettings.h"
#include "flashprog/QvFlashProg.h"
#include "flashprog/QvFlashProgFile.h"
#include "framework/CvAppLog.h"
#include "framework/CvFiles.h"
#include "framework/CvFormat.h"
#include "framework/CvText.h"
#include "framework/CvTimer.h"
#include "serial/ComPort.h"
#include "serial/CvComPort.h"
#include "protocol/QvConfigFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPortInfo>

#include <algorithm>

namespace {

uint64_t NowMs()
{
    TCvTimerService* service = TCvTimerService::Current();
    return service ? service->NowMs() : 0;
}

} // namespace

TQvHeadless::TQvHeadless(TQvApp& core, bool progressBar)
    : fCore(core)
    , fProgressBar(progressBar)
{
    AppLog->SetOnAdd(TCvAppLogAddEvent(this, &TQvHeadless::LogAdd));
    fCore.FlashProg()->SetOnAction(TQvFlashProgActionEvent(this, &TQvHeadless::EngineAction));
}

TQvHeadless::~TQvHeadless()
{
    ClearProgress();
    fCore.FlashProg()->SetOnAction({});
    if (AppLog)
        AppLog->SetOnAdd({});
}

std::vector<std::string> TQvHeadless::PortLines()
{
    std::vector<std::string> ports;
    TCvComPort::GetPorts(ports);
    std::vector<std::string> lines;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const std::string& port : ports) {
        std::string line = port;
        for (const QSerialPortInfo& info : infos) {
            if (info.portName().toStdString() != port && info.systemLocation().toStdString() != port)
                continue;
            std::string desc = info.description().toStdString();
            if (!info.manufacturer().isEmpty())
                desc += (desc.empty() ? "" : ", ") + info.manufacturer().toStdString();
            if (info.hasVendorIdentifier() && info.hasProductIdentifier())
                desc += CvFormat("%s[%.4x:%.4x]", desc.empty() ? "" : " ", info.vendorIdentifier(),
                                 info.productIdentifier());
            if (!desc.empty())
                line += "\t" + desc;
        }
        lines.push_back(line);
    }
    return lines;
}

int TQvHeadless::Run(const TQvHeadlessArgs& args)
{
    if (args.Command == "ports") {
        for (const std::string& line : PortLines())
            std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        return QV_EXIT_OK;
    }
    if (args.Command == "inspect")
        return RunInspect(args.File);
    if (args.Command == "config" && !CvFileExists(args.File)) {
        AppLog->Add(logError, "The configuration file \"%s\" does not exist.", args.File);
        return QV_EXIT_REJECTED;
    }
    if (!fCore.CommsConnect())
        return QV_EXIT_PORT;
    int result = QV_EXIT_USAGE;
    if (args.Command == "info")
        result = RunInfo();
    else if (args.Command == "program")
        result = RunProgram(args.File);
    else if (args.Command == "config")
        result = RunConfig(args.File);
    // A port that went away during the run ends it as "port not available", whatever the
    // engine made of the silence that followed.
    if (fCore.ComPort()->DeviceLost())
        result = QV_EXIT_PORT;
    fCore.CommsDisconnect();
    return result;
}

int TQvHeadless::RunInspect(const std::string& file)
{
    TQvFlashProgTarget target;
    AppLog->Add(logInfo, "Inspecting firmware file \"%s\".", file);
    const EQvFlashProgReturn ret = TQvFlashProgFile::Load(file, target);
    if (ret != FP_OK) {
        AppLog->Add(logError, "The package is not valid.");
        return QV_EXIT_REJECTED;
    }
    uint64_t bytes = 0;
    for (const auto& block : target.Block)
        bytes += block.Data.size();
    AppLog->Add(logInfo, "Package is valid: %u blocks, %u bytes of data.", static_cast<unsigned>(target.Block.size()),
                static_cast<unsigned>(bytes));
    return QV_EXIT_OK;
}

int TQvHeadless::RunInfo()
{
    const EQvFlashProgReturn ret = fCore.FlashProg()->DeviceInfo();
    if (ret == FP_ERR_COMMS)
        return QV_EXIT_PORT;
    if (ret != FP_OK)
        return QV_EXIT_BEACON;
    return ExchangeResult(WaitForEngine(ExchangeLimitMs));
}

int TQvHeadless::ExchangeResult(int waitResult) const
{
    // An exchange that ran to its end has still failed when the beacon refused a request.
    return waitResult == QV_EXIT_OK && fCore.FlashProg()->Refused() ? QV_EXIT_BEACON : waitResult;
}

int TQvHeadless::RunProgram(const std::string& file)
{
    const EQvFlashProgReturn ret = fCore.FlashProg()->DeviceProgram(file);
    switch (ret) {
    case FP_OK:
        return WaitForEngine();
    case FP_ERR_COMMS:
        return QV_EXIT_PORT;
    case FP_ERR_FILEOPEN:
        return QV_EXIT_BEACON;
    default:
        return QV_EXIT_REJECTED;
    }
}

int TQvHeadless::RunConfig(const std::string& file)
{
    TQvSettings& settings = *fCore.Settings();
    TQvCmdEngineeringConfig config = settings.Config();
    std::string error;
    if (!TQvConfigFile::Load(file, config, error)) {
        AppLog->Add(logError, "The configuration file \"%s\" cannot be read: %s", file, error);
        return QV_EXIT_REJECTED;
    }
    config.EngMode = settings.Engineering();
    settings.SetConfig(config);
    const EQvFlashProgReturn ret = fCore.FlashProg()->DeviceConfig(settings.Key(), config);
    if (ret == FP_ERR_COMMS)
        return QV_EXIT_PORT;
    if (ret != FP_OK)
        return QV_EXIT_BEACON;
    return ExchangeResult(WaitForEngine(ExchangeLimitMs));
}

int TQvHeadless::WaitForEngine(uint64_t limitMs)
{
    fRunning = true;
    fResult = QV_EXIT_OK;
    fStartMs = NowMs();
    QEventLoop loop;
    fLoop = &loop;
    // The information and configuration exchanges end by going idle without an event, and
    // once their first reply is in they wait for the rest without a limit: watch the state,
    // and bound the whole exchange so a beacon that stops answering cannot hang the run.
    TCvTimer watch(50);
    watch.SetOnTimer(TCvEvent<TCvTimerParams>::FromFunction([this, limitMs](TCvTimerParams&) {
        if (!fRunning)
            return;
        if (fCore.FlashProg()->State() == FP_IDLE) {
            fRunning = false;
        } else if (limitMs > 0 && NowMs() - fStartMs > limitMs) {
            AppLog->Add(logError, "The beacon did not answer every request within %u seconds.",
                        static_cast<unsigned>(limitMs / 1000));
            fCore.FlashProg()->Stop();
            fRunning = false;
            fResult = QV_EXIT_BEACON;
        }
        if (!fRunning && fLoop)
            fLoop->quit();
    }));
    watch.Start();
    if (fRunning)
        loop.exec();
    watch.Stop();
    fLoop = nullptr;
    ClearProgress();
    return fResult;
}

void TQvHeadless::LogAdd(TCvAppLogAddParams& params)
{
    const bool bar = fBarShown;
    ClearProgress();
    std::fputs(params.Msg.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (bar)
        DrawProgress();
}

void TQvHeadless::EngineAction(TQvFlashProgActionParams& params)
{
    switch (params.Action) {
    case FP_ACTION_START:
        fStartMs = NowMs();
        QvProgressStart(fProgress, fCore.FlashProg()->Target());
        break;
    case FP_ACTION_PROGRESS:
        QvProgressBlockSent(fProgress, fCore.FlashProg()->Target(), params.Progress, NowMs() - fStartMs);
        DrawProgress();
        break;
    case FP_ACTION_DONE:
    case FP_ACTION_ERROR:
    case FP_ACTION_STOP:
        fRunning = false;
        fResult = params.Action == FP_ACTION_DONE ? QV_EXIT_OK : QV_EXIT_BEACON;
        if (fLoop)
            fLoop->quit();
        break;
    default:
        break;
    }
}

void TQvHeadless::DrawProgress()
{
    if (!fProgressBar)
        return;
    std::fprintf(stderr, "\r\033[K%s", QvProgressText(fProgress).c_str());
    std::fflush(stderr);
    fBarShown = true;
}

void TQvHeadless::ClearProgress()
{
    if (!fBarShown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    fBarShown = false;
}
