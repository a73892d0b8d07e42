#include "app/QvSignalWatch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe is the one thing the handler touches; one watch exists at a time.
int gSignalPipe[2] = {-1, -1};
struct sigaction gPreviousInt {};
struct sigaction gPreviousTerm {};

void OnSignal(int sig)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TQvSignalWatch::TQvSignalWatch()
{
    if (gSignalPipe[0] >= 0 || ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &gPreviousInt);
    ::sigaction(SIGTERM, &action, &gPreviousTerm);
    fNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(fNotifier.get(), &QSocketNotifier::activated, [this] { ReadPipe(); });
    fActive = true;
}

TQvSignalWatch::~TQvSignalWatch()
{
    if (!fActive)
        return;
    ::sigaction(SIGINT, &gPreviousInt, nullptr);
    ::sigaction(SIGTERM, &gPreviousTerm, nullptr);
    fNotifier.reset();
    ::close(gSignalPipe[0]);
    ::close(gSignalPipe[1]);
    gSignalPipe[0] = gSignalPipe[1] = -1;
}

void TQvSignalWatch::ReadPipe()
{
    unsigned char byte = 0;
    while (::read(gSignalPipe[0], &byte, 1) == 1) {
        TQvSignalParams params{byte};
        fOnSignal(params);
    }
}
