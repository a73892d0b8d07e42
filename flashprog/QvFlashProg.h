// TQvFlashProg: the engine that drives a beacon through a firmware update and through the
// information and configuration exchanges. A main-thread state machine: it sends one command
// through the command processor, arms its reply timer, and advances when a reply handler runs
// or the timer expires first. It reports in the application log and through OnAction.
#pragma once

#include "flashprog/QvFlashProgFile.h"
#include "framework/CvEvent.h"
#include "framework/CvRegistration.h"
#include "framework/CvTimer.h"
#include "protocol/QvCmdDefs.h"

#include <cstdint>
#include <string>
#include <vector>

class TComPort;
class TCvLogSink;
class TQvCmdProc;
class TQvCmdMsgTx;
struct TQvCmdProcExecuteParams;
class TQvFlashProg;

enum EQvFlashProgState : uint8_t {
    FP_IDLE,
    FP_PROG_INIT,
    FP_PROG_BLOCK,
    FP_PROG_UPDATE,
    FP_PROG_POLL,
    FP_WAIT_ACK
};

enum EQvFlashProgAction : uint8_t {
    FP_ACTION_START,
    FP_ACTION_STOP,
    FP_ACTION_DONE,
    FP_ACTION_ERROR,
    FP_ACTION_PROGRESS,
    FP_ACTION_INFO,
    FP_ACTION_CONFIG
};

// Receivers read only the fields that belong to the event's Action.
struct TQvFlashProgActionParams {
    TQvFlashProg* Sender = nullptr;
    EQvFlashProgAction Action = FP_ACTION_START;
    TQvCmdInfo Info;       // FP_ACTION_INFO
    TQvCmdConfig Config;   // FP_ACTION_CONFIG
    int32_t Progress = 0;  // FP_ACTION_PROGRESS: percent, 1 to 100; 0 in every other event
};

using TQvFlashProgActionEvent = TCvEvent<TQvFlashProgActionParams>;

// Outcome of one step, fed to StateProcess.
enum EQvFlashProgOutcome : uint8_t { FP_OUTCOME_FAILED, FP_OUTCOME_SUCCEEDED, FP_OUTCOME_TIMEOUT };

class TQvFlashProg {
public:
    // Registers the six reply classes, then the six reply handlers, with `cmdProc`; the handlers
    // are unregistered when the engine goes (either may be destroyed first). Its entries go to
    // `log`, or to the program-wide log when it is nullptr.
    TQvFlashProg(TComPort* comPort, TQvCmdProc* cmdProc, TCvLogSink* log = nullptr);
    ~TQvFlashProg();
    TQvFlashProg(const TQvFlashProg&) = delete;
    TQvFlashProg& operator=(const TQvFlashProg&) = delete;

    // Loads the package and, with the port connected, starts programming; returns once the
    // first command is sent, the run continues on replies and timer ticks.
    EQvFlashProgReturn DeviceProgram(const std::string& filename);
    // The same with a package loaded and checked before (a station programming many beacons
    // from one load): logs the package's summary as a load does, then starts.
    EQvFlashProgReturn DeviceProgram(const std::string& filename, const TQvFlashProgTarget& target);
    // Sends the system information request and the configuration query.
    EQvFlashProgReturn DeviceInfo();
    // Writes the factory configuration (engineering mode: enable, hardware, USBL calibration;
    // otherwise the user flags), then reads the beacon back.
    EQvFlashProgReturn DeviceConfig(const std::string& key, const TQvCmdEngineeringConfig& config);
    // Ends whatever runs without waiting for the beacon; raises FP_ACTION_STOP in every case.
    void Stop();

    TQvCmdProc* CmdProc() const { return fCmdProc; }
    TComPort* ComPort() const { return fComPort; }
    TCvLogSink* Log() const { return fLog; }
    const TQvFlashProgActionEvent& OnAction() const { return fOnAction; }
    void SetOnAction(const TQvFlashProgActionEvent& handler) { fOnAction = handler; }

