// The headless commands of quorvan-programmer: the same core, settings file and log as the
// desktop program, for scripts and production lines. Every log entry's text goes to standard
// output the moment it is added; the exit status tells what kind of failure ended the run.
#pragma once

#include "app/QvCmdLine.h"
#include "app/QvProgressText.h"

#include <cstdio>
#include <string>
#include <vector>

class TQvApp;
class TQvBeaconJob;
class TQvGangDisplay;
class TQvResultsFile;
struct TQvBeaconJobOrder;
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
    int RunInspect(const std::string& file);
    // Several beacons at once (a list of ports, or a station), to the end or to an interrupt.
    int RunGang(const TQvHeadlessArgs& args, const TQvBeaconJobOrder& order, TQvResultsFile* results);
    // Reads the Beacon Config File into `order` (the settings' key and engineering mode).
    bool LoadConfig(const std::string& file, TQvBeaconJobOrder& order);
    // Runs one operation on the connected beacon to its end (event loop included).
    int RunJob(const TQvBeaconJobOrder& order, TQvResultsFile* results);
    static int ExitStatus(const std::string& operation, const TQvBeaconJob& job);

    void LogAdd(TCvAppLogAddParams& params);
    void EngineAction(TQvFlashProgActionParams& params);
    void DrawProgress(const TQvProgressState& progress);
    void ClearProgress();

    TQvApp& fCore;
    bool fProgressBar;
    bool fBarShown = false;
    TQvBeaconJob* fJob = nullptr;
    TQvGangDisplay* fGangDisplay = nullptr;
    TQvProgressState fLastProgress;
};
