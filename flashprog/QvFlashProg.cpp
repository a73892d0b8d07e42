// The programming engine: construction, the state machine, the firmware update's senders and
// reply handlers. The information and configuration exchanges are in QvFlashProgDevice.cpp.
#include "flashprog/QvFlashProg.h"

#include "flashprog/QvFlashProgLog.h"
#include "protocol/QvCmdProc.h"
#include "protocol/QvCmdSys.h"
#include "serial/ComPort.h"

#include <exception>

TQvFlashProg::TQvFlashProg(TComPort* comPort, TQvCmdProc* cmdProc, TCvLogSink* log)
    : fCmdProc(cmdProc)
    , fComPort(comPort)
    , fLog(log)
    , fTimer(ReplyTimeoutMs)
{
    if (fCmdProc) {
        fCmdProc->RegisterCmd(CID_SYS_INFO, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysInfo>());
        fCmdProc->RegisterCmd(CID_SYS_ENGINEERING, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysEngineering>());
        fCmdProc->RegisterCmd(CID_PROG_INIT, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgInit>());
        fCmdProc->RegisterCmd(CID_PROG_BLOCK, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgBlock>());
        fCmdProc->RegisterCmd(CID_PROG_UPDATE, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgUpdate>());
        fCmdProc->RegisterCmd(CID_CONFIG_GET, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxConfigGet>());

        using TDelegate = TQvCmdProcExecuteDelegate;
        fHandlers.push_back(fCmdProc->AddHandler(CID_SYS_INFO, TDelegate(this, &TQvFlashProg::ExecuteSysInfo)));
        fHandlers.push_back(
            fCmdProc->AddHandler(CID_SYS_ENGINEERING, TDelegate(this, &TQvFlashProg::ExecuteSysEngineering)));
        fHandlers.push_back(fCmdProc->AddHandler(CID_PROG_INIT, TDelegate(this, &TQvFlashProg::ExecuteProgInit)));
        fHandlers.push_back(fCmdProc->AddHandler(CID_PROG_BLOCK, TDelegate(this, &TQvFlashProg::ExecuteProgBlock)));
        fHandlers.push_back(fCmdProc->AddHandler(CID_PROG_UPDATE, TDelegate(this, &TQvFlashProg::ExecuteProgUpdate)));
        fHandlers.push_back(fCmdProc->AddHandler(CID_CONFIG_GET, TDelegate(this, &TQvFlashProg::ExecuteConfigGet)));
    }
    fTimer.SetEnabled(false);
    fTimer.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvFlashProg::TimerEvent));
    SetState(FP_IDLE);
    fFilename.clear();
}

TQvFlashProg::~TQvFlashProg()
{
    fTimer.SetEnabled(false);
    fTimer.SetOnTimer(TCvEvent<TCvTimerParams>());
}

// ---- Public operations ----

EQvFlashProgReturn TQvFlashProg::DeviceProgram(const std::string& filename)
{
    QvFlashProgLog(fLog, logInfo, "Programming firmware from file \"%s\"...", filename);
    if (fState != FP_IDLE) {
        QvFlashProgLog(fLog, logError, "Another programming operation is currently in progress.");
        DoAbort();
        return FP_ERR_FILEOPEN;
    }
    if (!TQvFlashProgFile::CheckFile(filename, fLog)) {
        DoAbort();
        return FP_ERR_FILENAME;
    }
    fFilename = filename;
    const EQvFlashProgReturn loaded = TQvFlashProgFile::Load(filename, fTarget, fLog);
    if (loaded != FP_OK) {
        DoAbort();
        return loaded;
    }
    return StartProgramming();
}

EQvFlashProgReturn TQvFlashProg::DeviceProgram(const std::string& filename, const TQvFlashProgTarget& target)
{
    QvFlashProgLog(fLog, logInfo, "Programming firmware from file \"%s\"...", filename);
    if (fState != FP_IDLE) {
        QvFlashProgLog(fLog, logError, "Another programming operation is currently in progress.");
        DoAbort();
        return FP_ERR_FILEOPEN;
    }
    fFilename = filename;
    fTarget = target;
    TQvFlashProgFile::LogSummary(fTarget, fLog);
    return StartProgramming();
}

