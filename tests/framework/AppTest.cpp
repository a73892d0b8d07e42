#include "framework/CvApp.h"
#include "framework/CvFiles.h"
#include "framework/CvText.h"

#include "FwTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {
struct TToken {
    std::string Param;
    std::string Switch;
    std::string Value;
    bool operator==(const TToken&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TToken& t)
{
    return os << "{" << t.Param << " | " << t.Switch << " | " << t.Value << "}";
}

std::vector<TToken> Tokens(const std::string& cmdLine)
{
    std::vector<TToken> out;
    int index = 0;
    for (const TCvAppCmdLineParam& p : TCvApp::GetCmdParams(cmdLine)) {
        EXPECT_EQ(p.Index, index++);
        out.push_back({p.Param, p.Switch, p.Value});
    }
    return out;
}

// Restores the process-wide seams a test changed.
struct TAppStateGuard {
    ~TAppStateGuard()
    {
        TCvApp::SetCmdLine(std::vector<std::string>{});
        TCvApp::SetAppExeFileName("");
        TCvApp::SetShellOpenFunction(nullptr);
        TCvApp::SetWindowProvider(nullptr);
    }
};
} // namespace

TEST(CvAppCmdLine, TokenizerAndSwitchSplit)
{
    struct TCase {
        const char* Line;
        std::vector<TToken> Expected; // after the program token
    };
    const TCase cases[] = {
        {R"(prog.exe /LOG=OFF)", {{"/LOG=OFF", "LOG", "OFF"}}},
        {R"(prog -file:C:\data\a.fwx)", {{R"(-file:C:\data\a.fwx)", "file", R"(C:\data\a.fwx)"}}},
        {R"(prog /path:C:\x=1)", {{R"(/path:C:\x=1)", R"(path:C:\x)", "1"}}},
        {R"(prog "/path = value")", {{"/path = value", "path", "value"}}},
        {R"(prog --LOG=ON -MIN)", {{"--LOG=ON", "-LOG", "ON"}, {"-MIN", "MIN", ""}}},
        {R"(prog /LOG = OFF)", {{"/LOG", "LOG", ""}, {"=", "", ""}, {"OFF", "", ""}}},
        {R"(prog firmware.fwx)", {{"firmware.fwx", "", ""}}},
        // Inside quotes, \" is a quote and the quoted part goes on; \\" is a backslash and the
        // quote ends it.
        {R"(prog "a \"b\" c" "d\\" e)", {{R"(a "b" c)", "", ""}, {R"(d\)", "", ""}, {"e", "", ""}}},
        {R"(prog \"x \\\"y a\\b c\\)", {{R"("x)", "", ""}, {R"(\"y)", "", ""}, {R"(a\\b)", "", ""}, {R"(c\\)", "", ""}}},
        {R"(prog "" x""y "un closed)", {{"", "", ""}, {"xy", "", ""}, {"un closed", "", ""}}},
        {"  prog\t\ta \r\n b  ", {{"a", "", ""}, {"b", "", ""}}},
        {R"(prog "/LOG:  on  ")", {{"/LOG:  on  ", "LOG", "on"}}},
    };
    for (const TCase& c : cases) {
        std::vector<TToken> got = Tokens(c.Line);
        ASSERT_FALSE(got.empty()) << c.Line;
        EXPECT_EQ(got[0].Switch, "") << c.Line;
        got.erase(got.begin());
        EXPECT_EQ(got, c.Expected) << c.Line;
    }
    EXPECT_TRUE(Tokens("").empty());
    EXPECT_TRUE(Tokens(" \t ").empty());
    // The program path never counts as a switch, though paths here begin with "/".
    EXPECT_EQ(Tokens("/usr/bin/qvprog /MIN"),
              (std::vector<TToken>{{"/usr/bin/qvprog", "", ""}, {"/MIN", "MIN", ""}}));
}

