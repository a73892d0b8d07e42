#include "app/QvApp.h"
#include "app/QvDialogs.h"
#include "app/QvSettings.h"
#include "framework/CvAppLog.h"
#include "framework/CvAppNotifier.h"
#include "framework/CvFiles.h"
#include "framework/CvFoundation.h"
#include "framework/CvIniFile.h"
#include "protocol/QvCmdProc.h"
#include "serial/ComPort.h"

#include "tests/framework/FwTestSupport.h"
#include "tests/serial/PtyPair.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

// The core in a temporary program folder, with the error box counted instead of shown.
class QvAppTest : public testing::Test {
protected:
    void SetUp() override
    {
        fSavedDialogs = QvDialogs();
        QvDialogs().ShowError = [this](const std::string& text, const std::string& detail) {
            fBoxes.push_back(text);
            fDetails.push_back(detail);
        };
    }
    void TearDown() override
    {
        Stop();
        QvDialogs() = fSavedDialogs;
    }
    void Start(const std::vector<std::string>& args = {})
    {
        fEnv.SetArgs(args);
        fCore = std::make_unique<TQvApp>();
        AppCore = fCore.get();
        AppLog->SetOnAdd(TCvAppLogAddEvent::FromFunction([this](TCvAppLogAddParams& p) {
            fEntries.push_back(p);
        }));
    }
    void Stop()
    {
        AppCore = nullptr;
        fCore.reset();
    }
    void WriteIni(const std::string& text) { FwWriteFile(fEnv.Dir.File("qvprog.ini"), text); }
    std::vector<std::string> Texts(TCvAppLogMsgType type) const
    {
        std::vector<std::string> out;
        for (const auto& e : fEntries)
            if (e.MsgType == type)
                out.push_back(e.Msg);
        return out;
    }
    // Runs the event loop until `done` holds or two seconds pass.
    template <typename F>
    bool WaitFor(F done)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    TFwAppEnv fEnv;
    std::unique_ptr<TQvApp> fCore;
    std::vector<TCvAppLogAddParams> fEntries;
    std::vector<std::string> fBoxes;
    std::vector<std::string> fDetails;
    TQvDialogs fSavedDialogs;
};

std::vector<std::string> LogLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream in(FwReadFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Index of the first line at or after `from` that contains `text`, or -1.
int Find(const std::vector<std::string>& lines, const std::string& text, int from = 0)
{
    for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i)
        if (lines[i].find(text) != std::string::npos)
            return static_cast<int>(i);
    return -1;
}

} // namespace

