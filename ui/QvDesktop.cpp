// The desktop program: the single-instance lock, the Qt services of the seams and the main
// window on the event loop.
#include "app/QvDesktop.h"

#include "app/QvApp.h"
#include "app/QvCmdLine.h"
#include "app/QvDialogs.h"
#include "framework/CvApp.h"
#include "framework/qt/CvQtTimerService.h"
#include "framework/qt/gui/CvQtShell.h"
#include "ui/QvMainForm.h"
#include "ui/QvDesktopIdentity.h"

#include <QApplication>
#include <QLockFile>

#include <cstdio>

int QvRunDesktop(int argc, char** argv, const char* title, const TQvHeadlessArgs& args)
{
    // An unusable argument of a desktop start goes to standard error and, since the operator
    // may have no terminal, into an error box; the program then ends with status 1.
    if (!args.Error.empty())
        std::fprintf(stderr, "%s\n", args.Error.c_str());
    QApplication app(argc, argv);
    QvSetDesktopIdentity(title);
    QvInstallQtDialogs();
    CvQtUseDesktopServices();
    if (!args.Error.empty()) {
        QvDialogs().ShowError(args.Error, "");
        return QV_EXIT_USAGE;
    }
    // One instance at a time owns the settings and log files beside the program. A lock left by
    // a crashed run is detected by its dead process.
    QLockFile lock(QString::fromStdString(TCvApp::GetAppFileName(".lock")));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        QvDialogs().ShowError(
            "Another instance of Quorvan Programmer is running with the same settings and log files.",
            "Close the other instance first.");
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
