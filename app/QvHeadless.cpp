#include "app/QvHeadless.h"

#include "app/QvApp.h"
#include "app/QvBeaconJob.h"
#include "app/QvGangDisplay.h"
#include "app/QvGangRun.h"
#include "app/QvSignalWatch.h"
#include "app/QvResultsFile.h"
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

#include <chrono>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

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
    TQvBeaconJobOrder order;
    order.Operation = args.Command;
    order.File = args.File;
    order.AskIdentity = !args.Results.empty();
    if (args.Command == "config" && !CvFileExists(args.File)) {
        AppLog->Add(logError, "The configuration file \"%s\" does not exist.", args.File);
        return QV_EXIT_REJECTED;
    }
    std::unique_ptr<TQvResultsFile> results;
    if (!args.Results.empty()) {
        results = std::make_unique<TQvResultsFile>(args.Results);
        std::string error;
        if (!results->Open(error)) {
            AppLog->Add(logError, "The result records file \"%s\" cannot be written: %s", args.Results, error);
            return QV_EXIT_USAGE;
        }
    }
    if (QvIsGangRun(args)) {
        if (args.Command == "config" && !LoadConfig(args.File, order))
            return QV_EXIT_REJECTED;
        return RunGang(args, order, results.get());
    }
    if (!fCore.CommsConnect())
        return QV_EXIT_PORT;
    const int result = args.Command == "config" && !LoadConfig(args.File, order) ? QV_EXIT_REJECTED
                                                                                : RunJob(order, results.get());
    fCore.CommsDisconnect();
    return result;
}

bool TQvHeadless::LoadConfig(const std::string& file, TQvBeaconJobOrder& order)
{
    TQvSettings& settings = *fCore.Settings();
    TQvCmdEngineeringConfig config = settings.Config();
    std::string error;
    if (!TQvConfigFile::Load(file, config, error)) {
        AppLog->Add(logError, "The configuration file \"%s\" cannot be read: %s", file, error);
        return false;
    }
    config.EngMode = settings.Engineering();
    settings.SetConfig(config);
    order.Key = settings.Key();
    order.Config = config;
    return true;
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

int TQvHeadless::RunJob(const TQvBeaconJobOrder& order, TQvResultsFile* results)
{
    TQvBeaconJob job(*fCore.FlashProg(), fCore.ComPort()->Port(), order,
                     [](TCvAppLogMsgType type, const std::string& text) { AppLog->Add(type, text); });
    QEventLoop loop;
    fJob = &job;
    job.SetOnChanged(TQvBeaconJobEvent::FromFunction([this](TQvBeaconJobParams& p) {
        if (p.Sender->Row().Progress.Blocks > 0 && !p.Sender->Done())
            DrawProgress(p.Sender->Row().Progress);
    }));
    job.SetOnDone(TQvBeaconJobEvent::FromFunction([&loop](TQvBeaconJobParams&) { loop.quit(); }));
    job.Start();
    if (!job.Done())
        loop.exec();
    fJob = nullptr;
    ClearProgress();
    if (results) {
        std::string error;
        if (!results->Append(job.Record(), error))
            AppLog->Add(logError, "The result record could not be written to \"%s\": %s", results->FileName(), error);
    }
    // A run that failed because its port went away is a port fault, not the beacon's.
    if (job.Row().Result != GANG_OK && fCore.ComPort()->DeviceLost())
        return QV_EXIT_PORT;
    return ExitStatus(order.Operation, job);
}

int TQvHeadless::RunGang(const TQvHeadlessArgs& args, const TQvBeaconJobOrder& order, TQvResultsFile* results)
{
    winsize size{};
    const bool live = isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0;
    TQvGangDisplay display(live, live ? size.ws_col : 0, [](const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    });
    fGangDisplay = &display;
    TQvGangRun run(args, fCore.Settings()->SerialPort(), order, display, results);
    QEventLoop loop;
    run.SetOnOver(TCvEvent<TCvTimerParams>::FromFunction([&loop](TCvTimerParams&) { loop.quit(); }));
    // Ctrl-C and SIGTERM stop the runs in progress; the summary follows once they have ended.
    TQvSignalWatch interrupts;
    interrupts.SetOnSignal(TCvEvent<TQvSignalParams>::FromFunction([&run](TQvSignalParams&) { run.Interrupt(); }));
    const auto started = std::chrono::steady_clock::now();
    if (run.Start() && !run.Over())
        loop.exec();
    display.Finish(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    fGangDisplay = nullptr;
    return run.ExitStatus();
}

int TQvHeadless::ExitStatus(const std::string& operation, const TQvBeaconJob& job)
{
    switch (job.StartReturn()) {
    case FP_OK:
        return job.Row().Result == GANG_OK ? QV_EXIT_OK : QV_EXIT_BEACON;
    case FP_ERR_COMMS:
        return QV_EXIT_PORT;
    case FP_ERR_FILEOPEN:
        return QV_EXIT_BEACON; // the engine was busy
    default:
        return operation == "program" ? QV_EXIT_REJECTED : QV_EXIT_BEACON;
    }
}

void TQvHeadless::LogAdd(TCvAppLogAddParams& params)
{
    if (fGangDisplay) {
        fGangDisplay->LogLine(params.Msg);
        return;
    }
    const bool bar = fBarShown;
    ClearProgress();
    std::fputs(params.Msg.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (fJob)
        fJob->LogEntry(params.MsgType, params.Msg);
    if (bar)
        DrawProgress(fLastProgress);
}

void TQvHeadless::EngineAction(TQvFlashProgActionParams& params)
{
    if (fJob)
        fJob->EngineAction(params);
}

void TQvHeadless::DrawProgress(const TQvProgressState& progress)
{
    fLastProgress = progress;
    if (!fProgressBar)
        return;
    std::fprintf(stderr, "\r\033[K%s", QvProgressText(progress).c_str());
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
