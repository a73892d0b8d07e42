#include "protocol/QvCmdSys.h"

#include "framework/CvClock.h"
#include "tests/protocol/ProtocolTestHelpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

void AppendFloat(TBytes& bytes, float value)
{
    uint8_t raw[4];
    std::memcpy(raw, &value, 4); // the protocol and the test host are both little-endian
    bytes.insert(bytes.end(), raw, raw + 4);
}

// A SYS_INFO reply of 39 bytes with a distinct value in every field.
const TBytes kSysInfo = {
    0x02,                   // CmdId
    0x45, 0x23, 0x01, 0x00, // Uptime 74565
    0x01,                   // Section
    0xB8, 0x0B,             // HardwarePartNumber 3000
    0x02,                   // HardwarePartRevision
    0x40, 0xE2, 0x01, 0x00, // HardwareSerialNumber 123456
    0x02, 0x01,             // HardwareFlagsSys
    0xA5, 0xA5,             // HardwareFlagsUser
    0x01,                   // BootValid
    0xB9, 0x0B,             // BootPartNumber 3001
    0x01, 0x02, 0x04, 0x03, // BootVersion 1.2.772
    0xEF, 0xBE, 0xAD, 0xDE, // BootChecksum
    0x80,                   // AppValid (any non-zero byte)
    0xBA, 0x0B,             // AppPartNumber 3002
    0x03, 0x04, 0x00, 0x10, // AppVersion 3.4.4096
    0x78, 0x56, 0x34, 0x12, // AppChecksum
};

// A configuration reply of 117 bytes with the given calibration date.
TBytes ConfigReply(uint8_t day, uint8_t month, uint16_t year)
{
    TBytes b = {0x1A, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0x07, 0x00, 0x00, 0x00, 0x02, 0x05, 0x00, 0xC8, 0x00};
    b.push_back(day);
    b.push_back(month);
    b.push_back(static_cast<uint8_t>(year));
    b.push_back(static_cast<uint8_t>(year >> 8));
    b.push_back(0x01);
    for (int i = 0; i < 24; ++i)
        AppendFloat(b, static_cast<float>(i) + 0.25f);
    return b;
}

std::string DateOf(double serial)
{
    return CvDateText(CvSerialToDateTime(serial));
}

} // namespace

TEST(QvCmdSys, SysInfoReplyDecodesEveryField)
{
    ASSERT_EQ(kSysInfo.size(), 39u);
    TQvCmdMsgRxSysInfo msg;
    ASSERT_EQ(msg.DecodeStr(RxLine(kSysInfo) + "\r\n"), cdec_OK);
    EXPECT_TRUE(msg.DecodeValid());
    const TQvCmdInfo& i = msg.Info();
    EXPECT_EQ(Val(i.Uptime), 74565u);
    EXPECT_EQ(Val(i.Section), 1);
    EXPECT_EQ(Val(i.Hardware.PartNumber), 3000);
    EXPECT_EQ(Val(i.Hardware.PartRevision), 2);
    EXPECT_EQ(Val(i.Hardware.SerialNumber), 123456u);
    EXPECT_EQ(Val(i.Hardware.FlagsSys), 0x0102);
    EXPECT_EQ(Val(i.Hardware.FlagsUser), 0xA5A5);
    EXPECT_TRUE(Val(i.Boot.Valid));
    EXPECT_EQ(Val(i.Boot.PartNumber), 3001);
    EXPECT_EQ(Val(i.Boot.Version.Major), 1);
    EXPECT_EQ(Val(i.Boot.Version.Minor), 2);
    EXPECT_EQ(Val(i.Boot.Version.Build), 772);
    EXPECT_EQ(Val(i.Boot.Checksum), 0xDEADBEEFu);
    EXPECT_TRUE(Val(i.App.Valid));
    EXPECT_EQ(Val(i.App.PartNumber), 3002);
    EXPECT_EQ(Val(i.App.Version.Major), 3);
    EXPECT_EQ(Val(i.App.Version.Minor), 4);
    EXPECT_EQ(Val(i.App.Version.Build), 4096);
    EXPECT_EQ(Val(i.App.Checksum), 0x12345678u);

    const std::vector<std::string> fields = {
        "CmdId = SYS_INFO (0x02)",
        "Uptime = 0x00012345 (74565)",
        "Section = 0x01 (1)",
        "HardwarePartNumber = 0x0BB8 (3000)",
        "HardwarePartRevision = 0x02 (2)",
        "HardwareSerialNumber = 0x0001E240 (123456)",
        "HardwareFlagsSys = 0x0102 (258)",
        "HardwareFlagsUser = 0xA5A5 (42405)",
        "BootValid = TRUE",
        "BootPartNumber = 0x0BB9 (3001)",
        "BootVersionMajor = 0x01 (1)",
        "BootVersionMinor = 0x02 (2)",
        "BootVersionBuild = 0x0304 (772)",
        "BootChecksum = 0xDEADBEEF (3735928559)",
        "AppValid = TRUE",
        "AppPartNumber = 0x0BBA (3002)",
        "AppVersionMajor = 0x03 (3)",
        "AppVersionMinor = 0x04 (4)",
        "AppVersionBuild = 0x1000 (4096)",
        "AppChecksum = 0x12345678 (305419896)",
    };
    EXPECT_EQ(msg.GetFields(), fields);
}

