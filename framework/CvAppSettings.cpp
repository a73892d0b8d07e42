#include "framework/CvAppSettings.h"

#include "framework/CvAppLog.h"
#include "framework/CvFiles.h"
#include "framework/CvFormat.h"
#include "framework/CvIniFile.h"
#include "framework/CvText.h"

#include <algorithm>
#include <vector>

namespace {
const char* const kSection = "Application";

std::string WindowSection(uint32_t n)
{
    return CvFormat("%s\\Window(%u)", std::string(kSection), n);
}

TCvWindowState StateOf(int32_t value)
{
    return value == wsMinimized ? wsMinimized : value == wsMaximized ? wsMaximized : wsNormal;
}
} // namespace

TCvAppSettings::TCvAppSettings()
{
    fAppStarted = CvNow();
    fAppTitle = TCvApp::AppTitle();
    fAppInfo = TCvApp::GetAppInfo();
    fAppPathExe = TCvApp::GetAppExePath();
    fAppNameExe = TCvApp::GetAppExeName();
    fAppPathUser = TCvApp::GetUserPath("");
    fAppParams = TCvApp::GetCmdParams();
    fAppMode.Include(amStandard);
    fIniFilename = TCvApp::GetAppFileName(".ini");
}

void TCvAppSettings::LogInfo(const std::string& text) const
{
    if (AppLog)
        AppLog->Add(logInfo, text);
}

void TCvAppSettings::LogError(const std::string& text, const std::exception& e) const
{
    if (!AppLog)
        return;
    AppLog->Add(logError, text);
    AppLog->Add(logError, e.what()); // the reason, for the operator
}

void TCvAppSettings::EndValidate(bool force, bool supress)
{
    if (force)
        fValidateLock = 0;
    else if (fValidateLock > 0)
        --fValidateLock;
    if (!supress && fValidateLock == 0 && fValidatePending)
        Validate();
}

void TCvAppSettings::Validate()
{
    if (fValidateLock > 0) {
        fValidatePending = true;
        return;
    }
    fValidatePending = false;
    DoValidate();
    if (fOnValidate) {
        TCvAppSettingsParams params{this};
        fOnValidate(params);
    }
}

void TCvAppSettings::Defaults()
{
    LogInfo("Applying default application settings.");
    BeginValidate();
    DoDefaults();
    if (fOnDefaults) {
        TCvAppSettingsParams params{this};
        fOnDefaults(params);
    }
    EndValidate(true, true);
    Validate();
}

bool TCvAppSettings::Load()
{
    LogInfo(CvFormat("Loading application settings from \"%s\".", fIniFilename));
    BeginValidate();
    bool success = false;
    try {
        TCvIniFile ini(fIniFilename);
        success = DoLoad(ini);
        if (fOnLoad) {
            TCvAppIniFileParams params{this, &ini, success};
            fOnLoad(params);
            success = params.Success;
        }
    } catch (const std::exception& e) {
        LogError("An error occured while loading the application settings.", e);
        success = false;
    }
    EndValidate(true, true);
    if (success)
        Validate();
    else
        Defaults();
    return success;
}

bool TCvAppSettings::Save()
{
    LogInfo(CvFormat("Saving application settings to \"%s\".", fIniFilename));
    BeginValidate();
    Store();
    fValidatePending = true;
    EndValidate(true, false);
    bool success = false;
    try {
        TCvIniFile ini(fIniFilename);
        success = true;
        if (fOnSave) {
            TCvAppIniFileParams params{this, &ini, success};
            fOnSave(params);
            success = params.Success;
        }
        if (success)
            success = DoSave(ini);
    } catch (const std::exception& e) {
        LogError("An error occured while saving the application settings.", e);
        success = false;
    }
    return success;
}

void TCvAppSettings::Store()
{
    DoStore();
    if (fOnStore) {
        TCvAppSettingsParams params{this};
        fOnStore(params);
    }
}

void TCvAppSettings::DoDefaults()
{
    fUserName = "Unknown";
    fUserCompany.clear();
    fAppWindows.clear();
}

