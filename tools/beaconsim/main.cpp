// quorvan-beacon-sim: a simulated beacon on a pseudo-terminal or a serial device.
#include "framework/CvClock.h"
#include "framework/qt/CvQtTimerService.h"
#include "tools/sim/QvSimBeacon.h"
#include "tools/sim/QvSimOptions.h"
#include "tools/simqt/QvSimHost.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
int gSignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &c, 1);
}

void PrintErr(const std::string& text)
{
    std::fprintf(stderr, "quorvan-beacon-sim: %s\n", text.c_str());
    std::fflush(stderr);
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    TQvSimOptions options;
    std::string error;
    if (!TQvSimOptions::Parse(args, options, error)) {
        PrintErr(error);
        std::fprintf(stderr, "Try --help.\n");
        return 2;
    }
    if (options.Help) {
        std::fputs(TQvSimOptions::Usage().c_str(), stdout);
        return 0;
    }
    TQvSimConfig config;
    if (!options.Resolve(config, error)) {
        PrintErr(error);
        return 2;
    }

    QCoreApplication app(argc, argv);
    TCvQtTimerService timers;
    TCvTimerServiceScope scope(&timers);

    // SIGINT and SIGTERM end the event loop through a socket pair, the only safe way out of a
    // signal handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) {
        PrintErr("cannot create the signal pipe");
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier signalNotifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });

    TQvSimBeacon beacon(config);
    beacon.SetOnLog(TCvEvent<TQvSimLogParams>::FromFunction([&options](TQvSimLogParams& p) {
        if (p.Kind == SIMLOG_ERROR) {
            PrintErr(p.Text);
            return;
        }
        if (!options.Verbose)
            return;
        const char* tag = p.Kind == SIMLOG_RX ? "RX" : p.Kind == SIMLOG_TX ? "TX" : "--";
        std::fprintf(stderr, "%s %s %s\n", CvDateTimeText(CvNow()).c_str(), tag, p.Text.c_str());
        std::fflush(stderr);
    }));

    TQvSimHost host(beacon);
    const bool opened = options.Device.empty()
        ? host.OpenPty(error)
        : host.OpenDevice(options.Device, options.BaudGiven ? config.Baud : 0, error);
    if (!opened) {
        PrintErr(error);
        return 1;
    }
    if (!options.Link.empty() && !host.MakeLink(options.Link, error)) {
        PrintErr(error);
        return 1;
    }
    std::fprintf(stdout, "%s\n", host.DevicePath().c_str());
    std::fflush(stdout);
    if (!beacon.SaveState(error)) // a state file that cannot be written is reported at once
        PrintErr(error);

    bool lost = false;
    QObject::connect(&host, &TQvSimHost::DeviceClosed, &app, [&] {
        lost = !beacon.Closed();
        PrintErr(lost ? "the device went away; exiting" : "the device is closed; exiting");
        app.quit();
    });
    const int rc = app.exec();
    QObject::disconnect(&host, nullptr, &app, nullptr);

    const bool saved = beacon.SaveState(error);
    if (!saved)
        PrintErr(error);
    host.Close();
    ::close(gSignalPipe[0]);
    ::close(gSignalPipe[1]);
    return rc != 0 ? rc : (saved && !lost ? 0 : 1);
}
