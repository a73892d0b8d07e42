// Shared fixtures of the framework tests: a temporary folder and whole-file helpers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it.
class TFwTempDir {
public:
    TFwTempDir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "qvfw-XXXXXX").string();
        if (!::mkdtemp(templ.data()))
            throw std::runtime_error("mkdtemp failed");
        fPath = templ + "/";
    }
    ~TFwTempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(fPath, ec);
    }
    TFwTempDir(const TFwTempDir&) = delete;
    TFwTempDir& operator=(const TFwTempDir&) = delete;

    // The folder with a trailing "/".
    const std::string& Path() const { return fPath; }
    std::string File(const std::string& name) const { return fPath + name; }

private:
    std::string fPath;
};

inline std::string FwReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void FwWriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// Number of entries in a folder (a leftover temporary file shows up here).
inline size_t FwFileCount(const std::string& folder)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

#include "framework/CvApp.h"
#include "framework/CvClock.h"
#include "framework/CvTimer.h"

#include <vector>

// The program's surroundings for framework objects: the executable "qvprog" in a temporary
// folder (also the home folder, so no documents folder is found), a pinned clock, simulated
// timers and the command line "qvprog <args>". Everything is restored afterwards.
class TFwAppEnv {
public:
    explicit TFwAppEnv(const std::vector<std::string>& args = {})
    {
        ::setenv("HOME", Dir.Path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", Dir.File("config").c_str(), 1);
        ::unsetenv("XDG_DOCUMENTS_DIR");
        TCvApp::SetAppExeFileName(ExeFileName());
        TCvApp::SetAppTitle("Quorvan Programmer");
        CvSetNowFunction([this] { return Now; });
        SetArgs(args);
    }
    ~TFwAppEnv()
    {
        CvSetNowFunction(nullptr);
        TCvApp::SetCmdLine(std::vector<std::string>{});
        TCvApp::SetAppExeFileName("");
    }
    TFwAppEnv(const TFwAppEnv&) = delete;
    TFwAppEnv& operator=(const TFwAppEnv&) = delete;

    void SetArgs(std::vector<std::string> args)
    {
        args.insert(args.begin(), ExeFileName());
        TCvApp::SetCmdLine(args);
    }
    std::string ExeFileName() const { return Dir.File("qvprog"); }

    TFwTempDir Dir;
    TCvManualClock Clock;
    TCvTimerServiceScope Scope{&Clock};
    TCvDateTime Now{2026, 3, 14, 9, 30, 5, 123};
};
