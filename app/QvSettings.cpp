#include "app/QvSettings.h"

#include "framework/CvFiles.h"
#include "framework/CvFormat.h"
#include "framework/CvIniFile.h"
#include "framework/CvText.h"

#include <algorithm>

namespace {

const char* const kEngineering = "Engineering";
const char* const kFiles = "Files";
const char* const kCommunications = "Communications";
const char* const kRecentFile = "RecentFile";

std::string RecentKey(std::string_view filename)
{
    return CvLowerCase(CvTrim(filename));
}

} // namespace

TQvSettings::TQvSettings() = default;

TQvSettings::~TQvSettings() = default;

size_t TQvSettings::RecentLimit() const
{
    return fRecentFilesMax > 0 ? static_cast<size_t>(fRecentFilesMax) : 0;
}

void TQvSettings::DoDefaults()
{
    TCvAppSettings::DoDefaults();
    fEngineering = false;
    fKey.clear();
    fConfig.Hardware = TQvCmdInfoHardware{};
    fConfig.UsblCal = TQvCmdUsblCal{};
    fConfig.UsblCal.Valid = false;
    fConfig.UsblCal.SetNeutral();
    fConfigPath = AppPathExe();
    fRecentFiles.clear();
    fRecentFilesMax = 8;
    fRecentFileFirst.clear();
    fSerialPort.Defaults();
    fSerialPort.SetPortName("COM1");
    fSerialPort.fBaudRate = br115200;
    fRunPortName.reset();
    fRunBaudRate.reset();
    fTerminalHistory = 500;
}

bool TQvSettings::DoLoad(TCvIniFile& ini)
{
    const bool result = TCvAppSettings::DoLoad(ini);

    fKey = ini.ReadString(kEngineering, "Key", "");
    fEngineering = fKey.size() > 7;
    fConfig.EngMode = fEngineering;
    auto& hw = fConfig.Hardware;
    hw.PartNumber = static_cast<uint16_t>(ini.ReadInteger(kEngineering, "PartNumber", 0));
    hw.PartRevision = static_cast<uint8_t>(ini.ReadInteger(kEngineering, "PartRevision", 0));
    hw.SerialNumber = static_cast<uint32_t>(ini.ReadInteger(kEngineering, "SerialNumber", 0));
    hw.FlagsSys = static_cast<uint16_t>(ini.ReadInteger(kEngineering, "FlagsSys", 0));
    hw.FlagsUser = static_cast<uint16_t>(ini.ReadInteger(kEngineering, "FlagsUser", 0));

    fConfigPath = ini.ReadString(kFiles, "ConfigPath", AppPathExe());
    fRecentFilesMax = ini.ReadInteger(kFiles, "RecentFiles", 8);
    fRecentFiles.clear();
    fRecentFileFirst.clear();
    // Keys 1 .. limit in order. Only the keys present can hold a file, so the section's own
    // keys are visited: a huge limit costs nothing.
    std::vector<std::pair<uint32_t, std::string>> keys;
    for (const std::string& key : ini.ReadSection(kFiles)) {
        uint32_t index = 0;
        if (CvIndexedName(key, kRecentFile, index) && index >= 1 && index <= RecentLimit())
            keys.emplace_back(index, key);
    }
    std::sort(keys.begin(), keys.end());
    for (const auto& [index, key] : keys) {
        const std::string name = ini.ReadString(kFiles, key, "");
        if (index == 1)
            fRecentFileFirst = name;
        if (!name.empty() && CvFileExists(name))
            fRecentFiles.push_back(name);
    }

    fSerialPort.FromIniFile(ini, kCommunications);
    fTerminalHistory = ini.ReadInteger(kCommunications, "TerminalHistory", 500);
    return result;
}

bool TQvSettings::DoSave(TCvIniFile& ini)
{
    const bool result = TCvAppSettings::DoSave(ini);

    if (fEngineering) {
        const auto& hw = fConfig.Hardware;
        ini.WriteInteger(kEngineering, "PartNumber", hw.PartNumber);
        ini.WriteInteger(kEngineering, "PartRevision", hw.PartRevision);
        ini.WriteInteger(kEngineering, "SerialNumber", static_cast<int32_t>(hw.SerialNumber));
        ini.WriteInteger(kEngineering, "FlagsSys", hw.FlagsSys);
        ini.WriteInteger(kEngineering, "FlagsUser", hw.FlagsUser);
    }

    ini.EraseSection(kFiles);
    ini.WriteString(kFiles, "ConfigPath", fConfigPath);
    ini.WriteInteger(kFiles, "RecentFiles", fRecentFilesMax);
    const size_t n = std::min(fRecentFiles.size(), RecentLimit());
    for (size_t i = 0; i < n; ++i)
        ini.WriteString(kFiles, CvFormat("%s(%d)", std::string(kRecentFile), static_cast<int>(i + 1)),
                        fRecentFiles[i]);

    TCvComSettings serial = fSerialPort;
    if (fRunPortName && serial.PortName() == *fRunPortName)
        serial.SetPortName(fStoredPortName);
    if (fRunBaudRate && serial.fBaudRate == *fRunBaudRate)
        serial.fBaudRate = fStoredBaudRate;
    serial.ToIniFile(ini, kCommunications);
    ini.WriteInteger(kCommunications, "TerminalHistory", fTerminalHistory);
    return result;
}

void TQvSettings::DoValidate()
{
    if (!CvDirectoryExists(fConfigPath))
        fConfigPath = AppPathExe();
    if (fTerminalHistory < 1)
        fTerminalHistory = 1;
    fSerialPort.Validate();
}

void TQvSettings::RecentFileAdd(const std::string& filename)
{
    if (filename.empty())
        return;
    const std::string key = RecentKey(filename);
    for (size_t i = 0; i < fRecentFiles.size();) {
        if (RecentKey(fRecentFiles[i]) == key)
            fRecentFiles.erase(fRecentFiles.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    fRecentFileFirst = CvTrim(filename);
    fRecentFiles.insert(fRecentFiles.begin(), fRecentFileFirst);
    while (fRecentFiles.size() > RecentLimit())
        fRecentFiles.pop_back();
}

void TQvSettings::SetRunPortName(const std::string& name)
{
    if (!fRunPortName)
        fStoredPortName = fSerialPort.PortName();
    fRunPortName = name;
    fSerialPort.SetPortName(name);
}

void TQvSettings::SetRunBaudRate(TBaudRate rate)
{
    if (!fRunBaudRate)
        fStoredBaudRate = fSerialPort.fBaudRate;
    fRunBaudRate = rate;
    fSerialPort.fBaudRate = rate;
}
