// The headless commands of quorvan-programmer: the same core, settings file and log as the
// desktop program, for scripts and production lines. Every log entry's text goes to standard
// output the moment it is added; the exit status tells what kind of failure ended the run.
#pragma once

#include "app/QvProgressText.h"

#include <cstdio>
#include <string>
#include <vector>

class QEventLoop;
class TQvApp;
struct TCvAppLogAddParams;
struct TQvFlashProgActionParams;

// Exit statuses of the headless commands.
enum EQvExitStatus : int {
    QV_EXIT_OK = 0,
    QV_EXIT_USAGE = 1,        // bad arguments
    QV_EXIT_PORT = 2,         // the serial port is not available
    QV_EXIT_REJECTED = 3,     // the package or configuration file was rejected
    QV_EXIT_BEACON = 4,       // the beacon refused, answered wrongly or timed out
    QV_EXIT_INSTANCE = 5      // another instance holds the log and settings
};

// The command line of a headless run: the command, its file, and the switches it takes.
struct TQvHeadlessArgs {
    std::string Command;            // "ports", "info", "program", "config", "inspect"; empty: desktop
    std::string File;               // the command's file argument
    bool Trace = false;             // -TRACE
    bool Help = false;              // --help, -help, -h, -?
    std::string Error;              // why the arguments are unusable; empty when fine
};

// Splits argv (without the program path) into command, file and switches. Switches begin with
// "-" or with "/" followed by a name (so "/dev/ttyUSB0" and "/tmp/a.fwx" stay arguments).
TQvHeadlessArgs QvParseHeadlessArgs(const std::vector<std::string>& args);
// The --help text.
std::string QvHeadlessUsage();

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
    // Waits on the event loop until the engine reports done, error or stop.
    int WaitForEngine();

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
