// SIGINT and SIGTERM delivered on the main thread: the handler only writes the signal number to
// a pipe, and a socket notifier on the pipe's read end raises OnSignal from the event loop.
#pragma once

#include "framework/CvEvent.h"

#include <memory>

class QSocketNotifier;

struct TQvSignalParams {
    int Signal = 0;
};

class TQvSignalWatch {
public:
    // Installs the handlers for SIGINT and SIGTERM; the destructor puts the previous ones back.
    TQvSignalWatch();
    ~TQvSignalWatch();
    TQvSignalWatch(const TQvSignalWatch&) = delete;
    TQvSignalWatch& operator=(const TQvSignalWatch&) = delete;

    // False when the pipe or the handlers could not be set up.
    bool Active() const { return fActive; }
    void SetOnSignal(const TCvEvent<TQvSignalParams>& handler) { fOnSignal = handler; }

private:
    void ReadPipe();

    bool fActive = false;
    std::unique_ptr<QSocketNotifier> fNotifier;
    TCvEvent<TQvSignalParams> fOnSignal;
};