TEST(CvAppCmdLine, ArgumentListsRoundTripAndDriveTheAccessors)
{
    TAppStateGuard guard;
    const std::vector<std::string> argv = {
        "/opt/q v/prog", "/LOG=OFF", "with space", "quote\"inside", R"(trail\)", R"(trail space\ )", "", "tab\there",
        R"(C:\dir\)", R"(\\"\)",
    };
    TCvApp::SetCmdLine(argv);
    const TCvAppCmdLineParams params = TCvApp::GetCmdParams();
    ASSERT_EQ(params.size(), argv.size()) << TCvApp::GetCmdLine();
    for (size_t i = 0; i < argv.size(); ++i)
        EXPECT_EQ(params[i].Param, argv[i]) << i;
    EXPECT_EQ(params[1].Switch, "LOG");
    EXPECT_EQ(TCvApp::GetCmdParamCount(), static_cast<int>(argv.size()) - 1);
    EXPECT_EQ(TCvApp::GetCmdParamStr(2), "with space");
    EXPECT_EQ(TCvApp::GetCmdParamStr(99), "");
    TCvApp::SetAppExeFileName("/srv/tools/qvprog");
    EXPECT_EQ(TCvApp::GetCmdParamStr(0), "/srv/tools/qvprog") << "index 0 is the executable, not argv[0]";
    EXPECT_EQ(TCvApp::GetAppExeName(), "qvprog");
    EXPECT_EQ(TCvApp::GetAppExePath(), "/srv/tools/");

    // Back to the process's own command line: the test runner's first argument is its path.
    TCvApp::SetCmdLine(std::vector<std::string>{});
    TCvApp::SetAppExeFileName("");
    const TCvAppCmdLineParams own = TCvApp::GetCmdParams();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(CvExtractFileName(own[0].Param), "test_framework");
    EXPECT_EQ(TCvApp::GetAppExeName(), "test_framework");
    EXPECT_EQ(TCvApp::GetCmdParamCount(), static_cast<int>(own.size()) - 1);
}

TEST(CvApp, VersionInformationOfTheRunningProgramOnly)
{
    const TCvAppInfo own = TCvApp::GetAppInfo();
    EXPECT_TRUE(own.Valid);
    EXPECT_EQ(own.ProductName, "Quorvan Programmer");
    EXPECT_FALSE(own.CompanyName.empty());
    EXPECT_FALSE(own.LegalCopyright.empty());
    int dots = 0;
    for (char c : own.FileVersion) {
        EXPECT_TRUE(c == '.' || (c >= '0' && c <= '9')) << own.FileVersion;
        dots += c == '.';
    }
    EXPECT_EQ(dots, 3) << "four parts: " << own.FileVersion;
    EXPECT_EQ(own.OriginalFilename, "test_framework");

    const TCvAppInfo byPath = TCvApp::GetAppInfo(0, TCvApp::GetAppExeFileName());
    EXPECT_TRUE(byPath.Valid);
    EXPECT_EQ(byPath.FileVersion, own.FileVersion);

    const TCvAppInfo other = TCvApp::GetAppInfo(0, "/bin/sh");
    EXPECT_FALSE(other.Valid);
    EXPECT_TRUE(other.FileVersion.empty() && other.ProductName.empty() && other.CompanyName.empty());

    // Another language block: the resource is there, the strings are not.
    const TCvAppInfo german = TCvApp::GetAppInfo(0x040704B0);
    EXPECT_TRUE(german.Valid);
    EXPECT_TRUE(german.FileVersion.empty() && german.ProductName.empty());
    const uint32_t saved = AppLangCode;
    AppLangCode = 0x040704B0;
    EXPECT_TRUE(TCvApp::GetAppInfo().FileVersion.empty()) << "0 means AppLangCode";
    AppLangCode = saved;
}

