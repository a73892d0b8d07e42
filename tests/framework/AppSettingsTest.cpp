#include "framework/CvAppLog.h"
#include "framework/CvAppSettings.h"
#include "framework/CvFiles.h"
#include "framework/CvIniFile.h"

#include "FwTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {
// A window as the store sees it: its restored geometry, state and the desktop.
struct TFakeWindow : ICvAppWindow {
    TCvRect Normal{5, 6, 640, 480};
    TCvWindowState State = wsNormal;
    TCvRect Desktop{0, 0, 1920, 1080};
    bool Centred = false;

    TCvRect NormalGeometry() const override { return Normal; }
    TCvWindowState WindowState() const override { return State; }
    TCvRect DesktopGeometry() const override { return Desktop; }
    void SetNormalGeometry(const TCvRect& rect) override { Normal = rect; }
    void SetWindowState(TCvWindowState state) override { State = state; }
    void CenterOnScreen() override { Centred = true; }
};

// A program's settings: one key of its own, counted hooks, and a load that can fail.
class TTestSettings : public TCvAppSettings {
public:
    int Validations = 0;
    int Value = 0;
    bool FailLoad = false;

protected:
    void DoDefaults() override
    {
        TCvAppSettings::DoDefaults();
        Value = 1;
    }
    bool DoLoad(TCvIniFile& ini) override
    {
        const bool ok = TCvAppSettings::DoLoad(ini);
        Value = ini.ReadInteger("Test", "Value", 1);
        if (FailLoad)
            throw ECvIniError("damaged");
        return ok;
    }
    bool DoSave(TCvIniFile& ini) override
    {
        const bool ok = TCvAppSettings::DoSave(ini);
        ini.WriteInteger("Test", "Value", Value);
        return ok;
    }
    void DoValidate() override
    {
        ++Validations;
        if (Value < 0)
            Value = 0;
    }
};

class AppSettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        fLog = std::make_unique<TCvAppLog>();
        fLog->SetOnAdd(TCvAppLogAddEvent::FromFunction(
            [this](TCvAppLogAddParams& p) { fMessages.push_back(p.MsgTypeStr + " " + p.Msg); }));
        AppLog = fLog.get();
    }
    void TearDown() override
    {
        AppLog = nullptr;
        fLog->SetOnAdd(TCvAppLogAddEvent());
        fLog.reset();
    }
    std::string IniFile() const { return fEnv.Dir.File("qvprog.ini"); }
    bool Logged(const std::string& line) const
    {
        return std::find(fMessages.begin(), fMessages.end(), line) != fMessages.end();
    }

    TFwAppEnv fEnv;
    std::unique_ptr<TCvAppLog> fLog;
    std::vector<std::string> fMessages;
};
} // namespace

TEST_F(AppSettingsTest, FirstRunWithoutAFile)
{
    TTestSettings settings;
    EXPECT_EQ(settings.IniFilename(), IniFile()) << "beside the executable, named after it";
    EXPECT_EQ(settings.AppNameExe(), "qvprog");
    EXPECT_EQ(settings.AppPathExe(), fEnv.Dir.Path());
    EXPECT_EQ(settings.AppTitle(), "Quorvan Programmer");
    EXPECT_EQ(settings.AppMode().Bits, 1u << amStandard);
    EXPECT_TRUE(settings.UserName().empty()) << "nothing until Defaults or Load";
    settings.Defaults();
    EXPECT_TRUE(settings.Load());
    EXPECT_EQ(settings.UserName(), "Unknown");
    EXPECT_TRUE(settings.AppWindows().empty());
    TFakeWindow window;
    EXPECT_FALSE(settings.WindowApply("Main", &window));
    EXPECT_EQ(window.Normal, (TCvRect{5, 6, 640, 480}));
    EXPECT_FALSE(window.Centred);
    EXPECT_FALSE(CvFileExists(IniFile())) << "loading writes nothing";
    EXPECT_EQ(fMessages, (std::vector<std::string>{
                             "INFO Applying default application settings.",
                             "INFO Loading application settings from '" + IniFile() + "'.",
                         }));
    settings.AddMode(amEngineering);
    EXPECT_TRUE(settings.AppMode().Contains(amEngineering) && settings.AppMode().Contains(amStandard));
}