EQvFlashProgReturn TQvFlashProg::StartProgramming()
{
    if (!CheckConnected())
        return FP_ERR_COMMS;
    DoAction(FP_ACTION_START, 0);
    SetState(FP_PROG_INIT);
    return FP_OK;
}

void TQvFlashProg::Stop()
{
    if (fState != FP_IDLE)
        QvFlashProgLog(fLog, logWarning, "Stopped.");
    SetState(FP_IDLE);
    DoAction(FP_ACTION_STOP, 0);
}

bool TQvFlashProg::CheckConnected()
{
    if (fComPort && fComPort->Connected())
        return true;
    QvFlashProgLog(fLog, logError, "The serial comms port is not connected.");
    return false;
}

// ---- Timer ----

void TQvFlashProg::TimerStart(uint32_t interval)
{
    fTimer.SetEnabled(false);
    fTimer.SetInterval(interval);
    fTimer.SetEnabled(true);
}

void TQvFlashProg::TimerStop()
{
    fTimer.SetEnabled(false);
}

void TQvFlashProg::TimerEvent(TCvTimerParams&)
{
    TimerStop();
    if (fState != FP_PROG_POLL)
        QvFlashProgLog(fLog, logError, "Timed out waiting for device to reply.");
    StateProcess(FP_OUTCOME_TIMEOUT);
}

// ---- Actions ----

void TQvFlashProg::DoAction(EQvFlashProgAction action, int32_t progress)
{
    if (!fOnAction)
        return;
    TQvFlashProgActionParams params;
    params.Sender = this;
    params.Action = action;
    params.Progress = progress;
    fOnAction(params);
}

void TQvFlashProg::DoComplete()
{
    SetState(FP_IDLE);
    QvFlashProgLog(fLog, logInfo, "Completed.");
    DoAction(FP_ACTION_DONE, 0);
}

void TQvFlashProg::DoAbort()
{
    SetState(FP_IDLE);
    QvFlashProgLog(fLog, logError, "Aborted.");
    DoAction(FP_ACTION_ERROR, 0);
}

// ---- State machine ----

void TQvFlashProg::SetState(EQvFlashProgState state)
{
    fState = state;
    switch (state) {
    case FP_IDLE:
        TimerStop();
        fFilename.clear();
        fWaitAckCnt = 0;
        break;
    case FP_PROG_INIT:
        fStateBlockCnt = 0;
        fStatePollCnt = 0;
        SendProgInit();
        break;
    case FP_PROG_BLOCK:
        fStateBlockCnt = 0;
        fStatePollCnt = 0;
        SendProgBlock(0);
        break;
    case FP_PROG_UPDATE:
        SendProgUpdate();
        break;
    case FP_PROG_POLL:
        // The beacon is rebooting: nothing is sent until the first poll tick.
        fStatePollCnt = 0;
        TimerStart(PollIntervalMs);
        break;
    case FP_WAIT_ACK:
        ++fWaitAckCnt;
        break;
    }
}

void TQvFlashProg::StateProcess(EQvFlashProgOutcome outcome)
{
    switch (fState) {
    case FP_IDLE:
        break;
    case FP_PROG_INIT:
        if (outcome == FP_OUTCOME_SUCCEEDED)
            SetState(FP_PROG_BLOCK);
        else
            DoAbort();
        break;
    case FP_PROG_BLOCK:
        if (outcome == FP_OUTCOME_SUCCEEDED) {
            ++fStateBlockCnt;
            if (fStateBlockCnt < static_cast<int32_t>(fTarget.Block.size()))
                SendProgBlock(fStateBlockCnt);
            else
                SetState(FP_PROG_UPDATE);
        } else {
            DoAbort();
        }
        break;
    case FP_PROG_UPDATE:
        if (outcome == FP_OUTCOME_SUCCEEDED)
            SetState(FP_PROG_POLL);
        else
            DoAbort();
        break;
    case FP_PROG_POLL:
        if (outcome == FP_OUTCOME_SUCCEEDED) {
            DoComplete();
        } else if (outcome == FP_OUTCOME_FAILED) {
            DoAbort();
        } else if (fStatePollCnt < PollAttempts) {
            ++fStatePollCnt;
            QvFlashProgLog(fLog, logInfo, "Device identification requested (attempt %u/%u)...", fStatePollCnt,
                           PollAttempts);
            SendSysInfo();
        } else {
            QvFlashProgLog(fLog, logError, "Device not respondoing to identification requests.");
            DoAbort();
        }
        break;
    case FP_WAIT_ACK:
        if (outcome == FP_OUTCOME_SUCCEEDED) {
            if (fWaitAckCnt > 0) {
                --fWaitAckCnt;
                if (fWaitAckCnt == 0)
                    SetState(FP_IDLE);
            }
        } else {
            DoAbort();
        }
        break;
    }
}

