#include "app/QvSettings.h"
#include "framework/CvAppLog.h"
#include "framework/CvIniFile.h"

#include "tests/framework/FwTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Program settings in a temporary program folder, with a log to report to.
class QvSettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        fLog = std::make_unique<TCvAppLog>();
        AppLog = fLog.get();
    }
    void TearDown() override
    {
        AppLog = nullptr;
        fLog.reset();
    }
    std::string Ini() const { return fEnv.Dir.File("qvprog.ini"); }
    // A fresh settings object through the start-up sequence: defaults, then load.
    std::unique_ptr<TQvSettings> Start()
    {
        auto s = std::make_unique<TQvSettings>();
        s->Defaults();
        s->Load();
        return s;
    }
    std::string Touch(const std::string& name)
    {
        const std::string path = fEnv.Dir.File(name);
        FwWriteFile(path, "x");
        return path;
    }

    TFwAppEnv fEnv;
    std::unique_ptr<TCvAppLog> fLog;
};

} // namespace

TEST_F(QvSettingsTest, FirstRunWithoutFile)
{
    auto s = Start();
    EXPECT_EQ(s->IniFilename(), Ini());
    // Serial keys read with their fixed defaults, not the values of the defaults step.
    EXPECT_EQ(s->SerialPort().PortName(), "");
    EXPECT_EQ(s->SerialPort().fBaudRate, br9600);
    EXPECT_EQ(s->RecentFilesMax(), 8);
    EXPECT_EQ(s->ConfigPath(), fEnv.Dir.Path());
    EXPECT_FALSE(s->Engineering());
    EXPECT_EQ(s->TerminalHistory(), 500);
    EXPECT_TRUE(s->RecentFiles().empty());
    EXPECT_FALSE(bool(s->Config().UsblCal.Valid));
    EXPECT_FLOAT_EQ(+s->Config().UsblCal.Baseline[TQvCmdUsblCal::COEF_C], 1.0f);
}

TEST_F(QvSettingsTest, EngineeringKeyLength)
{
    struct Case {
        const char* key;
        bool engineering;
    };
    for (Case c : {Case{"", false}, Case{"1234567", false}, Case{"12345678", true}, Case{"a much longer key", true}}) {
        FwWriteFile(Ini(), std::string("[Engineering]\nKey=") + c.key + "\n");
        auto s = Start();
        EXPECT_EQ(s->Engineering(), c.engineering) << c.key;
        EXPECT_EQ(bool(s->Config().EngMode), c.engineering) << c.key;
        EXPECT_EQ(s->Key(), c.key);
        // The key is never written back.
        s->Save();
        TCvIniFile ini(Ini());
        EXPECT_EQ(ini.ReadString("Engineering", "Key", "?"), c.key); // as the operator wrote it
    }
}

