// The base of a program's settings object: an INI file beside the executable, the sequence of
// defaulting, loading, validating, storing and saving with hooks for a derived class and for
// outside code, deferred validation, and remembered window placements.
#pragma once

#include "framework/CvApp.h"
#include "framework/CvClock.h"
#include "framework/CvEvent.h"

#include <cstdint>
#include <exception>
#include <map>
#include <string>

class TCvIniFile;
class TCvAppSettings;

enum TCvAppModeFlag : uint8_t { amDemo, amLite, amStandard, amProfessional, amEngineering };

// A set of mode flags in one byte: bit n stands for flag n.
struct TCvAppMode {
    uint8_t Bits = 0;
    bool Contains(TCvAppModeFlag flag) const { return (Bits >> flag) & 1u; }
    void Include(TCvAppModeFlag flag) { Bits = static_cast<uint8_t>(Bits | (1u << flag)); }
    void Exclude(TCvAppModeFlag flag) { Bits = static_cast<uint8_t>(Bits & ~(1u << flag)); }
    bool operator==(const TCvAppMode&) const = default;
};

enum TCvWindowState : uint8_t { wsNormal, wsMinimized, wsMaximized };

// A rectangle in screen pixels.
struct TCvRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    bool operator==(const TCvRect&) const = default;
};

// What the settings store needs of a window to restore and record its placement; the
// desktop's windows implement it.
class ICvAppWindow {
public:
    virtual ~ICvAppWindow() = default;
    // The restored (normal) geometry, also while the window is maximised or minimised.
    virtual TCvRect NormalGeometry() const = 0;
    virtual TCvWindowState WindowState() const = 0;
    // The bounding rectangle of the available area of all screens.
    virtual TCvRect DesktopGeometry() const = 0;
    // Places the window at this restored geometry (before it is shown).
    virtual void SetNormalGeometry(const TCvRect& rect) = 0;
    virtual void SetWindowState(TCvWindowState state) = 0;
    // The window opens centred on the screen.
    virtual void CenterOnScreen() = 0;
};

// The remembered placement of one window.
struct TCvAppWindowInfo {
    std::string Id; // upper case
    bool Valid = false;
    int32_t Top = 0;
    int32_t Left = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    TCvWindowState State = wsNormal;
    bool operator==(const TCvAppWindowInfo&) const = default;
};

struct TCvAppSettingsParams {
    TCvAppSettings* Sender = nullptr;
};
using TCvAppSettingsEvent = TCvEvent<TCvAppSettingsParams>;

// Handed to OnLoad and OnSave with the open settings file; a handler may clear Success.
struct TCvAppIniFileParams {
    TCvAppSettings* Sender = nullptr;
    TCvIniFile* IniFile = nullptr;
    bool Success = true;
};
using TCvAppIniFileEvent = TCvEvent<TCvAppIniFileParams>;

class TCvAppSettings {
public:
    // Captures the program's facts; reads nothing yet. The settings file is the executable's
    // path with ".ini" (see TCvApp::GetAppFileName).
    TCvAppSettings();
    virtual ~TCvAppSettings() = default;
    TCvAppSettings(const TCvAppSettings&) = delete;
    TCvAppSettings& operator=(const TCvAppSettings&) = delete;

    void AddMode(TCvAppModeFlag flag) { fAppMode.Include(flag); }
    void BeginValidate() { ++fValidateLock; }
    // Ends one deferral (all of them with force) and, unless supress, runs a validation that
    // was asked for meanwhile.
    void EndValidate(bool force, bool supress);
    // Applies the defaults, then validates.
    void Defaults();
    // Reads the settings file and validates; on any error falls back to Defaults.
    bool Load();
    // Stores live state, validates and writes the settings file.
    bool Save();
    void Store();
    // Validates now, or once the last deferral ends.
    void Validate();
    // Restores the remembered placement of `id` onto the window.
    bool WindowApply(const std::string& id, ICvAppWindow* form);
    // Records the window's current placement under `id`.
    bool WindowStore(const std::string& id, const ICvAppWindow* form);

    const TCvAppInfo& AppInfo() const { return fAppInfo; }
    TCvAppMode AppMode() const { return fAppMode; }
    void SetAppMode(TCvAppMode mode) { fAppMode = mode; }
    const std::string& AppNameExe() const { return fAppNameExe; }
    const TCvAppCmdLineParams& AppParams() const { return fAppParams; }
    const std::string& AppPathExe() const { return fAppPathExe; }
    const std::string& AppPathUser() const { return fAppPathUser; }
    const TCvDateTime& AppStarted() const { return fAppStarted; }
    const std::string& AppTitle() const { return fAppTitle; }
    // Remembered placements by upper-case id.
    const std::map<std::string, TCvAppWindowInfo>& AppWindows() const { return fAppWindows; }
    const TCvAppSettingsEvent& OnDefaults() const { return fOnDefaults; }
    void SetOnDefaults(const TCvAppSettingsEvent& handler) { fOnDefaults = handler; }
    const TCvAppIniFileEvent& OnLoad() const { return fOnLoad; }
    void SetOnLoad(const TCvAppIniFileEvent& handler) { fOnLoad = handler; }
    const TCvAppIniFileEvent& OnSave() const { return fOnSave; }
    void SetOnSave(const TCvAppIniFileEvent& handler) { fOnSave = handler; }
    const TCvAppSettingsEvent& OnStore() const { return fOnStore; }
    void SetOnStore(const TCvAppSettingsEvent& handler) { fOnStore = handler; }
    const TCvAppSettingsEvent& OnValidate() const { return fOnValidate; }
    void SetOnValidate(const TCvAppSettingsEvent& handler) { fOnValidate = handler; }
    const std::string& IniFilename() const { return fIniFilename; }
    void SetIniFilename(const std::string& value) { fIniFilename = value; }
    const std::string& UserName() const { return fUserName; }
    void SetUserName(const std::string& value) { fUserName = value; }
    const std::string& UserCompany() const { return fUserCompany; }
    void SetUserCompany(const std::string& value) { fUserCompany = value; }
    int32_t ValidateLock() const { return fValidateLock; }
    bool ValidatePending() const { return fValidatePending; }

protected:
    // Sets every value to its default; overrides call the base first.
    virtual void DoDefaults();
    // Reads the values from the open file (an error raised here makes Load fall back to the
    // defaults); overrides call the base first and return false for a failed load.
    virtual bool DoLoad(TCvIniFile& ini);
    // Writes the values to the open file; overrides call the base first.
    virtual bool DoSave(TCvIniFile& ini);
    // Copies live state into the fields before a save.
    virtual void DoStore() {}
    // Corrects values that are out of range.
    virtual void DoValidate() {}

private:
    void LogInfo(const std::string& text) const;
    void LogError(const std::string& text, const std::exception& e) const;

    TCvAppInfo fAppInfo;
    TCvAppMode fAppMode;
    std::string fAppNameExe;
    TCvAppCmdLineParams fAppParams;
    std::string fAppPathExe;
    std::string fAppPathUser;
    TCvDateTime fAppStarted;
    std::string fAppTitle;
    std::map<std::string, TCvAppWindowInfo> fAppWindows;
    TCvAppSettingsEvent fOnDefaults;
    TCvAppIniFileEvent fOnLoad;
    TCvAppIniFileEvent fOnSave;
    TCvAppSettingsEvent fOnStore;
    TCvAppSettingsEvent fOnValidate;
    std::string fIniFilename;
    std::string fUserName;
    std::string fUserCompany;
    int32_t fValidateLock = 0;
    bool fValidatePending = false;
};
