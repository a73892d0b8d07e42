#include "protocol/QvCmdMsg.h"

#include "framework/CvClock.h"
#include "framework/CvFoundation.h"
#include "tests/protocol/ProtocolTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

// A received message whose readers the test calls directly.
class TTestRx : public TQvCmdMsgRx {
public:
    using TQvCmdMsgRx::ReadBool;
    using TQvCmdMsgRx::ReadBytes;
    using TQvCmdMsgRx::ReadCmdId;
    using TQvCmdMsgRx::ReadFloat;
    using TQvCmdMsgRx::ReadStatus;
    using TQvCmdMsgRx::ReadUInt16;
    using TQvCmdMsgRx::ReadUInt32;
    using TQvCmdMsgRx::ReadUInt8;
};

// A transmitted message whose fields the test writes through a callback.
class TTestTx : public TQvCmdMsgTx {
public:
    explicit TTestTx(uint8_t cmdId, std::function<void(TTestTx&)> fields = {})
        : fFields(std::move(fields))
    {
        fCmdId = static_cast<EQvCmdId>(cmdId);
    }
    using TQvCmdMsgTx::WriteBool;
    using TQvCmdMsgTx::WriteBuffer;
    using TQvCmdMsgTx::WriteBytes;
    using TQvCmdMsgTx::WriteFloat;
    using TQvCmdMsgTx::WriteUInt16;
    using TQvCmdMsgTx::WriteUInt32;
    using TQvCmdMsgTx::WriteUInt8;

protected:
    void EncodeFields() override
    {
        TQvCmdMsgTx::EncodeFields();
        if (fFields)
            fFields(*this);
    }

private:
    std::function<void(TTestTx&)> fFields;
};

const std::string kErr = " = An error occured reading this value.";

} // namespace

TEST(QvCmdMsgTx, EncodesKnownLines)
{
    // Lines written down from the protocol's own examples.
    struct Case {
        uint8_t id;
        bool crlf;
        const char* line;
    };
    for (const Case& c : {Case{0x02, true, "#0281C1\r\n"}, Case{0x02, false, "#0281C1"},
                          Case{0x1A, true, "#1A81CB\r\n"}, Case{0x0F, true, "#0F4004\r\n"}}) {
        TTestTx msg(c.id);
        EXPECT_EQ(msg.EncodeStr(c.crlf), c.line);
        EXPECT_EQ(msg.Bytes(), TBytes{c.id});
    }
}

TEST(QvCmdMsgTx, WritersAppendLittleEndianAndRecordEachField)
{
    TTestTx msg(0x05, [](TTestTx& m) {
        m.WriteUInt8("U8", 0x7F);
        m.WriteUInt16("U16", 0x1234);
        m.WriteUInt32("U32", 0x89ABCDEF);
        m.WriteBool("On", true);
        m.WriteBool("Off", false);
        m.WriteFloat("F", 1.0f);
        m.WriteBytes("Pad", {'A', 'B', 1}, 5);
        m.WriteBytes("Cut", {'x', 'y', 'z'}, 2);
        m.WriteBytes("Own", {0x10, 0x20}, 0);
        m.WriteBytes("None", {}, 0);
        const uint8_t raw[] = {0xFE};
        m.WriteBuffer("Buf", raw, 1);
    });
    const TBytes expected = {0x05, 0x7F, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0xFF, 0x00, 0x00, 0x00, 0x80, 0x3F,
                             'A',  'B',  0x01, 0x00, 0x00, 'x',  'y',  0x10, 0x20, 0xFE};
    EXPECT_EQ(msg.EncodeStr(true), TxLine(expected));
    EXPECT_EQ(msg.Bytes(), expected);

    const std::vector<std::string> fields = {
        "CmdId = UNKNOWN (0x05)",
        "U8 = 0x7F (127)",
        "U16 = 0x1234 (4660)",
        "U32 = 0x89ABCDEF (2309737967)",
        "On = TRUE",
        "Off = FALSE",
        "F = 1",
        "Pad[5] = 'AB...' (0x41, 0x42, 0x01, 0x00, 0x00)",
        "Cut[2] = 'xy' (0x78, 0x79)",
        "Own[2] = '. ' (0x10, 0x20)",
        "Buf[1] = '.' (0xFE)",
    };
    EXPECT_EQ(msg.GetFields(), fields);
    EXPECT_EQ(msg.GetFieldsArray(), fields);
    const std::vector<std::string> csv = {"UNKNOWN", "127", "4660", "2309737967", "TRUE", "FALSE", "1", "65",
                                          "66",      "1",   "0",    "0",          "120",  "121",   "16", "32", "254"};
    EXPECT_EQ(msg.CsvParams(), csv);
}