// ---- Programming senders ----

void TQvFlashProg::SendMessage(TQvCmdMsgTx& msg, uint32_t interval)
{
    // A failed write (a device that went away, an output queue that no longer drains) is logged
    // here rather than thrown into the event loop that called a reply handler or the timer; the
    // command is then lost like one sent to a closed port, and the reply time-out ends the step.
    try {
        if (fCmdProc)
            fCmdProc->SendMsg(msg);
    } catch (const std::exception& e) {
        if (TCvLogSink* sink = QvFlashProgSink(fLog))
            CvLogException(*sink, logError, std::string(), e, true, false);
    }
    // The wait counts from when the command has left the line: a write returns as soon as the
    // bytes are queued, and a long block takes seconds to cross a slow line.
    const uint32_t onLine = fComPort ? fComPort->LineBusyMs() : 0;
    TimerStart(interval + onLine);
}

void TQvFlashProg::SendProgInit()
{
    TQvCmdMsgTxProgInit msg;
    msg.SetSection(static_cast<uint8_t>(fTarget.Section));
    msg.SetPartNumber(static_cast<uint16_t>(fTarget.PartNumber));
    msg.SetPartRevisionMin(fTarget.PartRevisionMin);
    msg.SetPartRevisionMax(fTarget.PartRevisionMax);
    msg.SetSerialNumber(fTarget.SerialNumber);
    msg.SetDataFormat(fTarget.DataFormat);
    msg.SetLength(fTarget.Length);
    msg.SetChecksum(fTarget.Checksum);
    msg.SetSignature(fTarget.Signature); // kept as exactly 20 bytes by the message
    QvFlashProgLog(fLog, logInfo, "Device initialising...");
    SendMessage(msg, ReplyTimeoutMs);
}

void TQvFlashProg::SendProgBlock(int32_t index)
{
    const int32_t count = static_cast<int32_t>(fTarget.Block.size());
    if (index < 0 || index >= count)
        return;
    TQvCmdMsgTxProgBlock msg;
    msg.SetData(fTarget.Block[static_cast<size_t>(index)].Data);
    // The exact ceiling of (index + 1) * 100 / count: 1 of 3 blocks is 34 per cent.
    const int64_t scaled = static_cast<int64_t>(index + 1) * 100;
    const int32_t progress = static_cast<int32_t>((scaled + count - 1) / count);
    DoAction(FP_ACTION_PROGRESS, progress);
    QvFlashProgLog(fLog, logInfo, "Device transfering block %u (%.1f%%)...", index,
                   static_cast<double>(scaled) / static_cast<double>(count));
    SendMessage(msg, ReplyTimeoutMs);
}

void TQvFlashProg::SendProgUpdate()
{
    TQvCmdMsgTxProgUpdate msg;
    QvFlashProgLog(fLog, logInfo, "Device programming...");
    SendMessage(msg, ReplyTimeoutMs);
}

// ---- Programming reply handlers ----

