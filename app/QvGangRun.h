// Many beacons from one process: a gang run over the ports named on the command line, or a
// production station that programs each beacon whose port appears matching a pattern. Every
// beacon has its own station (port, command processor, engine and timers) and its own job, and
// writes its log entries with its port's name in front; one beacon's fault, time-out or lost
// port never reaches another's.
#pragma once

#include "app/QvBeaconJob.h"
#include "app/QvCmdLine.h"
#include "framework/CvLogSink.h"
#include "framework/CvTimer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TQvGangDisplay;
class TQvPortWatcher;
class TQvResultsFile;
class TQvStation;
struct TCvComSettings;
struct TQvPortWatchParams;

class TQvGangRun {
public:
    // `settings`: the line settings every port opens with (the port name is each beacon's own).
    // `order`: the operation each beacon runs. `results` may be nullptr.
    TQvGangRun(const TQvHeadlessArgs& args, const TCvComSettings& settings, TQvBeaconJobOrder order,
               TQvGangDisplay& display, TQvResultsFile* results);
    ~TQvGangRun();
    TQvGangRun(const TQvGangRun&) = delete;
    TQvGangRun& operator=(const TQvGangRun&) = delete;

    // Gang: starts every port's beacon. Station: starts watching. False when nothing can start.
    bool Start();
    // Stops the runs in progress (each logs "Stopped.") and, for a station, the watching; the
    // run is over once their jobs have ended.
    void Interrupt();
    // Every beacon is done and no more can come.
    bool Over() const;
    // The exit status: 0 all succeeded; 2 a port could not be opened or went away; 3 the package or file was
    // refused; 4 a beacon failed or was refused. A station: 0 when every beacon it finished
    // succeeded (runs it stopped are not finished), else 4; 3 when its package was refused.
    int ExitStatus() const;
    // Raised when the run is over.
    void SetOnOver(const TCvEvent<TCvTimerParams>& handler) { fOnOver = handler; }

private:
    struct TBeacon;
    // Entries of one beacon: to the job (the line that ends a failed run), then to the log with
    // the port's name in front.
    class TBeaconSink : public TCvLogSink {
    public:
        TBeaconSink(TCvLogSink& target, const std::string& port);
        void Add(TCvAppLogMsgType type, const std::string& msg) override;
        TQvBeaconJob* Job = nullptr;

    private:
        TCvPrefixLogSink fPrefix;
    };

    void AddBeacon(const std::string& port);
    void JobChanged(TQvBeaconJobParams& params);
    void JobDone(TQvBeaconJobParams& params);
    void EngineAction(TQvFlashProgActionParams& params);
    void PortAppeared(TQvPortWatchParams& params);
    void Record(const TQvResultRecord& record);
    // Frees the stations of finished beacons (a station's port is let go at once), then tells
    // when the run is over; on a timer, never inside a beacon's own call.
    void ReapTick(TCvTimerParams& params);
    TBeacon* FindByJob(const TQvBeaconJob* job) const;

    TQvHeadlessArgs fArgs;
    std::unique_ptr<TCvComSettings> fSettings;
    TQvBeaconJobOrder fOrder;
    std::unique_ptr<TQvFlashProgTarget> fPackage;
    TQvGangDisplay& fDisplay;
    TQvResultsFile* fResults;
    std::vector<std::unique_ptr<TBeacon>> fBeacons;
    std::unique_ptr<TQvPortWatcher> fWatcher;
    bool fInterrupted = false;
    bool fNoPort = false;
    bool fRejected = false;
    bool fFailed = false;
    TCvTimer fReap;
    TCvEvent<TCvTimerParams> fOnOver;
    bool fOverRaised = false;
};
