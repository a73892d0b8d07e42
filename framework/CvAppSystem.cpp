// TCvApp's view of the system: processes from /proc, windows, the shell's "open", the language.
#include "framework/CvApp.h"

#include "framework/CvFiles.h"
#include "framework/CvText.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
TCvApp::TWindowProvider& WindowProvider()
{
    static TCvApp::TWindowProvider provider;
    return provider;
}

TCvApp::TShellOpen& ShellOpen()
{
    static TCvApp::TShellOpen func;
    return func;
}

// Starts "xdg-open target" in the background through a shell that returns at once, so the
// caller never waits for the desktop and no child is left unreaped.
void SpawnXdgOpen(const std::string& target)
{
    static const char* script = "xdg-open \"$1\" >/dev/null 2>&1 </dev/null &";
    std::string sh = "/bin/sh";
    std::string c = "-c";
    std::string scr = script;
    std::string name = "sh";
    std::string arg = target;
    char* argv[] = {sh.data(), c.data(), scr.data(), name.data(), arg.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0)
        return;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

void DoShellOpen(const std::string& target)
{
    if (target.empty())
        return;
    if (ShellOpen())
        ShellOpen()(target);
    else
        SpawnXdgOpen(target);
}

// Name, parent and thread count of one process from /proc/<pid>; false when it is gone.
bool ReadProcess(uint32_t pid, TCvSysProcessInfo& info)
{
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string stat;
    if (!CvReadFile(dir + "/stat", stat) || stat.empty())
        return false;
    info = TCvSysProcessInfo();
    info.PID = pid;
    // "pid (comm) state ppid ... num_threads(20th field) ..."; comm may itself hold ")".
    const size_t open = stat.find('(');
    const size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return false;
    std::string comm = stat.substr(open + 1, close - open - 1);
    std::vector<std::string> fields;
    size_t pos = close + 1;
    while (pos < stat.size()) {
        while (pos < stat.size() && stat[pos] == ' ')
            ++pos;
        const size_t end = std::min(stat.find(' ', pos), stat.size());
        if (end > pos)
            fields.push_back(stat.substr(pos, end - pos));
        pos = end;
    }
    // fields[0] is the state (field 3), so field n is fields[n - 3].
    if (fields.size() > 17) {
        info.ParentPID = static_cast<uint32_t>(std::strtoul(fields[1].c_str(), nullptr, 10));
        info.Threads = static_cast<int32_t>(std::strtol(fields[17].c_str(), nullptr, 10));
    }
    // The executable's file name; the kernel's short name when the link cannot be read.
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink((dir + "/exe").c_str(), buffer, sizeof(buffer) - 1);
    if (n > 0) {
        std::string exe(buffer, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.resize(exe.size() - deleted.size());
        info.Name = CvExtractFileName(exe);
    } else {
        info.Name = comm;
    }
    return true;
}

struct TLanguage {
    const char* Code;
    const char* Name;
};
const TLanguage kLanguages[] = {
    {"ar", "Arabic"},     {"bg", "Bulgarian"}, {"ca", "Catalan"},   {"cs", "Czech"},     {"da", "Danish"},
    {"de", "German"},     {"el", "Greek"},     {"en", "English"},   {"es", "Spanish"},   {"et", "Estonian"},
    {"fi", "Finnish"},    {"fr", "French"},    {"he", "Hebrew"},    {"hr", "Croatian"},  {"hu", "Hungarian"},
    {"is", "Icelandic"},  {"it", "Italian"},   {"ja", "Japanese"},  {"ko", "Korean"},    {"lt", "Lithuanian"},
    {"lv", "Latvian"},    {"nb", "Norwegian"}, {"nl", "Dutch"},     {"nn", "Norwegian"}, {"no", "Norwegian"},
    {"pl", "Polish"},     {"pt", "Portuguese"}, {"ro", "Romanian"}, {"ru", "Russian"},   {"sk", "Slovak"},
    {"sl", "Slovenian"},  {"sr", "Serbian"},   {"sv", "Swedish"},   {"th", "Thai"},      {"tr", "Turkish"},
    {"uk", "Ukrainian"},  {"vi", "Vietnamese"}, {"zh", "Chinese"},
};
} // namespace

std::vector<TCvSysProcessInfo> TCvApp::GetProcesses()
{
    std::vector<uint32_t> pids;
    if (DIR* dir = ::opendir("/proc")) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
                pids.push_back(static_cast<uint32_t>(std::strtoul(name.c_str(), nullptr, 10)));
        }
        ::closedir(dir);
    }
    std::sort(pids.begin(), pids.end());
    std::vector<TCvSysProcessInfo> list;
    for (uint32_t pid : pids) {
        TCvSysProcessInfo info;
        if (ReadProcess(pid, info))
            list.push_back(std::move(info));
    }
    return list;
}

TCvSysProcessInfo TCvApp::GetProcess(const std::string& exe)
{
    const std::string wanted = CvUpperCase(CvExtractFileName(exe));
    if (wanted.empty())
        return TCvSysProcessInfo();
    for (TCvSysProcessInfo& info : GetProcesses())
        if (CvUpperCase(info.Name).find(wanted) != std::string::npos)
            return info;
    return TCvSysProcessInfo();
}

bool TCvApp::IsProcessRunning(const std::string& exe)
{
    return GetProcess(exe).PID != 0;
}

std::vector<TCvSysWindowInfo> TCvApp::GetWindows()
{
    std::vector<TCvSysWindowInfo> list;
    if (WindowProvider())
        for (TCvSysWindowInfo info : WindowProvider()()) {
            if (info.Handle == 0)
                break; // the enumeration ends at a null handle
            if (info.WndTitle.size() > 254)
                info.WndTitle.resize(254);
            if (info.WndClass.size() > 254)
                info.WndClass.resize(254);
            list.push_back(std::move(info));
        }
    return list;
}

void TCvApp::SetWindowProvider(TWindowProvider provider)
{
    WindowProvider() = std::move(provider);
}

void TCvApp::ShellShowFile(const std::string& filename)
{
    DoShellOpen(filename);
}

void TCvApp::ShellShowFolder(const std::string& path)
{
    if (CvDirectoryExists(path))
        DoShellOpen(path);
}

void TCvApp::ShellShowTextfile(const std::string& filename)
{
    DoShellOpen(filename);
}

void TCvApp::SetShellOpenFunction(TShellOpen func)
{
    ShellOpen() = std::move(func);
}

std::string TCvApp::GetLocaleLangName()
{
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) {
            locale = v;
            break;
        }
    }
    const size_t end = locale.find_first_of("_.@");
    const std::string code = CvLowerCase(locale.substr(0, end));
    if (code.empty() || code == "c" || code == "posix")
        return "English";
    for (const TLanguage& lang : kLanguages)
        if (code == lang.Code)
            return lang.Name;
    return code;
}
