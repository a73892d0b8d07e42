#include "protocol/QvCmdSys.h"

#include "framework/CvClock.h"

#include <algorithm>

namespace {

// Field name of USBL calibration coefficient `index` (0..23): baselines 10, 20, 21, 30, 31, 32,
// each D, C, B, A.
std::string BaselineFieldName(int index)
{
    static const char* const baselines[] = {"10", "20", "21", "30", "31", "32"};
    static const char coefs[] = {'D', 'C', 'B', 'A'};
    return std::string("UsblCalBaseline") + baselines[index / TQvCmdUsblCal::CoefCount]
        + coefs[index % TQvCmdUsblCal::CoefCount];
}

constexpr int kCoefTotal = TQvCmdUsblCal::BaselineCount * TQvCmdUsblCal::CoefCount;

} // namespace

// ---- TQvCmdMsgTxProgInit ----

TQvCmdMsgTxProgInit::TQvCmdMsgTxProgInit()
    : fSignature(SignatureLength, 0)
{
    fCmdId = CID_PROG_INIT;
}

void TQvCmdMsgTxProgInit::SetSignature(const std::vector<uint8_t>& value)
{
    fSignature = value;
    fSignature.resize(SignatureLength, 0);
}

void TQvCmdMsgTxProgInit::EncodeFields()
{
    TQvCmdMsgTx::EncodeFields();
    WriteUInt8("Section", fSection);
    WriteUInt16("PartNumber", fPartNumber);
    WriteUInt8("PartRevisionMin", fPartRevisionMin);
    WriteUInt8("PartRevisionMax", fPartRevisionMax);
    WriteUInt32("SerialNumber", fSerialNumber);
    WriteUInt8("DataFormat", fDataFormat);
    WriteUInt32("Length", fLength);
    WriteUInt32("Checksum", fChecksum);
    WriteBytes("Signature", fSignature, SignatureLength);
}

// ---- TQvCmdMsgTxProgBlock ----

void TQvCmdMsgTxProgBlock::EncodeFields()
{
    TQvCmdMsgTx::EncodeFields();
    // The length field and the bytes sent always agree; callers keep blocks within 65535 bytes.
    const auto length = static_cast<uint16_t>(std::min(fData.size(), MaxDataLength));
    WriteUInt16("Length", length);
    WriteBuffer("Data", fData.data(), length);
}

// ---- TQvCmdMsgTxSysEngineering ----

void TQvCmdMsgTxSysEngineering::EncodeFields()
{
    TQvCmdMsgTx::EncodeFields();
    WriteUInt8("Action", fAction);
    switch (fAction) {
    case ENG_ACTION_ENABLE:
        WriteBytes("Key", std::vector<uint8_t>(fKey.begin(), fKey.end()), KeyLength);
        break;
    case ENG_ACTION_HARDWARE:
        WriteUInt16("PartNumber", fHardware.PartNumber);
        WriteUInt8("PartRevision", fHardware.PartRevision);
        WriteUInt32("SerialNumber", fHardware.SerialNumber);
        WriteUInt16("FlagsSys", fHardware.FlagsSys);
        WriteUInt16("FlagsUser", fHardware.FlagsUser);
        break;
    case ENG_ACTION_FLAGS_USER:
        WriteUInt16("FlagsUser", fHardware.FlagsUser);
        break;
    case ENG_ACTION_USBL_CAL:
        WriteBool("UsblCalValid", fUsblCal.Valid);
        for (int i = 0; i < kCoefTotal; ++i)
            WriteFloat(BaselineFieldName(i), fUsblCal.Baseline[i]);
        break;
    default:
        break; // the query and unknown actions carry nothing more
    }
}

// ---- TQvCmdMsgRxSysInfo ----