bool TCvAppSettings::DoLoad(TCvIniFile& ini)
{
    fUserName = ini.ReadString(kSection, "UserName", "Unknown");
    fUserCompany = ini.ReadString(kSection, "UserCompany", "");
    const int32_t count = ini.ReadInteger(kSection, "Windows", 0);
    fAppWindows.clear();
    // Sections 0 .. count-1 in order. Only those present can hold an id, so the file's own
    // sections are visited: a huge count in a damaged file costs nothing.
    std::vector<std::pair<uint32_t, std::string>> sections;
    for (const std::string& name : ini.ReadSections()) {
        uint32_t index = 0;
        if (CvIndexedName(name, std::string(kSection) + "\\Window", index) && count > 0
            && index < static_cast<uint32_t>(count))
            sections.emplace_back(index, name);
    }
    std::sort(sections.begin(), sections.end());
    for (const auto& [index, name] : sections) {
        TCvAppWindowInfo info;
        info.Id = CvUpperCase(ini.ReadString(name, "Id", ""));
        if (info.Id.empty())
            continue;
        info.Valid = ini.ReadBool(name, "Valid", false);
        info.Top = ini.ReadInteger(name, "Top", 0);
        info.Left = ini.ReadInteger(name, "Left", 0);
        info.Width = ini.ReadInteger(name, "Width", 0);
        info.Height = ini.ReadInteger(name, "Height", 0);
        info.State = StateOf(ini.ReadInteger(name, "State", 0));
        fAppWindows[info.Id] = info;
    }
    return true;
}

bool TCvAppSettings::DoSave(TCvIniFile& ini)
{
    ini.WriteInteger(kSection, "Windows", static_cast<int32_t>(fAppWindows.size()));
    uint32_t n = 0;
    for (const auto& [id, info] : fAppWindows) {
        const std::string section = WindowSection(n++);
        ini.WriteString(section, "Id", info.Id);
        ini.WriteBool(section, "Valid", info.Valid);
        ini.WriteInteger(section, "Top", info.Top);
        ini.WriteInteger(section, "Left", info.Left);
        ini.WriteInteger(section, "Width", info.Width);
        ini.WriteInteger(section, "Height", info.Height);
        ini.WriteInteger(section, "State", info.State);
    }
    return true;
}

bool TCvAppSettings::WindowApply(const std::string& id, ICvAppWindow* form)
{
    const auto it = fAppWindows.find(CvUpperCase(id));
    if (it == fAppWindows.end() || !form)
        return false;
    const TCvAppWindowInfo& info = it->second;
    if (!info.Valid) {
        form->CenterOnScreen();
        return false;
    }
    const TCvRect desk = form->DesktopGeometry();
    const TCvRect current = form->NormalGeometry();
    // 64-bit arithmetic: stored values come from a file and may be anything.
    int64_t left = info.Left;
    int64_t top = info.Top;
    int64_t width = info.Width > 0 ? info.Width : current.Width;
    int64_t height = info.Height > 0 ? info.Height : current.Height;
    const int64_t right = static_cast<int64_t>(desk.Left) + desk.Width;
    const int64_t bottom = static_cast<int64_t>(desk.Top) + desk.Height;
    if (left + width > right)
        left = right - width;
    if (top + height > bottom)
        top = bottom - height;
    if (left < desk.Left) {
        left = desk.Left;
        width = std::min<int64_t>(width, desk.Width);
    }
    if (top < desk.Top) {
        top = desk.Top;
        height = std::min<int64_t>(height, desk.Height);
    }
    form->SetNormalGeometry(TCvRect{static_cast<int32_t>(left), static_cast<int32_t>(top),
                                    static_cast<int32_t>(width), static_cast<int32_t>(height)});
    // A window never starts minimised.
    form->SetWindowState(info.State == wsMinimized ? wsNormal : info.State);
    return true;
}

bool TCvAppSettings::WindowStore(const std::string& id, const ICvAppWindow* form)
{
    if (id.empty() || !form)
        return false;
    const TCvRect rect = form->NormalGeometry();
    TCvAppWindowInfo info;
    info.Id = CvUpperCase(id);
    info.Valid = true;
    info.Top = rect.Top;
    info.Left = rect.Left;
    info.Width = rect.Width;
    info.Height = rect.Height;
    info.State = form->WindowState();
    fAppWindows[info.Id] = info;
    return true;
}
