// The engine's information and configuration exchanges: the queries and their reports, and the
// factory configuration write through the engineering commands.
#include "flashprog/QvFlashProg.h"

#include "flashprog/QvFlashProgLog.h"
#include "framework/CvClock.h"
#include "protocol/QvCmdProc.h"
#include "protocol/QvCmdSys.h"

namespace {

const char* BoolText(bool value)
{
    return value ? "True" : "False";
}

// The hardware identity lines shared by the information report and the hardware write.
void LogHardware(TCvLogSink* log, const TQvCmdInfoHardware& hw)
{
    QvFlashProgLog(log, logInfo, "Hardware Part Number = CV%.5d", static_cast<int>(hw.PartNumber));
    QvFlashProgLog(log, logInfo, "Hardware Revision = %d", static_cast<int>(hw.PartRevision));
    QvFlashProgLog(log, logInfo, "Hardware Serial Number = %.6d", static_cast<int64_t>(hw.SerialNumber));
    QvFlashProgLog(log, logInfo, "Hardware Flags Sys = 0x%.4x", static_cast<unsigned>(hw.FlagsSys));
    QvFlashProgLog(log, logInfo, "Hardware Flags User = 0x%.4x", static_cast<unsigned>(hw.FlagsUser));
}

// The validity line and the six baselines, coefficients shown A, B, C, D (stored D, C, B, A).
void LogUsblCal(TCvLogSink* log, const TQvCmdUsblCal& cal)
{
    static const char* const names[TQvCmdUsblCal::BaselineCount] = {"10", "20", "21", "30", "31", "32"};
    QvFlashProgLog(log, logInfo, "Usbl Calibration Valid = %s", std::string(BoolText(cal.Valid)));
    for (int k = 0; k < TQvCmdUsblCal::BaselineCount; ++k) {
        // Read by value: the record is packed, so no pointer into it may be formed.
        const int base = k * TQvCmdUsblCal::CoefCount;
        const double a = cal.Baseline[base + TQvCmdUsblCal::COEF_A];
        const double b = cal.Baseline[base + TQvCmdUsblCal::COEF_B];
        const double c = cal.Baseline[base + TQvCmdUsblCal::COEF_C];
        const double d = cal.Baseline[base + TQvCmdUsblCal::COEF_D];
        QvFlashProgLog(log, logInfo, "Usbl Baseline %s: A = %.8f, B = %.8f, C = %.8f, D = %.8f", std::string(names[k]), a, b,
                       c, d);
    }
}

void LogFirmware(TCvLogSink* log, const char* label, const TQvCmdInfoFirmware& fw)
{
    const std::string name(label);
    QvFlashProgLog(log, logInfo, "%s Valid = %s", name, std::string(BoolText(fw.Valid)));
    QvFlashProgLog(log, logInfo, "%s Part Number = CV%.5d", name, static_cast<int>(fw.PartNumber));
    QvFlashProgLog(log, logInfo, "%s Version = v%u.%u.%u", name, static_cast<unsigned>(fw.Version.Major),
                   static_cast<unsigned>(fw.Version.Minor), static_cast<unsigned>(fw.Version.Build));
    QvFlashProgLog(log, logInfo, "%s Checksum = 0x%.8x", name, static_cast<uint32_t>(fw.Checksum));
}

std::string SectionName(uint8_t section)
{
    switch (section) {
    case 0:
        return "BOOT";
    case 1:
        return "APPLICATION";
    default:
        return "UNKNOWN";
    }
}

} // namespace

// ---- Public operations ----

EQvFlashProgReturn TQvFlashProg::DeviceInfo()
{
    if (!CheckConnected())
        return FP_ERR_COMMS;
    fRefused = false;
    DoAction(FP_ACTION_START, 0);
    SetState(FP_WAIT_ACK);
    SendSysInfo();
    SetState(FP_WAIT_ACK);
    SendConfigGet();
    return FP_OK;
}

EQvFlashProgReturn TQvFlashProg::DeviceConfig(const std::string& key, const TQvCmdEngineeringConfig& config)
{
    if (!CheckConnected())
        return FP_ERR_COMMS;
    const TQvCmdEngineeringConfig cfg = config;
    fRefused = false;
    DoAction(FP_ACTION_START, 0);
    if (cfg.EngMode) {
        SetState(FP_WAIT_ACK);
        SendEngineeringEnable(key);
        SetState(FP_WAIT_ACK);
        SendEngineeringHardware(cfg.Hardware);
        SetState(FP_WAIT_ACK);
        SendEngineeringUsblCal(cfg.UsblCal);
    } else {
        SetState(FP_WAIT_ACK);
        SendEngineeringUserFlags(cfg.Hardware);
    }
    SetState(FP_WAIT_ACK);
    SendSysInfo();
    SetState(FP_WAIT_ACK);
    SendConfigGet();
    return FP_OK;
}