    // Observers for the owner and for tests.
    EQvFlashProgState State() const { return fState; }
    const std::string& Filename() const { return fFilename; }
    const TQvFlashProgTarget& Target() const { return fTarget; }
    int32_t WaitAckCount() const { return fWaitAckCnt; }
    const TCvTimer& Timer() const { return fTimer; }
    // Whether the beacon refused a request of the last information or configuration exchange
    // (an engineering write answered with a failure status). Such an exchange goes on to read
    // the beacon back and ends without an error action, yet it has not done what was asked.
    bool Refused() const { return fRefused; }
    // The last identification reply received: after a firmware update, the beacon as it came back.
    const TQvCmdInfo& LastInfo() const { return fLastInfo; }

    // Reply time-out after each command, and the poll interval of a rebooting beacon.
    static constexpr uint32_t ReplyTimeoutMs = 1000;
    static constexpr uint32_t PollIntervalMs = 2000;
    static constexpr int32_t PollAttempts = 5;

private:
    // With the package in fTarget: checks the port and sends the initialisation.
    EQvFlashProgReturn StartProgramming();
    void TimerStart(uint32_t interval);
    void TimerStop();
    void TimerEvent(TCvTimerParams& params);

    void DoAction(EQvFlashProgAction action, int32_t progress);
    void DoActionInfo(const TQvCmdInfo& info);
    void DoActionConfig(const TQvCmdConfig& config);
    void DoComplete();
    void DoAbort();

    void SetState(EQvFlashProgState state);
    void StateProcess(EQvFlashProgOutcome outcome);

    // Hands `msg` to the command processor (written only while the port is open), then
    // restarts the reply timer with `interval` counted from when the command has left the line.
    void SendMessage(TQvCmdMsgTx& msg, uint32_t interval);
    void SendProgInit();
    void SendProgBlock(int32_t index);
    void SendProgUpdate();
    void SendSysInfo();
    void SendConfigGet();
    void SendEngineeringEnable(const std::string& key);
    void SendEngineeringHardware(const TQvCmdInfoHardware& hardware);
    void SendEngineeringUserFlags(const TQvCmdInfoHardware& hardware);
    void SendEngineeringUsblCal(const TQvCmdUsblCal& usblCal);

    void ExecuteSysInfo(TQvCmdProcExecuteParams& params);
    // After the update: whether the identification reply shows the programmed section valid
    // (logs an error when not) and with the package's checksum (logs a warning when not).
    EQvFlashProgOutcome CheckProgrammed(const TQvCmdInfo& info);
    void ExecuteSysEngineering(TQvCmdProcExecuteParams& params);
    // Stops the reply timer; true when the engine waits for this reply, otherwise logs the
    // unexpected-message line for `name` and fails the step.
    bool ExpectReply(EQvFlashProgState state, const char* name);
    void ExecuteProgInit(TQvCmdProcExecuteParams& params);
    void ExecuteProgBlock(TQvCmdProcExecuteParams& params);
    void ExecuteProgUpdate(TQvCmdProcExecuteParams& params);
    void ExecuteConfigGet(TQvCmdProcExecuteParams& params);

    // Whether the port is there and open; logs the not-connected error when it is not.
    bool CheckConnected();

    TQvCmdProc* fCmdProc;
    TComPort* fComPort;
    TCvLogSink* fLog;
    TQvFlashProgActionEvent fOnAction;
    std::string fFilename;
    EQvFlashProgState fState = FP_IDLE;
    int32_t fStateBlockCnt = 0;
    int32_t fStatePollCnt = 0;
    TQvFlashProgTarget fTarget;
    TCvTimer fTimer;
    int32_t fWaitAckCnt = 0;
    bool fRefused = false;
    TQvCmdInfo fLastInfo;
    std::vector<TCvRegistration> fHandlers; // the reply handlers, unregistered first
};
