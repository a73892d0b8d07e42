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
#include "ui/QvConfigFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPortInfo>

#include <algorithm>

namespace {

bool IsSwitch(const std::string& arg)
{
    if (arg.size() < 2)
        return false;
    if (arg[0] == '-')
        return true;
    if (arg[0] != '/')
        return false;
    // "/NAME", "/NAME=value", "/NAME:value": a name of letters only; anything else is a path.
    size_t i = 1;
    while (i < arg.size() && std::isalpha(static_cast<unsigned char>(arg[i])))
        ++i;
    return i > 1 && (i == arg.size() || arg[i] == '=' || arg[i] == ':');
}

std::string SwitchName(const std::string& arg)
{
    std::string name = arg.substr(arg[0] == '-' && arg.size() > 1 && arg[1] == '-' ? 2 : 1);
    const size_t sep = name.find_first_of("=:");
    return CvUpperCase(CvTrim(name.substr(0, sep)));
}

uint64_t NowMs()
{
    TCvTimerService* service = TCvTimerService::Current();
    return service ? service->NowMs() : 0;
}

} // namespace

TQvHeadlessArgs QvParseHeadlessArgs(const std::vector<std::string>& args)
{
    static const std::vector<std::string> known = {"PORT", "BAUD", "TRACE", "MIN", "LOG", "LOGAUTOSAVE", "LOGENTRIES"};
    TQvHeadlessArgs out;
    std::vector<std::string> positional;
    for (const std::string& arg : args) {
        if (!IsSwitch(arg)) {
            positional.push_back(arg);
            continue;
        }
        const std::string name = SwitchName(arg);
        if (name == "HELP" || name == "H" || name == "?") {
            out.Help = true;
        } else if (name == "TRACE") {
            out.Trace = true;
        } else if (CvIndexText(name, known) < 0) {
            out.Error = "Unknown switch \"" + arg + "\".";
        } else if ((name == "PORT" || name == "BAUD") && arg.find_first_of("=:") == std::string::npos) {
            out.Error = "The switch \"" + arg + "\" needs a value, e.g. -" + name + "=...";
        }
    }
    if (!positional.empty())
        out.Command = CvLowerCase(positional[0]);
    const bool needsFile = out.Command == "program" || out.Command == "config" || out.Command == "inspect";
    const bool known_command = out.Command.empty() || out.Command == "ports" || out.Command == "info" || needsFile;
    if (out.Error.empty() && !known_command)
        out.Error = "Unknown command \"" + positional[0] + "\".";
    else if (out.Error.empty() && needsFile && positional.size() != 2)
        out.Error = "The command \"" + out.Command + "\" takes one file.";
    else if (out.Error.empty() && !needsFile && positional.size() > 1)
        out.Error = "Unexpected argument \"" + positional[1] + "\".";
    if (needsFile && positional.size() >= 2)
        out.File = positional[1];
    return out;
}

std::string QvHeadlessUsage()
{
    return "Usage: quorvan-programmer [COMMAND [FILE]] [SWITCHES]\n"
           "\n"
           "Without a command the desktop program starts.\n"
           "\n"
           "Commands:\n"
           "  ports               list the serial ports present, one a line\n"
           "  info                connect, read system information and configuration, print\n"
           "  program FILE.fwx    connect and program the firmware package into the beacon\n"
           "  config FILE.ini     write a Beacon Config File into the beacon, then read back\n"
           "  inspect FILE.fwx    load and validate a package without a beacon\n"
           "\n"
           "Switches (\"-\" or \"/\", value after \"=\" or \":\"):\n"
           "  -PORT=NAME          serial port for this run (a name or any device path)\n"
           "  -BAUD=RATE          baud rate for this run\n"
           "  -TRACE              every line sent and received to standard error\n"
           "  -LOG=ON|OFF, -LOGAUTOSAVE=MINUTES, -LOGENTRIES=LINES   the log file\n"
           "  -MIN                desktop program: start minimised\n"
           "\n"
           "Every log entry is printed to standard output as it is made. Headless runs do not\n"
           "save the settings file. One instance at a time uses a settings and log file; a\n"
           "second one exits with status 5.\n"
           "\n"
           "Exit status:\n"
           "  0  success\n"
           "  1  bad arguments\n"
           "  2  the serial port is not available\n"
           "  3  the package or configuration file was rejected\n"
           "  4  the beacon refused, answered wrongly or timed out\n"
           "  5  another instance is running\n";
}

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
    return WaitForEngine();
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
    return WaitForEngine();
}

int TQvHeadless::WaitForEngine()
{
    fRunning = true;
    fResult = QV_EXIT_OK;
    fStartMs = NowMs();
    QEventLoop loop;
    fLoop = &loop;
    if (fRunning)
        loop.exec();
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
        fProgress = TQvProgressState{};
        fProgress.Blocks = static_cast<int32_t>(fCore.FlashProg()->Target().Block.size());
        for (const auto& block : fCore.FlashProg()->Target().Block)
            fProgress.TotalBytes += block.Data.size();
        break;
    case FP_ACTION_PROGRESS: {
        // Raised as each block is sent: the blocks before it are acknowledged.
        const auto& blocks = fCore.FlashProg()->Target().Block;
        fProgress.Percent = params.Progress;
        fProgress.Block = std::min<int32_t>(fProgress.Block + 1, static_cast<int32_t>(blocks.size()));
        fProgress.Bytes = 0;
        for (int32_t i = 0; i + 1 < fProgress.Block; ++i)
            fProgress.Bytes += blocks[static_cast<size_t>(i)].Data.size();
        fProgress.ElapsedMs = NowMs() - fStartMs;
        DrawProgress();
        break;
    }
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
