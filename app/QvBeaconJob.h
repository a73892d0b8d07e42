// One operation on one beacon, watched from the engine's events and log entries: it starts the
// engine (first asking the beacon who it is when records are kept), follows progress, the
// identity the beacon reports and the line that ended a failed run, and says when it is over.
// A headless run has one; a run over several beacons has one per beacon, each on its own engine.
#pragma once

#include "app/QvGangDisplay.h"
#include "app/QvResultRecord.h"
#include "flashprog/QvFlashProg.h"
#include "framework/CvAppLog.h"
#include "framework/CvEvent.h"
#include "framework/CvTimer.h"
#include "protocol/QvCmdProc.h"

#include <cstdint>
#include <functional>
#include <string>

struct TQvBeaconJobOrder {
    std::string Operation;             // "program", "info" or "config"
    std::string File;                  // program: the package
    const TQvFlashProgTarget* Package = nullptr; // program: the package loaded before, if it was
    std::string Key;                   // config: the engineering key
    TQvCmdEngineeringConfig Config;    // config: what to write
    bool AskIdentity = false;          // ask for the identity before programming or configuring
};

struct TQvBeaconJobParams {
    class TQvBeaconJob* Sender = nullptr;
};
using TQvBeaconJobEvent = TCvEvent<TQvBeaconJobParams>;

class TQvBeaconJob {
public:
    using TLogFunc = std::function<void(TCvAppLogMsgType, const std::string&)>;

    // `engine` must be connected to the beacon on `port` before Start and outlive the job; the
    // owner forwards the engine's OnAction and the entries of its log to the job. `log` writes
    // where the engine writes (the job's own entries: an exchange that took too long).
    TQvBeaconJob(TQvFlashProg& engine, std::string port, TQvBeaconJobOrder order, TLogFunc log);
    ~TQvBeaconJob();
    TQvBeaconJob(const TQvBeaconJob&) = delete;
    TQvBeaconJob& operator=(const TQvBeaconJob&) = delete;

    // Starts the operation; OnDone is raised from the event loop, never from inside a call.
    void Start();
    // Stops the engine; the job ends as stopped.
    void Stop();

    void EngineAction(TQvFlashProgActionParams& params);
    void LogEntry(TCvAppLogMsgType type, const std::string& text);

    bool Done() const { return fPhase == PHASE_DONE; }
    // The engine's refusal when the operation did not start (FP_OK when it did).
    EQvFlashProgReturn StartReturn() const { return fStartReturn; }
    const TQvGangRow& Row() const { return fRow; }
    // The record of the run so far (whole once Done).
    const TQvResultRecord& Record() const { return fRecord; }

    // Raised as progress, identity or the result change, and once more when the job is over.
    void SetOnChanged(const TQvBeaconJobEvent& handler) { fOnChanged = handler; }
    void SetOnDone(const TQvBeaconJobEvent& handler) { fOnDone = handler; }

    // Information and configuration exchanges end by going idle; this bounds the whole exchange,
    // so a beacon that stops answering half-way cannot hang the run.
    static constexpr uint64_t ExchangeLimitMs = 10000;
    static constexpr uint32_t WatchMs = 50;

private:
    enum EPhase : uint8_t { PHASE_IDLE, PHASE_IDENTITY, PHASE_OPERATION, PHASE_DONE };

    void StartOperation();
    // Ends the job once the dispatch under way is over (the engine raises its end before the
    // other handlers of the same reply have seen it).
    void Finish(EQvGangResult result);
    void FinishTick(TCvTimerParams& params);
    void WatchTick(TCvTimerParams& params);
    void Changed();
    // Every identification reply, also the one after the update's reboot, which the engine
    // logs but does not raise.
    void SysInfoReply(TQvCmdProcExecuteParams& params);

    TQvFlashProg& fEngine;
    TQvBeaconJobOrder fOrder;
    TLogFunc fLog;
    EPhase fPhase = PHASE_IDLE;
    EQvFlashProgReturn fStartReturn = FP_OK;
    TQvGangRow fRow;
    TQvResultRecord fRecord;
    std::string fLastError;     // the last error entry other than the closing "Aborted."
    std::string fClosingLine;   // "Aborted." or "Stopped."
    bool fTimedOut = false;
    uint64_t fStartMs = 0;      // monotonic, when the current step started
    uint64_t fJobStartMs = 0;
    TCvTimer fWatch;
    TCvTimer fFinish;
    bool fFinishing = false;
    EQvGangResult fPending = GANG_RUNNING;
    TCvRegistration fSysInfo;
    TQvBeaconJobEvent fOnChanged;
    TQvBeaconJobEvent fOnDone;
};