TEST(QvCmdMsgTx, EncodingAgainRebuildsBytesAndFieldsButAppendsCsv)
{
    uint16_t value = 1;
    TTestTx msg(0x02, [&](TTestTx& m) { m.WriteUInt16("V", value); });
    msg.EncodeStr(false);
    value = 0xBEEF;
    EXPECT_EQ(msg.EncodeStr(true), TxLine({0x02, 0xEF, 0xBE}));
    EXPECT_EQ(msg.GetFields(), (std::vector<std::string>{"CmdId = SYS_INFO (0x02)", "V = 0xBEEF (48879)"}));
    EXPECT_EQ(msg.CsvParams(), (std::vector<std::string>{"SYS_INFO", "1", "SYS_INFO", "48879"}));

    CvSetNowFunction([] { return TCvDateTime{2024, 3, 5, 6, 7, 8, 9}; });
    EXPECT_EQ(msg.GetCsv(), "2024-03-05 06:07:08.009,SYS_INFO,1,SYS_INFO,48879");
    CvSetNowFunction({});
    EXPECT_EQ(TTestTx(0x02).GetCsv().size(), 23u); // only the time stamp
}

TEST(QvCmdMsg, FloatTexts)
{
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {
        {1.0f, "1"},
        {-2.5f, "-2.5"},
        {0.1f, "0.100000001490116"}, // the single's exact value to 15 significant digits
        {1e20f, "1.00000002004088e+20"},
        {0.0f, "0"},
        {std::numeric_limits<float>::quiet_NaN(), "NaN"},
    };
    for (const Case& c : cases) {
        TTestTx msg(0x02, [&](TTestTx& m) { m.WriteFloat("F", c.value); });
        msg.EncodeStr(false);
        EXPECT_EQ(msg.GetFields().at(1), std::string("F = ") + c.text);
        EXPECT_EQ(msg.CsvParams().at(1), c.text);
    }
}

TEST(QvCmdMsgRx, DecodeWalk)
{
    struct Case {
        const char* line;
        int32_t maxLen;
        TQvCmdMsgRxDecode result;
        TBytes bytes;       // list after the decode
        const char* msgStr; // characters consumed
        int32_t msgBytes;
    };
    const Case cases[] = {
        {"$0281C1", 0, cdec_OK, {0x02}, "$0281C1", 3},
        {"$0281c1", 0, cdec_OK, {0x02}, "$0281c1", 3},
        {"junk\r\n#$0281C1", 0, cdec_OK, {0x02}, "$0281C1", 3},   // noise before the "$"
        {"$0281C1\r\n$FFFF", 0, cdec_OK, {0x02}, "$0281C1", 3},   // the end stops the walk
        {"$0281C1F", 0, cdec_OK, {0x02}, "$0281C1F", 3},          // odd digit dropped
        {"$02$81C1", 0, cdec_OK, {0x02}, "$02$81C1", 3},          // second "$" keeps bytes
        {"$0$0281C1", 0, cdec_OK, {0x02}, "$0$0281C1", 3},        // ... and drops the nibble
        {"$0281C1", 3, cdec_OK, {0x02}, "$0281C1", 3},
        {"$0281C1", 2, cdec_BAD_LEN_OVER, {0x02, 0x81}, "$0281C", 2}, // pending digit kept
        {"0281C1\r\n", 0, cdec_NO_SYNC, {}, "", 0},
        {"", 0, cdec_NO_SYNC, {}, "", 0},
        {"$02G1C1", 0, cdec_BAD_CHAR, {0x02}, "$02", 1},
        {"$02 81C1", 0, cdec_BAD_CHAR, {0x02}, "$02", 1},
        {"$02\xC1", 0, cdec_BAD_CHAR, {0x02}, "$02", 1},
        {"$0281", 0, cdec_BAD_LEN_UNDER, {0x02, 0x81}, "$0281", 2},
        {"$\r", 0, cdec_BAD_LEN_UNDER, {}, "$", 0},
        {"$0281C2", 0, cdec_BAD_CSUM, {0x02}, "$0281C2", 3},      // checksum bytes removed
    };
    for (const Case& c : cases) {
        TTestRx msg;
        EXPECT_EQ(msg.DecodeStr(c.line, c.maxLen), c.result) << c.line;
        EXPECT_EQ(msg.Bytes(), c.bytes) << c.line;
        EXPECT_EQ(msg.DecodeMsgStr(), c.msgStr) << c.line;
        EXPECT_EQ(msg.DecodeMsgBytes(), c.msgBytes) << c.line;
        EXPECT_EQ(msg.DecodeValid(), c.result == cdec_OK) << c.line;
    }
}

