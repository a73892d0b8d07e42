#include "framework/CvFoundation.h"

#include <array>

char TCvConvert::NibbleToHexChar(uint8_t n)
{
    return "0123456789ABCDEF"[n & 15];
}

bool TCvConvert::HexCharToNibble(char c, uint8_t& nibble)
{
    return HexCharToNibble(static_cast<char16_t>(static_cast<unsigned char>(c)), nibble);
}

bool TCvConvert::HexCharToNibble(char16_t c, uint8_t& nibble)
{
    if (c >= u'0' && c <= u'9') {
        nibble = static_cast<uint8_t>(c - u'0');
        return true;
    }
    if (c >= u'A' && c <= u'F') {
        nibble = static_cast<uint8_t>(c - u'A' + 10);
        return true;
    }
    if (c >= u'a' && c <= u'f') {
        nibble = static_cast<uint8_t>(c - u'a' + 10);
        return true;
    }
    return false;
}

std::string TCvConvert::IntToHex(uint64_t value, int digits)
{
    std::string out;
    do {
        out.insert(out.begin(), NibbleToHexChar(static_cast<uint8_t>(value & 15)));
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(out.size()) < digits)
        out.insert(out.begin(), static_cast<size_t>(digits) - out.size(), '0');
    return out;
}

int32_t TCvConvert::HexToIntDef(std::string_view text, int32_t def)
{
    if (text.empty())
        return def;
    uint64_t value = 0;
    for (char c : text) {
        uint8_t n = 0;
        if (!HexCharToNibble(c, n))
            return def;
        value = (value << 4) | n;
        if (value > 0xFFFFFFFFull)
            return def;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::string TCvConvert::BytesToHex(const std::vector<uint8_t>& bytes)
{
    return BytesToHex(bytes.data(), bytes.size());
}

std::string TCvConvert::BytesToHex(const uint8_t* data, size_t count)
{
    std::string out;
    out.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = NibbleToHexChar(static_cast<uint8_t>(data[i] >> 4));
        out[2 * i + 1] = NibbleToHexChar(data[i]);
    }
    return out;
}

bool TCvConvert::HexToBytes(std::string_view text, std::vector<uint8_t>& bytes)
{
    const bool odd = (text.size() % 2) != 0;
    const size_t count = (text.size() + (odd ? 1 : 0)) / 2;
    bytes.assign(count, 0);
    // Character at padded position p: position 0 is the added "0" when the length is odd.
    auto at = [&](size_t p) -> char { return odd ? (p == 0 ? '0' : text[p - 1]) : text[p]; };
    for (size_t i = 0; i < count; ++i) {
        uint8_t hi = 0;
        uint8_t lo = 0;
        if (!HexCharToNibble(at(2 * i), hi) || !HexCharToNibble(at(2 * i + 1), lo))
            return false;
        bytes[i] = static_cast<uint8_t>((hi << 4) | lo);
    }
    return true;
}

uint16_t TCvCrc::CalcValue(uint8_t value, uint16_t polynomial, uint16_t crc)
{
    for (int i = 0; i < 8; ++i) {
        if (((value ^ crc) & 1) != 0)
            crc = static_cast<uint16_t>((crc >> 1) ^ polynomial);
        else
            crc = static_cast<uint16_t>(crc >> 1);
        value = static_cast<uint8_t>(value >> 1);
    }
    return crc;
}

namespace {
// Byte-wise tables built from the bit-wise step, so both give the same values.
struct TCrcTables {
    std::array<uint16_t, 256> arc{};
    std::array<uint32_t, 256> zlib{};
    TCrcTables()
    {
        for (unsigned i = 0; i < 256; ++i) {
            arc[i] = TCvCrc::CalcValue(static_cast<uint8_t>(i), 0xA001, 0);
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            zlib[i] = c;
        }
    }
};
const TCrcTables& Tables()
{
    static const TCrcTables tables;
    return tables;
}
} // namespace

uint16_t TCvCrc::Crc16(const uint8_t* data, size_t count, uint16_t crc)
{
    const auto& t = Tables().arc;
    for (size_t i = 0; i < count; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ t[(crc ^ data[i]) & 0xFF]);
    return crc;
}

uint32_t TCvCrc::Crc32(const uint8_t* data, size_t count, uint32_t crc)
{
    const auto& t = Tables().zlib;
    crc = ~crc;
    for (size_t i = 0; i < count; ++i)
        crc = (crc >> 8) ^ t[(crc ^ data[i]) & 0xFF];
    return ~crc;
}