TEST_F(AppSettingsTest, StoredWindowIsSavedAndRestored)
{
    {
        TTestSettings settings;
        settings.Defaults();
        settings.Load();
        TFakeWindow main;
        main.Normal = {100, 50, 800, 600};
        main.State = wsMaximized;
        EXPECT_TRUE(settings.WindowStore("Main", &main));
        EXPECT_FALSE(settings.WindowStore("", &main));
        EXPECT_FALSE(settings.WindowStore("Other", nullptr));
        ASSERT_TRUE(settings.Save());
        EXPECT_EQ(FwReadFile(IniFile()), "[Application]\r\n"
                                         "Windows=1\r\n"
                                         "\r\n"
                                         "[Application\\Window(0)]\r\n"
                                         "Id=MAIN\r\n"
                                         "Valid=1\r\n"
                                         "Top=50\r\n"
                                         "Left=100\r\n"
                                         "Width=800\r\n"
                                         "Height=600\r\n"
                                         "State=2\r\n"
                                         "\r\n"
                                         "[Test]\r\n"
                                         "Value=1\r\n");
        const std::string once = FwReadFile(IniFile());
        ASSERT_TRUE(settings.Save());
        EXPECT_EQ(FwReadFile(IniFile()), once) << "saving twice writes the same";
    }
    // Next run: the entry comes back; a maximised window keeps its normal bounds behind it.
    TTestSettings settings;
    settings.Defaults();
    ASSERT_TRUE(settings.Load());
    ASSERT_EQ(settings.AppWindows().size(), 1u);
    EXPECT_EQ(settings.AppWindows().at("MAIN"), (TCvAppWindowInfo{"MAIN", true, 50, 100, 800, 600, wsMaximized}));
    TFakeWindow window;
    EXPECT_TRUE(settings.WindowApply("main", &window));
    EXPECT_EQ(window.Normal, (TCvRect{100, 50, 800, 600}));
    EXPECT_EQ(window.State, wsMaximized);
}

TEST_F(AppSettingsTest, WindowSectionsAsFound)
{
    FwWriteFile(IniFile(), "[Application]\nWindows=3\n"
                           "[Application\\Window(0)]\nId=Main\nValid=1\nLeft=10\nTop=20\nWidth=300\nHeight=200\nState=1\n"
                           "[application\\window(2)]\nId=Config\nValid=1\nWidth=400\nHeight=300\n"
                           "[Application\\Window(3)]\nId=Beyond\nValid=1\n"      // past the count: not read
                           "[Application\\Window(01)]\nId=Padded\nValid=1\n");  // not a name the store writes
    TTestSettings settings;
    ASSERT_TRUE(settings.Load());
    ASSERT_EQ(settings.AppWindows().size(), 2u) << "section 1 is missing and skipped";
    EXPECT_EQ(settings.AppWindows().at("MAIN"), (TCvAppWindowInfo{"MAIN", true, 20, 10, 300, 200, wsMinimized}));
    EXPECT_EQ(settings.AppWindows().at("CONFIG").Width, 400);

    TFakeWindow window;
    EXPECT_TRUE(settings.WindowApply("MAIN", &window));
    EXPECT_EQ(window.State, wsNormal) << "a window never starts minimised";

    // Saved under upper-case ids, numbered afresh; the old section 3 stays unread.
    ASSERT_TRUE(settings.Save());
    TCvIniFile ini(IniFile());
    EXPECT_EQ(ini.ReadInteger("Application", "Windows", 0), 2);
    EXPECT_EQ(ini.ReadString("Application\\Window(0)", "Id", ""), "CONFIG");
    EXPECT_EQ(ini.ReadString("Application\\Window(1)", "Id", ""), "MAIN");
    EXPECT_EQ(ini.ReadString("Application\\Window(3)", "Id", ""), "Beyond");

    // A later section with the same id replaces an earlier one; a huge count costs nothing.
    FwWriteFile(IniFile(), "[Application]\nWindows=2000000000\n"
                           "[Application\\Window(0)]\nId=main\nValid=1\nWidth=1\n"
                           "[Application\\Window(7)]\nId=MAIN\nValid=0\nWidth=2\n");
    ASSERT_TRUE(settings.Load());
    ASSERT_EQ(settings.AppWindows().size(), 1u);
    EXPECT_EQ(settings.AppWindows().at("MAIN").Width, 2);
    TFakeWindow invalid;
    EXPECT_FALSE(settings.WindowApply("Main", &invalid));
    EXPECT_TRUE(invalid.Centred) << "an entry marked not valid centres the window";
    EXPECT_EQ(invalid.Normal, (TCvRect{5, 6, 640, 480}));
}