TEST(QvCmdSys, SysInfoReplyLengthAndChecksum)
{
    TBytes shortReply(kSysInfo.begin(), kSysInfo.end() - 1);
    TQvCmdMsgRxSysInfo under;
    EXPECT_EQ(under.DecodeStr(RxLine(shortReply)), cdec_BAD_LEN_UNDER);
    EXPECT_FALSE(under.DecodeValid());
    EXPECT_EQ(under.GetFields().back(), "AppChecksum = An error occured reading this value.");
    EXPECT_EQ(Val(under.Info().App.Checksum), 0u);         // fallback
    EXPECT_EQ(Val(under.Info().App.Version.Build), 4096u); // the fields before it are still read

    TBytes longReply = kSysInfo;
    longReply.push_back(0x99);
    TQvCmdMsgRxSysInfo over;
    EXPECT_EQ(over.DecodeStr(RxLine(longReply)), cdec_OK);
    EXPECT_EQ(Val(over.Info().App.Checksum), 0x12345678u);
    EXPECT_EQ(over.GetFields().size(), 20u); // the extra byte is ignored

    std::string line = RxLine(kSysInfo);
    const uint16_t good = TCvCrc::Crc16(kSysInfo);
    line[line.size() - 4] = line[line.size() - 4] == '0' ? '1' : '0'; // change the low byte's high digit
    TQvCmdMsgRxSysInfo bad;
    EXPECT_EQ(bad.DecodeStr(line), cdec_BAD_CSUM);
    EXPECT_EQ(bad.ChecksumCalc(), good);
    EXPECT_NE(bad.ChecksumRx(), good);
    EXPECT_EQ(Val(bad.Info().Uptime), 0u);
}

TEST(QvCmdSys, StatusReplies)
{
    struct Case {
        TQvCmdMsgRxClass cls;
        TBytes bytes;
        TQvCmdMsgRxDecode result;
        EQvCmdStatus status;
        int action; // -1: not an engineering reply
    };
    const auto init = TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgInit>();
    const auto block = TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgBlock>();
    const auto update = TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgUpdate>();
    const auto eng = TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysEngineering>();
    const Case cases[] = {
        {init, {0x0D}, cdec_BAD_LEN_UNDER, CST_FAIL, -1},
        {init, {0x0D, 0x0C}, cdec_OK, CST_PROG_SECTION_ERROR, -1},
        {block, {0x0E, 0x00}, cdec_OK, CST_OK, -1},
        {update, {0x0F, 0x0F, 0x33}, cdec_OK, CST_PROG_CHECKSUM_ERROR, -1}, // extra byte ignored
        {eng, {0x04, 0x00}, cdec_BAD_LEN_UNDER, CST_OK, 0},                 // action missing
        {eng, {0x04, 0x05, 0x20}, cdec_OK, CST_CMD_PARAM_INVALID, 0x20},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TQvCmdMsgRx> msg = c.cls();
        const std::string line = RxLine(c.bytes);
        EXPECT_EQ(msg->DecodeStr(line), c.result) << line;
        auto* status = dynamic_cast<TQvCmdMsgRx_Status*>(msg.get());
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->Status(), c.status) << line;
        if (c.action >= 0) {
            auto* reply = dynamic_cast<TQvCmdMsgRxSysEngineering*>(msg.get());
            ASSERT_NE(reply, nullptr);
            EXPECT_EQ(reply->Action(), c.action) << line;
        }
    }
    TQvCmdMsgRxProgInit msg;
    ASSERT_EQ(msg.DecodeStr(RxLine({0x0D, 0x0C})), cdec_OK);
    EXPECT_EQ(msg.GetFields(),
              (std::vector<std::string>{"CmdId = PROG_INIT (0x0D)", "Status = PROG_SECTION_ERROR (0x0C)"}));
    EXPECT_EQ(msg.CsvParams(), (std::vector<std::string>{"PROG_INIT", "PROG_SECTION_ERROR"}));
}