TEST(CvApp, UserAndSpecialFolders)
{
    TAppStateGuard guard;
    TFwTempDir home;
    ::setenv("HOME", home.Path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home.Path() + "config").c_str(), 1);
    ::unsetenv("XDG_DOCUMENTS_DIR");
    TCvApp::SetAppExeFileName(home.File("bin/prog"));

    // Nothing known: the default, else the executable's folder.
    EXPECT_EQ(TCvApp::GetUserPath("/data/x"), "/data/x/");
    EXPECT_EQ(TCvApp::GetUserPath(""), home.File("bin/"));
    EXPECT_EQ(TCvApp::GetSpecialPath(sfDocuments), "");
    EXPECT_EQ(TCvApp::GetSpecialPath(0xEE), "");
    EXPECT_EQ(TCvApp::GetSpecialPath(sfProfile), home.Path());

    // The usual folder in the home folder, then the user's XDG list over it.
    ASSERT_EQ(::mkdir(home.File("Documents").c_str(), 0755), 0);
    EXPECT_EQ(TCvApp::GetUserPath("/data/x"), home.File("Documents/"));
    ASSERT_EQ(::mkdir(home.File("config").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(home.File("Docs").c_str(), 0755), 0);
    FwWriteFile(home.File("config/user-dirs.dirs"), "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    EXPECT_EQ(TCvApp::GetUserPath(""), home.File("Docs/"));
    EXPECT_EQ(TCvApp::GetSpecialPath(sfAppData), home.File("config/"));

    // Files beside the executable, or in the per-user configuration folder when the
    // executable's folder cannot be written.
    ASSERT_EQ(::mkdir(home.File("bin").c_str(), 0755), 0);
    EXPECT_EQ(TCvApp::GetAppFileName(".ini"), home.File("bin/prog.ini"));
    TCvApp::SetAppExeFileName(home.File("missing/prog"));
    EXPECT_EQ(TCvApp::GetAppFileName(".log"), home.File("config/Quorvan Programmer/prog.log"));
    EXPECT_TRUE(CvDirectoryExists(home.File("config/Quorvan Programmer")));
    // An installed program, also when run by root (who may write to /usr/bin).
    TCvApp::SetAppExeFileName("/usr/bin/prog");
    EXPECT_EQ(TCvApp::GetAppFileName(".ini"), home.File("config/Quorvan Programmer/prog.ini"));
    TCvApp::SetAppExeFileName("/usr/local/bin/prog");
    EXPECT_EQ(TCvApp::GetAppFileName(".lock"), home.File("config/Quorvan Programmer/prog.lock"));
}

TEST(CvApp, ProcessesFromTheSystem)
{
    const std::vector<TCvSysProcessInfo> all = TCvApp::GetProcesses();
    const auto self = std::find_if(all.begin(), all.end(),
                                   [](const TCvSysProcessInfo& p) { return p.PID == static_cast<uint32_t>(::getpid()); });
    ASSERT_NE(self, all.end());
    EXPECT_EQ(self->Name, "test_framework");
    EXPECT_EQ(self->ParentPID, static_cast<uint32_t>(::getppid()));
    EXPECT_GE(self->Threads, 1);

    // Matched on the file name, without regard to case, as a part of the process name.
    const TCvSysProcessInfo found = TCvApp::GetProcess("/any/folder/TEST_FRAMEW");
    EXPECT_NE(CvUpperCase(found.Name).find("TEST_FRAMEW"), std::string::npos);
    EXPECT_TRUE(TCvApp::IsProcessRunning("test_framework"));
    EXPECT_FALSE(TCvApp::IsProcessRunning("no-such-program-here-42"));
    const TCvSysProcessInfo none = TCvApp::GetProcess("");
    EXPECT_EQ(none.PID, 0u);
    EXPECT_TRUE(none.Name.empty());
}

TEST(CvApp, ShellOpenGoesThroughTheHook)
{
    TAppStateGuard guard;
    TFwTempDir dir;
    std::vector<std::string> opened;
    TCvApp::SetShellOpenFunction([&opened](const std::string& target) { opened.push_back(target); });
    TCvApp::ShellShowFile("https://example.invalid/product");
    TCvApp::ShellShowFolder(dir.File("missing")); // no such folder: nothing happens
    TCvApp::ShellShowFolder(dir.Path());
    TCvApp::ShellShowTextfile(dir.File("notes.txt"));
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.invalid/product", dir.Path(), dir.File("notes.txt")}));

    // The default starts xdg-open in the background with the target as its one argument.
    TCvApp::SetShellOpenFunction(nullptr);
    const std::string marker = dir.File("opened");
    FwWriteFile(dir.File("xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > '" + marker + ".part' && mv '" + marker +
                                          ".part' '" + marker + "'\n");
    ASSERT_EQ(::chmod(dir.File("xdg-open").c_str(), 0755), 0);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (dir.Path() + ":" + path).c_str(), 1);
    TCvApp::ShellShowFile("a file; with 'quotes' & spaces");
    // The child runs on its own: wait for it, bounded.
    for (int i = 0; i < 500 && !CvFileExists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(FwReadFile(marker), "a file; with 'quotes' & spaces");
}

TEST(CvApp, LanguageNameFromTheLocale)
{
    struct TCase {
        const char* All;
        const char* Lang;
        const char* Expected;
    };
    const TCase cases[] = {
        {"", "de_DE.UTF-8", "German"}, {"", "en_GB", "English"}, {"fr_CA.UTF-8", "de_DE", "French"},
        {"", "C", "English"},          {"", "", "English"},      {"", "nb_NO@euro", "Norwegian"},
        {"", "xx_YY", "xx"},
    };
    ::unsetenv("LC_MESSAGES");
    for (const TCase& c : cases) {
        ::setenv("LC_ALL", c.All, 1);
        ::setenv("LANG", c.Lang, 1);
        EXPECT_EQ(TCvApp::GetLocaleLangName(), c.Expected) << c.All << " / " << c.Lang;
    }
}

TEST(CvApp, WindowListEndsAtANullHandle)
{
    TAppStateGuard guard;
    EXPECT_TRUE(TCvApp::GetWindows().empty());
    TCvApp::SetWindowProvider([] {
        return std::vector<TCvSysWindowInfo>{{1, 10, std::string(300, 't'), "Main"}, {0, 0, "x", "y"}, {3, 10, "z", "w"}};
    });
    const std::vector<TCvSysWindowInfo> windows = TCvApp::GetWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].WndTitle.size(), 254u);
}
