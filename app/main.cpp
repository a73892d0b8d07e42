// quorvan-programmer: the desktop program, or with a command one headless run of the same core.
#include "app/QvApp.h"
#include "app/QvDesktop.h"
#include "app/QvHeadless.h"
#include "framework/CvApp.h"
#include "framework/qt/CvQtTimerService.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const kTitle = "Quorvan Programmer";

// A headless run takes no program-wide lock: runs on different ports work side by side (each
// port is locked while open), and they share the log file without losing lines.
int RunHeadless(int argc, char** argv, const TQvHeadlessArgs& args)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kTitle);
    if (args.Command == "ports") {
        for (const std::string& line : TQvHeadless::PortLines())
            std::printf("%s\n", line.c_str());
        return QV_EXIT_OK;
    }
    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    int result = QV_EXIT_OK;
    {
        TQvApp core;
        AppCore = &core;
        core.SetTrace(args.Trace);
        {
            TQvHeadless headless(core, args.Command == "program" && isatty(STDERR_FILENO));
            result = headless.Run(args);
        }
        AppCore = nullptr;
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const TQvHeadlessArgs args = QvParseHeadlessArgs(arguments);
    if (args.Help) {
        std::fputs(QvHeadlessUsage().c_str(), stdout);
        return QV_EXIT_OK;
    }
    if (!args.Error.empty() && !args.Command.empty()) {
        std::fprintf(stderr, "%s\n\n%s", args.Error.c_str(), QvHeadlessUsage().c_str());
        return QV_EXIT_USAGE;
    }
    TCvApp::SetAppTitle(kTitle);
    if (args.Command.empty())
        return QvRunDesktop(argc, argv, kTitle, args);
    return RunHeadless(argc, argv, args);
}