TEST_F(QvAppTest, StartupAndShutdownOrderInTheLogFile)
{
    WriteIni("[Engineering]\nKey=SEAFLOOR\n");
    Start({"-min"});
    EXPECT_NE(AppLog, nullptr);
    ASSERT_NE(AppNotifier, nullptr);
    EXPECT_TRUE(AppNotifier->LogDebug()); // engineering mode turns debug logging on
    EXPECT_EQ(fCore->ComPort()->Port(), ""); // the stored (empty) port replaced "COM1"
    EXPECT_EQ(fCore->ComPort()->BaudRate(), br9600);
    Stop();
    EXPECT_EQ(AppLog, nullptr);
    EXPECT_EQ(AppNotifier, nullptr);

    const auto lines = LogLines(fEnv.Dir.File("qvprog.log"));
    int at = Find(lines, "Application 'Quorvan Programmer' starting (v");
    ASSERT_GE(at, 0);
    const std::vector<std::string> order = {"Applying default application settings.",
                                            "Loading application settings from",
                                            "Running minimised.",
                                            "Engineering mode enabled.",
                                            "Application closing down."};
    for (const std::string& text : order) {
        const int next = Find(lines, text, at);
        ASSERT_GT(next, at) << text;
        at = next;
    }
    // The core never saves the settings: that is the main window's job. A save writes a
    // temporary file beside the settings and renames it over them; neither happened.
    EXPECT_EQ(FwReadFile(fEnv.Dir.File("qvprog.ini")), "[Engineering]\nKey=SEAFLOOR\n");
    for (const auto& entry : std::filesystem::directory_iterator(fEnv.Dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find("qvprog.ini.tmp"), std::string::npos) << entry.path();
}

TEST_F(QvAppTest, MinSwitchInAnyCase)
{
    struct Case {
        std::vector<std::string> args;
        bool minimised;
    };
    const std::vector<Case> cases = {
        {{"-MIN"}, true}, {{"/min"}, true}, {{"-Min "}, true}, {{"-min=1"}, true},
        {{"-minimal"}, false}, {{"min"}, false}, {{}, false}};
    for (const Case& c : cases) {
        fEntries.clear();
        Start(c.args);
        EXPECT_EQ(fCore->StartMinimised(), c.minimised) << (c.args.empty() ? "" : c.args[0]);
        Stop();
        const auto lines = LogLines(fEnv.Dir.File("qvprog.log"));
        // Only this run's part of the file: after its last start-up line.
        int last = -1;
        for (int i = 0; i < static_cast<int>(lines.size()); ++i)
            if (lines[static_cast<size_t>(i)].find("starting (v") != std::string::npos)
                last = i;
        EXPECT_EQ(Find(lines, "Running minimised.", last) >= 0, c.minimised);
    }
}

TEST_F(QvAppTest, MissingPortGivesOneEntryOneBoxAndResetsTheLineBuilder)
{
    WriteIni("[Communications]\nPort=/dev/ttyQV-no-such-port\n");
    Start();
    // Half a line before the attempt: the reset must drop it.
    for (char c : std::string("$02"))
        fCore->CmdProc()->Decode(c);
    fEntries.clear();

    EXPECT_FALSE(fCore->CommsConnect());
    EXPECT_FALSE(fCore->ComPort()->Connected());
    const std::string text = "The serial port \"/dev/ttyQV-no-such-port\" is not available, and cannot be opened.";
    ASSERT_EQ(fEntries.size(), 2u);
    // The log stores double quotes as single ones; the box shows the text as it is.
    EXPECT_EQ(fEntries[0].Msg, "Opening serial port '/dev/ttyQV-no-such-port'...");
    EXPECT_EQ(fEntries[1].MsgType, logError);
    EXPECT_EQ(fEntries[1].Msg, "The serial port '/dev/ttyQV-no-such-port' is not available, and cannot be opened.");
    EXPECT_EQ(fBoxes, std::vector<std::string>{text});
    EXPECT_FALSE(fDetails[0].empty());

    for (char c : std::string("81C1\r"))
        fCore->CmdProc()->Decode(c);
    EXPECT_EQ(fEntries.size(), 2u); // the rest of the old line is noise now, not a reply

    fCore->CommsDisconnect(); // closed already: nothing
    EXPECT_EQ(fEntries.size(), 2u);
}

TEST_F(QvAppTest, ConnectOverAPseudoTerminalAndReportOnlyBadLines)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Valid());
    Start({"-PORT=" + pty.SlavePath(), "-BAUD=57600"});
    fEntries.clear();
    ASSERT_TRUE(fCore->CommsConnect());
    EXPECT_TRUE(fCore->ComPort()->Connected());
    EXPECT_EQ(fCore->ComPort()->BaudRate(), br57600);
    ASSERT_EQ(fEntries.size(), 2u);
    EXPECT_EQ(fEntries[1].Msg.rfind("Opened serial port '" + pty.SlavePath() + "', with settings '", 0), 0u);
    EXPECT_TRUE(fBoxes.empty());

    fEntries.clear();
    EXPECT_TRUE(fCore->CommsConnect()); // already open: nothing logged
    EXPECT_TRUE(fEntries.empty());

    // A well-formed line nobody registered passes silently; a bad checksum is one error entry.
    const uint16_t crc = TCvCrc::Crc16(std::vector<uint8_t>{0x01});
    const std::string good = "$01" + TCvConvert::IntToHex(crc & 0xFF, 2) + TCvConvert::IntToHex(crc >> 8, 2) + "\r\n";
    ASSERT_TRUE(pty.Send(good + "$0281C2\r\n"));
    ASSERT_TRUE(WaitFor([this] { return !fEntries.empty(); }));
    WaitFor([] { return false; }); // let anything further arrive
    ASSERT_EQ(fEntries.size(), 1u);
    EXPECT_EQ(fEntries[0].MsgType, logError);
    EXPECT_EQ(fEntries[0].Msg.rfind("Rx Checksum Error (RxCsum=0xC281, CalcCsum=0xC181", 0), 0u) << fEntries[0].Msg;

    fEntries.clear();
    fCore->CommsDisconnect();
    EXPECT_FALSE(fCore->ComPort()->Connected());
    ASSERT_EQ(fEntries.size(), 2u);
    EXPECT_EQ(fEntries[0].Msg, "Closing serial port '" + pty.SlavePath() + "'.");
    EXPECT_EQ(fEntries[1].Msg, "Closed serial port '" + pty.SlavePath() + "'.");
}