TEST_F(AppSettingsTest, WindowPlacementIsClampedToTheDesktop)
{
    struct TCase {
        const char* What;
        TCvRect Desktop;
        TCvRect Stored;
        TCvRect Expected;
    };
    const TCvRect hd{0, 0, 1920, 1080};
    const TCase cases[] = {
        {"inside", hd, {100, 100, 800, 600}, {100, 100, 800, 600}},
        {"wider than the desktop", hd, {100, 100, 2500, 600}, {0, 100, 1920, 600}},
        {"taller than the desktop", hd, {10, 10, 400, 2000}, {10, 0, 400, 1080}},
        {"beyond the right edge", hd, {1800, 100, 400, 300}, {1520, 100, 400, 300}},
        {"beyond the bottom edge", hd, {100, 1000, 400, 300}, {100, 780, 400, 300}},
        {"beyond both", hd, {5000, 5000, 400, 300}, {1520, 780, 400, 300}},
        {"left of the desktop", hd, {-50, -10, 400, 300}, {0, 0, 400, 300}},
        {"no size: the window's own", hd, {10, 10, 0, -5}, {10, 10, 640, 480}},
        {"second screen on the left", {-1280, 0, 3200, 1080}, {-2000, 10, 400, 300}, {-1280, 10, 400, 300}},
        {"desktop not at the origin", {0, 40, 1920, 1040}, {0, 0, 400, 300}, {0, 40, 400, 300}},
        {"extreme values", hd, {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 1920, 1080}},
    };
    for (const TCase& c : cases) {
        TTestSettings settings;
        TFakeWindow stored;
        stored.Normal = c.Stored;
        settings.WindowStore("W", &stored);
        TFakeWindow window;
        window.Desktop = c.Desktop;
        EXPECT_TRUE(settings.WindowApply("w", &window)) << c.What;
        EXPECT_EQ(window.Normal, c.Expected) << c.What;
    }
}

TEST_F(AppSettingsTest, ValidationIsDeferred)
{
    TTestSettings settings;
    int events = 0;
    settings.SetOnValidate(TCvAppSettingsEvent::FromFunction([&](TCvAppSettingsParams& p) {
        EXPECT_EQ(p.Sender, &settings);
        ++events;
    }));
    settings.BeginValidate();
    settings.Validate();
    settings.Validate();
    EXPECT_EQ(settings.Validations, 0);
    EXPECT_TRUE(settings.ValidatePending());
    settings.EndValidate(false, false);
    EXPECT_EQ(settings.Validations, 1) << "once, at the end";
    EXPECT_EQ(events, 1);

    settings.BeginValidate();
    settings.BeginValidate();
    settings.Validate();
    settings.EndValidate(false, false);
    EXPECT_EQ(settings.Validations, 1) << "still deferred by the outer level";
    settings.EndValidate(false, true);
    EXPECT_EQ(settings.Validations, 1) << "supressed";
    EXPECT_TRUE(settings.ValidatePending());
    settings.EndValidate(false, false);
    EXPECT_EQ(settings.ValidateLock(), 0) << "never below 0";
    EXPECT_EQ(settings.Validations, 2);

    // Each of Defaults, Load and Save validates exactly once and leaves no deferral behind.
    settings.Defaults();
    EXPECT_EQ(settings.Validations, 3);
    settings.Load();
    EXPECT_EQ(settings.Validations, 4);
    int stores = 0;
    settings.SetOnStore(TCvAppSettingsEvent::FromFunction([&](TCvAppSettingsParams&) {
        ++stores;
        EXPECT_EQ(settings.Validations, 4) << "store comes before validation";
    }));
    settings.Save();
    EXPECT_EQ(settings.Validations, 5);
    EXPECT_EQ(stores, 1);
    EXPECT_EQ(settings.ValidateLock(), 0);
    EXPECT_FALSE(settings.ValidatePending());
}

