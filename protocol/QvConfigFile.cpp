#include "protocol/QvConfigFile.h"

#include "framework/CvFormat.h"
#include "framework/CvIniFile.h"
#include "protocol/QvConfigText.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

const char* const kPairNames[TQvCmdUsblCal::BaselineCount] = {"10", "20", "21", "30", "31", "32"};
// Coefficients in the order the file lists them, with their index within a baseline.
const struct {
    char Letter;
    int Index;
    float Default;
} kCoefs[TQvCmdUsblCal::CoefCount] = {
    {'A', TQvCmdUsblCal::COEF_A, 0.0f},
    {'B', TQvCmdUsblCal::COEF_B, 0.0f},
    {'C', TQvCmdUsblCal::COEF_C, 1.0f},
    {'D', TQvCmdUsblCal::COEF_D, 0.0f},
};

std::string CoefKey(int baseline, char letter)
{
    return std::string("PD") + kPairNames[baseline] + letter;
}

int64_t ReadInt(TCvIniFile& ini, const char* section, const char* key, int64_t def)
{
    return TQvConfigText::TextToIntDef(ini.ReadString(section, key, ""), def);
}

float ReadReal(TCvIniFile& ini, const char* section, const std::string& key, float def)
{
    double v = 0;
    if (!TQvConfigText::TextToReal(ini.ReadString(section, key, ""), v))
        return def;
    // Values beyond single precision cannot be stored; they take the default like other bad text.
    if (v > 3.4028234663852886e38 || v < -3.4028234663852886e38)
        return def;
    return static_cast<float>(v);
}

} // namespace

std::string TQvConfigFile::DefaultFileName(uint32_t serialNumber, const TCvDateTime& t)
{
    const std::string stamp =
        CvFormat("%.4d%.2d%.2d_%.2d%.2d%.2d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
    return CvFormat("%.6d_%s.ini", static_cast<int64_t>(serialNumber), stamp);
}

bool TQvConfigFile::Save(const std::string& fileName, const TQvCmdEngineeringConfig& config, const TCvDateTime& t,
                         std::string& error)
{
    namespace fs = std::filesystem;
    // The new file is written beside the old one and then renamed over it: nothing of an earlier
    // file survives in the new one, and a failed save leaves the earlier file whole.
    const std::string temp = fileName + ".saving";
    std::error_code ec;
    fs::remove(temp, ec);
    try {
        TCvIniFile ini(temp);
        ini.WriteString("Config", "Timestamp",
                        CvFormat("%.4d-%.2d-%.2d %.2d:%.2d:%.2d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second));
        const TQvCmdInfoHardware& hw = config.Hardware;
        ini.WriteString("Hardware", "Load", "0");
        ini.WriteString("Hardware", "PartNumber", std::to_string(hw.PartNumber));
        ini.WriteString("Hardware", "PartRevision", std::to_string(hw.PartRevision));
        ini.WriteString("Hardware", "SerialNumber", std::to_string(hw.SerialNumber));
        ini.WriteString("Hardware", "FlagsSys", std::to_string(hw.FlagsSys));
        ini.WriteString("Hardware", "FlagsUser", std::to_string(hw.FlagsUser));
        ini.WriteBool("Usbl", "Valid", config.UsblCal.Valid);
        for (int b = 0; b < TQvCmdUsblCal::BaselineCount; ++b)
            for (const auto& coef : kCoefs) {
                const double value = config.UsblCal.Baseline[b * TQvCmdUsblCal::CoefCount + coef.Index];
                ini.WriteString("Usbl", CoefKey(b, coef.Letter), TQvConfigText::RealToText(value));
            }
    } catch (const ECvIniError&) {
        fs::remove(temp, ec);
        error = CvFormat("Unable to write to %s", fileName);
        return false;
    }
    fs::rename(temp, fileName, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = CvFormat("Unable to write to %s", fileName);
        return false;
    }
    return true;
}

bool TQvConfigFile::Load(const std::string& fileName, TQvCmdEngineeringConfig& config, std::string& error)
{
    // A file that cannot be opened would read as all defaults and silently reset the calibration.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec) || !std::ifstream(fileName).is_open()) {
        error = CvFormat("Unable to read %s", fileName);
        return false;
    }
    TQvCmdEngineeringConfig result = config;
    try {
        TCvIniFile ini(fileName);
        ReadInto(ini, result);
    } catch (const ECvIniError& e) {
        error = e.what();
        return false;
    }
    config = result;
    return true;
}

void TQvConfigFile::ReadInto(TCvIniFile& ini, TQvCmdEngineeringConfig& result)
{
    if (ReadInt(ini, "Hardware", "Load", 0) != 0) {
        TQvCmdInfoHardware& hw = result.Hardware;
        hw.PartNumber = static_cast<uint16_t>(ReadInt(ini, "Hardware", "PartNumber", 0));
        hw.PartRevision = static_cast<uint8_t>(ReadInt(ini, "Hardware", "PartRevision", 0));
        hw.SerialNumber = static_cast<uint32_t>(ReadInt(ini, "Hardware", "SerialNumber", 0));
        hw.FlagsSys = static_cast<uint16_t>(ReadInt(ini, "Hardware", "FlagsSys", 0));
        hw.FlagsUser = static_cast<uint16_t>(ReadInt(ini, "Hardware", "FlagsUser", 0));
    }
    result.UsblCal.Valid = ReadInt(ini, "Usbl", "Valid", 0) != 0;
    for (int b = 0; b < TQvCmdUsblCal::BaselineCount; ++b)
        for (const auto& coef : kCoefs)
            result.UsblCal.Baseline[b * TQvCmdUsblCal::CoefCount + coef.Index] =
                ReadReal(ini, "Usbl", CoefKey(b, coef.Letter), coef.Default);
}