TEST_F(QvAppTest, PortAndBaudSwitchesHoldForThisRunOnly)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Valid());
    WriteIni("[Communications]\nPort=/dev/ttyQV-stored\nBaudRate=9600\n");
    auto stored = [this] {
        TCvIniFile ini(fEnv.Dir.File("qvprog.ini"));
        return std::pair{ini.ReadString("Communications", "Port", ""),
                         ini.ReadString("Communications", "BaudRate", "")};
    };

    Start({"-PORT=" + pty.SlavePath(), "-BAUD=57600"});
    ASSERT_TRUE(fCore->CommsConnect());
    EXPECT_EQ(fCore->ComPort()->Port(), pty.SlavePath());
    EXPECT_EQ(fCore->ComPort()->BaudRate(), br57600);
    ASSERT_TRUE(fCore->Settings()->Save());
    EXPECT_EQ(stored(), (std::pair<std::string, std::string>("/dev/ttyQV-stored", "9600")));

    // A rate chosen during the run (the window's list) is saved; the run's port still is not.
    fCore->Settings()->SerialPort().fBaudRate = br19200;
    ASSERT_TRUE(fCore->Settings()->Save());
    EXPECT_EQ(stored(), (std::pair<std::string, std::string>("/dev/ttyQV-stored", "19200")));
    Stop();

    // A rate that is no standard one is left out, not turned into another rate.
    for (const char* rate : {"-BAUD=12345", "-BAUD=fast", "-BAUD=-9600"}) {
        Start({rate});
        EXPECT_EQ(fCore->Settings()->SerialPort().fBaudRate, br19200) << rate;
        Stop();
    }
}

TEST_F(QvAppTest, ABarePackageArgumentIsKeptForTheWindow)
{
    const std::string fwx = fEnv.Dir.File("Beacon App.FWX");
    const std::string other = fEnv.Dir.File("other.fwx");
    const std::string text = fEnv.Dir.File("notes.txt");
    for (const std::string& path : {fwx, other, text})
        FwWriteFile(path, "x");
    std::filesystem::create_directory(fEnv.Dir.File("folder.fwx"));
    struct Case {
        std::vector<std::string> args;
        std::string file;
    };
    const std::vector<Case> cases = {
        {{fwx}, fwx},
        {{"-FOO", other, fwx, "-MIN"}, other},
        {{fEnv.Dir.File("missing.fwx")}, ""},
        {{text}, ""},
        {{fEnv.Dir.File("folder.fwx")}, ""},
        {{"-PORT=" + fwx}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        Start(c.args);
        EXPECT_EQ(fCore->FirmwareFile(), c.file) << (c.args.empty() ? "" : c.args[0]);
        Stop();
    }
    // A name relative to the current folder is kept as a full path.
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(fEnv.Dir.Path());
    Start({"other.fwx"});
    std::filesystem::current_path(saved);
    EXPECT_TRUE(std::filesystem::path(fCore->FirmwareFile()).is_absolute()) << fCore->FirmwareFile();
    EXPECT_TRUE(std::filesystem::equivalent(fCore->FirmwareFile(), other)) << fCore->FirmwareFile();
}
