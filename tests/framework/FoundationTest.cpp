#include "framework/CvFoundation.h"
#include "framework/CvNetworking.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> out;
    for (int v : list)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

} // namespace

TEST(CvCrc, KnownAnswers)
{
    // Vectors computed outside this code (CRC-16/ARC and zlib CRC-32 catalogue check values).
    const std::string check = "123456789";
    const auto* data = reinterpret_cast<const uint8_t*>(check.data());
    EXPECT_EQ(TCvCrc::Crc16(data, check.size()), 0xBB3D);
    EXPECT_EQ(TCvCrc::Crc32(data, check.size()), 0xCBF43926u);
    EXPECT_EQ(TCvCrc::Crc16(Bytes({0x02})), 0xC181);
    EXPECT_EQ(TCvCrc::Crc16(Bytes({0x1A})), 0xCB81);
    EXPECT_EQ(TCvCrc::Crc16(Bytes({0x0F})), 0x0440);
    EXPECT_EQ(TCvCrc::Crc16(std::vector<uint8_t>{}), 0);
    // The step routine alone, byte by byte, gives the same as the table.
    uint16_t crc = 0;
    for (char c : check)
        crc = TCvCrc::CalcValue(static_cast<uint8_t>(c), 0xA001, crc);
    EXPECT_EQ(crc, 0xBB3D);
    // Continuing a CRC over two halves equals one pass.
    EXPECT_EQ(TCvCrc::Crc32(data + 4, 5, TCvCrc::Crc32(data, 4)), 0xCBF43926u);
    EXPECT_EQ(TCvCrc::Crc16(data + 4, 5, TCvCrc::Crc16(data, 4)), 0xBB3D);
}

TEST(CvConvert, HexDigits)
{
    uint8_t n = 99;
    EXPECT_EQ(TCvConvert::NibbleToHexChar(0x1F), 'F');
    EXPECT_EQ(TCvConvert::NibbleToHexChar(0x0A), 'A');
    struct Case {
        char c;
        bool ok;
        uint8_t value;
    };
    for (Case k : {Case{'0', true, 0}, Case{'9', true, 9}, Case{'a', true, 10}, Case{'F', true, 15},
                   Case{'G', false, 99}, Case{'g', false, 99}, Case{' ', false, 99}, Case{'\xC3', false, 99}}) {
        n = 99;
        EXPECT_EQ(TCvConvert::HexCharToNibble(k.c, n), k.ok) << k.c;
        EXPECT_EQ(n, k.value) << k.c;
    }
    n = 99;
    EXPECT_TRUE(TCvConvert::HexCharToNibble(u'e', n));
    EXPECT_EQ(n, 14);
    EXPECT_FALSE(TCvConvert::HexCharToNibble(u'\uFF21', n)); // full-width A is no hex digit
    EXPECT_EQ(n, 14);
}

TEST(CvConvert, IntToHexAndBack)
{
    EXPECT_EQ(TCvConvert::IntToHex(0, 2), "00");
    EXPECT_EQ(TCvConvert::IntToHex(0xABC, 2), "ABC");
    EXPECT_EQ(TCvConvert::IntToHex(0x1F, 8), "0000001F");
    struct Case {
        const char* text;
        int32_t expected;
    };
    for (Case k : {Case{"1A", 26}, Case{"1a", 26}, Case{"", -7}, Case{"1Z", -7}, Case{"0x1A", -7},
                   Case{"-1", -7}, Case{" 1", -7}, Case{"FFFFFFFF", -1}, Case{"80000000", INT32_MIN},
                   Case{"7FFFFFFF", INT32_MAX}, Case{"100000000", -7}, Case{"0000000012", 0x12}}) {
        EXPECT_EQ(TCvConvert::HexToIntDef(k.text, -7), k.expected) << k.text;
    }
}

TEST(CvConvert, BytesAndHexText)
{
    std::vector<uint8_t> out;
    EXPECT_TRUE(TCvConvert::HexToBytes("ABC", out));
    EXPECT_EQ(out, Bytes({0x0A, 0xBC}));
    EXPECT_EQ(TCvConvert::BytesToHex(out), "0ABC");
    EXPECT_TRUE(TCvConvert::HexToBytes("", out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(TCvConvert::BytesToHex(out), "");
    EXPECT_TRUE(TCvConvert::HexToBytes("00ff7f", out));
    EXPECT_EQ(out, Bytes({0x00, 0xFF, 0x7F}));
    // A bad digit stops the conversion: converted bytes stay, the rest is zero.
    EXPECT_FALSE(TCvConvert::HexToBytes("0G12", out));
    EXPECT_EQ(out, Bytes({0, 0}));
    EXPECT_FALSE(TCvConvert::HexToBytes("1234zz56", out));
    EXPECT_EQ(out, Bytes({0x12, 0x34, 0, 0}));
}

TEST(CvMacAddress, TextValueAndArray)
{
    const uint64_t value = 0xAABBCCDDEEFFull;
    EXPECT_EQ(TCvMacAddress::ToAddress(value), "AA-BB-CC-DD-EE-FF");
    EXPECT_EQ(TCvMacAddress::ToAddress(0xFFFF000000000001ull), "00-00-00-00-00-01");
    EXPECT_EQ(TCvMacAddress::ToValue("AA-BB-CC-DD-EE-FF"), value);
    EXPECT_EQ(TCvMacAddress::ToValue("  aa - bb-cc-dd-ee-ff "), value);
    EXPECT_EQ(TCvMacAddress::ToValue("AA-zz-CC"), 0xAA00CC000000ull);
    EXPECT_EQ(TCvMacAddress::ToValue(""), 0u);

    TCvMacAddress mac;
    mac.fValue = 0x1234000000000000ull;
    mac.ToValue(Bytes({0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}));
    EXPECT_EQ(mac.fValue, 0x1234AABBCCDDEEFFull); // bytes 6 and 7 untouched
    mac.ToValue(Bytes({1, 2, 3}));
    EXPECT_EQ(mac.fValue, 0x1234AABBCCDDEEFFull);
    EXPECT_EQ(mac.ToArray(), Bytes({0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}));
    EXPECT_EQ(mac.AddressText(), "AA-BB-CC-DD-EE-FF");
}
