#include "framework/CvApp.h"

#include "framework/CvFiles.h"
#include "framework/CvText.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#ifndef QV_VERSION
#define QV_VERSION "0.0.0"
#endif
#ifndef QV_COMPANY
#define QV_COMPANY ""
#endif
#ifndef QV_PRODUCT
#define QV_PRODUCT ""
#endif
#ifndef QV_COPYRIGHT
#define QV_COPYRIGHT ""
#endif

uint32_t AppLangCode = TCvApp::DefaultLangCode;

namespace {
struct TProcessState {
    bool CmdLineSet = false;
    std::string CmdLine;
    std::string ExeFileName;
    bool TitleSet = false;
    std::string Title;
};

TProcessState& State()
{
    static TProcessState state;
    return state;
}

// A version in four numeric parts, as version information carries it ("1.0.0" -> "1.0.0.0").
std::string FourPartVersion(std::string version)
{
    int dots = 0;
    for (char c : version)
        dots += c == '.';
    for (; dots < 3; ++dots)
        version += ".0";
    return version;
}

std::string RealExeFileName()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// /usr holds what the package manager installs: a program there keeps its files in the per-user
// folder even when it runs as root, for whom every folder is writable.
bool PackageManagedFolder(const std::string& folder)
{
    return folder.rfind("/usr/", 0) == 0;
}

std::string ProcessCmdLine()
{
    std::string raw;
    if (!CvReadFile("/proc/self/cmdline", raw))
        return std::string();
    std::vector<std::string> argv;
    size_t pos = 0;
    while (pos < raw.size()) {
        size_t end = raw.find('\0', pos);
        if (end == std::string::npos)
            end = raw.size();
        argv.push_back(raw.substr(pos, end - pos));
        pos = end + 1;
    }
    return TCvApp::QuoteCmdLine(argv);
}

std::string Canonical(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

std::string EnvText(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// A folder from the environment without trailing delimiters, so names join with one "/".
std::string EnvFolder(const char* name)
{
    std::string v = EnvText(name);
    while (v.size() > 1 && v.back() == '/')
        v.pop_back();
    return v;
}

std::string HomePath()
{
    return EnvFolder("HOME");
}

std::string XdgConfigHome()
{
    const std::string config = EnvFolder("XDG_CONFIG_HOME");
    if (!config.empty() && config[0] == '/')
        return config;
    const std::string home = HomePath();
    return home.empty() ? std::string() : home + "/.config";
}

// A folder from the user's XDG folder list ("XDG_DOCUMENTS_DIR"), the environment first.
std::string XdgUserDir(const std::string& key)
{
    std::string value = EnvText(key.c_str());
    if (value.empty()) {
        std::string list;
        const std::string config = XdgConfigHome();
        if (!config.empty() && CvReadFile(config + "/user-dirs.dirs", list)) {
            size_t pos = 0;
            while (pos < list.size()) {
                size_t end = list.find('\n', pos);
                if (end == std::string::npos)
                    end = list.size();
                const std::string line = CvTrim(std::string_view(list).substr(pos, end - pos));
                pos = end + 1;
                if (line.compare(0, key.size() + 1, key + "=") != 0)
                    continue;
                value = line.substr(key.size() + 1);
                if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                    value = value.substr(1, value.size() - 2);
            }
        }
    }
    if (value.compare(0, 5, "$HOME") == 0)
        value = HomePath() + value.substr(5);
    return value;
}

std::string KnownFolder(const std::string& xdgKey, const std::string& fallbackName)
{
    const std::string configured = XdgUserDir(xdgKey);
    if (!configured.empty() && CvDirectoryExists(configured))
        return CvIncludeTrailingPathDelimiter(configured);
    const std::string home = HomePath();
    if (!home.empty() && CvDirectoryExists(home + "/" + fallbackName))
        return home + "/" + fallbackName + "/";
    return std::string();
}

bool MakeFolders(const std::string& path)
{
    if (path.empty() || CvDirectoryExists(path))
        return !path.empty();
    const std::string trimmed = path.back() == '/' ? path.substr(0, path.size() - 1) : path;
    const std::string parent = CvExtractFilePath(trimmed);
    if (!parent.empty() && parent != trimmed && !MakeFolders(parent))
        return false;
    return ::mkdir(trimmed.c_str(), 0777) == 0 || errno == EEXIST;
}
} // namespace

TCvAppInfo TCvApp::GetAppInfo(uint32_t langCode, const std::string& exeName)
{
    TCvAppInfo info;
    if (langCode == 0)
        langCode = AppLangCode;
    const std::string running = GetAppExeFileName();
    // Only the running program carries version information (from the build); for any other
    // file there is none to read.
    if (!exeName.empty() && Canonical(exeName) != Canonical(running))
        return info;
    info.Valid = true;
    if (langCode != DefaultLangCode)
        return info;
    info.CompanyName = CvTrim(QV_COMPANY);
    info.FileDescription = CvTrim(QV_PRODUCT);
    info.FileVersion = FourPartVersion(CvTrim(QV_VERSION));
    info.InternalName = CvChangeFileExt(CvExtractFileName(running), "");
    info.LegalCopyright = CvTrim(QV_COPYRIGHT);
    info.OriginalFilename = CvExtractFileName(running);
    info.ProductName = CvTrim(QV_PRODUCT);
    info.ProductVersion = info.FileVersion;
    return info;
}

bool TCvApp::GetNextParam(std::string_view text, size_t& pos, std::string& token)
{
    token.clear();
    while (pos < text.size() && static_cast<unsigned char>(text[pos]) <= 32)
        ++pos;
    if (pos >= text.size())
        return false;
    bool quoted = false;
    while (pos < text.size()) {
        const char c = text[pos];
        if (!quoted && static_cast<unsigned char>(c) <= 32)
            break;
        if (c == '\\') {
            size_t n = 0;
            while (pos < text.size() && text[pos] == '\\') {
                ++n;
                ++pos;
            }
            if (pos < text.size() && text[pos] == '"') {
                token.append(n / 2, '\\');
                if (n % 2 == 1) {
                    token += '"';
                    ++pos;
                }
            } else {
                token.append(n, '\\');
            }
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        else
            token += c;
        ++pos;
    }
    return true;
}

TCvAppCmdLineParams TCvApp::GetCmdParams(std::string_view cmdLine)
{
    TCvAppCmdLineParams params;
    size_t pos = 0;
    std::string token;
    while (GetNextParam(cmdLine, pos, token)) {
        TCvAppCmdLineParam item;
        item.Index = static_cast<int32_t>(params.size());
        item.Param = token;
        // The program path is never a switch, even where paths begin with "/".
        if (item.Index > 0 && !token.empty() && (token[0] == '-' || token[0] == '/')) {
            size_t sep = token.find('=');
            if (sep == std::string::npos)
                sep = token.find(':');
            if (sep != std::string::npos) {
                item.Switch = CvTrim(std::string_view(token).substr(1, sep - 1));
                item.Value = CvTrim(std::string_view(token).substr(sep + 1));
            } else {
                item.Switch = CvTrim(std::string_view(token).substr(1));
            }
        }
        params.push_back(std::move(item));
    }
    return params;
}

TCvAppCmdLineParams TCvApp::GetCmdParams()
{
    return GetCmdParams(GetCmdLine());
}

std::string TCvApp::GetCmdLine()
{
    return State().CmdLineSet ? State().CmdLine : ProcessCmdLine();
}

int TCvApp::GetCmdParamCount()
{
    const std::string line = GetCmdLine();
    size_t pos = 0;
    std::string token;
    int count = -1; // the program path does not count
    while (GetNextParam(line, pos, token))
        ++count;
    return count < 0 ? 0 : count;
}

std::string TCvApp::GetCmdParamStr(int index)
{
    if (index <= 0)
        return GetAppExeFileName();
    const std::string line = GetCmdLine();
    size_t pos = 0;
    std::string token;
    for (int i = 0; GetNextParam(line, pos, token); ++i)
        if (i == index)
            return token;
    return std::string();
}

void TCvApp::SetCmdLine(const std::string& cmdLine)
{
    State().CmdLineSet = true;
    State().CmdLine = cmdLine;
}

void TCvApp::SetCmdLine(const std::vector<std::string>& argv)
{
    State().CmdLineSet = !argv.empty();
    State().CmdLine = QuoteCmdLine(argv);
}

std::string TCvApp::QuoteCmdLine(const std::vector<std::string>& argv)
{
    std::string line;
    for (const std::string& arg : argv) {
        if (!line.empty())
            line += ' ';
        bool plain = !arg.empty();
        for (char c : arg)
            if (static_cast<unsigned char>(c) <= 32 || c == '"')
                plain = false;
        if (plain) {
            line += arg; // backslashes not followed by a quote stand for themselves
            continue;
        }
        line += '"';
        size_t backslashes = 0;
        for (char c : arg) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                line.append(2 * backslashes + 1, '\\');
            } else {
                line.append(backslashes, '\\');
            }
            backslashes = 0;
            line += c;
        }
        line.append(2 * backslashes, '\\');
        line += '"';
    }
    return line;
}

std::string TCvApp::GetAppExeFileName()
{
    return State().ExeFileName.empty() ? RealExeFileName() : State().ExeFileName;
}

std::string TCvApp::GetAppExeName()
{
    return CvExtractFileName(GetAppExeFileName());
}

std::string TCvApp::GetAppExePath()
{
    return CvExtractFilePath(GetAppExeFileName());
}

void TCvApp::SetAppExeFileName(const std::string& path)
{
    State().ExeFileName = path;
}

std::string TCvApp::AppTitle()
{
    return State().TitleSet ? State().Title : std::string(QV_PRODUCT);
}

void TCvApp::SetAppTitle(const std::string& title)
{
    State().TitleSet = true;
    State().Title = title;
}

std::string TCvApp::GetUserPath(const std::string& defaultPath)
{
    const std::string documents = GetSpecialPath(sfDocuments);
    if (!documents.empty())
        return documents;
    if (!defaultPath.empty())
        return CvIncludeTrailingPathDelimiter(defaultPath);
    return GetAppExePath();
}

std::string TCvApp::GetSpecialPath(uint8_t folder)
{
    switch (folder) {
    case sfDesktop:
        return KnownFolder("XDG_DESKTOP_DIR", "Desktop");
    case sfDocuments:
        return KnownFolder("XDG_DOCUMENTS_DIR", "Documents");
    case sfMusic:
        return KnownFolder("XDG_MUSIC_DIR", "Music");
    case sfVideos:
        return KnownFolder("XDG_VIDEOS_DIR", "Videos");
    case sfTemplates:
        return KnownFolder("XDG_TEMPLATES_DIR", "Templates");
    case sfPictures:
        return KnownFolder("XDG_PICTURES_DIR", "Pictures");
    case sfAppData: {
        const std::string config = XdgConfigHome();
        return CvDirectoryExists(config) ? config + "/" : std::string();
    }
    case sfLocalAppData: {
        std::string data = EnvFolder("XDG_DATA_HOME");
        if (data.empty() || data[0] != '/')
            data = HomePath().empty() ? std::string() : HomePath() + "/.local/share";
        return CvDirectoryExists(data) ? CvIncludeTrailingPathDelimiter(data) : std::string();
    }
    case sfProfile: {
        const std::string home = HomePath();
        return CvDirectoryExists(home) ? CvIncludeTrailingPathDelimiter(home) : std::string();
    }
    default:
        return std::string();
    }
}

std::string TCvApp::GetUserConfigPath()
{
    std::string config = XdgConfigHome();
    if (config.empty())
        config = "/tmp";
    const std::string product = CvTrim(QV_PRODUCT).empty() ? CvChangeFileExt(GetAppExeName(), "") : CvTrim(QV_PRODUCT);
    const std::string path = config + "/" + product + "/";
    MakeFolders(path);
    return path;
}

std::string TCvApp::GetAppFileName(const std::string& ext)
{
    const std::string beside = CvChangeFileExt(GetAppExeFileName(), ext);
    const std::string folder = GetAppExePath();
    if (CvDirectoryWritable(folder) && !PackageManagedFolder(folder))
        return beside;
    const std::string user = GetUserConfigPath() + CvExtractFileName(beside);
    // A file shipped beside an installed program seeds the user's own copy.
    std::string seed;
    if (!CvFileExists(user) && CvFileExists(beside) && CvReadFile(beside, seed))
        CvWriteFileAtomic(user, seed);
    return user;
}
