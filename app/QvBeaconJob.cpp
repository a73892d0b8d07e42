#include "app/QvBeaconJob.h"

#include "protocol/QvCmdSys.h"

#include <utility>

namespace {

uint64_t NowMs()
{
    TCvTimerService* service = TCvTimerService::Current();
    return service ? service->NowMs() : 0;
}

} // namespace

TQvBeaconJob::TQvBeaconJob(TQvFlashProg& engine, std::string port, TQvBeaconJobOrder order, TLogFunc log)
    : fEngine(engine)
    , fOrder(std::move(order))
    , fLog(std::move(log))
    , fWatch(WatchMs)
    , fFinish(1) // the next turn of the event loop (an interval of 0 never fires)
{
    fRow.Port = port;
    fRecord.Port = std::move(port);
    fRecord.Operation = fOrder.Operation;
    if (fOrder.Operation == "program")
        fRecord.Package = fOrder.File;
    fWatch.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvBeaconJob::WatchTick));
    fFinish.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvBeaconJob::FinishTick));
    if (fEngine.CmdProc())
        fSysInfo = fEngine.CmdProc()->AddHandler(CID_SYS_INFO, TQvCmdProcExecuteDelegate(this, &TQvBeaconJob::SysInfoReply));
}

TQvBeaconJob::~TQvBeaconJob()
{
    fWatch.Stop();
    fFinish.Stop();
}

void TQvBeaconJob::SysInfoReply(TQvCmdProcExecuteParams& params)
{
    const auto* msg = dynamic_cast<const TQvCmdMsgRxSysInfo*>(params.MsgRx);
    if (!msg || Done())
        return;
    const TQvCmdInfo info = msg->Info();
    fRecord.Identity = info;
    fRow.SerialNumber = info.Hardware.SerialNumber;
    Changed();
}

void TQvBeaconJob::Start()
{
    fRecord.Started = std::chrono::system_clock::now();
    fJobStartMs = NowMs();
    if (!fOrder.AskIdentity || fOrder.Operation == "info") {
        StartOperation();
        return;
    }
    fPhase = PHASE_IDENTITY;
    fStartMs = NowMs();
    fStartReturn = fEngine.DeviceInfo();
    if (fStartReturn != FP_OK) {
        Finish(GANG_FAILED);
        return;
    }
    fWatch.Start();
}

void TQvBeaconJob::StartOperation()
{
    fPhase = PHASE_OPERATION;
    fStartMs = NowMs();
    fLastError.clear();
    fClosingLine.clear();
    if (fOrder.Operation == "program")
        fStartReturn = fOrder.Package ? fEngine.DeviceProgram(fOrder.File, *fOrder.Package)
                                     : fEngine.DeviceProgram(fOrder.File);
    else if (fOrder.Operation == "config")
        fStartReturn = fEngine.DeviceConfig(fOrder.Key, fOrder.Config);
    else
        fStartReturn = fEngine.DeviceInfo();
    if (fStartReturn != FP_OK) {
        Finish(GANG_FAILED);
        return;
    }
    // Programming ends with an event; the exchanges end by going idle.
    if (fOrder.Operation != "program")
        fWatch.Start();
}

void TQvBeaconJob::Stop()
{
    if (Done() || fFinishing)
        return;
    fEngine.Stop();
    Finish(GANG_STOPPED); // no effect when the engine's stop event has ended the job
}

void TQvBeaconJob::WatchTick(TCvTimerParams&)
{
    if (Done() || fFinishing || fPhase == PHASE_IDLE)
        return;
    if (fEngine.State() == FP_IDLE) {
        // An exchange that failed has ended through its error event already.
        fWatch.Stop();
        // An exchange that ran to its end has still failed when the beacon refused a request.
        if (fPhase == PHASE_IDENTITY)
            StartOperation();
        else
            Finish(fEngine.Refused() ? GANG_FAILED : GANG_OK);
    } else if (NowMs() - fStartMs > ExchangeLimitMs) {
        const std::string text = CvFormat("The beacon did not answer every request within %u seconds.",
                                          static_cast<unsigned>(ExchangeLimitMs / 1000));
        if (fLog)
            fLog(logError, text);
        fTimedOut = true;
        fEngine.Stop();
    }
}

void TQvBeaconJob::EngineAction(TQvFlashProgActionParams& params)
{
    if (Done() || fFinishing)
        return;
    switch (params.Action) {
    case FP_ACTION_START:
        if (fPhase == PHASE_OPERATION && fOrder.Operation == "program") {
            QvProgressStart(fRow.Progress, fEngine.Target());
            fRecord.PackageChecksum = fEngine.Target().Checksum;
            Changed();
        }
        break;
    case FP_ACTION_PROGRESS:
        QvProgressBlockSent(fRow.Progress, fEngine.Target(), params.Progress, NowMs() - fStartMs);
        Changed();
        break;
    case FP_ACTION_DONE:
        if (fPhase == PHASE_OPERATION) {
            fRow.Progress.Percent = 100;
            fRow.Progress.Block = fRow.Progress.Blocks;
            fRow.Progress.Bytes = fRow.Progress.TotalBytes;
            Finish(GANG_OK);
        }
        break;
    case FP_ACTION_ERROR:
        // A failed identity exchange leaves the engine idle: the watch goes on to the operation.
        if (fPhase == PHASE_OPERATION)
            Finish(GANG_FAILED);
        break;
    case FP_ACTION_STOP:
        Finish(fTimedOut ? GANG_FAILED : GANG_STOPPED);
        break;
    default:
        break;
    }
}

void TQvBeaconJob::LogEntry(TCvAppLogMsgType type, const std::string& text)
{
    if (Done() || fFinishing)
        return;
    if (text == "Aborted." || text == "Stopped.")
        fClosingLine = text;
    else if (type == logError)
        fLastError = text;
}

void TQvBeaconJob::Finish(EQvGangResult result)
{
    if (Done() || fFinishing)
        return;
    fWatch.Stop();
    fFinishing = true;
    fPending = result;
    fRecord.Finished = std::chrono::system_clock::now();
    fRow.Seconds = static_cast<double>(NowMs() - fJobStartMs) / 1000.0;
    fFinish.Start();
}

void TQvBeaconJob::FinishTick(TCvTimerParams&)
{
    fFinish.Stop();
    const EQvGangResult result = fPending;
    fPhase = PHASE_DONE;
    fRow.Result = result;
    if (result != GANG_OK)
        fRow.Error = !fLastError.empty() ? fLastError : fClosingLine;
    fRecord.Ok = result == GANG_OK;
    fRecord.Error = fRow.Error;
    if (fOrder.Operation == "program")
        fRecord.Bytes = fRow.Progress.Bytes;
    Changed();
    TQvBeaconJobParams params{this};
    fOnDone(params);
}

void TQvBeaconJob::Changed()
{
    TQvBeaconJobParams params{this};
    fOnChanged(params);
}