namespace {

// The status of a programming acknowledgement; CST_FAIL for a message of another class.
EQvCmdStatus ReplyStatus(TQvCmdProcExecuteParams& params)
{
    const auto* msg = dynamic_cast<const TQvCmdMsgRx_Status*>(params.MsgRx);
    return msg ? msg->Status() : CST_FAIL;
}

// One row of a reply's status table: the line logged for that status (none when empty).
struct TStatusLine {
    EQvCmdStatus Status;
    TCvAppLogMsgType Type;
    const char* Text;
};

// Logs the table's line for the reply's status, or the unknown-error line (a format taking the
// code and its display string) for any other status. Only CST_OK succeeds.
EQvFlashProgOutcome ReportStatus(TCvLogSink* log, TQvCmdProcExecuteParams& params, std::initializer_list<TStatusLine> table,
                                 const char* unknownFormat)
{
    const EQvCmdStatus status = ReplyStatus(params);
    const TStatusLine* row = nullptr;
    for (const TStatusLine& line : table)
        if (line.Status == status)
            row = &line;
    if (!row)
        QvFlashProgLog(log, logError, unknownFormat, static_cast<unsigned>(status), TQvCmdDefs::GetCmdStatusString(status));
    else if (row->Text && *row->Text)
        QvFlashProgLog(log, row->Type, row->Text);
    return status == CST_OK ? FP_OUTCOME_SUCCEEDED : FP_OUTCOME_FAILED;
}

} // namespace

bool TQvFlashProg::ExpectReply(EQvFlashProgState state, const char* name)
{
    TimerStop();
    if (fState == state)
        return true;
    QvFlashProgLog(fLog, logError, CvFormat("Unexpectedly received \"%s\" message.", std::string(name)));
    StateProcess(FP_OUTCOME_FAILED);
    return false;
}

void TQvFlashProg::ExecuteProgInit(TQvCmdProcExecuteParams& params)
{
    if (!ExpectReply(FP_PROG_INIT, "Program Initialise Acknowledge"))
        return;
    StateProcess(ReportStatus(
        fLog, params,
        {{CST_OK, logInfo, "Device initialised."},
         {CST_PROG_FLASH_ERROR, logError, "Device initialisation not possible due to a Flash memory error."},
         {CST_PROG_FIRMWARE_ERROR, logError, "Device initialisation not possible with supplied details."},
         {CST_PROG_SECTION_ERROR, logError, "Device initialisation not possible due to invalid \"Section\" parameter."},
         {CST_PROG_LENGTH_ERROR, logError, "Device initialisation not possible due to invalid \"Length\" parameter."}},
        "Device initalisation not possible due to an unknown error. [Code=0x%.2x, \"%s\"]."));
}

void TQvFlashProg::ExecuteProgBlock(TQvCmdProcExecuteParams& params)
{
    if (!ExpectReply(FP_PROG_BLOCK, "Program Block Acknowledge"))
        return;
    StateProcess(ReportStatus(
        fLog, params,
        {{CST_OK, logInfo, ""},
         {CST_PROG_FLASH_ERROR, logError, "Device block programming not possible due to a Flash memory error."},
         {CST_PROG_FIRMWARE_ERROR, logError, "Device not initialised to receive block data."},
         {CST_PROG_LENGTH_ERROR, logError, "Device received more data than expected. Discarded excess data in this block."}},
        "Device block invalid due to an unknown error. [Code=0x%.2x, \"%s\"]."));
}

void TQvFlashProg::ExecuteProgUpdate(TQvCmdProcExecuteParams& params)
{
    if (!ExpectReply(FP_PROG_UPDATE, "Program Update Acknowledge"))
        return;
    StateProcess(ReportStatus(
        fLog, params,
        {{CST_OK, logInfo, "Device program updating and rebooting..."},
         {CST_PROG_FIRMWARE_ERROR, logError, "Device not initialised to perform update."},
         {CST_PROG_SECTION_ERROR, logError, "Device progamming cannot be performed on the supplied \"Section\" parameter."},
         {CST_PROG_LENGTH_ERROR, logError, "Device programming length does not match supplied \"Length\" parameter."},
         {CST_PROG_CHECKSUM_ERROR, logError, "Device programming data does not match supplied \"Checksum\" parameter."}},
        "Device programming not possible due to an unknown error [Code=0x%.2x, \"%s\"]."));
}
