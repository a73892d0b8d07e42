// quorvan-programmer: the desktop program, or with a command one headless run of the same core.
#include "app/QvApp.h"
#include "app/QvDialogs.h"
#include "app/QvHeadless.h"
#include "framework/CvApp.h"
#include "framework/qt/CvQtTimerService.h"
#include "framework/qt/gui/CvQtShell.h"
#include "ui/QvDesktopIdentity.h"
#include "ui/QvMainForm.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLockFile>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const kTitle = "Quorvan Programmer";

const char* const kInstanceText =
    "Another instance of Quorvan Programmer is running with the same settings and log files.";

int RunDesktop(int argc, char** argv, const TQvHeadlessArgs& args, QLockFile& lock)
{
    // An unusable argument of a desktop start goes to standard error and, since the operator
    // may have no terminal, into an error box; the program then ends with status 1.
    if (!args.Error.empty())
        std::fprintf(stderr, "%s\n", args.Error.c_str());
    QApplication app(argc, argv);
    QvSetDesktopIdentity(kTitle);
    QvInstallQtDialogs();
    CvQtUseDesktopServices();
    if (!args.Error.empty()) {
        QvDialogs().ShowError(args.Error, "");
        return QV_EXIT_USAGE;
    }
    if (!lock.tryLock(0)) {
        QvDialogs().ShowError(kInstanceText, "Close the other instance first.");
        return QV_EXIT_INSTANCE;
    }
    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);
    TQvMainFrm form;
    if (AppCore && AppCore->StartMinimised())
        form.showMinimized(); // still reachable from the task bar
    else
        form.show();
    return QApplication::exec();
}

int RunHeadless(int argc, char** argv, const TQvHeadlessArgs& args, QLockFile& lock)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kTitle);
    if (args.Command == "ports") {
        for (const std::string& line : TQvHeadless::PortLines())
            std::printf("%s\n", line.c_str());
        return QV_EXIT_OK;
    }
    if (!lock.tryLock(0)) {
        std::fprintf(stderr, "%s\n", kInstanceText);
        return QV_EXIT_INSTANCE;
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
    // One instance at a time owns the settings and log files beside the program.
    QLockFile lock(QString::fromStdString(TCvApp::GetAppFileName(".lock")));
    lock.setStaleLockTime(0); // a lock left by a crashed run is detected by its dead process
    if (args.Command.empty())
        return RunDesktop(argc, argv, args, lock);
    return RunHeadless(argc, argv, args, lock);
}