TEST(QvCmdMsgRx, DecodeKeepsBothChecksumsAndTheIdentifier)
{
    TTestRx ok;
    ASSERT_EQ(ok.DecodeStr("$0281C1\r\n"), cdec_OK);
    EXPECT_EQ(ok.CmdId(), CID_SYS_INFO);
    EXPECT_EQ(ok.ChecksumRx(), 0xC181);
    EXPECT_EQ(ok.ChecksumCalc(), 0xC181);
    EXPECT_EQ(ok.GetFields(), std::vector<std::string>{"CmdId = SYS_INFO (0x02)"});

    TTestRx bad;
    ASSERT_EQ(bad.DecodeStr("$0281C2"), cdec_BAD_CSUM);
    EXPECT_EQ(bad.ChecksumRx(), 0xC281);
    EXPECT_EQ(bad.ChecksumCalc(), 0xC181);
    EXPECT_EQ(bad.CmdId(), CID_INVALID); // fields are not decoded
    EXPECT_TRUE(bad.GetFields().empty());

    // A line built by hand with fields after the identifier.
    const TBytes body = {0x1A, 0x01, 0x02, 0x03};
    TTestRx msg;
    ASSERT_EQ(msg.DecodeStr(RxLine(body)), cdec_OK);
    EXPECT_EQ(msg.Bytes(), body);
    EXPECT_EQ(msg.ChecksumRx(), TCvCrc::Crc16(body));
}

TEST(QvCmdMsgRx, ExtractChecksum)
{
    TTestRx msg;
    msg.Add(0x34);
    EXPECT_EQ(msg.ExtractChecksum(), 0);
    EXPECT_EQ(msg.Bytes(), TBytes{0x34});
    msg.Add(0x12);
    msg.Add(0xAB);
    EXPECT_EQ(msg.ExtractChecksum(), 0xAB12);
    EXPECT_EQ(msg.Bytes(), TBytes{0x34});
}

TEST(QvCmdMsgRx, ReadersTakeLittleEndianValues)
{
    TTestRx msg;
    msg.Bytes() = {0x0D, 0x0C, 0x01, 0xFF, 0x00, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0xC0, 0xBF, 'h', 'i', 0x07};
    bool error = false;
    EXPECT_EQ(msg.ReadCmdId("CmdId", error), CID_PROG_INIT);
    EXPECT_EQ(msg.ReadStatus("Status", error), CST_PROG_SECTION_ERROR);
    EXPECT_TRUE(msg.ReadBool("B1", false, error));
    EXPECT_TRUE(msg.ReadBool("B2", false, error));
    EXPECT_FALSE(msg.ReadBool("B3", true, error));
    EXPECT_EQ(msg.ReadUInt16("U16", 0, error), 0x1234);
    EXPECT_EQ(msg.ReadUInt32("U32", 0, error), 0x12345678u);
    EXPECT_EQ(msg.ReadFloat("F", 0, error), -1.5f);
    TBytes data;
    msg.ReadBytes("Data", 2, data, error);
    EXPECT_EQ(data, (TBytes{'h', 'i'}));
    msg.ReadBytes("Empty", 0, data, error);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(msg.ReadUInt8("U8", 0, error), 7);
    EXPECT_FALSE(error);
    EXPECT_EQ(msg.DecodeIdx(), msg.Count());
    const std::vector<std::string> fields = {
        "CmdId = PROG_INIT (0x0D)", "Status = PROG_SECTION_ERROR (0x0C)", "B1 = TRUE", "B2 = TRUE", "B3 = FALSE",
        "U16 = 0x1234 (4660)",      "U32 = 0x12345678 (305419896)",       "F = -1.5",  "Data[2] = 'hi' (0x68, 0x69)",
        "U8 = 0x07 (7)"};
    EXPECT_EQ(msg.GetFields(), fields);
}