TEST(QvCmdSys, ConfigReplyDecodes)
{
    const TBytes bytes = ConfigReply(15, 6, 2021);
    ASSERT_EQ(bytes.size(), 117u);
    TQvCmdMsgRxConfigGet msg;
    ASSERT_EQ(msg.DecodeStr(RxLine(bytes)), cdec_OK);
    const TQvCmdConfig& c = msg.Config();
    EXPECT_EQ(c.MacAddr.AddressText(), "AA-BB-CC-DD-EE-FF");
    EXPECT_EQ(Val(c.PressureSensor.CalId), 7u);
    EXPECT_EQ(Val(c.PressureSensor.CalType), PRESSURE_CAL_TYPE_PAA);
    EXPECT_EQ(Val(c.PressureSensor.CalMin), 5.0f);
    EXPECT_EQ(Val(c.PressureSensor.CalMax), 200.0f);
    EXPECT_EQ(Val(c.PressureSensor.CalDate), 44362.0); // 2021-06-15 at midnight, counted from 1899-12-30
    EXPECT_TRUE(Val(c.UsblCal.Valid));
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(Val(c.UsblCal.Baseline[i]), static_cast<float>(i) + 0.25f) << i;
    const auto& f = msg.GetFields();
    ASSERT_EQ(f.size(), 34u);
    EXPECT_EQ(f[0], "CmdId = UNKNOWN (0x1A)");
    EXPECT_EQ(f[1], "HardwareEUI48[6] = '......' (0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA)");
    EXPECT_EQ(f[6], "PressureCalDay = 0x0F (15)");
    EXPECT_EQ(f[8], "PressureCalYear = 0x07E5 (2021)");
    EXPECT_EQ(f[10], "UsblCalBaseline10D = 0.25");
    EXPECT_EQ(f[11], "UsblCalBaseline10C = 1.25");
    EXPECT_EQ(f[13], "UsblCalBaseline10A = 3.25");
    EXPECT_EQ(f[14], "UsblCalBaseline20D = 4.25");
    EXPECT_EQ(f[9], "UsblCalValid = TRUE");
    EXPECT_EQ(f[33], "UsblCalBaseline32A = 23.25");
}

TEST(QvCmdSys, ConfigReplyCalibrationDateIsKeptValid)
{
    struct Case {
        uint8_t day, month;
        uint16_t year;
        const char* date;
    };
    const Case cases[] = {
        {0, 13, 1990, "2000-12-01"},    // each part limited to its range
        {40, 1, 2024, "2024-01-31"},
        {31, 4, 2023, "2023-04-30"},    // no 31 April: the month's last day
        {30, 2, 2023, "2023-02-28"},
        {29, 2, 2024, "2024-02-29"},    // leap year
        {29, 2, 2100, "2100-02-28"},    // century, not a leap year
        {1, 1, 65535, "9999-01-01"},
        {31, 12, 9999, "9999-12-31"},
    };
    for (const Case& c : cases) {
        TQvCmdMsgRxConfigGet msg;
        ASSERT_EQ(msg.DecodeStr(RxLine(ConfigReply(c.day, c.month, c.year))), cdec_OK) << c.date;
        EXPECT_EQ(DateOf(Val(msg.Config().PressureSensor.CalDate)), c.date);
    }
    TQvCmdMsgRxConfigGet msg;
    ASSERT_EQ(msg.DecodeStr(RxLine(ConfigReply(0, 13, 1990))), cdec_OK);
    EXPECT_EQ(Val(msg.Config().PressureSensor.CalDate), 36861.0); // 2000-12-01 counted by hand
}