TEST_F(QvSettingsTest, RecentFilesLimitAndMissingFiles)
{
    const std::string a = Touch("a.fwx");
    const std::string b = Touch("b.fwx");
    const std::string c = Touch("c.fwx");
    const std::string d = Touch("d.fwx");
    const std::string gone = fEnv.Dir.File("gone.fwx");
    FwWriteFile(Ini(), "[Files]\nRecentFiles=3\nRecentFile(1)=" + gone + "\nRecentFile(2)=" + a + "\nRecentFile(3)=" + b
                           + "\nRecentFile(4)=" + c + "\n");
    auto s = Start();
    // Only keys 1 to 3 are read; the deleted first file is not listed but stays the first.
    EXPECT_EQ(s->RecentFiles(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(s->RecentFileFirst(), gone);

    s->RecentFileAdd(d);
    s->RecentFileAdd(c);
    EXPECT_EQ(s->RecentFiles(), (std::vector<std::string>{c, d, a})); // limit 3 drops the oldest
    ASSERT_TRUE(s->Save());
    TCvIniFile ini(Ini());
    EXPECT_EQ(ini.ReadSection("Files"),
              (std::vector<std::string>{"ConfigPath", "RecentFiles", "RecentFile(1)", "RecentFile(2)", "RecentFile(3)"}));
    EXPECT_EQ(ini.ReadString("Files", "RecentFile(1)", ""), c);
}

TEST_F(QvSettingsTest, HugeRecentLimitReadsOnlyTheKeysPresent)
{
    // A limit of two billion keeps its meaning; only the keys in the file are read, in number
    // order whatever their order in the file. Before, start-up asked for every key up to the
    // limit and did not finish.
    const std::string a = Touch("a.fwx");
    const std::string b = Touch("b.fwx");
    const std::string c = Touch("c.fwx");
    const std::string d = Touch("d.fwx");
    FwWriteFile(Ini(), "[Files]\nRecentFiles=2000000000\nRecentFile(1500000000)=" + b + "\nrecentfile(7)=" + c
                           + "\nRecentFile(2)=" + a + "\nRecentFile(03)=" + d + "\nRecentFile(x)=" + d
                           + "\nRecentFile(4294967296)=" + d + "\nRecentFile(0)=" + d + "\n");
    auto s = Start();
    EXPECT_EQ(s->RecentFilesMax(), 2000000000);
    EXPECT_EQ(s->RecentFiles(), (std::vector<std::string>{a, c, b}));
    EXPECT_EQ(s->RecentFileFirst(), ""); // there is no key 1

    s->RecentFileAdd(d);
    EXPECT_EQ(s->RecentFiles(), (std::vector<std::string>{d, a, c, b}));
    ASSERT_TRUE(s->Save());
    TCvIniFile ini(Ini());
    EXPECT_EQ(ini.ReadInteger("Files", "RecentFiles", 0), 2000000000);
    EXPECT_EQ(ini.ReadSection("Files"), (std::vector<std::string>{"ConfigPath", "RecentFiles", "RecentFile(1)",
                                                                  "RecentFile(2)", "RecentFile(3)", "RecentFile(4)"}));
    EXPECT_EQ(ini.ReadString("Files", "RecentFile(4)", ""), b);
}

TEST_F(QvSettingsTest, RecentFileAddMatchesCaseAndBlanks)
{
    auto s = Start();
    s->RecentFileAdd("/data/One.fwx");
    s->RecentFileAdd("/data/two.fwx");
    s->RecentFileAdd("  /DATA/one.FWX \t");
    EXPECT_EQ(s->RecentFiles(), (std::vector<std::string>{"/DATA/one.FWX", "/data/two.fwx"}));
    EXPECT_EQ(s->RecentFileFirst(), "/DATA/one.FWX");
    s->RecentFileAdd("");
    EXPECT_EQ(s->RecentFiles().size(), 2u);

    for (int i = 0; i < 8; ++i)
        s->RecentFileAdd("/f" + std::to_string(i));
    EXPECT_EQ(s->RecentFiles().size(), 8u);
    EXPECT_EQ(s->RecentFiles().front(), "/f7");
    EXPECT_EQ(s->RecentFiles().back(), "/f0"); // both earlier files dropped, oldest first
}

TEST_F(QvSettingsTest, NegativeRecentLimitCountsAsZero)
{
    FwWriteFile(Ini(), "[Files]\nRecentFiles=-3\n");
    auto s = Start();
    s->RecentFileAdd("/x.fwx");
    EXPECT_TRUE(s->RecentFiles().empty());
    EXPECT_EQ(s->RecentFileFirst(), "/x.fwx");
    EXPECT_TRUE(s->Save());
}

TEST_F(QvSettingsTest, HardwareKeysOnlyWrittenInEngineeringMode)
{
    const std::string hand = "[Engineering]\nPartNumber=131077\nPartRevision=7\nSerialNumber=99\nFlagsSys=1\n"
                             "FlagsUser=2\n";
    for (bool engineering : {false, true}) {
        FwWriteFile(Ini(), hand + (engineering ? "Key=SEAFLOOR\n" : ""));
        auto s = Start();
        EXPECT_EQ(+s->Config().Hardware.PartNumber, 5); // 131077 = 0x20005: its low 16 bits
        EXPECT_EQ(+s->Config().Hardware.SerialNumber, 99u);
        auto cfg = s->Config();
        cfg.Hardware.PartNumber = 1520;
        s->SetConfig(cfg);
        s->Save();
        TCvIniFile ini(Ini());
        EXPECT_EQ(ini.ReadInteger("Engineering", "PartNumber", -1), engineering ? 1520 : 131077) << engineering;
    }
}

TEST_F(QvSettingsTest, TerminalHistoryAndConfigPathValidated)
{
    FwWriteFile(Ini(), "[Communications]\nTerminalHistory=0\n[Files]\nConfigPath=/no/such/folder\n");
    auto s = Start();
    EXPECT_EQ(s->TerminalHistory(), 1);
    EXPECT_EQ(s->ConfigPath(), fEnv.Dir.Path());
    s->Save();
    TCvIniFile ini(Ini());
    EXPECT_EQ(ini.ReadInteger("Communications", "TerminalHistory", -1), 1);
}

TEST_F(QvSettingsTest, SectionsWrittenInOrderAndForeignKeysKept)
{
    FwWriteFile(Ini(), "; installer comment\n[Installer]\nChannel=beta\n[Engineering]\nKey=SEAFLOOR\n");
    auto s = Start();
    s->SerialPort().SetPortName("/dev/ttyUSB1");
    s->Save();
    const std::string text = FwReadFile(Ini());
    EXPECT_NE(text.find("; installer comment"), std::string::npos);
    EXPECT_NE(text.find("Channel=beta"), std::string::npos);
    EXPECT_NE(text.find("Port=/dev/ttyUSB1"), std::string::npos);
    const auto app = text.find("[Application]");
    const auto files = text.find("[Files]");
    const auto comms = text.find("[Communications]");
    ASSERT_NE(app, std::string::npos);
    EXPECT_LT(app, files);
    EXPECT_LT(files, comms);
    auto again = Start();
    EXPECT_EQ(again->SerialPort().PortName(), "/dev/ttyUSB1");
}
