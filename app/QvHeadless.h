// The headless commands of quorvan-programmer: the same core, settings file and log as the
// desktop program, for scripts and production lines. Every log entry's text goes to standard
// output the moment it is added; the exit status tells what kind of failure ended the run.
#pragma once

#include "app/QvCmdLine.h"
#include "app/QvProgressText.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class QEventLoop;
class TQvApp;
struct TCvAppLogAddParams;
struct TQvFlashProgActionParams;

class TQvHeadless {
public:
    TQvHeadless(TQvApp& core, bool progressBar);
    ~TQvHeadless();
    TQvHeadless(const TQvHeadless&) = delete;
    TQvHeadless& operator=(const TQvHeadless&) = delete;

    // Runs one command to its end (event loop included) and returns its exit status.
    int Run(const TQvHeadlessArgs& args);

    // The port list of "ports", one a line, with the USB description where known.
    static std::vector<std::string> PortLines();

private:
    int RunInfo();
    int RunProgram(const std::string& file);
    int RunConfig(const std::string& file);
    int RunInspect(const std::string& file);
    // Waits on the event loop until the engine is idle again (or reports done, error or stop);
    // `limitMs` > 0 bounds the whole wait.
    int WaitForEngine(uint64_t limitMs = 0);
    // The status of an information or configuration exchange from its wait's status.
    int ExchangeResult(int waitResult) const;
    // Longest an information or configuration exchange may take.
    static constexpr uint64_t ExchangeLimitMs = 10000;

    void LogAdd(TCvAppLogAddParams& params);
    void EngineAction(TQvFlashProgActionParams& params);
    void DrawProgress();
    void ClearProgress();

    TQvApp& fCore;
    bool fProgressBar;
    bool fBarShown = false;
    bool fRunning = false;
    QEventLoop* fLoop = nullptr;
    int fResult = QV_EXIT_OK;
    TQvProgressState fProgress;
    uint64_t fStartMs = 0;
};