TEST(QvCmdSys, ConfigReplyCutShortKeepsFallbacks)
{
    // Cut after the first baseline's D: every C coefficient keeps its neutral 1.0.
    TBytes bytes = ConfigReply(1, 1, 2020);
    bytes.resize(21 + 4);
    TQvCmdMsgRxConfigGet msg;
    EXPECT_EQ(msg.DecodeStr(RxLine(bytes)), cdec_BAD_LEN_UNDER);
    const TQvCmdUsblCal& cal = msg.Config().UsblCal;
    EXPECT_EQ(Val(cal.Baseline[0]), 0.25f); // read
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(Val(cal.Baseline[4 * k + 1]), 1.0f) << k;
        EXPECT_EQ(Val(cal.Baseline[4 * k + 3]), 0.0f) << k;
    }

    // With only the identifier every field takes its fallback; the date is 2000-01-01.
    TQvCmdMsgRxConfigGet empty;
    EXPECT_EQ(empty.DecodeStr(RxLine({0x1A})), cdec_BAD_LEN_UNDER);
    EXPECT_EQ(Val(empty.Config().MacAddr.fValue), 0u);
    EXPECT_EQ(DateOf(Val(empty.Config().PressureSensor.CalDate)), "2000-01-01");
    EXPECT_EQ(empty.GetFields()[1], "HardwareEUI48[6] = An error occured reading this value.");
}

TEST(QvCmdSys, RequestsWithoutFields)
{
    EXPECT_EQ(TQvCmdMsgTxSysInfo().EncodeStr(true), "#0281C1\r\n");
    EXPECT_EQ(TQvCmdMsgTxConfigGet().EncodeStr(true), "#1A81CB\r\n");
    EXPECT_EQ(TQvCmdMsgTxProgUpdate().EncodeStr(true), "#0F4004\r\n");
    // Created through their class references with their default field values.
    EXPECT_EQ(TQvCmdMsgTx::ClassOf<TQvCmdMsgTxConfigGet>()()->EncodeStr(false), "#1A81CB");
}

TEST(QvCmdSys, EngineeringCommands)
{
    TQvCmdInfoHardware hw;
    hw.PartNumber = 0x1234;
    hw.PartRevision = 0x05;
    hw.SerialNumber = 0x00ABCDEF;
    hw.FlagsSys = 0x0102;
    hw.FlagsUser = 0x8001;
    TQvCmdUsblCal cal;
    cal.SetNeutral();
    cal.Baseline[0] = -0.5f;  // 10 D
    cal.Baseline[23] = 2.0f;  // 32 A

    TBytes usbl = {0x04, 0x20, 0xFF};
    for (int k = 0; k < 24; ++k)
        AppendFloat(usbl, cal.Baseline[k]);
    TBytes usblInvalid = usbl;
    usblInvalid[2] = 0x00;

    struct Case {
        uint8_t action;
        std::string key;
        bool valid;
        TBytes bytes;
    };
    const Case cases[] = {
        {0, "", false, {0x04, 0x00}},
        {1, "abcde", false, {0x04, 0x01, 'a', 'b', 'c', 'd', 'e', 0, 0, 0}},
        {1, "abcdefghijkl", false, {0x04, 0x01, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}},
        {1, "", false, {0x04, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}},
        {2, "", false, {0x04, 0x02, 0x34, 0x12, 0x05, 0xEF, 0xCD, 0xAB, 0x00, 0x02, 0x01, 0x01, 0x80}},
        {3, "", false, {0x04, 0x03, 0x01, 0x80}},
        {32, "", true, usbl},
        {32, "", false, usblInvalid},
        {7, "", false, {0x04, 0x07}},
    };
    for (const Case& c : cases) {
        TQvCmdMsgTxSysEngineering msg;
        msg.fAction = c.action;
        msg.SetKey(c.key);
        msg.SetHardware(hw);
        cal.Valid = c.valid;
        msg.SetUsblCal(cal);
        EXPECT_EQ(msg.EncodeStr(true), TxLine(c.bytes)) << int(c.action) << " " << c.key;
    }

    TQvCmdMsgTxSysEngineering msg;
    msg.fAction = 32;
    msg.SetUsblCal(cal);
    msg.EncodeStr(true);
    const auto& f = msg.GetFields();
    ASSERT_EQ(f.size(), 27u);
    EXPECT_EQ(f[1], "Action = 0x20 (32)");
    EXPECT_EQ(f[3], "UsblCalBaseline10D = -0.5");
    EXPECT_EQ(f[4], "UsblCalBaseline10C = 1");
    EXPECT_EQ(f[7], "UsblCalBaseline20D = 0");
    EXPECT_EQ(f[26], "UsblCalBaseline32A = 2");
}

