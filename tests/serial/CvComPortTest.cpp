// Serial settings record, its INI section, and port listing and baud-rate mapping.
#include "serial/CvComPort.h"
#include "serial/ComSerialPort.h"
#include "tests/serial/PtyPair.h"

#include "framework/CvIniFile.h"
#include "framework/CvText.h"

#include <cstdio>
#include <functional>

#include <QTemporaryDir>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace {

class CvComSettingsIni : public ::testing::Test {
protected:
    std::string IniPath() const { return dir.filePath("settings.ini").toStdString(); }
    std::string FileText() const
    {
        std::ifstream in(IniPath(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void WriteFile(const std::string& text) const
    {
        std::ofstream(IniPath(), std::ios::binary) << text;
    }
    QTemporaryDir dir;
};

TCvComSettings NonDefaults()
{
    TCvComSettings s;
    s.fBaudRate = br57600;
    s.fDataBits = dbSeven;
    s.fFlowControl = fcHardware;
    s.fParity = prSpace;
    s.fPortName = "ttyUSB3";
    s.fStopBits = sbTwoStopBits;
    return s;
}

} // namespace

TEST(CvComPortBaud, NumericRateMapsToTheHighestStandardRateOrToCustom)
{
    struct TCase {
        uint32_t value;
        TBaudRate plain;
        TBaudRate custom;
    } cases[] = {
        {0, br110, brCustom},
        {100, br110, brCustom},
        {110, br110, br110},
        {57600, br57600, br57600},
        {57601, br57600, brCustom},
        {115199, br57600, brCustom},
        {115200, br115200, br115200},
        {256000, br256000, br256000},
        {256001, br256000, brCustom},
        {UINT32_MAX, br256000, brCustom},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(TCvComPort::GetBaudRate(c.value, false), c.plain) << c.value;
        EXPECT_EQ(TCvComPort::GetBaudRate(c.value, true), c.custom) << c.value;
    }
}

TEST(CvComPortBaud, TextRateIsTrimmedAndNonNumbersCountAsZero)
{
    struct TCase {
        const char* text;
        TBaudRate plain;
        TBaudRate custom;
    } cases[] = {
        {" 19200 ", br19200, br19200},
        {"\t115200\r\n", br115200, br115200},
        {"fast", br110, brCustom},
        {"", br110, brCustom},
        {"9600baud", br110, brCustom},
        {"-9600", br110, brCustom},            // a negative number is no rate
        {"99999999999", br110, brCustom},      // beyond 32 bits: no number
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(TCvComPort::GetBaudRate(std::string(c.text), false), c.plain) << c.text;
        EXPECT_EQ(TCvComPort::GetBaudRate(std::string(c.text), true), c.custom) << c.text;
    }
    EXPECT_EQ(TCvComPort::GetBaudValue(br38400), 38400u);
    EXPECT_EQ(TCvComPort::GetBaudValue(brCustom), 0u);
}

TEST_F(CvComSettingsIni, SectionWithoutKeysReadsAsTheFixedDefaultsNotTheRecordsValues)
{
    WriteFile("[Communications]\r\n[Other]\r\nPort=COM9\r\n");
    TCvIniFile ini(IniPath());
    TCvComSettings s = NonDefaults();
    s.FromIniFile(ini, "Communications");
    EXPECT_EQ(s.fPortName, "");
    EXPECT_EQ(s.fBaudRate, br9600);
    EXPECT_EQ(s.fDataBits, dbEight);
    EXPECT_EQ(s.fStopBits, sbOneStopBit);
    EXPECT_EQ(s.fParity, prNone);
    EXPECT_EQ(s.fFlowControl, fcNone);
}

TEST_F(CvComSettingsIni, StoredTextsReadBackWithTheirConversions)
{
    struct TCase {
        const char* key;
        const char* value;
        std::function<bool(const TCvComSettings&)> check;
    } cases[] = {
        {"Port", "  /dev/ttyUSB0\t", [](const TCvComSettings& s) { return s.fPortName == "/dev/ttyUSB0"; }},
        {"Port", "ttyACM1", [](const TCvComSettings& s) { return s.fPortName == "ttyACM1"; }},
        {"BaudRate", "Custom", [](const TCvComSettings& s) { return s.fBaudRate == brCustom; }},
        {"BaudRate", "115200", [](const TCvComSettings& s) { return s.fBaudRate == br115200; }},
        {"BaudRate", "115201", [](const TCvComSettings& s) { return s.fBaudRate == br9600; }},
        {"DataBits", "7", [](const TCvComSettings& s) { return s.fDataBits == dbSeven; }},
        {"DataBits", "9", [](const TCvComSettings& s) { return s.fDataBits == dbEight; }},
        {"StopBits", "1.5", [](const TCvComSettings& s) { return s.fStopBits == sbOne5StopBits; }},
        {"Parity", "even", [](const TCvComSettings& s) { return s.fParity == prEven; }},
        {"Parity", "Bogus", [](const TCvComSettings& s) { return s.fParity == prNone; }},
        {"FlowControl", "HARDWARE", [](const TCvComSettings& s) { return s.fFlowControl == fcHardware; }},
        {"FlowControl", "RTS/CTS", [](const TCvComSettings& s) { return s.fFlowControl == fcCustom; }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        WriteFile(std::string("[Communications]\r\n") + c.key + "=" + c.value + "\r\n");
        TCvIniFile ini(IniPath());
        TCvComSettings s;
        s.FromIniFile(ini, "Communications");
        EXPECT_TRUE(c.check(s));
    }
}

TEST_F(CvComSettingsIni, WrittenSectionHoldsTheTextsAndReadsBackEqual)
{
    {
        TCvIniFile ini(IniPath());
        TCvComSettings s;
        s.Defaults();
        s.fPortName = "COM1";
        s.fBaudRate = br115200;
        s.ToIniFile(ini, "Communications");
    }
    EXPECT_EQ(FileText(), "[Communications]\r\nPort=COM1\r\nBaudRate=115200\r\nDataBits=8\r\n"
                          "StopBits=1\r\nParity=None\r\nFlowControl=None\r\n");

    TCvIniFile ini(IniPath());
    TCvComSettings written = NonDefaults();
    written.ToIniFile(ini, "Communications");
    TCvComSettings read;
    read.FromIniFile(ini, "Communications");
    EXPECT_EQ(read.SettingsText(), "ttyUSB3-57600-7-2-S");
    EXPECT_EQ(read.fFlowControl, fcHardware);
    EXPECT_EQ(ini.ReadString("Communications", "StopBits", ""), "2");
    EXPECT_EQ(ini.ReadString("Communications", "Parity", ""), "Space");
}

TEST(CvComSettingsPort, ToComPortAppliesEverySettingAndFromComPortReadsThemBack)
{
    TComSerialPort port;
    const TCvComSettings s = NonDefaults();
    s.ToComPort(&port);
    EXPECT_EQ(port.Port(), "ttyUSB3");
    EXPECT_EQ(port.BaudRate(), br57600);
    EXPECT_EQ(port.DataBits(), dbSeven);
    EXPECT_EQ(port.FlowControl().ControlRTS(), rtsHandshake);
    EXPECT_TRUE(port.FlowControl().OutCTSFlow());
    EXPECT_EQ(port.Parity().Bits(), prSpace);
    EXPECT_EQ(port.StopBits(), sbTwoStopBits);
    EXPECT_EQ(TCvComPort::GetSettingsString(&port), "ttyUSB3-57600-7-2-S");

    TCvComSettings back;
    back.FromComPort(&port);
    EXPECT_EQ(back.SettingsText(), s.SettingsText());
    EXPECT_EQ(back.fFlowControl, fcHardware);

    // No port: nothing happens either way.
    back.FromComPort(nullptr);
    s.ToComPort(nullptr);
    EXPECT_EQ(back.SettingsText(), s.SettingsText());
    EXPECT_EQ(TCvComPort::GetSettingsString(nullptr), "");
}

TEST(CvComSettingsPort, CustomFlowControlLeavesThePortsFlagsAlone)
{
    TComSerialPort port;
    port.FlowControl().SetControlRTS(rtsToggle);
    port.FlowControl().SetXonXoffIn(true);
    port.FlowControl().SetControlDTR(dtrEnable);
    TCvComSettings s;
    s.fFlowControl = fcCustom;
    s.ToComPort(&port);
    EXPECT_EQ(port.FlowControl().ControlRTS(), rtsToggle);
    EXPECT_TRUE(port.FlowControl().XonXoffIn());
    EXPECT_FALSE(port.FlowControl().XonXoffOut());
    EXPECT_EQ(port.FlowControl().ControlDTR(), dtrEnable);
    TCvComSettings back;
    back.FromComPort(&port);
    EXPECT_EQ(back.fFlowControl, fcCustom);
}

TEST(CvComSettingsPort, SummaryTextShowsCustomRateAndParityInitial)
{
    TCvComSettings s;
    s.Defaults();
    EXPECT_EQ(s.SettingsText(), "-9600-8-1-N");
    s.SetPortName(" com1 "); // stored unchanged
    EXPECT_EQ(s.PortName(), " com1 ");
    s.SetPortName("COM1");
    s.fBaudRate = brCustom;
    s.fParity = prMark;
    s.fStopBits = sbOne5StopBits;
    EXPECT_EQ(s.SettingsText(), "COM1-Custom-8-1.5-M");
}

TEST(CvComPortList, NamesAreSortedIgnoringCaseAndCutAtTheFirstUnprintableCharacter)
{
    struct TCase {
        std::vector<std::string> in, out;
    } cases[] = {
        {{"COM2", "COM10", "com1"}, {"com1", "COM10", "COM2"}},
        {{"ttyUSB1", std::string("ttyUSB0\0junk", 12), "COM3\x7F" "X"}, {"COM3", "ttyUSB0", "ttyUSB1"}},
        {{"ttyS0\tfoo", "\x01" "hidden", "caf\xC3\xA9"}, {"", "caf", "ttyS0"}},
        {{}, {}},
    };
    for (TCase& c : cases) {
        TCvComPort::PreparePortList(c.in);
        EXPECT_EQ(c.in, c.out);
    }
}

TEST(CvComPortList, ListedPortsAndTerminalDevicePathsExistOthersDoNot)
{
    std::vector<std::string> ports;
    TCvComPort::GetPorts(ports);
    for (const std::string& name : ports)
        EXPECT_TRUE(TCvComPort::CheckPortExists(" " + name + " ")) << name;

    TPtyPair pty;
    ASSERT_TRUE(pty.Valid());
    const std::string regularFile = std::string(QV_BINARY_DIR) + "/cvcomport-plain-file";
    std::ofstream(regularFile) << "x";
    const std::string link = std::string(QV_BINARY_DIR) + "/cvcomport-by-id-link";
    std::remove(link.c_str());
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), link.c_str()), 0); // as /dev/serial/by-id/...
    struct TCase {
        std::string port;
        bool exists;
    } cases[] = {
        {pty.SlavePath(), true},
        {link, true},
        {"  " + pty.SlavePath() + "\t", true},
        {CvUpperCase(pty.SlavePath()), false}, // device names keep their case here
        {"/dev/qv-no-such-port", false},
        {"qv-no-such-port", false},
        {"", false},
        {"   ", false},
        {"/dev/null", false}, // a device, but no terminal
        {regularFile, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TCvComPort::CheckPortExists(c.port), c.exists) << "\"" << c.port << "\"";
    std::remove(regularFile.c_str());
    std::remove(link.c_str());
}