// ---- Senders ----

void TQvFlashProg::SendSysInfo()
{
    TQvCmdMsgTxSysInfo msg;
    QvFlashProgLog(fLog, logInfo, "Device identifying...");
    SendMessage(msg, fState == FP_PROG_POLL ? PollIntervalMs : ReplyTimeoutMs);
}

void TQvFlashProg::SendConfigGet()
{
    TQvCmdMsgTxConfigGet msg;
    QvFlashProgLog(fLog, logInfo, "Device getting config...");
    SendMessage(msg, ReplyTimeoutMs);
}

void TQvFlashProg::SendEngineeringEnable(const std::string& key)
{
    TQvCmdMsgTxSysEngineering msg;
    msg.fAction = ENG_ACTION_ENABLE;
    msg.SetKey(key);
    QvFlashProgLog(fLog, logInfo, "Device enabling engineering mode...");
    SendMessage(msg, ReplyTimeoutMs);
}

void TQvFlashProg::SendEngineeringHardware(const TQvCmdInfoHardware& hardware)
{
    TQvCmdMsgTxSysEngineering msg;
    msg.fAction = ENG_ACTION_HARDWARE;
    msg.SetHardware(hardware);
    QvFlashProgLog(fLog, logInfo, "Device setting hardware configuration...");
    LogHardware(fLog, msg.Hardware());
    SendMessage(msg, ReplyTimeoutMs);
}

void TQvFlashProg::SendEngineeringUserFlags(const TQvCmdInfoHardware& hardware)
{
    TQvCmdMsgTxSysEngineering msg;
    msg.fAction = ENG_ACTION_FLAGS_USER;
    msg.SetHardware(hardware);
    QvFlashProgLog(fLog, logInfo, "Device setting hardware user flags...");
    QvFlashProgLog(fLog, logInfo, "Hardware Flags User = 0x%.4x", static_cast<unsigned>(msg.Hardware().FlagsUser));
    SendMessage(msg, ReplyTimeoutMs);
}

void TQvFlashProg::SendEngineeringUsblCal(const TQvCmdUsblCal& usblCal)
{
    TQvCmdMsgTxSysEngineering msg;
    msg.fAction = ENG_ACTION_USBL_CAL;
    msg.SetUsblCal(usblCal);
    QvFlashProgLog(fLog, logInfo, "Device setting Usbl calibration...");
    LogUsblCal(fLog, msg.UsblCal());
    SendMessage(msg, ReplyTimeoutMs);
}

// ---- Actions ----

void TQvFlashProg::DoActionInfo(const TQvCmdInfo& info)
{
    if (!fOnAction)
        return;
    TQvFlashProgActionParams params;
    params.Sender = this;
    params.Action = FP_ACTION_INFO;
    params.Info = info;
    fOnAction(params);
}

void TQvFlashProg::DoActionConfig(const TQvCmdConfig& config)
{
    if (!fOnAction)
        return;
    TQvFlashProgActionParams params;
    params.Sender = this;
    params.Action = FP_ACTION_CONFIG;
    params.Config = config;
    fOnAction(params);
}

// ---- Reply handlers ----

void TQvFlashProg::ExecuteSysInfo(TQvCmdProcExecuteParams& params)
{
    const auto* msg = dynamic_cast<const TQvCmdMsgRxSysInfo*>(params.MsgRx);
    if (!msg)
        return;
    const TQvCmdInfo info = msg->Info();
    fLastInfo = info;
    TimerStop();
    QvFlashProgLog(fLog, logInfo, "Device information...");
    QvFlashProgLog(fLog, logInfo, "Uptime = %d seconds", static_cast<int64_t>(info.Uptime));
    QvFlashProgLog(fLog, logInfo, "Run Section = %s (%d)", SectionName(info.Section), static_cast<int>(info.Section));
    LogHardware(fLog, info.Hardware);
    LogFirmware(fLog, "Bootloader", info.Boot);
    LogFirmware(fLog, "Application", info.App);
    if (fState == FP_WAIT_ACK)
        DoActionInfo(info);
    StateProcess(fState == FP_PROG_POLL ? CheckProgrammed(info) : FP_OUTCOME_SUCCEEDED);
}

