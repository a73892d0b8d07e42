// The program's settings: engineering key and factory hardware identity, the folder of beacon
// configuration files, recently used firmware files and the serial settings, on top of the
// settings store (file beside the executable, window placements).
#pragma once

#include "framework/CvAppSettings.h"
#include "protocol/QvCmdDefs.h"
#include "serial/CvComPort.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TQvSettings : public TCvAppSettings {
public:
    TQvSettings();
    ~TQvSettings() override;

    const TQvCmdEngineeringConfig& Config() const { return fConfig; }
    void SetConfig(const TQvCmdEngineeringConfig& value) { fConfig = value; }
    TQvCmdEngineeringConfig& ConfigRef() { return fConfig; }
    const std::string& ConfigPath() const { return fConfigPath; }
    void SetConfigPath(const std::string& value) { fConfigPath = value; }
    bool Engineering() const { return fEngineering; }
    // The engineering key as read from the settings file (never written back).
    const std::string& Key() const { return fKey; }
    int32_t RecentFilesMax() const { return fRecentFilesMax; }
    const std::vector<std::string>& RecentFiles() const { return fRecentFiles; }
    const std::string& RecentFileFirst() const { return fRecentFileFirst; }
    TCvComSettings& SerialPort() { return fSerialPort; }
    const TCvComSettings& SerialPort() const { return fSerialPort; }
    int32_t TerminalHistory() const { return fTerminalHistory; }

    // Puts a file at the top of the recent-files list (other entries for it removed).
    void RecentFileAdd(const std::string& filename);

    // A port or baud rate for this run only (-PORT, -BAUD): in effect at once, never saved.
    // While it is still the current value a save writes the value loaded from the file; a
    // value chosen since (in the window) is saved as usual.
    void SetRunPortName(const std::string& name);
    void SetRunBaudRate(TBaudRate rate);

protected:
    void DoDefaults() override;
    bool DoLoad(TCvIniFile& ini) override;
    bool DoSave(TCvIniFile& ini) override;
    void DoValidate() override;

private:
    // The list limit as used for trimming: a negative limit counts as 0.
    size_t RecentLimit() const;

    TQvCmdEngineeringConfig fConfig;
    std::string fConfigPath;
    bool fEngineering = false;
    std::string fKey;
    int32_t fRecentFilesMax = 8;
    std::vector<std::string> fRecentFiles;
    std::string fRecentFileFirst;
    TCvComSettings fSerialPort;
    int32_t fTerminalHistory = 500;
    // The run's own port and rate, and the values they replaced.
    std::optional<std::string> fRunPortName;
    std::string fStoredPortName;
    std::optional<TBaudRate> fRunBaudRate;
    TBaudRate fStoredBaudRate = br9600;
};