TEST(QvCmdSys, ProgInitLayoutAndSignature)
{
    TQvCmdMsgTxProgInit msg;
    msg.SetSection(1);
    msg.SetPartNumber(0x0BB8);
    msg.SetPartRevisionMin(2);
    msg.SetPartRevisionMax(9);
    msg.SetSerialNumber(0x01020304);
    msg.SetDataFormat(3);
    msg.SetChecksum(0xCAFEF00D);
    msg.SetLength(0x00012000);
    const TBytes head = {0x0D, 0x01, 0xB8, 0x0B, 0x02, 0x09, 0x04, 0x03, 0x02, 0x01,
                         0x03, 0x00, 0x20, 0x01, 0x00, 0x0D, 0xF0, 0xFE, 0xCA};

    TBytes longSig(32);
    for (size_t i = 0; i < longSig.size(); ++i)
        longSig[i] = static_cast<uint8_t>(0xA0 + i);
    struct Case {
        TBytes signature;
        TBytes sent;
    };
    const Case cases[] = {
        {longSig, TBytes(longSig.begin(), longSig.begin() + 20)},
        {{}, TBytes(20, 0)},
        {{1, 2, 3}, {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        msg.SetSignature(c.signature);
        EXPECT_EQ(msg.Signature(), c.sent);
        TBytes expected = head;
        expected.insert(expected.end(), c.sent.begin(), c.sent.end());
        ASSERT_EQ(expected.size(), 39u);
        EXPECT_EQ(msg.EncodeStr(true), TxLine(expected));
    }
    EXPECT_EQ(TQvCmdMsgTxProgInit().Signature(), TBytes(20, 0));
    EXPECT_EQ(msg.GetFields()[1], "Section = 0x01 (1)");
    EXPECT_EQ(msg.GetFields()[7], "Length = 0x00012000 (73728)");
    EXPECT_EQ(msg.GetFields()[9].substr(0, 16), "Signature[20] = ");
}

TEST(QvCmdSys, ProgBlockCarriesItsLength)
{
    struct Case {
        TBytes data;
        TBytes sent;
    };
    const Case cases[] = {
        {{0xDE, 0xAD, 0xBE}, {0x0E, 0x03, 0x00, 0xDE, 0xAD, 0xBE}},
        {{}, {0x0E, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        TQvCmdMsgTxProgBlock msg;
        msg.SetData(c.data);
        EXPECT_EQ(msg.EncodeStr(true), TxLine(c.sent));
    }
    TBytes big(300);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i);
    TQvCmdMsgTxProgBlock msg;
    msg.SetData(big);
    TBytes expected = {0x0E, 0x2C, 0x01};
    expected.insert(expected.end(), big.begin(), big.end());
    EXPECT_EQ(msg.EncodeStr(true), TxLine(expected));
    EXPECT_EQ(msg.GetFields()[1], "Length = 0x012C (300)");
}