EQvFlashProgOutcome TQvFlashProg::CheckProgrammed(const TQvCmdInfo& info)
{
    // The section the package was written to; a package for another section is not checked.
    const TQvCmdInfoFirmware* section = fTarget.Section == 0 ? &info.Boot : fTarget.Section == 1 ? &info.App : nullptr;
    if (!section)
        return FP_OUTCOME_SUCCEEDED;
    if (!section->Valid) {
        QvFlashProgLog(fLog, logError, "Device reports the programmed firmware as not valid.");
        return FP_OUTCOME_FAILED;
    }
    // Beacons may report another checksum than the package's: worth a warning, not a failure.
    if (section->Checksum != fTarget.Checksum)
        QvFlashProgLog(fLog, logWarning, "Device reports the programmed firmware checksum as 0x%.8x; the package's is 0x%.8x.",
                       static_cast<uint32_t>(section->Checksum), fTarget.Checksum);
    return FP_OUTCOME_SUCCEEDED;
}

void TQvFlashProg::ExecuteConfigGet(TQvCmdProcExecuteParams& params)
{
    const auto* msg = dynamic_cast<const TQvCmdMsgRxConfigGet*>(params.MsgRx);
    if (!msg)
        return;
    const TQvCmdConfig config = msg->Config();
    TimerStop();
    QvFlashProgLog(fLog, logInfo, "Config Information...");
    QvFlashProgLog(fLog, logInfo, "Hardware EUI48 = %s", config.MacAddr.AddressText());
    QvFlashProgLog(fLog, logInfo, "Pressure Sensor Id = %u", static_cast<uint32_t>(config.PressureSensor.CalId));
    QvFlashProgLog(fLog, logInfo, "Pressure Sensor Type = %s",
                   TQvCmdDefs::GetPressureSensorType(config.PressureSensor.CalType));
    QvFlashProgLog(fLog, logInfo, "Pressure Sensor Calibrated = %s", CvDateText(CvSerialToDateTime(config.PressureSensor.CalDate)));
    QvFlashProgLog(fLog, logInfo, "Pressure Sensor Min Pressure = %.1f bar",
                   static_cast<double>(config.PressureSensor.CalMin));
    QvFlashProgLog(fLog, logInfo, "Pressure Sensor Max Pressure = %.1f bar",
                   static_cast<double>(config.PressureSensor.CalMax));
    LogUsblCal(fLog, config.UsblCal);
    if (fState == FP_WAIT_ACK)
        DoActionConfig(config);
    StateProcess(FP_OUTCOME_SUCCEEDED);
}

void TQvFlashProg::ExecuteSysEngineering(TQvCmdProcExecuteParams& params)
{
    const auto* msg = dynamic_cast<const TQvCmdMsgRxSysEngineering*>(params.MsgRx);
    if (!msg)
        return;
    TimerStop();
    const EQvCmdStatus status = msg->Status();
    const uint8_t action = msg->Action();
    const char* okText = nullptr;
    const char* failText = nullptr;
    TCvAppLogMsgType failType = logError;
    switch (action) {
    case ENG_ACTION_QUERY:
        okText = "Engineering mode is currently enabled.";
        failText = "Engineering mode is currently disabled.";
        failType = logInfo;
        break;
    case ENG_ACTION_ENABLE:
        okText = "Engineering mode enabled.";
        failText = "Engineering mode enable failed.";
        break;
    case ENG_ACTION_HARDWARE:
        okText = "Engineering hardware configuration stored.";
        failText = "Engineering hardware configure command failed.";
        break;
    case ENG_ACTION_USBL_CAL:
        okText = "Engineering USBL calibration stored.";
        failText = "Engineering USBL calibration command failed.";
        break;
    default:
        break;
    }
    if (!okText)
        QvFlashProgLog(fLog, logError, "Engineering unknown action code.");
    else if (status == CST_OK)
        QvFlashProgLog(fLog, logInfo, std::string(okText));
    else if (status == CST_FAIL)
        QvFlashProgLog(fLog, failType, std::string(failText));
    else
        QvFlashProgLog(fLog, logError, "Engineering command failed due to an unknown error. [Code=0x%.2x, \"%s\"].",
                       static_cast<unsigned>(status), TQvCmdDefs::GetCmdStatusString(status));
    // A refused write is reported but does not end the exchange: the read-back shows the result.
    if (status != CST_OK && action != ENG_ACTION_QUERY)
        fRefused = true;
    StateProcess(FP_OUTCOME_SUCCEEDED);
}