TQvCmdMsgRxDecode TQvCmdMsgRxSysInfo::DecodeFields()
{
    const TQvCmdMsgRxDecode result = TQvCmdMsgRx::DecodeFields();
    bool error = false;
    fInfo.Uptime = ReadUInt32("Uptime", 0, error);
    fInfo.Section = ReadUInt8("Section", 0, error);
    fInfo.Hardware.PartNumber = ReadUInt16("HardwarePartNumber", 0, error);
    fInfo.Hardware.PartRevision = ReadUInt8("HardwarePartRevision", 0, error);
    fInfo.Hardware.SerialNumber = ReadUInt32("HardwareSerialNumber", 0, error);
    fInfo.Hardware.FlagsSys = ReadUInt16("HardwareFlagsSys", 0, error);
    fInfo.Hardware.FlagsUser = ReadUInt16("HardwareFlagsUser", 0, error);
    fInfo.Boot.Valid = ReadBool("BootValid", false, error);
    fInfo.Boot.PartNumber = ReadUInt16("BootPartNumber", 0, error);
    fInfo.Boot.Version.Major = ReadUInt8("BootVersionMajor", 0, error);
    fInfo.Boot.Version.Minor = ReadUInt8("BootVersionMinor", 0, error);
    fInfo.Boot.Version.Build = ReadUInt16("BootVersionBuild", 0, error);
    fInfo.Boot.Checksum = ReadUInt32("BootChecksum", 0, error);
    fInfo.App.Valid = ReadBool("AppValid", false, error);
    fInfo.App.PartNumber = ReadUInt16("AppPartNumber", 0, error);
    fInfo.App.Version.Major = ReadUInt8("AppVersionMajor", 0, error);
    fInfo.App.Version.Minor = ReadUInt8("AppVersionMinor", 0, error);
    fInfo.App.Version.Build = ReadUInt16("AppVersionBuild", 0, error);
    fInfo.App.Checksum = ReadUInt32("AppChecksum", 0, error);
    return error ? cdec_BAD_LEN_UNDER : result;
}

// ---- TQvCmdMsgRxConfigGet ----

TQvCmdMsgRxDecode TQvCmdMsgRxConfigGet::DecodeFields()
{
    const TQvCmdMsgRxDecode result = TQvCmdMsgRx::DecodeFields();
    bool error = false;
    std::vector<uint8_t> eui;
    ReadBytes("HardwareEUI48", 6, eui, error);
    fConfig.MacAddr.ToValue(eui);
    fConfig.PressureSensor.CalId = ReadUInt32("PressureCalId", 0, error);
    fConfig.PressureSensor.CalType = static_cast<EQvCmdPressureSensorType>(ReadUInt8("PressureCalType", 0, error));
    fConfig.PressureSensor.CalMin = ReadUInt16("PressureCalMin", 0, error);
    fConfig.PressureSensor.CalMax = ReadUInt16("PressureCalMax", 0, error);
    const int day = ReadUInt8("PressureCalDay", 1, error);
    const int month = ReadUInt8("PressureCalMonth", 1, error);
    const int year = ReadUInt16("PressureCalYear", 2000, error);

    // The beacon's date is limited to a valid range; a day beyond its month (31 April) takes
    // the month's last day, so a bad date never breaks the decode.
    TCvDateTime date;
    date.Year = std::clamp(year, 2000, 9999);
    date.Month = std::clamp(month, 1, 12);
    date.Day = std::clamp(day, 1, CvDaysInMonth(date.Year, date.Month));
    fConfig.PressureSensor.CalDate = CvDateTimeToSerial(date);

    fConfig.UsblCal.Valid = ReadBool("UsblCalValid", false, error);
    for (int i = 0; i < kCoefTotal; ++i) {
        const float fallback = i % TQvCmdUsblCal::CoefCount == TQvCmdUsblCal::COEF_C ? 1.0f : 0.0f;
        fConfig.UsblCal.Baseline[i] = ReadFloat(BaselineFieldName(i), fallback, error);
    }
    return error ? cdec_BAD_LEN_UNDER : result;
}

// ---- Status replies ----

TQvCmdMsgRxDecode TQvCmdMsgRx_Status::DecodeFields()
{
    const TQvCmdMsgRxDecode result = TQvCmdMsgRx::DecodeFields();
    bool error = false;
    fStatus = ReadStatus("Status", error);
    return error ? cdec_BAD_LEN_UNDER : result;
}

TQvCmdMsgRxDecode TQvCmdMsgRxSysEngineering::DecodeFields()
{
    const TQvCmdMsgRxDecode result = TQvCmdMsgRx_Status::DecodeFields();
    bool error = false;
    fAction = ReadUInt8("Action", 0, error);
    return error ? cdec_BAD_LEN_UNDER : result;
}