TEST(QvCmdMsgRx, ShortReadsReturnFallbacksAndKeepThePosition)
{
    enum EKind { kBool, kCmdId, kStatus, kU8, kU16, kU32, kFloat, kBytes };
    struct Case {
        EKind kind;
        size_t available; // bytes at the read position (all 0x5A)
        double expected;  // value returned (fallback or read)
        bool error;
        const char* line;
    };
    const Case cases[] = {
        {kBool, 0, 1, true, "V = An error occured reading this value."},   // default true given
        {kCmdId, 0, 0, true, "V = An error occured reading this value."},
        {kStatus, 0, 1, true, "V = An error occured reading this value."}, // FAIL
        {kU8, 0, 9, true, "V = An error occured reading this value."},
        {kU16, 1, 9, true, "V = An error occured reading this value."},
        {kU32, 3, 9, true, "V = An error occured reading this value."},
        {kFloat, 3, 9, true, "V = An error occured reading this value."},
        {kBytes, 2, 0, true, "V[3] = An error occured reading this value."},
        {kU16, 2, 0x5A5A, false, "V = 0x5A5A (23130)"},
        {kU32, 4, 0x5A5A5A5A, false, "V = 0x5A5A5A5A (1515870810)"},
        {kBytes, 3, 0x5A, false, "V[3] = 'ZZZ' (0x5A, 0x5A, 0x5A)"},
    };
    for (const Case& c : cases) {
        TTestRx msg;
        msg.Bytes().assign(c.available + 1, 0x5A);
        bool error = false;
        msg.ReadUInt8("Skip", 0, error); // the read position is 1, not 0
        double got = 0;
        TBytes bytes = {1, 2, 3, 4, 5};
        switch (c.kind) {
        case kBool: got = msg.ReadBool("V", true, error); break;
        case kCmdId: got = msg.ReadCmdId("V", error); break;
        case kStatus: got = msg.ReadStatus("V", error); break;
        case kU8: got = msg.ReadUInt8("V", 9, error); break;
        case kU16: got = msg.ReadUInt16("V", 9, error); break;
        case kU32: got = msg.ReadUInt32("V", 9, error); break;
        case kFloat: got = msg.ReadFloat("V", 9, error); break;
        case kBytes:
            msg.ReadBytes("V", 3, bytes, error);
            ASSERT_EQ(bytes.size(), 3u);
            EXPECT_EQ(bytes[0], bytes[2]);
            got = bytes[0];
            break;
        }
        const std::string tag = std::to_string(c.kind) + "/" + std::to_string(c.available);
        EXPECT_EQ(got, c.expected) << tag;
        EXPECT_EQ(error, c.error) << tag;
        EXPECT_EQ(msg.DecodeIdx(), c.error ? 1 : msg.Count()) << tag;
        ASSERT_EQ(msg.GetFields().size(), 2u) << tag;
        EXPECT_EQ(msg.GetFields()[1], c.line) << tag;
        // An error line carries no CSV value; a byte field one per byte.
        EXPECT_EQ(msg.CsvParams().size(), c.error ? 1u : (c.kind == kBytes ? 4u : 2u)) << tag;
    }

    // After a failed wide read a narrower one at the same position still succeeds, and the
    // error flag stays set.
    TTestRx msg;
    msg.Bytes() = {0xAB, 0xCD};
    bool error = false;
    EXPECT_EQ(msg.ReadUInt32("Wide", 77, error), 77u);
    EXPECT_TRUE(error);
    EXPECT_EQ(msg.ReadUInt8("Narrow", 0, error), 0xAB);
    EXPECT_TRUE(error);
    EXPECT_EQ(msg.GetFields(), (std::vector<std::string>{"Wide" + kErr, "Narrow = 0xAB (171)"}));
}