TEST_F(AppSettingsTest, FailedLoadFallsBackToDefaults)
{
    FwWriteFile(IniFile(), "[Application]\nUserName=Ann\nWindows=1\n[Application\\Window(0)]\nId=Main\nValid=1\n"
                           "[Test]\nValue=42\n");
    TTestSettings settings;
    settings.Defaults();
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.UserName(), "Ann");
    EXPECT_EQ(settings.Value, 42);

    settings.FailLoad = true;
    fMessages.clear();
    EXPECT_FALSE(settings.Load());
    EXPECT_EQ(settings.UserName(), "Unknown") << "values read before the error are reset";
    EXPECT_EQ(settings.Value, 1);
    EXPECT_TRUE(settings.AppWindows().empty());
    EXPECT_EQ(fMessages, (std::vector<std::string>{
                             "INFO Loading application settings from '" + IniFile() + "'.",
                             "ERROR An error occured while loading the application settings.",
                             "ERROR damaged",
                             "INFO Applying default application settings.",
                         }));
    EXPECT_EQ(settings.ValidateLock(), 0);

    // An OnLoad handler that clears success has the same effect, after DoLoad has run.
    settings.FailLoad = false;
    settings.SetOnLoad(TCvAppIniFileEvent::FromFunction([&](TCvAppIniFileParams& p) {
        EXPECT_TRUE(p.Success);
        EXPECT_EQ(settings.Value, 42);
        EXPECT_EQ(p.IniFile->ReadString("Application", "UserName", ""), "Ann");
        p.Success = false;
    }));
    EXPECT_FALSE(settings.Load());
    EXPECT_EQ(settings.Value, 1);
}

TEST_F(AppSettingsTest, SaveKeepsForeignKeysAndReportsFailures)
{
    const std::string original = "; installed by the site\n"
                                 "[Application]\nUserName=Ann\nUserCompany=Acme\nLicence=XYZ\nWindows=0\n"
                                 "[Site]\nServer=10.0.0.1\n";
    FwWriteFile(IniFile(), original);
    TTestSettings settings;
    settings.Defaults();
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.UserCompany(), "Acme");
    settings.SetUserName("Bob"); // never written back
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(FwReadFile(IniFile()), original + "\n[Test]\nValue=1\n");

    // An OnSave handler that clears success keeps DoSave from writing.
    settings.Value = 7;
    settings.SetOnSave(TCvAppIniFileEvent::FromFunction([](TCvAppIniFileParams& p) { p.Success = false; }));
    EXPECT_FALSE(settings.Save());
    EXPECT_EQ(TCvIniFile(IniFile()).ReadInteger("Test", "Value", 0), 1);
    settings.SetOnSave(TCvAppIniFileEvent());

    // A file that cannot be written: logged, false, nothing thrown.
    FwWriteFile(fEnv.Dir.File("plain"), "x");
    const std::string blocked = fEnv.Dir.File("plain") + "/qvprog.ini";
    settings.SetIniFilename(blocked);
    fMessages.clear();
    EXPECT_FALSE(settings.Save());
    EXPECT_TRUE(Logged("ERROR An error occured while saving the application settings."));
    EXPECT_TRUE(Logged("ERROR Unable to write to " + blocked));
    // Loading from there reads defaults and succeeds.
    EXPECT_TRUE(settings.Load());
    EXPECT_EQ(settings.UserName(), "Unknown");
}
