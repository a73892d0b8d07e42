// Facts about the running program and the machine: version strings, the command line split
// into switches and values, special folders, processes, windows, and the shell's "open".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Version strings of an executable.
struct TCvAppInfo {
    bool Valid = false; // the file carries version information
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string LegalTradeMarks;
    std::string OriginalFilename;
    std::string ProductName;
    std::string ProductVersion;
    std::string Comments;
    std::string Author;
};

// One token of the command line.
struct TCvAppCmdLineParam {
    int32_t Index = 0;  // 0 for the program path, then 1, 2, ...
    std::string Param;  // the whole token after quote and backslash processing
    std::string Switch; // a switch token's name without its "-" or "/" prefix, trimmed
    std::string Value;  // a switch token's value after "=" (or else ":"), trimmed
};
using TCvAppCmdLineParams = std::vector<TCvAppCmdLineParam>;

struct TCvSysProcessInfo {
    std::string Name; // executable file name
    uint32_t PID = 0;
    uint32_t ParentPID = 0;
    int32_t Threads = 0;
};

struct TCvSysWindowInfo {
    uintptr_t Handle = 0;
    uint32_t PID = 0;
    std::string WndTitle; // at most 254 characters
    std::string WndClass; // at most 254 characters
};

// Folders known to GetSpecialPath.
enum TCvSpecialFolder : uint8_t {
    sfDesktop = 0x00,
    sfDocuments = 0x05,
    sfMusic = 0x0D,
    sfVideos = 0x0E,
    sfTemplates = 0x15,
    sfAppData = 0x1A,      // per-user configuration
    sfLocalAppData = 0x1C, // per-user data
    sfPictures = 0x27,
    sfProfile = 0x28, // the home folder
};

// Language and code page of the version string block to read ("040904B0").
extern uint32_t AppLangCode;

class TCvApp {
public:
    TCvApp() = delete;

    // The version block every build carries; other language blocks read as empty.
    static constexpr uint32_t DefaultLangCode = 0x040904B0;

    // Version strings of an executable: the running program's come from the build (Valid true);
    // other files carry none (Valid false). langCode 0 means AppLangCode; an empty exeName the
    // running executable.
    static TCvAppInfo GetAppInfo(uint32_t langCode = 0, const std::string& exeName = "");

    // The command line split into tokens, program path first. The process's own command line
    // unless SetCmdLine gave another.
    static TCvAppCmdLineParams GetCmdParams();
    static TCvAppCmdLineParams GetCmdParams(std::string_view cmdLine);
    // Reads the token starting at or after `pos` and moves `pos` past it; false at the end.
    static bool GetNextParam(std::string_view text, size_t& pos, std::string& token);
    // The raw command line as one string (arguments quoted so that the tokenizer gives them
    // back unchanged).
    static std::string GetCmdLine();
    // Number of tokens after the program path.
    static int GetCmdParamCount();
    // 0 or less: the running executable's full path; otherwise that token, or "" past the end.
    static std::string GetCmdParamStr(int index);
    // Sets the command line used from now on: raw text, or an argument list (program first).
    // An empty list goes back to the process's own command line.
    static void SetCmdLine(const std::string& cmdLine);
    static void SetCmdLine(const std::vector<std::string>& argv);
    // Joins arguments into a raw command line that GetNextParam splits back into them.
    static std::string QuoteCmdLine(const std::vector<std::string>& argv);

    // The running executable: full path, file name, folder with trailing delimiter.
    static std::string GetAppExeFileName();
    static std::string GetAppExeName();
    static std::string GetAppExePath();
    // Pretends the executable lives elsewhere (tests; an empty path goes back to the real one).
    static void SetAppExeFileName(const std::string& path);

    // The title the program gives itself; the product name until the program sets one.
    static std::string AppTitle();
    static void SetAppTitle(const std::string& title);

    // The user's documents folder, else defaultPath, else the executable's folder; with a
    // trailing delimiter.
    static std::string GetUserPath(const std::string& defaultPath);
    // A known folder with trailing delimiter, or "" when the system does not know it.
    static std::string GetSpecialPath(uint8_t folder);
    // The per-user configuration folder of this product (~/.config/<product>/), created on demand.
    static std::string GetUserConfigPath();
    // The executable's path with its extension changed to `ext`, when its folder is writable;
    // otherwise the same name in the per-user configuration folder.
    static std::string GetAppFileName(const std::string& ext);

    // The English name of the user's default language ("English").
    static std::string GetLocaleLangName();

    static TCvSysProcessInfo GetProcess(const std::string& exe);
    static std::vector<TCvSysProcessInfo> GetProcesses();
    static bool IsProcessRunning(const std::string& exe);
    // Top-level windows; empty unless a window provider has been set (the desktop layer).
    static std::vector<TCvSysWindowInfo> GetWindows();
    using TWindowProvider = std::function<std::vector<TCvSysWindowInfo>()>;
    static void SetWindowProvider(TWindowProvider provider);

    // Asks the desktop to open a file, a folder or a web address. The outcome is ignored.
    static void ShellShowFile(const std::string& filename);
    static void ShellShowFolder(const std::string& path);
    static void ShellShowTextfile(const std::string& filename);
    // The function behind the three: the desktop layer sets one on its toolkit; the default
    // starts "xdg-open" without waiting for it. An empty function restores the default.
    using TShellOpen = std::function<void(const std::string& target)>;
    static void SetShellOpenFunction(TShellOpen func);
};
